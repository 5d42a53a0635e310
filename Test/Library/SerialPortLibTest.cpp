// The serial console: chipset and Super I/O set-up, UART programming in its exact
// access order, and writes in bursts to both UARTs.
#include <gtest/gtest.h>

#include <algorithm>

extern "C" {
#include <PiPei.h>
#include <Library/PlatformHookLib.h>
#include <Library/SerialPortLib.h>
}

#include <string>
#include <vector>

#include "ConsoleFixture.h"
#include "Emulator/Devices/Chipset.h"
#include "Emulator/Devices/SuperIo.h"

using namespace quarn;
using emu::Emulator;
using emu::Scenario;
using test::PortAccess;
using test::PortAccesses;
using test::R;
using test::W;

namespace {

struct Console {
  explicit Console(Scenario S) : E(std::move(S)) {
    E.Activate();
    E.GetBoard().EnableTrace(true);
  }
  std::vector<PortAccess> Uart(uint16_t Base) { return PortAccesses(E.GetBoard(), Base, Base + 7); }
  std::vector<PortAccess> Uarts() {
    std::vector<PortAccess> Both;
    for (const PortAccess &A : PortAccesses(E.GetBoard(), 0x2F8, 0x3FF)) {
      if ((A.Port >= 0x2F8 && A.Port <= 0x2FF) || A.Port >= 0x3F8) Both.push_back(A);
    }
    return Both;
  }
  emu::Chipset &Chipset() { return *E.GetBoard().Find<emu::Chipset>(); }
  Emulator E;
};

/// The accesses that program an unprogrammed UART at Base (power-on LCR 0, divisor Divisor).
std::vector<PortAccess> ProgrammingSequence(uint16_t Base, uint8_t Lcr, uint16_t Divisor) {
  return {R(Base + 3, Lcr),
          R(Base + 3, Lcr),
          W(Base + 3, Lcr | 0x80),
          R(Base + 1, Divisor >> 8),
          R(Base + 0, Divisor & 0xFF),
          R(Base + 3, Lcr | 0x80),
          W(Base + 3, Lcr & 0x7F),
          R(Base + 5, 0x60),
          W(Base + 3, 0x80),
          W(Base + 1, 0x00),
          W(Base + 0, 0x01),
          W(Base + 3, 0x03),
          W(Base + 2, 0x00),
          W(Base + 2, 0x01),
          W(Base + 1, 0x00),
          W(Base + 4, 0x00)};
}

// --- SerialPortInitialize ------------------------------------------------------------

TEST(SerialPortInitialize, ProgramsBothUartsFromPowerOnInOrder) {
  Scenario S;
  S.Uart1 = {12, 0x1B, 0};
  S.Uart2 = {0, 0x00, 0};
  Console C(S);
  EXPECT_EQ(SerialPortInitialize(), RETURN_SUCCESS);
  std::vector<PortAccess> Expected = ProgrammingSequence(0x3F8, 0x1B, 12);
  const std::vector<PortAccess> Second = ProgrammingSequence(0x2F8, 0x00, 0);
  Expected.insert(Expected.end(), Second.begin(), Second.end());
  EXPECT_EQ(C.Uarts(), Expected);
  for (emu::Uart16550 *U : {&C.E.Uart1(), &C.E.Uart2()}) {
    EXPECT_EQ(U->Divisor(), 1);
    EXPECT_EQ(U->Lcr(), 0x03);
    EXPECT_TRUE(U->FifoEnabled());
    EXPECT_EQ(U->Ier(), 0);
    EXPECT_EQ(U->Mcr(), 0);
  }
}

TEST(SerialPortInitialize, LeavesAProgrammedUartAloneButForTheTwoDlabToggles) {
  Scenario S;
  S.Uart1 = {1, 0x03, 0x01};
  S.Uart2 = {1, 0x83, 0x01};  // DLAB left set: the low six bits still say 8N1
  Console C(S);
  EXPECT_EQ(SerialPortInitialize(), RETURN_SUCCESS);
  EXPECT_EQ(C.Uart(0x3F8), (std::vector<PortAccess>{R(0x3FB, 0x03), R(0x3FB, 0x03), W(0x3FB, 0x83), R(0x3F9, 0x00),
                                                    R(0x3F8, 0x01), R(0x3FB, 0x83), W(0x3FB, 0x03)}));
  EXPECT_EQ(C.Uart(0x2F8), (std::vector<PortAccess>{R(0x2FB, 0x83), R(0x2FB, 0x83), W(0x2FB, 0x83), R(0x2F9, 0x00),
                                                    R(0x2F8, 0x01), R(0x2FB, 0x83), W(0x2FB, 0x03)}));
  // Running it again is harmless.
  EXPECT_EQ(SerialPortInitialize(), RETURN_SUCCESS);
  EXPECT_EQ(C.E.Uart2().Lcr(), 0x03);
  EXPECT_EQ(C.E.Uart1().Divisor(), 1);
}

TEST(SerialPortInitialize, OnlyLineControlBits5To0DecideWhetherTheUartIsProgrammed) {
  // Divisor 1 with LCR bits 5:0 = 8N1 counts as programmed, whatever bits 7 and 6 hold;
  // any other value of bits 5:0 is reprogrammed.
  struct Case {
    uint8_t Lcr;
    bool Programmed;
  };
  for (Case C : {Case{0x03, true}, Case{0x43, true}, Case{0xC3, true}, Case{0x23, false}, Case{0x13, false},
                 Case{0x0B, false}, Case{0x07, false}, Case{0x02, false}, Case{0x01, false}}) {
    SCOPED_TRACE("LCR " + std::to_string(C.Lcr));
    Scenario S;
    S.Uart1 = {1, C.Lcr, 0x01};
    S.Uart2 = {1, 0x03, 0x01};
    Console Board(S);
    EXPECT_EQ(SerialPortInitialize(), RETURN_SUCCESS);
    const std::vector<PortAccess> Accesses = Board.Uart(0x3F8);
    const bool Reprogrammed = std::find(Accesses.begin(), Accesses.end(), W(0x3FB, 0x80)) != Accesses.end();
    EXPECT_EQ(Reprogrammed, !C.Programmed);
    EXPECT_EQ(Board.E.Uart1().Lcr(), 0x03 | (C.Programmed ? C.Lcr & 0x40 : 0));
  }
}

TEST(SerialPortInitialize, WaitsForABusyTransmitterBeforeReprogramming) {
  Scenario S;
  S.Uart1 = {12, 0x03, 0x01};  // 9600 baud, still sending
  Console C(S);
  emu::Board &B = C.E.GetBoard();
  for (char Byte : std::string("busy")) B.IoWrite8(0x3F8, uint8_t(Byte));
  const uint64_t Start = B.NowNs();
  const uint64_t SlowByte = C.E.Uart1().ByteTimeNs();
  SerialPortInitialize();
  EXPECT_EQ(C.E.Uart1().Transmitted(), "busy");
  EXPECT_EQ(C.E.Uart1().SentCount(), 4u);  // nothing cut off by the reprogramming
  EXPECT_GE(B.NowNs() - Start, 3 * SlowByte);
  EXPECT_EQ(C.E.Uart1().Divisor(), 1);
}

// --- PlatformHookSerialPortInitialize --------------------------------------------------

TEST(PlatformHook, OpensTheDecodeAndAssignsBothSerialDevices) {
  Console C(Scenario{});
  PlatformHookSerialPortInitialize();
  emu::Board &B = C.E.GetBoard();

  // The chipset part, in order.
  std::vector<std::string> Chipset;
  for (const emu::TraceEntry &T : B.Trace()) {
    char Text[64];
    if (T.Kind.rfind("io-", 0) == 0 && T.Address >= 0xCF8 && T.Address <= 0xCFF) {
      std::snprintf(Text, sizeof Text, "%s %X=%08X", T.Kind.c_str(), unsigned(T.Address), unsigned(T.Value));
      Chipset.push_back(Text);
    } else if (T.Kind.rfind("mmio-", 0) == 0) {
      std::snprintf(Text, sizeof Text, "%s %08X=%X", T.Kind.c_str(), unsigned(T.Address), unsigned(T.Value));
      Chipset.push_back(Text);
    }
  }
  EXPECT_EQ(Chipset,
            (std::vector<std::string>{"io-write32 CF8=8000F910", "io-read32 CFC=FD000004", "mmio-read32 FDEF2770=0",
                                      "mmio-write32 FDEF2770=1010", "mmio-read32 FDEF2774=0", "mmio-write32 FDEF2774=B",
                                      "io-write32 CF8=8000F880", "io-write32 CFC=340B1010"}));
  EXPECT_EQ(C.Chipset().LpcDecode(), 0x340B1010u);
  EXPECT_EQ(C.Chipset().Sideband(0xEF2770), 0x1010u);
  EXPECT_EQ(C.Chipset().Sideband(0xEF2774), 0x0Bu);

  // The Super I/O: the probe of both devices, then the ten pairs.
  EXPECT_EQ(
      PortAccesses(B, 0x4E, 0x4F),
      (std::vector<PortAccess>{W(0x4E, 0x07), W(0x4F, 0x03), W(0x4E, 0x30), R(0x4F, 0x00), W(0x4E, 0x07), W(0x4F, 0x02),
                               W(0x4E, 0x30), R(0x4F, 0x00), W(0x4E, 0x07), W(0x4F, 0x03), W(0x4E, 0x60), W(0x4F, 0x03),
                               W(0x4E, 0x61), W(0x4F, 0xF8), W(0x4E, 0x70), W(0x4F, 0x04), W(0x4E, 0x30), W(0x4F, 0x01),
                               W(0x4E, 0x07), W(0x4F, 0x02), W(0x4E, 0x60), W(0x4F, 0x02), W(0x4E, 0x61), W(0x4F, 0xF8),
                               W(0x4E, 0x70), W(0x4F, 0x03), W(0x4E, 0x30), W(0x4F, 0x01)}));
  emu::SuperIo &Sio = C.E.GetSuperIo();
  EXPECT_TRUE(Sio.Active(3));
  EXPECT_EQ(Sio.IoBase(3), 0x3F8);
  EXPECT_EQ(Sio.Irq(3), 4);
  EXPECT_TRUE(Sio.Active(2));
  EXPECT_EQ(Sio.IoBase(2), 0x2F8);
  EXPECT_EQ(Sio.Irq(2), 3);
}

TEST(PlatformHook, AnActiveSerialDeviceLeavesTheSuperIoAlone) {
  for (const auto &[Ld3, Ld2] : {std::pair{true, false}, std::pair{false, true}, std::pair{true, true}}) {
    Scenario S;
    S.SuperIoUart1Active = Ld3;
    S.SuperIoUart2Active = Ld2;
    Console C(S);
    PlatformHookSerialPortInitialize();
    // Only the probe: select 3, read activate, select 2, read activate.
    const auto &Writes = C.E.GetSuperIo().Writes();
    EXPECT_EQ(Writes, (std::vector<std::pair<uint8_t, uint8_t>>{{0x07, 0x03}, {0x07, 0x02}}))
        << "LD3 " << Ld3 << " LD2 " << Ld2;
    EXPECT_EQ(C.E.GetSuperIo().Active(2), Ld2);
    EXPECT_EQ(C.Chipset().LpcDecode(), 0x340B1010u);  // the decode is opened all the same
  }
}

TEST(PlatformHook, AnAbsentSidebandFunctionIsNotUsedAsABase) {
  Console C(Scenario{});
  C.Chipset().HideSidebandFunction(true);
  PlatformHookSerialPortInitialize();
  EXPECT_TRUE(test::TraceOf(C.E.GetBoard(), "mmio-read32").empty());
  EXPECT_TRUE(test::TraceOf(C.E.GetBoard(), "mmio-write32").empty());
  EXPECT_EQ(C.Chipset().LpcDecode(), 0x340B1010u);
  EXPECT_TRUE(C.E.GetSuperIo().Active(3));
}

// --- SerialPortWrite -----------------------------------------------------------------

TEST(SerialPortWrite, FortyBytesGoAsBurstsOf16And16And8FirstUartFirst) {
  Console C(test::ConsoleReady());
  const std::string Text = "0123456789abcdefghijklmnopqrstuvwxyzABCD";
  ASSERT_EQ(Text.size(), 40u);
  EXPECT_EQ(SerialPortWrite(reinterpret_cast<UINT8 *>(const_cast<char *>(Text.data())), Text.size()), 40u);
  EXPECT_EQ(C.E.Uart1().Transmitted(), Text);
  EXPECT_EQ(C.E.Uart2().Transmitted(), Text);

  // Between two reads of the first UART's IIR: the waits, then the burst.
  std::vector<std::vector<PortAccess>> Bursts;
  for (const PortAccess &A : C.Uarts()) {
    if (!A.Write && A.Port == 0x3FA) {
      Bursts.emplace_back();
      continue;
    }
    ASSERT_FALSE(Bursts.empty()) << "the IIR is read before anything else";
    Bursts.back().push_back(A);
  }
  ASSERT_EQ(Bursts.size(), 3u);
  size_t Next = 0;
  for (size_t Index = 0; Index < 3; Index++) {
    const size_t Length = Index < 2 ? 16 : 8;
    std::vector<PortAccess> Writes;
    bool SeenSecondLsr = false;
    for (const PortAccess &A : Bursts[Index]) {
      if (!A.Write) {
        EXPECT_TRUE(Writes.empty()) << "waits come before the burst";
        EXPECT_TRUE(A.Port == 0x3FD || A.Port == 0x2FD);
        if (A.Port == 0x3FD) EXPECT_FALSE(SeenSecondLsr) << "the first UART is waited for first";
        if (A.Port == 0x2FD) SeenSecondLsr = true;
        continue;
      }
      Writes.push_back(A);
    }
    EXPECT_TRUE(SeenSecondLsr);
    ASSERT_EQ(Writes.size(), 2 * Length);
    for (size_t Byte = 0; Byte < Length; Byte++, Next++) {
      EXPECT_EQ(Writes[2 * Byte], W(0x3F8, uint8_t(Text[Next])));
      EXPECT_EQ(Writes[2 * Byte + 1], W(0x2F8, uint8_t(Text[Next])));
    }
  }
}

TEST(SerialPortWrite, WaitsForTheTransmittersOnVirtualTime) {
  Console C(test::ConsoleReady());
  std::string Text(40, '*');
  const uint64_t Start = C.E.GetBoard().NowNs();
  SerialPortWrite(reinterpret_cast<UINT8 *>(Text.data()), Text.size());
  const uint64_t Byte = C.E.Uart1().ByteTimeNs();
  // Two full FIFOs must drain before the second and third bursts.
  EXPECT_GE(C.E.GetBoard().NowNs() - Start, 32 * Byte);
  EXPECT_LT(C.E.GetBoard().NowNs() - Start, 34 * Byte);
  // Polls are fast-forwarded: a handful of LSR reads per wait, not hundreds.
  EXPECT_LE(test::PortAccesses(C.E.GetBoard(), 0x3FD, 0x3FD).size(), 9u);
  EXPECT_EQ(SerialPortWrite(reinterpret_cast<UINT8 *>(Text.data()), 0), 0u);  // flush
  EXPECT_EQ(C.E.Uart1().PeekLsr() & 0x60, 0x60);
  EXPECT_EQ(C.E.Uart2().PeekLsr() & 0x60, 0x60);
}

TEST(SerialPortWrite, AFlushOnlyWaitsForBothUarts) {
  Console C(test::ConsoleReady());
  UINT8 Byte = 'x';
  EXPECT_EQ(SerialPortWrite(&Byte, 0), 0u);
  EXPECT_EQ(C.Uarts(), (std::vector<PortAccess>{R(0x3FD, 0x60), R(0x2FD, 0x60)}));
  EXPECT_EQ(C.E.Uart1().Transmitted(), "");
}

TEST(SerialPortWrite, ANullBufferTouchesNoHardware) {
  Console C(test::ConsoleReady());
  EXPECT_EQ(SerialPortWrite(nullptr, 10), 0u);
  EXPECT_TRUE(C.E.GetBoard().Trace().empty());
}

TEST(SerialPortWrite, NoFifoOnTheFirstUartMeansNoOutputAnywhere) {
  Scenario S = test::ConsoleReady();
  S.Uart1.Fcr = 0;
  Console C(S);
  UINT8 Text[] = "lost";
  EXPECT_EQ(SerialPortWrite(Text, 4), 0u);
  EXPECT_EQ(C.E.Uart1().Transmitted(), "");
  EXPECT_EQ(C.E.Uart2().Transmitted(), "");
}

TEST(SerialPortWrite, AnUnusableFifoIsAcceptedOutsideFifoResetMode) {
  Console C(test::ConsoleReady());
  C.E.Uart1().SetUnusableFifo(true);  // IIR bits 7:6 read 10
  UINT8 Text[] = "ok";
  EXPECT_EQ(SerialPortWrite(Text, 2), 2u);
  EXPECT_EQ(C.E.Uart1().Transmitted(), "ok");
}

TEST(SerialPortWrite, FifoResetModeResetsTheFirstUartFirst) {
  Scenario S = test::ConsoleReady();
  S.HostBridgeFc = 4;
  Console C(S);
  UINT8 Text[] = "reset";
  EXPECT_EQ(SerialPortWrite(Text, 5), 5u);
  const std::vector<PortAccess> Accesses = C.Uarts();
  ASSERT_FALSE(Accesses.empty());
  EXPECT_EQ(Accesses.front(), W(0x3FA, 0x07));
  for (size_t Index = 1; Index < Accesses.size(); Index++) {
    EXPECT_NE(Accesses[Index].Port, 0x2FA) << "the second UART's FIFO is not touched";
  }
  EXPECT_EQ(C.E.Uart1().Transmitted(), "reset");
  EXPECT_EQ(C.E.Uart2().Transmitted(), "reset");
}

TEST(SerialPortWrite, FifoResetModeRefusesAnUnusableFifo) {
  Scenario S = test::ConsoleReady();
  S.HostBridgeFc = 4;
  Console C(S);
  C.E.Uart1().SetUnusableFifo(true);
  UINT8 Text[] = "refused";
  EXPECT_EQ(SerialPortWrite(Text, 7), 0u);
  EXPECT_EQ(C.Uarts(), (std::vector<PortAccess>{W(0x3FA, 0x07), R(0x3FA, 0x81)}));
  EXPECT_EQ(C.E.Uart1().Transmitted(), "");
  EXPECT_EQ(C.E.Uart2().Transmitted(), "");
}

TEST(SerialPortWrite, FifoResetModeLosesNoTailOfTheMessageBefore) {
  // The reset at the start of a write must not discard what the previous write left in
  // the first UART's FIFO.
  Scenario S = test::ConsoleReady();
  S.HostBridgeFc = 4;
  Console C(S);
  std::string First = "first message, forty bytes long........";
  std::string Second = "second\r\n";
  SerialPortWrite(reinterpret_cast<UINT8 *>(First.data()), First.size());
  SerialPortWrite(reinterpret_cast<UINT8 *>(Second.data()), Second.size());
  EXPECT_EQ(C.E.Uart1().Transmitted(), First + Second);
  EXPECT_EQ(C.E.Uart1().Discarded(), 0u);
}

TEST(SerialPortWrite, AFifoSwitchedOffBetweenWritesGivesZero) {
  Console C(test::ConsoleReady());
  std::string Text(20, 'z');
  EXPECT_EQ(SerialPortWrite(reinterpret_cast<UINT8 *>(Text.data()), 16), 16u);
  C.E.GetBoard().IoWrite8(0x3FA, 0x00);  // another agent turns the FIFOs off
  EXPECT_EQ(SerialPortWrite(reinterpret_cast<UINT8 *>(Text.data()), 4), 0u);
  EXPECT_EQ(C.E.Uart2().Transmitted(), std::string(16, 'z'));
}

TEST(SerialPortWrite, AUartWithoutClockStopsTheRunAsAHang) {
  Scenario S = test::ConsoleReady();
  S.Uart2 = {0, 0x03, 0x01};  // FIFOs on but no divisor: nothing ever leaves
  Console C(S);
  std::string Text(20, 'h');
  try {
    SerialPortWrite(reinterpret_cast<UINT8 *>(Text.data()), Text.size());
    FAIL() << "the write should not return";
  } catch (const emu::RunStopped &Stop) {
    EXPECT_EQ(Stop.Outcome, "hang");
    EXPECT_NE(std::string(Stop.what()).find("UART 0x2F8"), std::string::npos) << Stop.what();
  }
  EXPECT_EQ(C.E.Uart1().Transmitted(), std::string(16, 'h'));
}

}  // namespace
