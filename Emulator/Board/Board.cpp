#include "Board.h"

#include <cstdio>
#include <stdexcept>

namespace quarn::emu {

namespace {

std::string Hex(uint64_t Value, int Digits) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "0x%0*llX", Digits, static_cast<unsigned long long>(Value));
  return Text;
}

// Access kinds: each is one object, so the last access is compared by address.
constexpr char kIoRead8[] = "io-read8";
constexpr char kIoWrite8[] = "io-write8";
constexpr char kIoRead32[] = "io-read32";
constexpr char kIoWrite32[] = "io-write32";
constexpr char kMmioRead8[] = "mmio-read8";
constexpr char kMmioWrite8[] = "mmio-write8";
constexpr char kMmioRead32[] = "mmio-read32";
constexpr char kMmioWrite32[] = "mmio-write32";
constexpr char kCpuid[] = "cpuid";
constexpr char kSidt[] = "sidt";
constexpr char kReadMm0[] = "read-mm0";
constexpr char kReadMm7[] = "read-mm7";
constexpr char kWriteMm0[] = "write-mm0";
constexpr char kWriteMm7[] = "write-mm7";
constexpr char kInt3[] = "int3";
constexpr char kPausePoll[] = "pause-poll";
constexpr char kPause[] = "pause";

constexpr uint32_t kHaltLoop = 0x4C6F6F70;
constexpr uint64_t kTimerPollStepNs = 1000;
constexpr unsigned kTimerPollMaxShift = 5;  // pauses in a timer poll step by up to 32 us
constexpr uint64_t kPollLead = 4000;        // a repeated wait resumes stepping 4 us early

/// Bus, device and function of a routing ID (bus 15:8, device 7:3, function 2:0): CF8
/// bits 23:8 and ECAM offset bits 27:12 both carry one.
PciBdf BdfOf(uint32_t RoutingId) {
  return {uint8_t(RoutingId >> 8), uint8_t((RoutingId >> 3) & 0x1F), uint8_t(RoutingId & 7)};
}

}  // namespace

Board::Board(unsigned ProcessorCount, const BoardLayout &Layout)
    : Layout_(Layout), Processors_(ProcessorCount == 0 ? 1 : ProcessorCount) {}

Board::~Board() {
  if (GetCpuIntrinsicsBackend() == this) SetCpuIntrinsicsBackend(nullptr);
}

void Board::MapIo(uint16_t First, uint16_t Count, IoDevice &Device) {
  size_t Slot = 1;
  while (Slot < IoDevices_.size() && IoDevices_[Slot] != &Device) Slot++;
  if (Slot == IoDevices_.size()) {
    if (Slot > UINT8_MAX) throw std::length_error("Board::MapIo: more than 255 I/O devices");
    IoDevices_.push_back(&Device);
  }
  for (uint32_t Port = First; Port < uint32_t(First) + Count; Port++) IoSlot_[uint16_t(Port)] = uint8_t(Slot);
}

void Board::MapMmio(uint32_t Base, uint32_t Size, MmioDevice &Device) {
  UnmapMmio(Device);
  Mmio_.push_back({Base, Size, &Device});
}

void Board::UnmapMmio(MmioDevice &Device) {
  std::erase_if(Mmio_, [&](const MmioRange &Range) { return Range.Device == &Device; });
}

void Board::MapPci(PciBdf Bdf, PciFunction &Function) { Pci_[Bdf] = &Function; }

PciFunction *Board::FindPci(PciBdf Bdf) {
  auto It = Pci_.find(Bdf);
  return It == Pci_.end() ? nullptr : It->second;
}

uint32_t Board::PciConfigRead(PciBdf Bdf, uint16_t Offset, unsigned Width) {
  PciFunction *Function = FindPci(Bdf);
  if (Function == nullptr) return Width >= 4 ? 0xFFFFFFFFu : (1u << (8 * Width)) - 1;
  return Function->ConfigRead(Offset, Width);
}

