/** @file
  Levelled debug print and assertion reports.

  A message of level error, warning or information is offered to DEBUG_PRINT_PPI when
  one is installed, and written to the serial console when its level matches the
  current error level (CMOS, cached in MM0). An assertion writes one line, signals the
  halt code 0xD2 on port 0xCB0, raises a breakpoint and returns: the caller goes on.

  The check helpers below are the forms the module's code uses; each names the source
  and line that the assertion line reports.
**/
#pragma once

#include <Base.h>

constexpr UINTN DEBUG_WARN  = 0x00000002;
constexpr UINTN DEBUG_INFO  = 0x00000040;
constexpr UINTN DEBUG_ERROR = 0x80000000;

/// The levels offered to DEBUG_PRINT_PPI.
constexpr UINTN DEBUG_PPI_LEVELS = DEBUG_ERROR | DEBUG_WARN | DEBUG_INFO;

extern "C" {

/**
  Formats Format with the arguments and prints it.

  @param ErrorLevel  Level of the message.
  @param Format      Format string of the module's format language; asserts when NULL.
**/
VOID EFIAPI DebugPrint(IN UINTN ErrorLevel, IN CONST CHAR8 *Format, ...);

/**
  Writes "ASSERT [QuarnPeiPreMem] FileName(LineNumber): Description" to the console,
  0xD2 to port 0xCB0, raises a breakpoint and returns.
**/
VOID DebugAssert(IN CONST CHAR8 *FileName, IN UINTN LineNumber, IN CONST CHAR8 *Description);

/** Returns the current error level: fixed, cached in MM0, or read from CMOS. */
UINT32 GetDebugPrintErrorLevel(VOID);

}

/**
  A plain check: when Condition is false, reports Description as failed at
  FileName(LineNumber). Always inlined: a test and a call at each check is smaller
  than passing the condition's value to a function of its own.
**/
__attribute__((always_inline)) inline void DebugCheck(bool Condition, const CHAR8 *FileName, UINTN LineNumber, const CHAR8 *Description) {
  if (!Condition) {
    DebugAssert(FileName, LineNumber, Description);
  }
}

/**
  A status check: when Status is an error, prints "\nASSERT_EFI_ERROR (Status = %r)\n"
  at error level and reports Description as failed at FileName(LineNumber).
**/
inline void DebugCheckEfiStatus(EFI_STATUS Status, const CHAR8 *FileName, UINTN LineNumber,
                                const CHAR8 *Description = "!EFI_ERROR (Status)") {
  if (EFI_ERROR(Status)) {
    DebugPrint(DEBUG_ERROR, "\nASSERT_EFI_ERROR (Status = %r)\n", Status);
    DebugAssert(FileName, LineNumber, Description);
  }
}

/**
  The library-constructor form of the status check: "\nASSERT_RETURN_ERROR (Status = %r)\n"
  and "!RETURN_ERROR (Status)".
**/
inline void DebugCheckReturnStatus(RETURN_STATUS Status, const CHAR8 *FileName, UINTN LineNumber) {
  if (RETURN_ERROR(Status)) {
    DebugPrint(DEBUG_ERROR, "\nASSERT_RETURN_ERROR (Status = %r)\n", Status);
    DebugAssert(FileName, LineNumber, "!RETURN_ERROR (Status)");
  }
}
