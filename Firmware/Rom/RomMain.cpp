/** @file
  The boot stub after the switch to protected mode: q35 set-up, IDT with the PEI
  services word below it, the small PEI core with the platform PPIs, one dispatch of
  the module, then the result on the debug-exit port.
**/
#include <Library/CpuIntrinsicsLib.h>
extern "C" {
#include <PiPei.h>
#include <Library/PeimEntryPoint.h>
}

#include "RomChipset.h"
#include "RomConsole.h"
#include "RomDebugExit.h"
#include "RomPeiCore.h"
#include "RomPlatformPpis.h"
#include "RomRam.h"
#include "RomResult.h"

/// The frame the exception entries leave: PUSHAL, vector, error code, then the
/// processor's part.
struct ROM_EXCEPTION_FRAME {
  UINT32 Edi, Esi, Ebp, Esp, Ebx, Edx, Ecx, Eax;
  UINT32 Vector;
  UINT32 ErrorCode;
  UINT32 Eip, Cs, Eflags;
};
static_assert(sizeof(ROM_EXCEPTION_FRAME) == 13 * 4, "frame of ResetVector.S");

extern "C" {
/// The exception entries of ResetVector.S, by vector.
extern const UINT32 RomVectorTable[kRomIdtEntries];
}

namespace {

constexpr UINT16 kCodeSelector = 0x08;
constexpr UINT8 kInterruptGate = 0x8E;
constexpr UINT32 kBreakpointVector = 3;

/** Clears gRomRam (one REP STOSB; the stub has no zeroed data section). */
VOID ClearRam() {
  VOID *Buffer = &gRomRam;
  UINTN Length = sizeof(ROM_RAM);
  __asm__ __volatile__("rep stosb" : "+D"(Buffer), "+c"(Length) : "a"(0) : "memory");
}

/** Fills the IDT from the exception entries and loads IDTR. */
VOID LoadIdt() {
  for (UINTN Vector = 0; Vector < kRomIdtEntries; Vector++) {
    const UINT32 Handler = RomVectorTable[Vector];
    ROM_IDT_GATE &Gate = gRomRam.Idt[Vector];
    Gate.OffsetLow = static_cast<UINT16>(Handler);
    Gate.Selector = kCodeSelector;
    Gate.Reserved = 0;
    Gate.Attributes = kInterruptGate;
    Gate.OffsetHigh = static_cast<UINT16>(Handler >> 16);
  }
  IA32_DESCRIPTOR Idtr;
  Idtr.Limit = static_cast<UINT16>(sizeof(gRomRam.Idt) - 1);
  Idtr.Base = static_cast<UINT32>(reinterpret_cast<UINTN>(gRomRam.Idt));
  __asm__ __volatile__("lidt %0" : : "m"(Idtr));
}

/** Writes the exit byte; QEMU ends here. Spins if no debug-exit device is present. */
[[noreturn]] VOID Exit(UINT8 Code) {
  CpuIoWrite8(kRomDebugExitPort, Code);
  for (;;) __asm__ __volatile__("cli; hlt");
}

/** Prints the run's settings and what the board read back ("rom: " lines). */
VOID PrintBoard(const ROM_BOARD_SETTINGS &Settings, const ROM_BOARD_FACTS &Facts) {
  RomPrint("rom: q35 set up: PCIEXBAR ");
  RomPrintHex32(Facts.PciExBar);
  RomPrint(", PMBASE ");
  RomPrintHex32(Facts.PmBase);
  RomPrint(", ACPI control ");
  RomPrintHex8(Facts.AcpiControl);
  RomPrint(", CMOS 0x0E ");
  RomPrintHex8(Facts.CmosStatus0E);
  RomPrint(" (at reset ");
  RomPrintHex8(Facts.CmosStatus0EAtReset);
  RomPrint(")");
  RomPrint(", CMOS level ");
  RomPrintHex32(Facts.CmosLevel);
  RomPrint(", CPUID 1 ");
  RomPrintHex32(Facts.CpuSignature);
  RomPrint(", MM0 ");
  RomPrintHex32(static_cast<UINT32>(Settings.Mm0 >> 32));
  RomPrint(":");
  RomPrintHex32(static_cast<UINT32>(Settings.Mm0));
  RomPrint("\nrom: the module will find: VORNFS1 ");
  RomPrintHex32(Facts.VornFs1);
  RomPrint(", VORNFS2 ");
  RomPrintHex32(Facts.VornFs2);
  RomPrint(", DWRSTS ");
  RomPrintHex32(Facts.DwrSts);
  RomPrint(", 00:1F.1 [0x10] ");
  RomPrintHex32(Facts.SidebandBar);
  RomPrint(", 00:00.0 [0xFC] ");
  RomPrintHex8(Facts.HostBridgeFc);
  RomPrint(", Super I/O LD3 [0x30] ");
  RomPrintHex8(Facts.SuperIoActivate);
  RomPrint(", ACPI timer ");
  RomPrintHex32(Facts.AcpiTimer);
  RomPrint("\nrom: UARTs at power-on: 0x3F8 LCR ");
  RomPrintHex8(Facts.Uart1Lcr);
  RomPrint(", 0x2F8 LCR ");
  RomPrintHex8(Facts.Uart2Lcr);
  RomPrint(" divisor ");
  RomPrintDec(Facts.Uart2Divisor);
  RomPrint(" IIR ");
  RomPrintHex8(Facts.Uart2Iir);
  RomPrint("\n");
}

}  // namespace

