/** @file
  The base definitions every other header builds on: qualifiers, BOOLEAN values, the
  status codes and their tests, GUIDs, variable argument lists and compile-time checks.

  A subset of the firmware framework's base header with the same names and meanings, for
  our own builds; the EDK II build uses the framework's own.
**/
#ifndef __BASE_H__
#define __BASE_H__

#include <ProcessorBind.h>

#define GLOBAL_REMOVE_IF_UNREFERENCED

//
// Tells a static analyzer, and only it, that a path ends here (after an assertion's
// report: the code after a check relies on what it checked). A compiler sees nothing,
// so no build's code changes. As the framework's header defines it for the clang static
// analyzer; cppcheck (make lint) is told the same.
//
#ifndef ANALYZER_UNREACHABLE
  #ifdef __clang_analyzer__
    #if __has_builtin (__builtin_unreachable)
#define ANALYZER_UNREACHABLE()  __builtin_unreachable ()
    #endif
  #elif defined (__CPPCHECK__)
#define ANALYZER_UNREACHABLE()  __builtin_unreachable ()
  #endif

  #ifndef ANALYZER_UNREACHABLE
#define ANALYZER_UNREACHABLE()
  #endif
#endif

//
// Marks a function that does not return, for a compiler whose static analyzer knows the
// attribute (the assertion handler: the analyzer then trusts what an ASSERT checked).
//
#ifdef __has_feature
  #if __has_feature (attribute_analyzer_noreturn)
#define ANALYZER_NORETURN  __attribute__((analyzer_noreturn))
  #endif
#endif
#ifndef ANALYZER_NORETURN
#define ANALYZER_NORETURN
#endif

#define CONST     const
#define STATIC    static
#define VOID      void
#define IN
#define OUT
#define OPTIONAL

#define TRUE   ((BOOLEAN)(1==1))
#define FALSE  ((BOOLEAN)(0==1))

///
/// The null pointer as the board's firmware has always spelt it in its assertion texts
/// ("Buffer != ((void *) 0)"); code assigns nullptr. Host code that has the C library's
/// own NULL already keeps it.
///
#ifndef NULL
#define NULL  ((void *) 0)
#endif

#define MAX_UINT8   ((UINT8)0xFF)
#define MAX_UINT16  ((UINT16)0xFFFF)
#define MAX_UINT32  ((UINT32)0xFFFFFFFF)
#define MAX_UINT64  ((UINT64)0xFFFFFFFFFFFFFFFFULL)

///
/// A 128-bit name, compared and copied as two unaligned 64-bit halves.
///
typedef struct {
  UINT32  Data1;
  UINT16  Data2;
  UINT16  Data3;
  UINT8   Data4[8];
} GUID;

typedef UINT64 PHYSICAL_ADDRESS;

typedef __builtin_va_list VA_LIST;

#define VA_START(Marker, Parameter)  __builtin_va_start (Marker, Parameter)
#define VA_ARG(Marker, TYPE)  ((sizeof (TYPE) < sizeof (UINTN)) ? (TYPE)(__builtin_va_arg (Marker, UINTN)) : (TYPE)(__builtin_va_arg (Marker, TYPE)))
#define VA_END(Marker)  __builtin_va_end (Marker)
#define VA_COPY(Dest, Start)  __builtin_va_copy (Dest, Start)

#define OFFSET_OF(TYPE, Field)  ((UINTN) __builtin_offsetof(TYPE, Field))

#if defined (__cplusplus)
#define STATIC_ASSERT  static_assert
#else
#define STATIC_ASSERT  _Static_assert
#endif

STATIC_ASSERT (sizeof (BOOLEAN) == 1, "BOOLEAN is one byte");
STATIC_ASSERT (sizeof (UINT64) == 8, "UINT64 is eight bytes");
STATIC_ASSERT (sizeof (UINTN) == 4, "the module is built for IA32");
STATIC_ASSERT (sizeof (VOID *) == 4, "the module is built for IA32");
STATIC_ASSERT (sizeof (GUID) == 16, "a GUID is 16 bytes");

