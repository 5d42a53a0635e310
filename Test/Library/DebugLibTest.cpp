// Debug print, error level and assertions: where a message goes for each level, the
// MM0 cache of the CMOS level, and the assertion line byte for byte.
#include <gtest/gtest.h>

extern "C" {
#include <PiPei.h>
#include <Library/DebugLib.h>
#include <Library/DebugPrintErrorLevelLib.h>
#include <Library/IoLib.h>
}
#include <Ppi/DebugPrint.h>

#include <string>
#include <vector>

#include <QuarnAssert.h>

#include "ConsoleFixture.h"
#include "Emulator/Devices/Cmos.h"
#include "Emulator/PeiCore/DebugPrintSink.h"

using namespace quarn;
using emu::Emulator;
using emu::Scenario;

namespace {

/// A board with ready UARTs, the given CMOS level and MM0.
Scenario Board(uint32_t CmosLevel = 0x80000042, bool CmosValid = true, uint64_t Mm0 = 0) {
  Scenario S = test::ConsoleReady();
  S.CmosErrorLevel = CmosLevel;
  S.CmosValid = CmosValid;
  S.Mm0 = Mm0;
  return S;
}

struct Console {
  explicit Console(Scenario S) : E(std::move(S)) {
    E.Activate();
    E.GetBoard().EnableTrace(true);
  }
  std::string Serial() { return E.Uart1().Transmitted(); }
  std::string Serial2() { return E.Uart2().Transmitted(); }
  std::vector<std::string> Ppi() { return E.DebugPpi().Messages(); }
  std::vector<std::string> Asserts() { return E.Snapshot().Asserts; }
  uint64_t Mm0() { return E.GetBoard().Processors()[0].Mm[0]; }
  unsigned Breakpoints() { return E.GetBoard().Processors()[0].Breakpoints; }
  Emulator E;
};

const std::string kLongFormat(1000001, 'q');  // refused by the engine with one assertion

const char kRefusedFormatAssert[] =
    "ASSERT [QuarnPeiPreMem] Library/BasePrintLib/PrintLibInternal(611): "
    "(AsciiStrnLenS (Format, (_gPcd_FixedAtBuild_PcdMaximumAsciiStringLength) + 1) <= "
    "(_gPcd_FixedAtBuild_PcdMaximumAsciiStringLength))";

// --- the assertion line --------------------------------------------------------------

TEST(DebugAssert, WritesOneLineThenTheHaltCodeThenTheBreakpoint) {
  Console C(Board());
  DebugAssert("X", 114, "Format != ((void *) 0)");
  const std::string Line = "ASSERT [QuarnPeiPreMem] X(114): Format != ((void *) 0)\r\n";
  EXPECT_EQ(C.Serial(), Line);
  EXPECT_EQ(C.Serial2(), Line);
  EXPECT_EQ(C.Breakpoints(), 1u);
  ASSERT_EQ(C.E.GetBoard().HaltCodes().size(), 1u);
  EXPECT_EQ(C.E.GetBoard().HaltCodes()[0].Port, 0xCB0);
  EXPECT_EQ(C.E.GetBoard().HaltCodes()[0].Value, 0xD2u);

  // Order: the last byte of the line, then the halt code, then INT3.
  const auto &Trace = C.E.GetBoard().Trace();
  ptrdiff_t LastByte = -1, Halt = -1, Int3 = -1;
  for (size_t Index = 0; Index < Trace.size(); Index++) {
    if (Trace[Index].Kind == "io-write8" && Trace[Index].Address == 0x2F8) LastByte = ptrdiff_t(Index);
    if (Trace[Index].Kind == "io-write8" && Trace[Index].Address == 0xCB0) Halt = ptrdiff_t(Index);
    if (Trace[Index].Kind == "int3") Int3 = ptrdiff_t(Index);
  }
  EXPECT_LT(LastByte, Halt);
  EXPECT_LT(Halt, Int3);
  EXPECT_EQ(Int3, ptrdiff_t(Trace.size()) - 1);  // and nothing after it: the call returns
  EXPECT_TRUE(C.Ppi().empty());                  // assertions never go to the PPI
}

TEST(DebugAssert, NamesTheSourceAndLineOfTheFailedCheck) {
  Console C(Board());
  IoRead32(0x509);
  EXPECT_EQ(C.Asserts(), std::vector<std::string>{
                             "ASSERT [QuarnPeiPreMem] Library/BaseIoLibIntrinsic/IoLibMsc(187): (Port & 3) == 0"});
  QuarnAssertAt(false, "Library/Some/Where", 4294967295u, "x");  // the line prints as %d
  EXPECT_EQ(C.Asserts().back(), "ASSERT [QuarnPeiPreMem] Library/Some/Where(-1): x");
}

TEST(DebugAssert, IsWrittenWhateverTheErrorLevel) {
  Console C(Board(0, /*CmosValid=*/false));
  DebugAssert("Pei/QuarnPeiPreMem/QuarnPeiPreMem", 77, "Ppi != ((void *) 0)");
  EXPECT_EQ(C.Serial(), "ASSERT [QuarnPeiPreMem] Pei/QuarnPeiPreMem/QuarnPeiPreMem(77): Ppi != ((void *) 0)\r\n");
  DebugAssert(nullptr, 1, nullptr);  // null texts print as placeholders, not as a crash
  EXPECT_EQ(C.Asserts().back(), "ASSERT [QuarnPeiPreMem] <null string>(1): <null string>");
}

TEST(DebugAssert, TheStatusCheckPrintsTheStatusFirst) {
  Console C(Board());
  QuarnAssertEfiErrorAt(EFI_NOT_FOUND, "Library/PeiHobLib/HobLib", 34);
  EXPECT_EQ(C.Serial(),
            "\r\nASSERT_EFI_ERROR (Status = Not Found)\r\n"
            "ASSERT [QuarnPeiPreMem] Library/PeiHobLib/HobLib(34): !EFI_ERROR (Status)\r\n");
  EXPECT_EQ(C.Ppi(), std::vector<std::string>{"\r\nASSERT_EFI_ERROR (Status = Not Found)\r\n"});
  QuarnAssertEfiErrorAt(EFI_SUCCESS, "Library/PeiHobLib/HobLib", 35);
  EXPECT_EQ(C.Breakpoints(), 1u);
}

// --- where a message goes ------------------------------------------------------------

TEST(DebugPrint, AMessageOfAMatchingLevelGoesToThePpiAndBothUarts) {
  Console C(Board(0x80000042));
  DebugPrint(DEBUG_INFO, "%a %a called.\n", "[QUARN][PreMem]", "QuarnPeiPreMemEntryPoint");
  const std::string Text = "[QUARN][PreMem] QuarnPeiPreMemEntryPoint called.\r\n";
  EXPECT_EQ(C.Serial(), Text);
  EXPECT_EQ(C.Serial2(), Text);
  EXPECT_EQ(C.Ppi(), std::vector<std::string>{Text});
}

TEST(DebugPrint, ASuppressedLevelStillReachesThePpi) {
  Console C(Board(0xFFFFFFBD));  // every level bit but those of DEBUG_INFO (0x40) and DEBUG_WARN (0x02)
  DebugPrint(DEBUG_INFO, "info %d\n", 1);
  DebugPrint(DEBUG_WARN, "warn %d\n", 2);
  EXPECT_EQ(C.Serial(), "");
  EXPECT_EQ(C.Ppi(), (std::vector<std::string>{"info 1\r\n", "warn 2\r\n"}));
  DebugPrint(DEBUG_ERROR, "error %d\n", 3);
  EXPECT_EQ(C.Serial(), "error 3\r\n");
}

TEST(DebugPrint, ALevelOutsideThePpiLevelsGoesToTheSerialPortsOnly) {
  Console C(Board(0x00000004));
  DebugPrint(0x00000004, "verbose %a\n", "text");
  EXPECT_EQ(C.Serial(), "verbose text\r\n");
  EXPECT_TRUE(C.Ppi().empty());
  DebugPrint(0x00000008, "dropped\n");  // neither the PPI nor the current level
  EXPECT_EQ(C.Serial(), "verbose text\r\n");
  EXPECT_TRUE(C.Ppi().empty());
}

TEST(DebugPrint, IsFormattedAtMostOncePerCall) {
  // The engine refuses the over-long format with one assertion per attempt; a message
  // that both the PPI and the serial ports take must cost exactly one.
  {
    Console C(Board(0x80000042));
    DebugPrint(DEBUG_ERROR, kLongFormat.c_str());
    EXPECT_EQ(C.Asserts(), std::vector<std::string>{kRefusedFormatAssert});
    EXPECT_EQ(C.Ppi(), std::vector<std::string>{""});  // refused: an empty message, not stack bytes
  }

  Console Serial(Board(0x00000004));
  DebugPrint(0x00000004, kLongFormat.c_str());
  EXPECT_EQ(Serial.Asserts(), std::vector<std::string>{kRefusedFormatAssert});
  EXPECT_EQ(Serial.Serial(), std::string(kRefusedFormatAssert) + "\r\n");
}

TEST(DebugPrint, AMessageBeyond255CharactersIsCutForBothSinks) {
  Console C(Board());
  const std::string Long(300, 'm');
  DebugPrint(DEBUG_ERROR, "%a", Long.c_str());
  EXPECT_EQ(C.Serial(), std::string(255, 'm'));
  EXPECT_EQ(C.Ppi(), std::vector<std::string>{std::string(255, 'm')});
}

TEST(DebugPrint, ThePpiIsLookedUpOnEveryCall) {
  Scenario S = Board();
  S.DebugPrintPpi = false;
  Console C(S);
  DebugPrint(DEBUG_ERROR, "before\n");
  EXPECT_EQ(C.Serial(), "before\r\n");  // no PPI: serial only, and no error
  EXPECT_TRUE(C.Ppi().empty());
  C.E.Core().InstallPpi(gDebugPrintPpiGuid, C.E.DebugPpi().Ppi());
  DebugPrint(DEBUG_ERROR, "after\n");
  EXPECT_EQ(C.Ppi(), std::vector<std::string>{"after\r\n"});
}

TEST(DebugPrint, ANullFormatAssertsAndIsDropped) {
  Console C(Board());
  DebugPrint(DEBUG_ERROR, nullptr);
  EXPECT_EQ(C.Asserts(),
            std::vector<std::string>{"ASSERT [QuarnPeiPreMem] Library/BaseDebugLibSerialPort/DebugLib(114): "
                                     "Format != ((void *) 0)"});
  EXPECT_EQ(C.Serial(),
            "ASSERT [QuarnPeiPreMem] Library/BaseDebugLibSerialPort/DebugLib(114): Format != ((void *) 0)\r\n");
  EXPECT_TRUE(C.Ppi().empty());
}

// --- the error level -----------------------------------------------------------------

TEST(DebugErrorLevel, ACachedLevelInMm0IsUsedWithoutTouchingCmos) {
  Console C(Board(0x80000042, true, 0x0000000480004424ull));
  EXPECT_EQ(GetDebugPrintErrorLevel(), 0x00000004u);
  EXPECT_EQ(C.E.GetCmos().DataAccesses(), 0u);
  EXPECT_TRUE(test::PortAccesses(C.E.GetBoard(), 0x70, 0x71).empty());
  EXPECT_EQ(C.Mm0(), 0x0000000480004424ull);
}

TEST(DebugErrorLevel, CmosIsReadInOrderAndTheCacheKeepsBits30To16) {
  // Signature present but bit 31 clear: not a cache.
  Console C(Board(0x80000042, true, 0x123456785A5A4424ull));
  EXPECT_EQ(GetDebugPrintErrorLevel(), 0x80000042u);
  using test::R;
  using test::W;
  const std::vector<test::PortAccess> Expected = {W(0x70, 0x8E), R(0x71, 0x00), W(0x70, 0x7A), R(0x71, 0x42),
                                                  W(0x70, 0x7B), R(0x71, 0x00), W(0x70, 0x7C), R(0x71, 0x00),
                                                  W(0x70, 0x7D), R(0x71, 0x80)};
  EXPECT_EQ(test::PortAccesses(C.E.GetBoard(), 0x70, 0x71), Expected);
  EXPECT_EQ(C.Mm0(), 0x80000042DA5A4424ull);
  EXPECT_FALSE(C.E.GetCmos().NmiMasked());

  // Cached now: a second call reads no port, even after CMOS changed.
  C.E.GetCmos().SetByte(0x7A, 0x00);
  EXPECT_EQ(GetDebugPrintErrorLevel(), 0x80000042u);
  EXPECT_EQ(test::PortAccesses(C.E.GetBoard(), 0x70, 0x71).size(), Expected.size());
}

TEST(DebugErrorLevel, InvalidCmosGivesLevelZeroWhichIsCachedToo) {
  Console C(Board(0x80000042, /*CmosValid=*/false, 0xFFFFFFFFFFFF0000ull));
  EXPECT_EQ(GetDebugPrintErrorLevel(), 0u);
  using test::R;
  using test::W;
  EXPECT_EQ(test::PortAccesses(C.E.GetBoard(), 0x70, 0x71),
            (std::vector<test::PortAccess>{W(0x70, 0x8E), R(0x71, 0x80)}));
  EXPECT_EQ(C.Mm0(), 0x00000000FFFF4424ull);
  EXPECT_EQ(GetDebugPrintErrorLevel(), 0u);
  EXPECT_EQ(test::PortAccesses(C.E.GetBoard(), 0x70, 0x71).size(), 2u);

  // Level 0: only assertion lines reach the UARTs; the PPI still gets every message.
  DebugPrint(DEBUG_ERROR, "quiet\n");
  EXPECT_EQ(C.Serial(), "");
  EXPECT_EQ(C.Ppi(), std::vector<std::string>{"quiet\r\n"});
}

TEST(DebugErrorLevel, OnlyBit7OfTheStatusRegisterMarksCmosInvalid) {
  Console C(Board(0x80000042));
  C.E.GetCmos().SetByte(0x0E, 0x7F);  // every other bit set
  EXPECT_EQ(GetDebugPrintErrorLevel(), 0x80000042u);
}

TEST(DebugErrorLevel, ALostCacheIsRebuiltFromCmos) {
  Console C(Board(0x00000040));
  EXPECT_EQ(GetDebugPrintErrorLevel(), 0x40u);
  C.E.GetBoard().Processors()[0].Mm[0] = 0;  // something else used MM0
  C.E.GetCmos().SetByte(0x7A, 0x02);
  EXPECT_EQ(GetDebugPrintErrorLevel(), 0x02u);
  EXPECT_EQ(C.Mm0(), 0x0000000280004424ull);
}

}  // namespace
