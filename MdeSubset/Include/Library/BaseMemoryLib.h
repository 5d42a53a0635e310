/** @file
  Memory fill and copy, and GUID copy and comparison.
**/
#ifndef __BASE_MEMORY_LIB__
#define __BASE_MEMORY_LIB__

/** Copies Length bytes, overlapping ranges included; returns DestinationBuffer. */
VOID *
EFIAPI
CopyMem (
  OUT VOID       *DestinationBuffer,
  IN CONST VOID  *SourceBuffer,
  IN UINTN       Length
  );

/** Zeroes Length bytes at Buffer; returns Buffer. */
VOID *
EFIAPI
ZeroMem (
  OUT VOID  *Buffer,
  IN UINTN  Length
  );

/** Copies a GUID; returns DestinationGuid. */
GUID *
EFIAPI
CopyGuid (
  OUT GUID       *DestinationGuid,
  IN CONST GUID  *SourceGuid
  );

/** TRUE when the two GUIDs are equal. */
BOOLEAN
EFIAPI
CompareGuid (
  IN CONST GUID  *Guid1,
  IN CONST GUID  *Guid2
  );

#endif
