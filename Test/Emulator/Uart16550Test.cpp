// The emulated 16550: registers as a polled driver sees them, transmission on virtual
// time, fast-forwarded polls, and a UART without clock that makes a wait a hang.
#include <gtest/gtest.h>

#include <string>

#include "Emulator/Board/Board.h"
#include "Emulator/Devices/Uart16550.h"

using namespace quarn::emu;

namespace {

constexpr uint16_t kBase = 0x3F8;
enum : uint16_t {
  THR = kBase,
  IER = kBase + 1,
  IIR = kBase + 2,
  FCR = kBase + 2,
  LCR = kBase + 3,
  MCR = kBase + 4,
  LSR = kBase + 5,
  MSR = kBase + 6,
  SCR = kBase + 7
};

struct Bench {
  explicit Bench(UartPowerOn PowerOn = {}) : U(B, kBase, "UART 0x3F8", PowerOn) {
    B.SetPortCategory(kBase, 8, TimeCategory::Serial);
  }
  /// Programs divisor and line settings the way a driver does.
  void Program(uint16_t Divisor, bool Fifos) {
    B.IoWrite8(LCR, 0x80);
    B.IoWrite8(THR, uint8_t(Divisor));
    B.IoWrite8(IER, uint8_t(Divisor >> 8));
    B.IoWrite8(LCR, 0x03);
    B.IoWrite8(FCR, Fifos ? 0x01 : 0x00);
  }
  void Send(const std::string &Text) {
    for (char Byte : Text) B.IoWrite8(THR, uint8_t(Byte));
  }
  /// Polls LSR until Mask is set; returns the number of reads.
  unsigned WaitLsr(uint8_t Mask) {
    unsigned Reads = 0;
    while ((B.IoRead8(LSR) & Mask) != Mask) Reads++;
    return Reads + 1;
  }
  Board B;
  Uart16550 U;
};

TEST(Uart16550, PowersOnUnprogrammedUnlessTheScenarioSaysOtherwise) {
  Bench Cold;
  EXPECT_EQ(Cold.U.Divisor(), 0);
  EXPECT_EQ(Cold.U.ByteTimeNs(), 0u);
  EXPECT_EQ(Cold.B.IoRead8(LSR), 0x60);
  EXPECT_EQ(Cold.B.IoRead8(IIR), 0x01);  // no FIFOs, no interrupt pending
  EXPECT_EQ(Cold.B.IoRead8(LCR), 0x00);

  Bench Warm({1, 0x03, 0x01});
  EXPECT_EQ(Warm.U.Divisor(), 1);
  EXPECT_EQ(Warm.B.IoRead8(IIR), 0xC1);
  EXPECT_EQ(Warm.U.ByteTimeNs(), 86806u);  // 10 bits at 115200 baud
}

TEST(Uart16550, DivisorLatchSitsBehindDlab) {
  Bench T;
  T.B.IoWrite8(LCR, 0x83);
  T.B.IoWrite8(THR, 0x0C);
  T.B.IoWrite8(IER, 0x00);
  EXPECT_EQ(T.B.IoRead8(THR), 0x0C);
  EXPECT_EQ(T.B.IoRead8(IER), 0x00);
  EXPECT_EQ(T.U.Divisor(), 12);
  EXPECT_EQ(T.U.ByteTimeNs(), 1041667u);
  EXPECT_EQ(T.U.Transmitted(), "");  // a divisor write is not a byte to send

  T.B.IoWrite8(LCR, 0x03);
  T.B.IoWrite8(IER, 0xFF);
  EXPECT_EQ(T.B.IoRead8(IER), 0x0F);  // four interrupt enables
  EXPECT_EQ(T.B.IoRead8(THR), 0x00);  // RBR: nothing received
  T.B.IoWrite8(MCR, 0xFF);
  EXPECT_EQ(T.B.IoRead8(MCR), 0x1F);
  T.B.IoWrite8(SCR, 0xA5);
  EXPECT_EQ(T.B.IoRead8(SCR), 0xA5);
  T.B.IoWrite8(LSR, 0x00);  // read-only
  EXPECT_EQ(T.B.IoRead8(LSR), 0x60);
}

TEST(Uart16550, FifoControlIsWriteOnlyAndShowsInIir) {
  Bench T;
  T.Program(1, true);
  EXPECT_EQ(T.B.IoRead8(IIR), 0xC1);
  EXPECT_EQ(T.U.Fcr(), 0x01);
  T.B.IoWrite8(FCR, 0x07);  // resets self-clear
  EXPECT_EQ(T.U.Fcr(), 0x01);
  EXPECT_EQ(T.B.IoRead8(IIR), 0xC1);
  T.B.IoWrite8(IER, 0x02);  // THRE interrupt enabled, THR empty
  EXPECT_EQ(T.B.IoRead8(IIR), 0xC2);
  T.B.IoWrite8(FCR, 0x00);
  EXPECT_EQ(T.B.IoRead8(IIR), 0x02);
  T.U.SetUnusableFifo(true);
  T.B.IoWrite8(FCR, 0x01);
  EXPECT_EQ(T.B.IoRead8(IIR) & 0xC0, 0x80);
}

TEST(Uart16550, LineStatusFollowsTheTransmissionOnVirtualTime) {
  Bench T;
  T.Program(1, true);
  const uint64_t Byte = T.U.ByteTimeNs();
  T.B.IoWrite8(THR, 'a');  // straight into the shift register
  EXPECT_EQ(T.U.PeekLsr(), 0x20);
  T.B.Clock().Advance(Byte);
  EXPECT_EQ(T.U.PeekLsr(), 0x60);
  EXPECT_EQ(T.U.SentCount(), 1u);

  T.Send(std::string(17, 'b'));  // one shifting, sixteen waiting
  EXPECT_EQ(T.U.PeekLsr(), 0x00);
  EXPECT_EQ(T.U.Overruns(), 0u);
  T.B.Clock().Advance(16 * Byte);  // the last one has left the FIFO
  EXPECT_EQ(T.U.PeekLsr(), 0x20);
  T.B.Clock().Advance(Byte);
  EXPECT_EQ(T.U.PeekLsr(), 0x60);
  EXPECT_EQ(T.U.SentCount(), 18u);
  EXPECT_EQ(T.U.Transmitted(), "a" + std::string(17, 'b'));
}

TEST(Uart16550, APolledWaitIsFastForwardedToTheNextChange) {
  Bench T;
  T.Program(1, true);
  T.Send(std::string(16, 'x'));
  const uint64_t Start = T.B.NowNs();
  const uint64_t SerialBefore = T.B.TimeSpentNs(TimeCategory::Serial);
  EXPECT_LE(T.WaitLsr(0x40), 3u);  // first read, THRE, then TEMT
  const uint64_t Waited = T.B.NowNs() - Start;
  EXPECT_GE(Waited, 15 * T.U.ByteTimeNs());
  EXPECT_LE(Waited, 16 * T.U.ByteTimeNs() + 10 * Board::kIoAccessNs);
  EXPECT_EQ(T.B.TimeSpentNs(TimeCategory::Serial) - SerialBefore, Waited) << "time of a poll counts as serial";
  EXPECT_EQ(T.U.SentCount(), 16u);
}

TEST(Uart16550, AWriteToAFullFifoIsLostAndCounted) {
  Bench T;
  T.Program(1, true);
  T.Send(std::string(19, 'o'));  // 1 shifting + 16 waiting; two lost
  EXPECT_EQ(T.U.Overruns(), 2u);
  EXPECT_EQ(T.U.Transmitted().size(), 17u);

  Bench NoFifo;
  NoFifo.Program(1, false);
  NoFifo.Send("abc");  // 1 shifting + 1 holding; one lost
  EXPECT_EQ(NoFifo.U.Overruns(), 1u);
  EXPECT_EQ(NoFifo.U.Transmitted(), "ab");
}

TEST(Uart16550, ATransmitFifoResetDiscardsWhatWaits) {
  Bench T;
  T.Program(1, true);
  T.Send("0123456789");  // '0' shifting, nine waiting
  T.B.IoWrite8(FCR, 0x07);
  EXPECT_EQ(T.U.Discarded(), 9u);
  EXPECT_EQ(T.U.Transmitted(), "0");
  EXPECT_EQ(T.U.PeekLsr(), 0x20);  // the shift register finishes its byte
  T.Send("ab");                    // both wait behind the busy shift register
  T.B.IoWrite8(FCR, 0x00);         // turning the FIFOs off clears them as well
  EXPECT_EQ(T.U.Transmitted(), "0");
  EXPECT_EQ(T.U.Discarded(), 11u);
  T.B.IoWrite8(FCR, 0x03);
  T.Send("c");
  T.B.IoWrite8(FCR, 0x03);  // a receive reset leaves the transmitter alone
  EXPECT_EQ(T.U.Transmitted(), "0c");
  EXPECT_EQ(T.U.Discarded(), 11u);
}

TEST(Uart16550, WithoutClockNothingLeavesAndAWaitIsAHang) {
  Bench T;
  T.B.IoWrite8(FCR, 0x01);  // FIFOs on, divisor still 0
  T.Send("stuck");
  T.B.Clock().Advance(1000 * kNsPerMs);
  EXPECT_EQ(T.U.PeekLsr(), 0x00);
  EXPECT_EQ(T.U.SentCount(), 0u);
  try {
    T.WaitLsr(0x40);
    FAIL() << "the wait should be stopped";
  } catch (const RunStopped &Stop) {
    EXPECT_EQ(Stop.Outcome, "hang");
    EXPECT_NE(std::string(Stop.what()).find("no baud clock"), std::string::npos) << Stop.what();
  }

  // A divisor written later starts the clock: the waiting bytes go out.
  Bench Late;
  Late.B.IoWrite8(FCR, 0x01);
  Late.Send("go");
  Late.B.IoWrite8(LCR, 0x80);
  Late.B.IoWrite8(THR, 0x01);
  Late.B.IoWrite8(LCR, 0x03);
  EXPECT_LE(Late.WaitLsr(0x40), 3u);
  EXPECT_EQ(Late.U.SentCount(), 2u);
}

TEST(Uart16550, AnIdleLineStatusPolledForeverIsAHangToo) {
  Bench T;
  T.Program(1, true);
  try {
    T.WaitLsr(0x01);  // data ready never comes
    FAIL() << "the wait should be stopped";
  } catch (const RunStopped &Stop) {
    EXPECT_EQ(Stop.Outcome, "hang");
  }
}

TEST(Uart16550, NamesItsRegistersForTheTrace) {
  Bench T;
  EXPECT_EQ(T.U.RegisterName(THR), "THR");
  EXPECT_EQ(T.U.RegisterName(IER), "IER");
  EXPECT_EQ(T.U.RegisterName(IIR), "IIR/FCR");
  EXPECT_EQ(T.U.RegisterName(LCR), "LCR");
  EXPECT_EQ(T.U.RegisterName(MCR), "MCR");
  EXPECT_EQ(T.U.RegisterName(LSR), "LSR");
  EXPECT_EQ(T.U.RegisterName(MSR), "MSR");
  EXPECT_EQ(T.U.RegisterName(SCR), "SCR");
  T.B.IoWrite8(LCR, 0x80);
  EXPECT_EQ(T.U.RegisterName(THR), "DLL");
  EXPECT_EQ(T.U.RegisterName(IER), "DLM");

  T.B.EnableTrace(true);
  T.B.IoWrite8(THR, 1);
  ASSERT_FALSE(T.B.Trace().empty());
  EXPECT_EQ(T.B.Trace().back().Device, "UART 0x3F8 DLL");
}

}  // namespace
