/** @file
  HOB list walks and GUID HOB creation.
**/
#ifndef __HOB_LIB_H__
#define __HOB_LIB_H__

/** Start of the HOB list. */
VOID *
EFIAPI
GetHobList (
  VOID
  );

/** First HOB of Type at or after HobStart, or NULL when the end of the list comes first. */
VOID *
EFIAPI
GetNextHob (
  IN UINT16      Type,
  IN CONST VOID  *HobStart
  );

/** First GUID extension HOB named Guid at or after HobStart, or NULL. */
VOID *
EFIAPI
GetNextGuidHob (
  IN CONST EFI_GUID  *Guid,
  IN CONST VOID      *HobStart
  );

/** First GUID extension HOB named Guid in the whole list (its header), or NULL. */
VOID *
EFIAPI
GetFirstGuidHob (
  IN CONST EFI_GUID  *Guid
  );

/** Creates a GUID extension HOB with DataLength data bytes; returns its data, or NULL. */
VOID *
EFIAPI
BuildGuidHob (
  IN CONST EFI_GUID  *Guid,
  IN UINTN           DataLength
  );

#endif
