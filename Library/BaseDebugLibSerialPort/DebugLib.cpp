/** @file
  Levelled debug print and assertion reports on the serial console.

  A message of level error, warning or information is offered to DEBUG_PRINT_PPI,
  looked up anew on every call; a message whose level matches the current error level
  goes to the serial ports. The message is formatted at most once per call, into a
  256-byte buffer on the stack. The current error level is fixed at build time when
  gFixedDebugPrintErrorLevel is not 0; otherwise it comes from CMOS and is cached in
  MM0. An assertion writes its line whatever the level, signals a halt code, raises a
  breakpoint and returns.

  Nothing here reports a failure through DebugPrint: the checks this code can trip
  (in the format engine, the string length, the PEI services pointer) end in
  DebugAssert, which formats and writes its line without DebugPrint, so no check can
  bring a print back into itself.
**/
#include <Guid/QuarnPeiPreMemFile.h>
#include <Library/BaseLib.h>
#include <Library/CpuIntrinsicsLib.h>
#include <Library/DebugLib.h>
#include <Library/IoLib.h>
#include <Library/PeiServicesLib.h>
#include <Library/PrintLib.h>
#include <Library/SerialPortLib.h>
#include <Ppi/DebugPrint.h>

/// A fixed error level built into the image; 0 means "not fixed": MM0 cache or CMOS.
constexpr UINT32 gFixedDebugPrintErrorLevel = 0;

namespace {

constexpr CHAR8 kSource[] = "Library/BaseDebugLibSerialPort/DebugLib";
constexpr UINTN kNullFormatCheckLine = 114;

constexpr UINTN kMessageBufferSize = 256;

constexpr CHAR8 kAssertFormat[] = "ASSERT [%a] %a(%d): %a\n";

// Assertion halt code.
constexpr UINTN kHaltCodePort = 0xCB0;
constexpr UINT8 kAssertHaltCode = 0xD2;

// CMOS: index and data ports, the validity register and the four level bytes.
constexpr UINTN kCmosIndexPort = 0x70;
constexpr UINTN kCmosDataPort = 0x71;
constexpr UINT8 kCmosNmiDisable = 0x80;
constexpr UINT8 kCmosStatusRegister = 0x0E;
constexpr UINT8 kCmosContentsInvalid = 0x80;
constexpr UINT8 kCmosLevelRegisters[] = {0x7A, 0x7B, 0x7C, 0x7D};  // least significant first
static_assert(sizeof(kCmosLevelRegisters) == sizeof(UINT32), "one register per byte of the level");

// The error-level cache in MM0.
constexpr UINT64 kCacheSignatureMask = 0xFFFF;
constexpr UINT64 kCacheSignature = 0x4424;
constexpr UINT64 kCacheValid = 1ull << 31;
constexpr UINT64 kCacheKeptBits = 0x7FFF0000;  // bits 30:16, left as the register held them
constexpr unsigned kCacheLevelShift = 32;

/** TRUE when the MM0 image holds a cached level: the signature and the valid bit. */
constexpr bool IsCacheValid(UINT64 Mm0) {
  return (Mm0 & kCacheSignatureMask) == kCacheSignature && (Mm0 & kCacheValid) != 0;
}

/** The MM0 image that caches Level, keeping bits 30:16 of Previous. */
constexpr UINT64 CacheImage(UINT64 Previous, UINT32 Level) {
  return (static_cast<UINT64>(Level) << kCacheLevelShift) | kCacheValid | (Previous & kCacheKeptBits) |
         kCacheSignature;
}
static_assert(CacheImage(0xFFFFFFFFFFFFFFFFull, 0x80000042) == 0x80000042FFFF4424ull, "cache layout");
static_assert(IsCacheValid(CacheImage(0, 0)), "a cached level of 0 is a valid cache");

/** Reads the level from CMOS: 0 when register 0x0E bit 7 says the contents are not to be trusted. */
UINT32 ReadCmosErrorLevel() {
  IoWrite8(kCmosIndexPort, kCmosNmiDisable | kCmosStatusRegister);
  if ((IoRead8(kCmosDataPort) & kCmosContentsInvalid) != 0) {
    return 0;
  }
  UINT32 Level = 0;
  for (UINTN Byte = 0; Byte < sizeof(kCmosLevelRegisters); Byte++) {
    IoWrite8(kCmosIndexPort, kCmosLevelRegisters[Byte]);
    Level |= static_cast<UINT32>(IoRead8(kCmosDataPort)) << (8 * Byte);
  }
  return Level;
}

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
    DebugAssert(kSource, kNullFormatCheckLine, "Format != ((void *) 0)");
    return;  // nothing to format: the message has no text
  }

  // A format the engine refuses (an assertion, result 0) leaves the buffer untouched:
  // start from an empty text so that such a message is empty, not stack garbage.
  CHAR8 Buffer[kMessageBufferSize];
  Buffer[0] = '\0';
  bool Formatted = false;
  VA_LIST Marker;
  va_start(Marker, Format);

  if ((ErrorLevel & DEBUG_PPI_LEVELS) != 0) {
    const UINTN Length = BasePrintLibSPrintMarker(Buffer, sizeof(Buffer), 0, Format, Marker);
    Formatted = true;
    DEBUG_PRINT_PPI *Ppi = nullptr;
    const EFI_STATUS Status = PeiServicesLocatePpi(&gDebugPrintPpiGuid, reinterpret_cast<VOID **>(&Ppi));
    if (!EFI_ERROR(Status) && Ppi != nullptr && Ppi->WriteMessage != nullptr) {
      Ppi->WriteMessage(Buffer, Length);
    }
  }

  if ((ErrorLevel & GetDebugPrintErrorLevel()) != 0) {
    if (!Formatted) {
      BasePrintLibSPrintMarker(Buffer, sizeof(Buffer), 0, Format, Marker);
    }
    SerialPortWrite(reinterpret_cast<UINT8 *>(Buffer), AsciiStrLen(Buffer));
  }

  va_end(Marker);
}

/**
  Reports a failed check: writes "ASSERT [QuarnPeiPreMem] FileName(LineNumber): Description"
  and CR LF to the serial ports whatever the error level, writes 0xD2 to port 0xCB0,
  raises a breakpoint and returns to the caller, which goes on.
**/
VOID DebugAssert(IN CONST CHAR8 *FileName, IN UINTN LineNumber, IN CONST CHAR8 *Description) {
  CHAR8 Buffer[kMessageBufferSize];
  AsciiSPrint(Buffer, sizeof(Buffer), kAssertFormat, gEfiCallerBaseName, FileName, LineNumber, Description);
  SerialPortWrite(reinterpret_cast<UINT8 *>(Buffer), AsciiStrLen(Buffer));
  IoWrite8(kHaltCodePort, kAssertHaltCode);
  CpuBreakpoint();
}

/**
  Returns the current error level: the fixed level when one is built in, else the
  level cached in MM0, else the level read from CMOS (0 when CMOS is not valid),
  which is then cached in MM0 with bits 30:16 kept as they were.
**/
UINT32 GetDebugPrintErrorLevel(VOID) {
  if (gFixedDebugPrintErrorLevel != 0) {
    return gFixedDebugPrintErrorLevel;
  }

  UINT64 Mm0 = 0;
  CpuReadMm0(&Mm0);
  if (IsCacheValid(Mm0)) {
    return static_cast<UINT32>(Mm0 >> kCacheLevelShift);
  }

  const UINT32 Level = ReadCmosErrorLevel();
  const UINT64 Cache = CacheImage(Mm0, Level);
  CpuWriteMm0(&Cache);
  return Level;
}

}
