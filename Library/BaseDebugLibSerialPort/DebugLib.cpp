/** @file
  Levelled debug messages on DEBUG_PRINT_PPI and the serial console, and assertion
  reports.

  A message of level error, warning or information is offered to DEBUG_PRINT_PPI,
  looked up anew on every call; a message whose level matches the current error level
  (DebugPrintErrorLevelLib) goes to the serial ports. The message is formatted at most
  once per call, into a 256-byte buffer on the stack. An assertion writes its line
  whatever the level, signals the halt code 0xD2 on PcdQuarnHaltCodePort, raises a
  breakpoint and returns.

  Nothing here reports a failure through DebugPrint: the checks this code can trip
  (in the format engine, the string length, the PEI services pointer) end in
  DebugAssert, which formats and writes its line without DebugPrint, so no check can
  bring a print back into itself.
**/
extern "C" {
#include <PiPei.h>
#include <Library/BaseLib.h>
#include <Library/DebugLib.h>
#include <Library/DebugPrintErrorLevelLib.h>
#include <Library/IoLib.h>
#include <Library/PcdLib.h>
#include <Library/PeiServicesLib.h>
#include <Library/PrintLib.h>
#include <Library/SerialPortLib.h>
}
#include <Ppi/DebugPrint.h>
#include <QuarnAssert.h>

namespace {

constexpr UINTN kMessageBufferSize = 256;

/// The levels offered to DEBUG_PRINT_PPI.
constexpr UINTN kPpiLevels = DEBUG_ERROR | DEBUG_WARN | DEBUG_INFO;

constexpr CHAR8 kAssertFormat[] = "ASSERT [%a] %a(%d): %a\n";

constexpr UINTN kHaltCodePort = FixedPcdGet16(PcdQuarnHaltCodePort);
constexpr UINT8 kAssertHaltCode = 0xD2;

constexpr UINT8 kPropertyMask = FixedPcdGet8(PcdDebugPropertyMask);
constexpr UINT32 kPermittedLevels = FixedPcdGet32(PcdFixedDebugPrintErrorLevel);

}  // namespace

extern "C" {

/**
  Prints a message: to DEBUG_PRINT_PPI when ErrorLevel has a bit of 0x80000042, and to
  the serial ports when ErrorLevel shares a bit with the current error level.

  @param ErrorLevel  Level of the message.
  @param Format      Format of the message; asserts "Format != ((void *) 0)" when NULL,
                     and the message is then dropped.
**/
VOID EFIAPI DebugPrint(IN UINTN ErrorLevel, IN CONST CHAR8 *Format, ...) {
  if (Format == nullptr) {
    QuarnAssertAt(false, "Library/BaseDebugLibSerialPort/DebugLib", 114, "Format != ((void *) 0)");
    return;  // nothing to format: the message has no text
  }

  // A format the engine refuses (an assertion, result 0) leaves the buffer untouched:
  // start from an empty text so that such a message is empty, not stack garbage.
  CHAR8 Buffer[kMessageBufferSize];
  Buffer[0] = '\0';
  bool Formatted = false;
  VA_LIST Marker;
  VA_START(Marker, Format);

  if ((ErrorLevel & kPpiLevels) != 0) {
    const UINTN Length = AsciiVSPrint(Buffer, sizeof(Buffer), Format, Marker);
    Formatted = true;
    DEBUG_PRINT_PPI *Ppi = nullptr;
    const EFI_STATUS Status = PeiServicesLocatePpi(&gDebugPrintPpiGuid, 0, nullptr, reinterpret_cast<VOID **>(&Ppi));
    if (!EFI_ERROR(Status) && Ppi != nullptr && Ppi->WriteMessage != nullptr) {
      Ppi->WriteMessage(Buffer, Length);
    }
  }

  if ((ErrorLevel & GetDebugPrintErrorLevel()) != 0) {
    if (!Formatted) {
      AsciiVSPrint(Buffer, sizeof(Buffer), Format, Marker);
    }
    SerialPortWrite(reinterpret_cast<UINT8 *>(Buffer), AsciiStrLen(Buffer));
  }

  VA_END(Marker);
}

/**
  Reports a failed check: writes "ASSERT [QuarnPeiPreMem] FileName(LineNumber): Description"
  and CR LF to the serial ports whatever the error level, writes 0xD2 to the halt-code
  port, raises a breakpoint and returns to the caller, which goes on.
**/
VOID EFIAPI DebugAssert(IN CONST CHAR8 *FileName, IN UINTN LineNumber, IN CONST CHAR8 *Description) {
  CHAR8 Buffer[kMessageBufferSize];
  AsciiSPrint(Buffer, sizeof(Buffer), kAssertFormat, gEfiCallerBaseName, FileName, LineNumber, Description);
  SerialPortWrite(reinterpret_cast<UINT8 *>(Buffer), AsciiStrLen(Buffer));
  IoWrite8(kHaltCodePort, kAssertHaltCode);
  CpuBreakpoint();
}

/** TRUE when PcdDebugPropertyMask enables the ASSERT forms. */
BOOLEAN EFIAPI DebugAssertEnabled(VOID) { return (kPropertyMask & DEBUG_PROPERTY_DEBUG_ASSERT_ENABLED) != 0; }

/** TRUE when PcdDebugPropertyMask enables the DEBUG form. */
BOOLEAN EFIAPI DebugPrintEnabled(VOID) { return (kPropertyMask & DEBUG_PROPERTY_DEBUG_PRINT_ENABLED) != 0; }

/**
  TRUE when ErrorLevel has a bit that PcdFixedDebugPrintErrorLevel lets through. The
  current error level (CMOS) is applied by DebugPrint itself, after the message has been
  offered to DEBUG_PRINT_PPI: the PPI receives a message whatever the current level says.
**/
BOOLEAN EFIAPI DebugPrintLevelEnabled(IN CONST UINTN ErrorLevel) { return (ErrorLevel & kPermittedLevels) != 0; }
}
