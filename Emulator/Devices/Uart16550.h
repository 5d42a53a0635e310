// A 16550-compatible UART, register-accurate as far as a polled driver can see: the
// divisor latch behind LCR.DLAB, LCR, FCR (FIFO enable and resets; write-only), IER,
// MCR, SCR, an IIR whose bits 7:6 show the FIFOs, and an LSR whose THRE (bit 5) and
// TEMT (bit 6) follow the transmission on virtual time: 115200 / divisor baud, 10 bit
// times a byte, a 16-byte transmit FIFO (1 byte without FIFOs) ahead of the shift
// register. A divisor of 0 is "no clock": nothing ever leaves the transmitter.
//
// Nothing is received: RBR reads 0 and LSR bit 0 stays clear. Interrupts are not
// delivered; IIR reports a THRE interrupt when IER enables it and THR is empty.
#pragma once

#include <string>
#include <vector>

#include "Emulator/Board/Board.h"
#include "Emulator/Scenario.h"

namespace quarn::emu {

class Uart16550 : public IoDevice {
 public:
  static constexpr uint64_t kBaseBaud = 115200;
  static constexpr unsigned kBitsPerByte = 10;  // start, 8 data, stop
  static constexpr unsigned kFifoDepth = 16;
  /// Consecutive polls of an LSR that can never change before the run counts as hung.
  static constexpr unsigned kStuckPollLimit = 64;

  /// Maps ports Base..Base+7 on the board.
  Uart16550(Board &B, uint16_t Base, std::string Name, const UartPowerOn &PowerOn);
  std::string Name() const override { return Name_; }
  uint32_t IoRead(uint16_t Port, unsigned Width) override;
  void IoWrite(uint16_t Port, unsigned Width, uint32_t Value) override;
  std::string RegisterName(uint16_t Port) const override;

  /// Every byte the UART accepted for transmission, in order: what went out on the
  /// line and what is still in the FIFO and will follow. Bytes lost to a full FIFO or
  /// discarded by a FIFO reset are not in it.
  const std::string &Transmitted() const { return Transmitted_; }
  /// Bytes whose stop bit has gone out by now.
  uint64_t SentCount();
  /// With the board's trace on: for each byte of Transmitted(), the virtual time its stop
  /// bit went out (or will, for bytes still in the transmitter); bytes that can never
  /// leave (no baud clock) have no time, so the list may be shorter than Transmitted().
  std::vector<uint64_t> LeaveTimesNs() const;
  /// Writes to THR while the FIFO was full (the byte was lost).
  uint64_t Overruns() const { return Overruns_; }
  /// Bytes accepted into the FIFO and then discarded by a transmit FIFO reset.
  uint64_t Discarded() const { return Discarded_; }

  uint16_t Divisor() const { return Divisor_; }
  uint8_t Lcr() const { return Lcr_; }
  uint8_t Fcr() const { return Fcr_; }
  uint8_t Ier() const { return Ier_; }
  uint8_t Mcr() const { return Mcr_; }
  bool FifoEnabled() const { return (Fcr_ & kFcrEnable) != 0; }
  /// Models the original 16550, whose FIFOs do not work: with FIFOs enabled, IIR bits
  /// 7:6 read 10 instead of 11.
  void SetUnusableFifo(bool Unusable) { UnusableFifo_ = Unusable; }
  /// LSR as a read would return it now, without the read's side effects.
  uint8_t PeekLsr();
  /// Virtual time of one byte on the line, 0 without a clock.
  uint64_t ByteTimeNs() const { return ByteNs_; }

 private:
  static constexpr uint8_t kLcrDlab = 0x80;
  static constexpr uint8_t kFcrEnable = 0x01;
  static constexpr uint8_t kFcrClearTx = 0x04;
  static constexpr uint8_t kLsrThre = 0x20;
  static constexpr uint8_t kLsrTemt = 0x40;
  static constexpr uint64_t kNever = ~0ull;

  /// Moves the transmitter on to Now: bytes finish and the next ones leave the FIFO.
  void Settle(uint64_t Now);
  /// When the LSR would next change if nothing were written; kNever when it never will.
  uint64_t NextLsrChangeNs() const;
  void SetDivisor(uint16_t Divisor);
  void WriteFcr(uint8_t Value);
  void WriteThr(uint8_t Value);
  uint8_t ReadLsr();
  uint8_t ReadIir() const;
  unsigned Capacity() const { return FifoEnabled() ? kFifoDepth : 1; }

  Board &Board_;
  uint16_t Base_;
  std::string Name_;
  uint16_t Divisor_ = 0;
  uint8_t Lcr_ = 0;
  uint8_t Fcr_ = 0;
  uint8_t Ier_ = 0;
  uint8_t Mcr_ = 0;
  uint8_t Scr_ = 0;
  uint64_t ByteNs_ = 0;
  bool UnusableFifo_ = false;

  // Transmitter: Queued_ bytes wait in the FIFO; the shift register is busy until ShiftEndNs_.
  unsigned Queued_ = 0;
  bool Shifting_ = false;
  uint64_t ShiftEndNs_ = 0;

  std::string Transmitted_;
  std::vector<uint64_t> LeftNs_;  // when each byte sent so far left (trace on only)
  uint64_t Sent_ = 0;
  uint64_t Overruns_ = 0;
  uint64_t Discarded_ = 0;
  unsigned StuckPolls_ = 0;
};

}  // namespace quarn::emu