extern "C" {

/** Called by every exception entry. A breakpoint (an assertion of the module) is
    counted and the code goes on (returns TRUE); anything else is reported on the
    second UART and ends the run with kRomExitException. The exception entries call it
    with the frame on the stack: EFIAPI. */
BOOLEAN EFIAPI RomException(ROM_EXCEPTION_FRAME *Frame) {
  if (Frame->Vector == kBreakpointVector) {
    gRomRam.BreakpointCount++;
    return TRUE;
  }
  RomPrint("\nrom: exception ");
  RomPrintDec(Frame->Vector);
  RomPrint(" at EIP ");
  RomPrintHex32(Frame->Eip);
  RomPrint(", error code ");
  RomPrintHex32(Frame->ErrorCode);
  RomPrint("\n");
  Exit(kRomExitException);
}

/// Bytes of stack painted below the entry call, and the pattern.
constexpr UINTN kStackPaintBytes = 0x10000;
constexpr UINTN kStackPaintGap = 64;
constexpr UINT8 kStackPaint = 0xA5;

/** Entered from RomEntry32 with a stack in RAM; never returns. */
[[noreturn]] VOID RomMain(VOID) {
  ClearRam();
  LoadIdt();

  ROM_BOARD_SETTINGS Settings;
  RomReadBoardSettings(&Settings);
  ROM_BOARD_FACTS Facts;
  RomChipsetInit(&Settings, &Facts);
  RomReadBoardFacts(&Facts);
  PrintBoard(Settings, Facts);

  CONST EFI_PEI_SERVICES **PeiServices = RomPeiCoreInit(BOOT_WITH_FULL_CONFIGURATION);
  const EFI_STATUS Installed = RomInstallPlatformPpis(PeiServices);
  RomPrint("rom: PEI core ready, platform PPIs ");
  RomPrintHex32(Installed);
  RomPrint("; dispatching the module (_ModuleEntryPoint)\n");

  // Paint the stack below this frame, so that the deepest point the module (with this
  // core's services and the breakpoint handler under it) reached can be read afterwards.
  UINTN StackPointer;
  __asm__ __volatile__("movl %%esp, %0" : "=r"(StackPointer));
  volatile UINT8 *const PaintTop = reinterpret_cast<volatile UINT8 *>(StackPointer - kStackPaintGap);
  for (UINTN Offset = 1; Offset <= kStackPaintBytes; Offset++) PaintTop[-static_cast<INTN>(Offset)] = kStackPaint;

  // MM0 last: nothing of the stub may run MMX or x87 code after it.
  CpuWriteMm0(&Settings.Mm0);
  const EFI_STATUS Status = _ModuleEntryPoint(nullptr, PeiServices);

  UINTN Untouched = 0;
  while (Untouched < kStackPaintBytes && PaintTop[-static_cast<INTN>(kStackPaintBytes - Untouched)] == kStackPaint) {
    Untouched++;
  }
  RomPrint("rom: stack high-water ");
  RomPrintDec(kStackPaintBytes - Untouched + kStackPaintGap);
  RomPrint(" bytes below the entry call\n");

  RomPrint("rom: the module returned ");
  RomPrintHex32(Status);
  RomPrint("; ");
  RomPrintDec(RomHobCount());
  RomPrint(" HOBs, ");
  RomPrintDec(gRomRam.PpiCount);
  RomPrint(" PPIs, ");
  RomPrintDec(gRomRam.NotifyCount);
  RomPrint(" notifications, ");
  RomPrintDec(gRomRam.StatusCodeCount);
  RomPrint(" status codes, ");
  RomPrintDec(RomDruxCallCount());
  RomPrint(" DRUX calls, ");
  RomPrintDec(gRomRam.BreakpointCount);
  RomPrint(" breakpoints\n");
  RomPrintResult(Status);
  Exit(RomExitCode(Status));
}
}