#define ARRAY_SIZE(Array)  (sizeof (Array) / sizeof ((Array)[0]))

typedef UINTN RETURN_STATUS;

#define ENCODE_ERROR(StatusCode)    ((RETURN_STATUS)(MAX_BIT | (StatusCode)))
#define ENCODE_WARNING(StatusCode)  ((RETURN_STATUS)(StatusCode))
#define RETURN_ERROR(StatusCode)    (((INTN)(RETURN_STATUS)(StatusCode)) < 0)

#define RETURN_SUCCESS                (RETURN_STATUS)(0)
#define RETURN_LOAD_ERROR             ENCODE_ERROR (1)
#define RETURN_INVALID_PARAMETER      ENCODE_ERROR (2)
#define RETURN_UNSUPPORTED            ENCODE_ERROR (3)
#define RETURN_BAD_BUFFER_SIZE        ENCODE_ERROR (4)
#define RETURN_BUFFER_TOO_SMALL       ENCODE_ERROR (5)
#define RETURN_NOT_READY              ENCODE_ERROR (6)
#define RETURN_DEVICE_ERROR           ENCODE_ERROR (7)
#define RETURN_WRITE_PROTECTED        ENCODE_ERROR (8)
#define RETURN_OUT_OF_RESOURCES       ENCODE_ERROR (9)
#define RETURN_VOLUME_CORRUPTED       ENCODE_ERROR (10)
#define RETURN_VOLUME_FULL            ENCODE_ERROR (11)
#define RETURN_NO_MEDIA               ENCODE_ERROR (12)
#define RETURN_MEDIA_CHANGED          ENCODE_ERROR (13)
#define RETURN_NOT_FOUND              ENCODE_ERROR (14)
#define RETURN_ACCESS_DENIED          ENCODE_ERROR (15)
#define RETURN_NO_RESPONSE            ENCODE_ERROR (16)
#define RETURN_NO_MAPPING             ENCODE_ERROR (17)
#define RETURN_TIMEOUT                ENCODE_ERROR (18)
#define RETURN_NOT_STARTED            ENCODE_ERROR (19)
#define RETURN_ALREADY_STARTED        ENCODE_ERROR (20)
#define RETURN_ABORTED                ENCODE_ERROR (21)
#define RETURN_ICMP_ERROR             ENCODE_ERROR (22)
#define RETURN_TFTP_ERROR             ENCODE_ERROR (23)
#define RETURN_PROTOCOL_ERROR         ENCODE_ERROR (24)
#define RETURN_INCOMPATIBLE_VERSION   ENCODE_ERROR (25)
#define RETURN_SECURITY_VIOLATION     ENCODE_ERROR (26)
#define RETURN_CRC_ERROR              ENCODE_ERROR (27)
#define RETURN_END_OF_MEDIA           ENCODE_ERROR (28)
#define RETURN_END_OF_FILE            ENCODE_ERROR (31)
#define RETURN_INVALID_LANGUAGE       ENCODE_ERROR (32)
#define RETURN_COMPROMISED_DATA       ENCODE_ERROR (33)
#define RETURN_HTTP_ERROR             ENCODE_ERROR (35)
#define RETURN_WARN_UNKNOWN_GLYPH     ENCODE_WARNING (1)
#define RETURN_WARN_DELETE_FAILURE    ENCODE_WARNING (2)
#define RETURN_WARN_WRITE_FAILURE     ENCODE_WARNING (3)
#define RETURN_WARN_BUFFER_TOO_SMALL  ENCODE_WARNING (4)
#define RETURN_WARN_STALE_DATA        ENCODE_WARNING (5)
#define RETURN_WARN_FILE_SYSTEM       ENCODE_WARNING (6)

#endif
