// The assertion lines of the low-level libraries, byte for byte: source, line and text
// of every check, and the limits on both sides of the range checks. Platform log tools
// match these lines. A check whose line the board's consoles have always carried keeps
// that line (written out here); every other check names the line it sits on, which the
// test reads from the source.
//
// A check that fails reports and returns; what the code does next may not be safe with
// the refused arguments. So each case stops the call at its last expected assertion
// (the breakpoint that follows the line), as a debugger would.
#include <gtest/gtest.h>

extern "C" {
#include <PiPei.h>
#include <Library/BaseLib.h>
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>
#include <Library/HobLib.h>
#include <Library/IoLib.h>
#include <Library/PciExpressLib.h>
#include <Library/PciSegmentLib.h>
#include <Library/PeiServicesTablePointerLib.h>
#include <Library/PrintLib.h>
#include <Library/ReportStatusCodeLib.h>
#include <Library/SerialPortLib.h>
}
#include <Library/SysHostPointerLib.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ConsoleFixture.h"
#include "SourceLines.h"
#include "Emulator/Board/RunStopped.h"

using namespace quarn;

namespace {

constexpr EFI_GUID kSomeGuid = {0x0F1E2D3C, 0x4B5A, 0x6978, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr char kAssertPrefix[] = "ASSERT [QuarnPeiPreMem] ";

/// An expected assertion line: a fixed one ("Library/BaseLib/String(1082): ..."), or the
/// check Check in Source (after Anchor) with its Description, its line read from the source.
struct Expected {
  std::string Fixed;
  const char *Source = nullptr;
  const char *Check = nullptr;
  const char *Description = nullptr;
  const char *Anchor = "";

  Expected(const char *Line) : Fixed(Line) {}
  Expected(const char *InSource, const char *TheCheck, const char *TheDescription, const char *After = "")
      : Source(InSource), Check(TheCheck), Description(TheDescription), Anchor(After) {}

  std::string Line() const { return Source == nullptr ? Fixed : test::CheckLine(Source, Check, Description, Anchor); }
};

struct AssertionCase {
  const char *Name;
  std::function<void(emu::Emulator &)> Call;
  std::vector<Expected> Lines;  // without the prefix; empty: the call must not assert
};

/// Thrown at the last expected assertion: the call goes no further.
struct StopAtAssertion {};

const std::string kLongString(1000001, 'q');

const AssertionCase kCases[] = {
    // --- HobLib ---
    {"GetHobListFails",
     [](emu::Emulator &E) {
       E.GetBoard().Faults().FailCall("GetHobList", 1);
       GetHobList();
     },
     {{"Library/PeiHobLib/HobLib.cpp", "ASSERT_EFI_ERROR (Status);", "!EFI_ERROR (Status)"},
      {"Library/PeiHobLib/HobLib.cpp", "ASSERT (HobList != NULL);", "HobList != ((void *) 0)"}}},
    {"GetNextHobWithoutAStart",
     [](emu::Emulator &) { GetNextHob(EFI_HOB_TYPE_GUID_EXTENSION, nullptr); },
     {{"Library/PeiHobLib/HobLib.cpp", "ASSERT (HobStart != NULL);", "HobStart != ((void *) 0)"}}},
    {"BuildGuidHobWithoutAName",
     [](emu::Emulator &) { BuildGuidHob(nullptr, 8); },
     {{"Library/PeiHobLib/HobLib.cpp", "ASSERT (Guid != NULL);", "Guid != ((void *) 0)"}}},
    {"BuildGuidHobOneByteTooLong",
     [](emu::Emulator &) { EXPECT_EQ(BuildGuidHob(&kSomeGuid, 0xFFF8 - 24 + 1), nullptr); },
     {{"Library/PeiHobLib/HobLib.cpp",
       "ASSERT (DataLength <=", "DataLength <= (0xFFF8 - sizeof (EFI_HOB_GUID_TYPE))"}}},
    {"BuildGuidHobAtTheLimit", [](emu::Emulator &) { EXPECT_NE(BuildGuidHob(&kSomeGuid, 0xFFF8 - 24), nullptr); }, {}},
    {"BuildGuidHobCreateHobFails",
     [](emu::Emulator &E) {
       E.GetBoard().Faults().FailCall("CreateHob", 1);
       EXPECT_EQ(BuildGuidHob(&kSomeGuid, 8), nullptr);
     },
     {{"Library/PeiHobLib/HobLib.cpp", "ASSERT (Hob != NULL);", "Hob != ((void *) 0)"}}},
    // --- BaseMemoryLib: equal addresses copy nothing, so the checks can be met at the top ---
    {"CopyMemEndingAtTheTop",
     [](emu::Emulator &) { CopyMem(reinterpret_cast<VOID *>(0xFFFFFFF0u), reinterpret_cast<VOID *>(0xFFFFFFF0u), 16); },
     {}},
    {"CopyMemOneBytePastTheTop",
     [](emu::Emulator &) { CopyMem(reinterpret_cast<VOID *>(0xFFFFFFF0u), reinterpret_cast<VOID *>(0xFFFFFFF0u), 17); },
     {"Library/BaseMemoryLibRepStr/CopyMemWrapper(50): (Length - 1) <= (0xFFFFFFFF - (UINTN)DestinationBuffer)",
      "Library/BaseMemoryLibRepStr/CopyMemWrapper(51): (Length - 1) <= (0xFFFFFFFF - (UINTN)SourceBuffer)"}},
    {"ZeroMemNothingAtNull",
     [](emu::Emulator &) { ZeroMem(nullptr, 0); },
     {"Library/BaseMemoryLibRepStr/ZeroMemWrapper(47): Buffer != ((void *) 0)"}},
    {"ZeroMemOneByteAtNull",
     [](emu::Emulator &) { ZeroMem(nullptr, 1); },
     {"Library/BaseMemoryLibRepStr/ZeroMemWrapper(47): Buffer != ((void *) 0)",
      "Library/BaseMemoryLibRepStr/ZeroMemWrapper(48): Length <= (0xFFFFFFFF - (UINTN)Buffer + 1)"}},
    {"ZeroMemOneBytePastTheTop",
     [](emu::Emulator &) { ZeroMem(reinterpret_cast<VOID *>(0xFFFFFFF0u), 17); },
     {"Library/BaseMemoryLibRepStr/ZeroMemWrapper(48): Length <= (0xFFFFFFFF - (UINTN)Buffer + 1)"}},
    // --- BaseLib ---
    {"AsciiStrLenOfNull",
     [](emu::Emulator &) { AsciiStrLen(nullptr); },
     {"Library/BaseLib/String(1082): String != ((void *) 0)"}},
    {"AsciiStrLenTooLong",
     [](emu::Emulator &) { AsciiStrLen(kLongString.c_str()); },
     {"Library/BaseLib/String(1090): Length < _gPcd_FixedAtBuild_PcdMaximumAsciiStringLength"}},
    {"ReadUnaligned16OfNull",
     [](emu::Emulator &) { ReadUnaligned16(nullptr); },
     {{"Library/BaseLib/Unaligned.cpp", "ASSERT (Buffer != NULL);", "Buffer != ((void *) 0)",
       "EFIAPI ReadUnaligned16("}}},
    {"ReadUnaligned32OfNull",
     [](emu::Emulator &) { ReadUnaligned32(nullptr); },
     {{"Library/BaseLib/Unaligned.cpp", "ASSERT (Buffer != NULL);", "Buffer != ((void *) 0)",
       "EFIAPI ReadUnaligned32("}}},
    {"ReadUnaligned64OfNull",
     [](emu::Emulator &) { ReadUnaligned64(nullptr); },
     {{"Library/BaseLib/Unaligned.cpp", "ASSERT (Buffer != NULL);", "Buffer != ((void *) 0)",
       "EFIAPI ReadUnaligned64("}}},
    {"WriteUnaligned64ToNull",
     [](emu::Emulator &) { WriteUnaligned64(nullptr, 1); },
     {{"Library/BaseLib/Unaligned.cpp", "ASSERT (Buffer != NULL);", "Buffer != ((void *) 0)",
       "EFIAPI WriteUnaligned64("}}},
    {"ReadIdtrIntoNull",
     [](emu::Emulator &) { AsmReadIdtr(nullptr); },
     {{"Library/BaseLib/X86ReadIdtr.cpp", "ASSERT (Idtr != NULL);", "Idtr != ((void *) 0)"}}},
    {"DivideByZero",
     [](emu::Emulator &) { DivU64x32Remainder(1, 0, nullptr); },
     {"Library/BaseLib/DivU64x32Remainder(41): Divisor != 0"}},
    // --- IoLib, PciExpressLib, PciSegmentLib ---
    {"MmioRead32Unaligned",
     [](emu::Emulator &) { MmioRead32(0xFE00192D); },
     {"Library/BaseIoLibIntrinsic/IoLib(240): (Address & 3) == 0"}},
    {"MmioWrite32Unaligned",
     [](emu::Emulator &) { MmioWrite32(0xFE00192E, 0); },
     {"Library/BaseIoLibIntrinsic/IoLib(272): (Address & 3) == 0"}},
    {"IoRead32Unaligned",
     [](emu::Emulator &) { IoRead32(0x509); },
     {"Library/BaseIoLibIntrinsic/IoLibMsc(187): (Port & 3) == 0"}},
    {"IoWrite32Unaligned",
     [](emu::Emulator &) { IoWrite32(0x50B, 0); },
     {"Library/BaseIoLibIntrinsic/IoLibMsc(217): (Port & 3) == 0"}},
    {"PciExpressRead32PastTheWindow",
     [](emu::Emulator &) { PciExpressRead32(0x10000000); },
     {"Library/BasePciExpressLib/PciExpressLib(858): ((Address) & ~0xfffffff) == 0"}},
    {"PciExpressRead32AtTheWindowsEnd", [](emu::Emulator &) { PciExpressRead32(0x0FFFFFFC); }, {}},
    {"PciExpressRead8PastTheWindow",
     [](emu::Emulator &) { PciExpressRead8(0x10000000); },
     {"Library/BasePciExpressLib/PciExpressLib(103): ((Address) & ~0xfffffff) == 0"}},
    {"PciSegmentRead32OtherSegment",
     [](emu::Emulator &) { PciSegmentRead32(0x100000000ull); },
     {"Library/BasePciSegmentLibPci/PciSegmentLib(766): ((Address) & (0xfffffffff0000000ULL | (3))) == 0"}},
    {"PciSegmentRead32Unaligned",
     [](emu::Emulator &) { PciSegmentRead32(0xC0042); },
     {"Library/BasePciSegmentLibPci/PciSegmentLib(766): ((Address) & (0xfffffffff0000000ULL | (3))) == 0"}},
    // --- ReportStatusCodeLib ---
    {"ReportStatusCodeSizeWithoutData",
     [](emu::Emulator &) { ReportStatusCodeEx(EFI_ERROR_CODE, 1, 0, nullptr, nullptr, nullptr, 4); },
     {{"Library/PeiReportStatusCodeLib/ReportStatusCodeLib.cpp", "ASSERT (!((ExtendedData == NULL)",
       "!((ExtendedData == ((void *) 0)) && (ExtendedDataSize != 0))"}}},
    {"ReportStatusCodeDataWithoutSize",
     [](emu::Emulator &) {
       static const UINT32 Data = 0;
       ReportStatusCodeEx(EFI_ERROR_CODE, 1, 0, nullptr, nullptr, &Data, 0);
     },
     {{"Library/PeiReportStatusCodeLib/ReportStatusCodeLib.cpp", "ASSERT (!((ExtendedData != NULL)",
       "!((ExtendedData != ((void *) 0)) && (ExtendedDataSize == 0))"}}},
    // --- PeiServicesTablePointerLib ---
    {"NoServicesBelowTheIdt",
     [](emu::Emulator &E) {
       const UINT32 Zero = 0;
       std::memcpy(E.Core().MemoryBase() + emu::PeiCore::kIdtOffset - 4, &Zero, sizeof Zero);
       GetPeiServicesTablePointer();
     },
     {{"Library/PeiServicesTablePointerLibIdt/PeiServicesTablePointer.cpp", "ASSERT (PeiServices != NULL);",
       "PeiServices != ((void *) 0)"}}},
    // --- DebugLib and PrintLib ---
    {"DebugPrintWithoutAFormat",
     [](emu::Emulator &) { DebugPrint(DEBUG_ERROR, nullptr); },
     {"Library/BaseDebugLibSerialPort/DebugLib(114): Format != ((void *) 0)"}},
    {"SPrintIntoNull",
     [](emu::Emulator &) { AsciiSPrint(nullptr, 16, "x"); },
     {"Library/BasePrintLib/PrintLibInternal(572): (Buffer != ((void *) 0))"}},
    {"SPrintWithoutAFormat",
     [](emu::Emulator &) {
       char Buffer[16];
       AsciiSPrint(Buffer, sizeof Buffer, nullptr);
     },
     {"Library/BasePrintLib/PrintLibInternal(580): (Format != ((void *) 0))"}},
    {"SPrintBufferTooLarge",
     [](emu::Emulator &) {
       char Buffer[16];
       AsciiSPrint(Buffer, 1000001, "x");
     },
     {"Library/BasePrintLib/PrintLibInternal(594): (BufferSize <= (_gPcd_FixedAtBuild_PcdMaximumAsciiStringLength))"}},
    {"SPrintFormatTooLong",
     [](emu::Emulator &) {
       char Buffer[16];
       AsciiSPrint(Buffer, sizeof Buffer, kLongString.c_str());
     },
     {"Library/BasePrintLib/PrintLibInternal(611): (AsciiStrnLenS (Format, "
      "(_gPcd_FixedAtBuild_PcdMaximumAsciiStringLength) + 1) <= (_gPcd_FixedAtBuild_PcdMaximumAsciiStringLength))"}},
    // --- SysHostPointerLib ---
    {"TableHobCannotBeBuilt",
     [](emu::Emulator &E) {
       E.GetBoard().Faults().FailCall("CreateHob", 1);
       StaticPointerTableInit();
     },
     {{"Library/PeiHobLib/HobLib.cpp", "ASSERT (Hob != NULL);", "Hob != ((void *) 0)"},
      {"Library/SysHostPointerLib/SysHostPointerLibMm7.cpp", "ASSERT (StaticPointerTable != NULL);",
       "StaticPointerTable != ((void *) 0)", "EFIAPI StaticPointerTableInit("}}},
    {"ValidateNullTable",
     [](emu::Emulator &) { ValidateStaticPointerTable(nullptr); },
     {{"Library/SysHostPointerLib/SysHostPointerLibMm7.cpp", "ASSERT (StaticPointerTable != NULL);",
       "StaticPointerTable != ((void *) 0)", "VOID ValidateStaticPointerTable("}}},
    {"ValidateTableThatPutsItsHobAtZero",
     [](emu::Emulator &) { ValidateStaticPointerTable(reinterpret_cast<STATIC_POINTER_TABLE *>(24)); },
     {{"Library/SysHostPointerLib/SysHostPointerLibMm7.cpp", "ASSERT (StaticPointerTableHob != NULL);",
       "StaticPointerTableHob != ((void *) 0)"}}},
    {"SlotNineWithoutARecord",
     [](emu::Emulator &) { SetCpuAndRevisionPointer(nullptr); },
     {{"Library/SysHostPointerLib/SysHostPointerLibMm7.cpp", "ASSERT (CpuAndRevision != NULL);",
       "CpuAndRevision != ((void *) 0)"}}},
    {"MemoryDiscoveredWithoutATable",
     [](emu::Emulator &E) {
       StaticPointerTableOnMemoryDiscovered(const_cast<EFI_PEI_SERVICES **>(E.Core().Services()), nullptr, nullptr);
     },
     {{"Library/SysHostPointerLib/SysHostPointerLibMm7.cpp", "ASSERT (GuidHob != NULL);", "GuidHob != ((void *) 0)"}}},
    {"SyncWithoutMpServices",
     [](emu::Emulator &E) { SyncMm7OnAps(const_cast<EFI_PEI_SERVICES **>(E.Core().Services()), nullptr, nullptr); },
     {{"Library/SysHostPointerLib/SysHostPointerLibMm7.cpp", "ASSERT (Ppi != NULL);", "Ppi != ((void *) 0)"}}},
};

class AssertionLines : public ::testing::TestWithParam<AssertionCase> {};

TEST_P(AssertionLines, SourceLineAndTextAreExact) {
  const AssertionCase &Case = GetParam();
  emu::Scenario S = test::ConsoleReady();
  S.HobSpace = 0x20000;  // room for the largest GUID HOB
  emu::Emulator E{S};
  E.Activate();
  SerialPortInitialize();
  // The emulator records each assertion line at its breakpoint; this stop comes after it.
  const std::function<void()> Record = E.GetBoard().OnBreakpoint;
  size_t Seen = 0;
  E.GetBoard().OnBreakpoint = [&] {
    if (Record) Record();
    if (++Seen == Case.Lines.size()) throw StopAtAssertion{};
  };
  try {
    Case.Call(E);
  } catch (const StopAtAssertion &) {
  }
  E.GetBoard().OnBreakpoint = Record;
  std::vector<std::string> Lines;
  for (const Expected &Line : Case.Lines) Lines.push_back(kAssertPrefix + Line.Line());
  EXPECT_EQ(E.Snapshot().Asserts, Lines);
}

INSTANTIATE_TEST_SUITE_P(LowLevelLibraries, AssertionLines, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<AssertionCase> &Info) {
                           return std::string(Info.param.Name);
                         });

}  // namespace
