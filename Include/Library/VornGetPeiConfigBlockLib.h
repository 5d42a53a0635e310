/** @file
  Finds the QUARN pre-memory config block in the VORN policy PPI.
**/
#pragma once

extern "C" {
#include <PiPei.h>
}
#include <Ppi/VornPolicy.h>

extern "C" {

/** The QUARN pre-memory block, or NULL when the policy PPI or a usable block is missing. */
QUARN_PREMEM_CONFIG *VornGetPeiConfigBlock(VOID);

/**
  Walks the config block table at ConfigBlockTableAddress for a block named ConfigBlockGuid.
  @retval EFI_SUCCESS    *ConfigBlockAddress holds the block's start.
  @retval EFI_NOT_FOUND  no such block; *ConfigBlockAddress untouched.
**/
EFI_STATUS FindConfigBlock(IN VOID *ConfigBlockTableAddress, IN CONST EFI_GUID *ConfigBlockGuid,
                           OUT VOID **ConfigBlockAddress);
}
