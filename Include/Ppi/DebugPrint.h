/** @file
  DEBUG_PRINT_PPI: a sink for formatted debug messages installed by another module.
  Only WriteMessage is used: it receives the NUL-terminated message and its length
  (characters, the NUL not counted). C as well as C++.
**/
#ifndef QUARN_PPI_DEBUG_PRINT_H_
#define QUARN_PPI_DEBUG_PRINT_H_

typedef
VOID
(EFIAPI *DEBUG_PRINT_WRITE_MESSAGE)(
  IN CONST CHAR8  *Message,
  IN UINTN        Length
  );

typedef struct {
  DEBUG_PRINT_WRITE_MESSAGE  WriteMessage;
} DEBUG_PRINT_PPI;

#ifdef __cplusplus
extern "C" {
#endif
extern EFI_GUID  gDebugPrintPpiGuid;
#ifdef __cplusplus
}
#endif

#endif
