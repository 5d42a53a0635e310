/** @file
  Levelled debug messages and assertion reports, and the DEBUG and ASSERT forms that
  vanish from a RELEASE build (MDEPKG_NDEBUG).
**/
#ifndef __DEBUG_LIB_H__
#define __DEBUG_LIB_H__

#define DEBUG_PROPERTY_DEBUG_ASSERT_ENABLED       0x01
#define DEBUG_PROPERTY_DEBUG_PRINT_ENABLED        0x02
#define DEBUG_PROPERTY_DEBUG_CODE_ENABLED         0x04
#define DEBUG_PROPERTY_CLEAR_MEMORY_ENABLED       0x08
#define DEBUG_PROPERTY_ASSERT_BREAKPOINT_ENABLED  0x10
#define DEBUG_PROPERTY_ASSERT_DEADLOOP_ENABLED    0x20

#define DEBUG_WARN   0x00000002
#define DEBUG_INFO   0x00000040
#define DEBUG_ERROR  0x80000000

/**
  Formats Format with the arguments and prints it where ErrorLevel says.

  @param ErrorLevel  Level of the message.
  @param Format      Format string; the variable arguments follow it.
**/
VOID
EFIAPI
DebugPrint (
  IN  UINTN        ErrorLevel,
  IN  CONST CHAR8  *Format,
  ...
  );

/**
  Reports a failed check: FileName(LineNumber) and Description.
**/
VOID
EFIAPI
DebugAssert (
  IN CONST CHAR8  *FileName,
  IN UINTN        LineNumber,
  IN CONST CHAR8  *Description
  );

/** TRUE when the ASSERT forms check their condition. */
BOOLEAN
EFIAPI
DebugAssertEnabled (
  VOID
  );

/** TRUE when the DEBUG form prints. */
BOOLEAN
EFIAPI
DebugPrintEnabled (
  VOID
  );

/** TRUE when any bit of ErrorLevel is one the build lets through. */
BOOLEAN
EFIAPI
DebugPrintLevelEnabled (
  IN  CONST UINTN  ErrorLevel
  );

#ifndef DEBUG_LINE_NUMBER
#define DEBUG_LINE_NUMBER  __LINE__
#endif

///
/// The check's text as written at the check: "!EFI_ERROR (Status)", the argument of
/// ASSERT with its macros expanded ("Ppi != ((void *) 0)"). The text is taken here
/// directly, not through a second macro, so that the status checks keep their
/// EFI_ERROR form (the framework's own header, through one more macro, prints the
/// fully expanded test instead).
///
#define _ASSERT(Expression)  DebugAssert (__FILE__, DEBUG_LINE_NUMBER, #Expression)

#define _DEBUG_PRINT(PrintLevel, ...)          \
  do {                                         \
    if (DebugPrintLevelEnabled (PrintLevel)) { \
      DebugPrint (PrintLevel, ##__VA_ARGS__);  \
    }                                          \
  } while (FALSE)

#define _DEBUG(Expression)  _DEBUG_PRINT Expression

#if !defined (MDEPKG_NDEBUG)

#define ASSERT(Expression)      \
  do {                          \
    if (DebugAssertEnabled ()) { \
      if (!(Expression)) {      \
        _ASSERT (Expression);   \
        ANALYZER_UNREACHABLE (); \
      }                         \
    }                           \
  } while (FALSE)

#define DEBUG(Expression)      \
  do {                         \
    if (DebugPrintEnabled ()) { \
      _DEBUG (Expression);     \
    }                          \
  } while (FALSE)

#define ASSERT_EFI_ERROR(StatusParameter)                                            \
  do {                                                                               \
    if (DebugAssertEnabled ()) {                                                     \
      if (EFI_ERROR (StatusParameter)) {                                             \
        DEBUG ((DEBUG_ERROR, "\nASSERT_EFI_ERROR (Status = %r)\n", StatusParameter)); \
        _ASSERT (!EFI_ERROR (StatusParameter));                                      \
      }                                                                              \
    }                                                                                \
  } while (FALSE)

#define ASSERT_RETURN_ERROR(StatusParameter)                                            \
  do {                                                                                  \
    if (DebugAssertEnabled ()) {                                                        \
      if (RETURN_ERROR (StatusParameter)) {                                             \
        DEBUG ((DEBUG_ERROR, "\nASSERT_RETURN_ERROR (Status = %r)\n", StatusParameter)); \
        _ASSERT (!RETURN_ERROR (StatusParameter));                                      \
      }                                                                                 \
    }                                                                                   \
  } while (FALSE)

#else

#define ASSERT(Expression)
#define DEBUG(Expression)
#define ASSERT_EFI_ERROR(StatusParameter)
#define ASSERT_RETURN_ERROR(StatusParameter)

#endif

#endif