void Board::PciConfigWrite(PciBdf Bdf, uint16_t Offset, unsigned Width, uint32_t Value) {
  if (PciFunction *Function = FindPci(Bdf)) Function->ConfigWrite(Offset, Width, Value);
}

MmioDevice *Board::FindMmio(uint32_t Address, uint32_t *Base) const {
  for (const MmioRange &Range : Mmio_) {
    if (Address >= Range.Base && Address - Range.Base < Range.Size) {
      if (Base) *Base = Range.Base;
      return Range.Device;
    }
  }
  return nullptr;
}

bool Board::FailsNow(const std::string &Call, uint64_t Status) {
  if (!Faults_.ShouldFail(Call, Status, Clock_.NowNs())) return false;
  TraceEvent("fault", Call + " #" + std::to_string(Faults_.Fired()->Nth) + " made to fail", Status);
  return true;
}

void Board::TraceEvent(std::string Kind, std::string What, uint64_t Value) {
  if (!Observed()) return;
  TraceEntry Entry{Clock_.NowNs(), std::move(Kind), 0, Value, std::move(What)};
  if (Watch) Watch(Entry);
  if (Tracing_) Trace_.push_back(std::move(Entry));
}

void Board::NoteConsoleLine(uint16_t UartBase, std::string Line) {
  if (Watch) Watch(TraceEntry{Clock_.NowNs(), "console-line", UartBase, 0, std::move(Line)});
}

void Board::FastForwardTo(uint64_t Ns, TimeCategory Category) {
  if (Ns > Clock_.NowNs()) {
    Spent_[int(Category)] += Ns - Clock_.NowNs();
    Clock_.AdvanceTo(Ns);
  }
}

void Board::SetPortCategory(uint16_t First, uint16_t Count, TimeCategory Category) {
  for (uint32_t Port = First; Port < uint32_t(First) + Count; Port++) PortCategory_[uint16_t(Port)] = uint8_t(Category);
}

void Board::CheckTime(const char *Kind, uint64_t Address) {
  if (Clock_.NowNs() > TimeLimitNs_) {
    // The limit is on the whole run, however busy the module was; the last access
    // names the device register, which is usually the one a wait polls.
    std::string Last = std::string(Kind) + " " + Hex(Address, 4);
    if (Kind[0] == 'i' && Kind[1] == 'o') Last += " (" + IoName(uint16_t(Address)) + ")";
    if (Kind[0] == 'm' && Kind[1] == 'm' && Kind[2] == 'i') Last += " (" + MmioName(uint32_t(Address)) + ")";
    throw RunStopped("hang", "the total time limit of " + std::to_string(TimeLimitNs_ / kNsPerMs) +
                                 " ms of virtual time ([run] time_limit_ms) ran out; last access " + Last);
  }
}

void Board::BeginAccess(const char *Kind, uint64_t Address, uint64_t CostNs) {
  RepeatedPoll_ = (Last_.Kind == Kind && Last_.Address == Address);  // literals: compared by address
  Last_.Kind = Kind;
  Last_.Address = Address;
  AccessCount_++;
  TimeCategory Category = TimeCategory::Other;
  if (Kind[0] == 'i' && Kind[1] == 'o') Category = TimeCategory(PortCategory_[uint16_t(Address)]);
  Spent_[int(Category)] += CostNs;
  Clock_.Advance(CostNs);
  CheckTime(Kind, Address);
}

void Board::Record(const char *Kind, uint64_t Address, uint64_t Value, std::string What) {
  TraceEntry Entry{Clock_.NowNs(), Kind, Address, Value, std::move(What)};
  if (Watch) Watch(Entry);
  if (Tracing_) Trace_.push_back(std::move(Entry));
}

