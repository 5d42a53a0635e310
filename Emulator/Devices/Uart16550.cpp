#include "Uart16550.h"

#include <cstdio>

namespace quarn::emu {

namespace {

enum Offset : uint16_t { kThrDll = 0, kIerDlm = 1, kIirFcr = 2, kLcr = 3, kMcr = 4, kLsr = 5, kMsr = 6, kScr = 7 };

constexpr uint8_t kIerMask = 0x0F;
constexpr uint8_t kIerThre = 0x02;
constexpr uint8_t kMcrMask = 0x1F;
constexpr uint8_t kFcrSelfClearing = 0x06;
constexpr uint8_t kIirFifos = 0xC0;
constexpr uint8_t kIirUnusableFifos = 0x80;
constexpr uint8_t kIirNoInterrupt = 0x01;
constexpr uint8_t kIirThreInterrupt = 0x02;

std::string Hex2(unsigned Value) {
  char Text[8];
  std::snprintf(Text, sizeof Text, "0x%02X", Value & 0xFF);
  return Text;
}

}  // namespace

Uart16550::Uart16550(Board &B, uint16_t Base, std::string Name, const UartPowerOn &PowerOn)
    : Board_(B),
      Base_(Base),
      Name_(std::move(Name)),
      Lcr_(PowerOn.Lcr),
      Fcr_(uint8_t(PowerOn.Fcr & ~kFcrSelfClearing)) {
  SetDivisor(PowerOn.Divisor);
  B.MapIo(Base, 8, *this);
}

void Uart16550::SetDivisor(uint16_t Divisor) {
  Settle(Board_.NowNs());
  Divisor_ = Divisor;
  // 10 bit times at 115200 / Divisor baud, rounded up to whole nanoseconds.
  constexpr uint64_t kNsPerSecond = 1000000000;
  ByteNs_ = Divisor == 0 ? 0 : (kBitsPerByte * kNsPerSecond * Divisor + kBaseBaud - 1) / kBaseBaud;
  Settle(Board_.NowNs());  // bytes that waited for a clock start now
}

void Uart16550::Settle(uint64_t Now) {
  if (ByteNs_ == 0) return;  // no clock: nothing moves
  for (;;) {
    if (Shifting_) {
      if (ShiftEndNs_ > Now) return;
      Sent_++;
      if (Board_.Tracing()) LeftNs_.push_back(ShiftEndNs_);
      Shifting_ = false;
      if (Queued_ > 0) {
        // The next byte leaves the FIFO the moment the shift register is free.
        Queued_--;
        Shifting_ = true;
        ShiftEndNs_ += ByteNs_;
      }
    } else if (Queued_ > 0) {
      Queued_--;
      Shifting_ = true;
      ShiftEndNs_ = Now + ByteNs_;
    } else {
      return;
    }
  }
}

uint64_t Uart16550::NextLsrChangeNs() const {
  if (ByteNs_ == 0) return kNever;
  if (Queued_ > 0) return ShiftEndNs_ + uint64_t(Queued_ - 1) * ByteNs_;  // THRE rises
  if (Shifting_) return ShiftEndNs_;                                      // TEMT rises
  return kNever;
}

std::vector<uint64_t> Uart16550::LeaveTimesNs() const {
  std::vector<uint64_t> Times = LeftNs_;
  // A settled transmitter never idles with bytes queued: without a byte in the shift
  // register nothing is in flight. That byte ends at ShiftEndNs_, each queued one a byte
  // time after the one before.
  if (ByteNs_ == 0 || !Shifting_) return Times;
  uint64_t End = ShiftEndNs_;
  for (unsigned Index = 0; Index <= Queued_; Index++, End += ByteNs_) Times.push_back(End);
  return Times;
}

uint64_t Uart16550::SentCount() {
  Settle(Board_.NowNs());
  return Sent_;
}

uint8_t Uart16550::PeekLsr() {
  Settle(Board_.NowNs());
  uint8_t Lsr = 0;
  if (Queued_ == 0) Lsr |= kLsrThre;
  if (Queued_ == 0 && !Shifting_) Lsr |= kLsrTemt;
  return Lsr;
}

uint8_t Uart16550::ReadLsr() {
  uint8_t Lsr = PeekLsr();
  if (!Board_.IsRepeatedPoll()) {
    StuckPolls_ = 0;
    return Lsr;
  }
  // The guest spins on the LSR: let time run to the instant the value next changes.
  const uint64_t Next = NextLsrChangeNs();
  if (Next != kNever) {
    StuckPolls_ = 0;
    Board_.FastForwardTo(Next, TimeCategory::Serial);
    return PeekLsr();
  }
  if (++StuckPolls_ >= kStuckPollLimit) {
    std::string Why =
        ByteNs_ == 0 && (Queued_ > 0 || Shifting_)
            ? "no baud clock (divisor 0): " + std::to_string(Queued_) + " bytes never leave the transmitter"
            : "its value never changes";
    throw RunStopped(
        "hang", Name_ + ": LSR " + Hex2(Lsr) + " polled " + std::to_string(StuckPolls_) + " times in a row; " + Why);
  }
  return Lsr;
}

uint8_t Uart16550::ReadIir() const {
  const uint8_t Fifos = !FifoEnabled() ? 0 : UnusableFifo_ ? kIirUnusableFifos : kIirFifos;
  const bool ThrEmpty = Queued_ == 0;
  return Fifos | ((Ier_ & kIerThre) != 0 && ThrEmpty ? kIirThreInterrupt : kIirNoInterrupt);
}

void Uart16550::WriteThr(uint8_t Value) {
  Settle(Board_.NowNs());
  if (ByteNs_ != 0 && !Shifting_ && Queued_ == 0) {
    Shifting_ = true;
    ShiftEndNs_ = Board_.NowNs() + ByteNs_;
  } else if (Queued_ < Capacity()) {
    Queued_++;
  } else {
    Overruns_++;
    return;
  }
  Transmitted_.push_back(char(Value));
  if (Value == '\n' && Board_.Watch) {
    const size_t Previous =
        Transmitted_.size() < 2 ? std::string::npos : Transmitted_.rfind('\n', Transmitted_.size() - 2);
    const size_t Start = Previous == std::string::npos ? 0 : Previous + 1;
    std::string Line = Transmitted_.substr(Start, Transmitted_.size() - 1 - Start);
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    Board_.NoteConsoleLine(Base_, std::move(Line));
  }
}

void Uart16550::WriteFcr(uint8_t Value) {
  Settle(Board_.NowNs());
  const bool Enable = (Value & kFcrEnable) != 0;
  // Changing the FIFO enable clears both FIFOs; bit 2 clears the transmit FIFO.
  if (Enable != FifoEnabled() || (Enable && (Value & kFcrClearTx) != 0)) {
    Discarded_ += Queued_;
    Transmitted_.resize(Transmitted_.size() - Queued_);
    Queued_ = 0;
  }
  Fcr_ = uint8_t(Value & ~kFcrSelfClearing);
}

uint32_t Uart16550::IoRead(uint16_t Port, unsigned) {
  const bool Dlab = (Lcr_ & kLcrDlab) != 0;
  switch (Port - Base_) {
    case kThrDll: return Dlab ? (Divisor_ & 0xFF) : 0;  // nothing is ever received
    case kIerDlm: return Dlab ? (Divisor_ >> 8) : Ier_;
    case kIirFcr: Settle(Board_.NowNs()); return ReadIir();
    case kLcr: return Lcr_;
    case kMcr: return Mcr_;
    case kLsr: return ReadLsr();
    case kMsr: return 0;
    case kScr: return Scr_;
    default: return 0xFF;
  }
}

void Uart16550::IoWrite(uint16_t Port, unsigned, uint32_t Value) {
  const uint8_t Byte = uint8_t(Value);
  const bool Dlab = (Lcr_ & kLcrDlab) != 0;
  switch (Port - Base_) {
    case kThrDll:
      if (Dlab) SetDivisor(uint16_t((Divisor_ & 0xFF00) | Byte));
      else WriteThr(Byte);
      break;
    case kIerDlm:
      if (Dlab) SetDivisor(uint16_t((Divisor_ & 0x00FF) | (Byte << 8)));
      else Ier_ = Byte & kIerMask;
      break;
    case kIirFcr: WriteFcr(Byte); break;
    case kLcr: Lcr_ = Byte; break;
    case kMcr: Mcr_ = Byte & kMcrMask; break;
    case kScr: Scr_ = Byte; break;
    default: break;  // LSR and MSR are read-only
  }
}

std::string Uart16550::RegisterName(uint16_t Port) const {
  const bool Dlab = (Lcr_ & kLcrDlab) != 0;
  switch (Port - Base_) {
    case kThrDll: return Dlab ? "DLL" : "THR";
    case kIerDlm: return Dlab ? "DLM" : "IER";
    case kIirFcr: return "IIR/FCR";
    case kLcr: return "LCR";
    case kMcr: return "MCR";
    case kLsr: return "LSR";
    case kMsr: return "MSR";
    case kScr: return "SCR";
    default: return {};
  }
}

}  // namespace quarn::emu
