/** @file
  A check that reports a fixed source file and line. Some checks of this package name
  the file and line that the board's consoles and field logs have always carried, not
  the line the check sits on today; they use this form. Like ASSERT, it is on when the
  debug library's property mask enables assertions and gone from a RELEASE build
  (MDEPKG_NDEBUG): the condition is not evaluated and the texts are not in the image.
**/
#pragma once

extern "C" {
#include <Uefi/UefiBaseType.h>
#include <Library/DebugLib.h>
}

#if defined(MDEPKG_NDEBUG)
/// FALSE in a RELEASE build: no check is compiled.
inline constexpr bool kQuarnAssertions = false;
#else
/// TRUE in a DEBUG build.
inline constexpr bool kQuarnAssertions = true;
#endif

/**
  Reports Description as failed at FileName(LineNumber) when Condition is false.

  @param Condition    The checked condition: a plain test without side effects, which a
                      RELEASE build drops with the check.
  @param FileName     The source as the report names it, relative, without extension.
  @param LineNumber   The line the report names.
  @param Description  The check's text.
**/
__attribute__((always_inline)) inline void QuarnAssertAt(bool Condition, const CHAR8 *FileName, UINTN LineNumber,
                                                         const CHAR8 *Description) {
  if constexpr (kQuarnAssertions) {
    if (DebugAssertEnabled() && !Condition) {
      DebugAssert(FileName, LineNumber, Description);
    }
  }
  // For the static analyzer only (no build sees it): the checked condition is the caller's
  // contract, so a path on which it fails ends here, as after ASSERT's report.
  if (!Condition) {
    ANALYZER_UNREACHABLE();
  }
}

/**
  The status form: when Status is an error, prints "\nASSERT_EFI_ERROR (Status = %r)\n"
  at error level and reports "!EFI_ERROR (Status)" as failed at FileName(LineNumber).
**/
__attribute__((always_inline)) inline void QuarnAssertEfiErrorAt(EFI_STATUS Status, const CHAR8 *FileName,
                                                                 UINTN LineNumber) {
  if constexpr (kQuarnAssertions) {
    if (DebugAssertEnabled() && EFI_ERROR(Status)) {
      DEBUG ((DEBUG_ERROR, "\nASSERT_EFI_ERROR (Status = %r)\n", Status));
      DebugAssert(FileName, LineNumber, "!EFI_ERROR (Status)");
    }
  }
}