std::string Board::IoName(uint16_t Port) const {
  if (Port == kPciConfigAddressPort || (Port >= kPciConfigDataPort && Port <= kPciConfigDataPort + 3)) {
    const PciBdf Bdf = BdfOf(Cf8_ >> 8);
    if (Port == kPciConfigAddressPort) return "PCI CONFIG_ADDRESS";
    auto It = Pci_.find(Bdf);
    std::string Name = "PCI CONFIG_DATA " + Hex(Cf8_, 8);
    if (It != Pci_.end()) Name += " " + It->second->Name() + " " + It->second->RegisterName(uint16_t(Cf8_ & 0xFC));
    return Name;
  }
  if (Port == Layout_.HaltCodePort) return "halt code";
  if (Port == kBoardHaltPort) return "board halt";
  if (Port == kPostCodePort) return "post code";
  IoDevice *Device = IoAt(Port);
  if (Device == nullptr) return "(unmapped)";
  const std::string Register = Device->RegisterName(Port);
  return Register.empty() ? Device->Name() : Device->Name() + " " + Register;
}

std::string Board::MmioName(uint32_t Address) const {
  if (Layout_.InPcieWindow(Address)) {
    const uint32_t Offset = Address - Layout_.PcieBase;
    const PciBdf Bdf = BdfOf(Offset >> 12);
    char Text[48];
    std::snprintf(Text, sizeof Text, "ECAM %02X:%02X.%X+0x%03X", Bdf.Bus, Bdf.Device, Bdf.Function, Offset & 0xFFF);
    auto It = Pci_.find(Bdf);
    if (It == Pci_.end()) return std::string(Text) + " (absent)";
    const std::string Register = It->second->RegisterName(uint16_t(Offset & 0xFFF));
    return std::string(Text) + " " + It->second->Name() + (Register.empty() ? "" : " " + Register);
  }
  if (MmioDevice *Device = FindMmio(Address)) {
    const std::string Register = Device->RegisterName(Address);
    return Register.empty() ? Device->Name() : Device->Name() + " " + Register;
  }
  return "(unmapped)";
}

uint32_t Board::IoRead(uint16_t Port, unsigned Width) {
  uint32_t Value = Width >= 4 ? 0xFFFFFFFFu : (1u << (8 * Width)) - 1;
  if (Port >= kPciConfigDataPort && Port <= kPciConfigDataPort + 3) {
    if (Cf8_ & 0x80000000u) {
      const PciBdf Bdf = BdfOf(Cf8_ >> 8);
      Value = PciConfigRead(Bdf, uint16_t((Cf8_ & 0xFC) | (Port & 3)), Width);
    }
  } else if (Port == kPciConfigAddressPort && Width == 4) {
    Value = Cf8_;
  } else if (IoDevice *Device = IoAt(Port)) {
    Value = Device->IoRead(Port, Width);
  }
  return Value;
}

void Board::IoWrite(uint16_t Port, unsigned Width, uint32_t Value) {
  if (Port == Layout_.HaltCodePort || Port == kBoardHaltPort) {
    HaltCodes_.push_back({Port, Value, Clock_.NowNs()});
    if (Port == kBoardHaltPort && Value == kHaltLoop) DeadLoopEntered_ = true;
  }
  if (Port == kPciConfigAddressPort && Width == 4) {
    Cf8_ = Value;
  } else if (Port >= kPciConfigDataPort && Port <= kPciConfigDataPort + 3) {
    if (Cf8_ & 0x80000000u) {
      const PciBdf Bdf = BdfOf(Cf8_ >> 8);
      PciConfigWrite(Bdf, uint16_t((Cf8_ & 0xFC) | (Port & 3)), Width, Value);
    }
  } else if (IoDevice *Device = IoAt(Port)) {
    Device->IoWrite(Port, Width, Value);
  }
}

