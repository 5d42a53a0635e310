/** @file
  Base types of the module: fixed-width integers, status codes, GUIDs and the
  calling-convention markers used on every interface that is called through a table.

  EFIAPI is the stack convention, said explicitly: every argument on the stack, the
  caller pops. The firmware build passes the arguments of the module's internal calls
  in registers (-mregparm=3); a function that a PEI core, another module or assembly
  calls, or that a table points to, is declared EFIAPI and keeps the stack convention.
  Variadic functions always take their arguments on the stack.

  The module is IA32 code: UINTN and pointers are 32 bits wide.
**/
#pragma once

#include <stddef.h>
#include <stdint.h>

#define IN
#define OUT
#define OPTIONAL
#define CONST const
#define EFIAPI __attribute__((cdecl, regparm(0)))

typedef uint8_t   UINT8;
typedef uint16_t  UINT16;
typedef uint32_t  UINT32;
typedef uint64_t  UINT64;
typedef int8_t    INT8;
typedef int16_t   INT16;
typedef int32_t   INT32;
typedef int64_t   INT64;
typedef uintptr_t UINTN;
typedef intptr_t  INTN;
typedef char      CHAR8;
typedef char16_t  CHAR16;
typedef UINT8     BOOLEAN;
typedef void      VOID;

static_assert(sizeof(UINTN) == 4, "the module is built for IA32");
static_assert(sizeof(VOID *) == 4, "the module is built for IA32");

#ifdef __cplusplus
constexpr BOOLEAN TRUE  = 1;
constexpr BOOLEAN FALSE = 0;
#endif

typedef UINTN RETURN_STATUS;
typedef RETURN_STATUS EFI_STATUS;

typedef UINT64 EFI_PHYSICAL_ADDRESS;
typedef UINT32 EFI_BOOT_MODE;

/// A 128-bit name. Compared and copied as two unaligned 64-bit halves.
typedef struct {
  UINT32 Data1;
  UINT16 Data2;
  UINT16 Data3;
  UINT8  Data4[8];
} EFI_GUID;
static_assert(sizeof(EFI_GUID) == 16, "EFI_GUID is 16 bytes");

#ifdef __cplusplus
constexpr UINTN kMaxBit = 0x80000000u;

/// Builds an error status from its code.
constexpr EFI_STATUS EncodeError(UINTN Code) { return kMaxBit | Code; }
/// Builds a warning status from its code.
constexpr EFI_STATUS EncodeWarning(UINTN Code) { return Code; }

constexpr EFI_STATUS EFI_SUCCESS            = 0;
constexpr EFI_STATUS RETURN_SUCCESS         = 0;
constexpr EFI_STATUS EFI_LOAD_ERROR         = EncodeError(1);
constexpr EFI_STATUS EFI_INVALID_PARAMETER  = EncodeError(2);
constexpr EFI_STATUS EFI_UNSUPPORTED        = EncodeError(3);
constexpr EFI_STATUS EFI_BAD_BUFFER_SIZE    = EncodeError(4);
constexpr EFI_STATUS EFI_BUFFER_TOO_SMALL   = EncodeError(5);
constexpr EFI_STATUS EFI_NOT_READY          = EncodeError(6);
constexpr EFI_STATUS EFI_DEVICE_ERROR       = EncodeError(7);
constexpr EFI_STATUS EFI_WRITE_PROTECTED    = EncodeError(8);
constexpr EFI_STATUS EFI_OUT_OF_RESOURCES   = EncodeError(9);
constexpr EFI_STATUS EFI_NOT_FOUND          = EncodeError(14);
constexpr EFI_STATUS EFI_ACCESS_DENIED      = EncodeError(15);
constexpr EFI_STATUS EFI_NO_RESPONSE        = EncodeError(16);
constexpr EFI_STATUS EFI_TIMEOUT            = EncodeError(18);
constexpr EFI_STATUS EFI_NOT_STARTED        = EncodeError(19);
constexpr EFI_STATUS EFI_ABORTED            = EncodeError(21);
constexpr EFI_STATUS EFI_PROTOCOL_ERROR     = EncodeError(24);
constexpr EFI_STATUS EFI_NOT_AVAILABLE_YET  = 0xA0000002u;
constexpr EFI_STATUS EFI_WARN_UNKNOWN_GLYPH = EncodeWarning(1);
constexpr EFI_STATUS EFI_WARN_BUFFER_TOO_SMALL = EncodeWarning(4);
constexpr EFI_STATUS EFI_WARN_STALE_DATA    = EncodeWarning(5);

/// TRUE when Status is an error (top bit set).
constexpr bool EFI_ERROR(EFI_STATUS Status) { return (Status & kMaxBit) != 0; }
/// TRUE when Status is an error (top bit set).
constexpr bool RETURN_ERROR(RETURN_STATUS Status) { return (Status & kMaxBit) != 0; }

constexpr EFI_BOOT_MODE BOOT_WITH_FULL_CONFIGURATION = 0x00;
constexpr EFI_BOOT_MODE BOOT_WITH_DEFAULT_SETTINGS   = 0x04;
constexpr EFI_BOOT_MODE BOOT_ON_S3_RESUME            = 0x11;
#endif
