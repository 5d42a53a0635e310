/** @file
  HOB list walks and GUID HOB creation.
**/
#pragma once

#include <Pi/PiHob.h>

extern "C" {

/** Start of the HOB list; asserts when the service fails or yields NULL. */
VOID *GetHobList(VOID);

/**
  First HOB of Type at or after HobStart, or NULL when the end of the list comes first.
  A HOB whose length is smaller than a HOB header ends the walk as the end of the list.
**/
VOID *GetNextHob(IN UINT16 Type, IN CONST VOID *HobStart);

/** First GUID extension HOB named Guid at or after HobStart, or NULL. */
VOID *GetNextGuidHob(IN CONST EFI_GUID *Guid, IN CONST VOID *HobStart);

/** First GUID extension HOB named Guid in the whole list (its header), or NULL. */
VOID *GetFirstGuidHob(IN CONST EFI_GUID *Guid);

/** Creates a GUID extension HOB with DataLength data bytes; returns its data (HOB + 24) or NULL. */
VOID *BuildGuidHob(IN CONST EFI_GUID *Guid, IN UINTN DataLength);

/** HobLength of the HOB at Hob, read at any alignment. */
UINT16 EFIAPI GetHobLength(IN CONST VOID *Hob);

}
