/** @file
  Pool allocation.
**/
#ifndef __MEMORY_ALLOCATION_LIB_H__
#define __MEMORY_ALLOCATION_LIB_H__

/** AllocationSize bytes from the pool, cleared; NULL when there is no room. */
VOID *
EFIAPI
AllocateZeroPool (
  IN UINTN  AllocationSize
  );

#endif