uint32_t Board::MmioRead(uint32_t Address, unsigned Width) {
  if (Layout_.InPcieWindow(Address)) {
    const uint32_t Offset = Address - Layout_.PcieBase;
    const PciBdf Bdf = BdfOf(Offset >> 12);
    return PciConfigRead(Bdf, uint16_t(Offset & 0xFFF), Width);
  }
  if (MmioDevice *Device = FindMmio(Address)) return Device->MmioRead(Address, Width);
  return Width >= 4 ? 0xFFFFFFFFu : (1u << (8 * Width)) - 1;
}

void Board::MmioWrite(uint32_t Address, unsigned Width, uint32_t Value) {
  if (Layout_.InPcieWindow(Address)) {
    const uint32_t Offset = Address - Layout_.PcieBase;
    const PciBdf Bdf = BdfOf(Offset >> 12);
    PciConfigWrite(Bdf, uint16_t(Offset & 0xFFF), Width, Value);
    return;
  }
  if (MmioDevice *Device = FindMmio(Address)) Device->MmioWrite(Address, Width, Value);
}

UINT8 Board::IoRead8(UINT16 Port) {
  BeginAccess(kIoRead8, Port, kIoAccessNs);
  const uint8_t Value = uint8_t(IoRead(Port, 1));
  if (Observed()) Record(kIoRead8, Port, Value, IoName(Port));
  return Value;
}

void Board::IoWrite8(UINT16 Port, UINT8 Value) {
  BeginAccess(kIoWrite8, Port, kIoAccessNs);
  if (Observed()) Record(kIoWrite8, Port, Value, IoName(Port));
  IoWrite(Port, 1, Value);
}

UINT32 Board::IoRead32(UINT16 Port) {
  const bool InPoll = (Last_.Kind == kPausePoll);
  BeginAccess(kIoRead32, Port, kIoAccessNs);
  const uint32_t Value = IoRead(Port, 4);
  if (Port != Layout_.AcpiTimerPort) {
    TimerPollStreak_ = 0;
  } else if (InPoll) {
    LastTimerPollNs_ = Clock_.NowNs();
  } else {
    // A timer read that no pause precedes starts a wait; close the one before it.
    if (LastTimerPollNs_ > PollStartNs_) LastPollLengthNs_ = LastTimerPollNs_ - PollStartNs_;
    PollStartNs_ = LastTimerPollNs_ = Clock_.NowNs();
    TimerPollStreak_ = 0;
  }
  if (Observed()) Record(kIoRead32, Port, Value, IoName(Port));
  return Value;
}

void Board::IoWrite32(UINT16 Port, UINT32 Value) {
  BeginAccess(kIoWrite32, Port, kIoAccessNs);
  if (Observed()) Record(kIoWrite32, Port, Value, IoName(Port));
  IoWrite(Port, 4, Value);
}

UINT8 Board::MmioRead8(UINTN Address) {
  BeginAccess(kMmioRead8, Address, kMmioAccessNs);
  const uint8_t Value = uint8_t(MmioRead(uint32_t(Address), 1));
  if (Observed()) Record(kMmioRead8, Address, Value, MmioName(uint32_t(Address)));
  return Value;
}

void Board::MmioWrite8(UINTN Address, UINT8 Value) {
  BeginAccess(kMmioWrite8, Address, kMmioAccessNs);
  if (Observed()) Record(kMmioWrite8, Address, Value, MmioName(uint32_t(Address)));
  MmioWrite(uint32_t(Address), 1, Value);
}

UINT32 Board::MmioRead32(UINTN Address) {
  BeginAccess(kMmioRead32, Address, kMmioAccessNs);
  const uint32_t Value = MmioRead(uint32_t(Address), 4);
  if (Observed()) Record(kMmioRead32, Address, Value, MmioName(uint32_t(Address)));
  return Value;
}

void Board::MmioWrite32(UINTN Address, UINT32 Value) {
  BeginAccess(kMmioWrite32, Address, kMmioAccessNs);
  if (Observed()) Record(kMmioWrite32, Address, Value, MmioName(uint32_t(Address)));
  MmioWrite(uint32_t(Address), 4, Value);
}

