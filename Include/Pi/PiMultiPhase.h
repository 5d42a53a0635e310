/** @file
  Procedures that application processors run on behalf of the boot processor.
**/
#pragma once

#include <Base.h>

typedef VOID (EFIAPI *EFI_AP_PROCEDURE)(IN OUT VOID *Buffer);