void Board::Cpuid(UINT32 Leaf, UINT32 Registers[4]) {
  BeginAccess(kCpuid, Leaf, kCpuOpNs);
  Registers[0] = Registers[1] = Registers[2] = Registers[3] = 0;
  if (Leaf == 1) Registers[0] = CurrentProcessor().CpuidSignature;
  if (Observed()) Record(kCpuid, Leaf, Registers[0], "processor " + std::to_string(Current_));
}

void Board::Sidt(IA32_DESCRIPTOR *Idtr) {
  BeginAccess(kSidt, 0, kCpuOpNs);
  Idtr->Limit = CurrentProcessor().IdtLimit;
  Idtr->Base = CurrentProcessor().IdtBase;
  if (Observed()) Record(kSidt, 0, Idtr->Base, "processor " + std::to_string(Current_));
}

UINT64 Board::ReadMm(unsigned Index) {
  BeginAccess(Index == 0 ? kReadMm0 : kReadMm7, Index, kCpuOpNs);
  Processor &P = CurrentProcessor();
  const uint64_t Value = P.Mm.at(Index);
  if (Index == 0 && !P.FirstMm0Read) P.FirstMm0Read = MmAccess{Clock_.NowNs(), Value};
  if (Observed()) Record(Index == 0 ? kReadMm0 : kReadMm7, Index, Value, "processor " + std::to_string(Current_));
  return Value;
}

void Board::WriteMm(unsigned Index, UINT64 Value) {
  BeginAccess(Index == 0 ? kWriteMm0 : kWriteMm7, Index, kCpuOpNs);
  Processor &P = CurrentProcessor();
  P.Mm.at(Index) = Value;
  if (Index == 0 && !P.FirstMm0Write) P.FirstMm0Write = MmAccess{Clock_.NowNs(), Value};
  if (Observed()) Record(Index == 0 ? kWriteMm0 : kWriteMm7, Index, Value, "processor " + std::to_string(Current_));
}

void Board::Breakpoint() {
  BeginAccess(kInt3, 0, kCpuOpNs);
  CurrentProcessor().Breakpoints++;
  if (Observed()) Record(kInt3, 0, 0, "breakpoint");
  if (OnBreakpoint) OnBreakpoint();
}

void Board::Pause() {
  const bool AfterTimerRead = (Last_.Kind == kIoRead32 && Last_.Address == Layout_.AcpiTimerPort);
  const char *Kind = AfterTimerRead ? kPausePoll : kPause;
  BeginAccess(Kind, 0, kCpuOpNs);
  if (Observed()) Record(Kind, 0, 0, "PAUSE");
  if (DeadLoopEntered_) {
    throw RunStopped("dead-loop", "CpuDeadLoop: halt code 0x4C6F6F70 written to port 0xE8, spinning");
  }
  // A pause between two timer reads is a busy wait: let time run ahead, so that a 1 ms
  // poll costs a handful of host iterations, not a thousand. Waits repeat (the module
  // polls in 1 ms steps), so the first pause of a wait jumps to just before the point
  // where the previous wait ended; from there, and for a wait longer than the previous
  // one, steps grow from 1 us to 32 us. A wait thus ends at most a step late.
  if (AfterTimerRead) {
    uint64_t Step =
        kTimerPollStepNs << (TimerPollStreak_ < kTimerPollMaxShift ? TimerPollStreak_++ : kTimerPollMaxShift);
    if (TimerPollStreak_ == 1 && LastPollLengthNs_ > kPollLead) {
      const uint64_t Predicted = PollStartNs_ + LastPollLengthNs_ - kPollLead;
      if (Predicted > Clock_.NowNs() + Step) Step = Predicted - Clock_.NowNs();
    }
    Spent_[int(TimeCategory::Wait)] += Step;
    Clock_.Advance(Step);
  } else {
    TimerPollStreak_ = 0;
  }
}

}  // namespace quarn::emu
