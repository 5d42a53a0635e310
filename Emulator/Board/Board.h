// The emulated board: buses, devices, processors and virtual time. It is what the
// module's hardware seam reaches while it runs on the host.
#pragma once

#include <Library/CpuIntrinsicsLibEmulated/CpuIntrinsicsBackend.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <typeindex>
#include <vector>

#include "BoardLayout.h"
#include "Device.h"
#include "FaultPlan.h"
#include "Processor.h"
#include "RunStopped.h"
#include "VirtualClock.h"

namespace quarn::emu {

/// What virtual time is spent on, for the report.
enum class TimeCategory : uint8_t { Other = 0, Wait = 1, Serial = 2, Firmware = 3 };

/// One hardware access, as the trace shows it.
struct TraceEntry {
  uint64_t TimeNs = 0;
  std::string Kind;      // "io-read8", "io-write32", "mmio-read32", "cpuid", "pause", "call", ...
  uint64_t Address = 0;  // port, physical address, or 0
  uint64_t Value = 0;
  std::string Device;  // the device and register by name, or a description
};

/// A write to one of the halt-code ports.
struct HaltCode {
  uint16_t Port = 0;
  uint32_t Value = 0;
  uint64_t TimeNs = 0;  // virtual time of the write
};

/// PCI bus/device/function.
struct PciBdf {
  uint8_t Bus = 0, Device = 0, Function = 0;
  auto operator<=>(const PciBdf &) const = default;
};

class Board : public CpuIntrinsicsBackend {
 public:
  static constexpr uint64_t kIoAccessNs = 1000;  // an LPC-bus I/O cycle
  static constexpr uint64_t kMmioAccessNs = 250;
  static constexpr uint64_t kCpuOpNs = 10;
  static constexpr uint16_t kPostCodePort = 0x84;
  static constexpr uint16_t kBoardHaltPort = 0xE8;
  static constexpr uint16_t kPciConfigAddressPort = 0xCF8;
  static constexpr uint16_t kPciConfigDataPort = 0xCFC;  // to 0xCFF

  /// A board whose devices answer where Layout places them (default: where the module
  /// was built to find them). Devices added to it take their place from Layout().
  explicit Board(unsigned ProcessorCount = 1, const BoardLayout &Layout = {});
  ~Board() override;
  Board(const Board &) = delete;
  Board &operator=(const Board &) = delete;

  // --- building the board -------------------------------------------------------
  /// Takes ownership of a device and returns it.
  template <typename T, typename... Args>
  T &Add(Args &&...A) {
    auto Owned = std::make_shared<T>(std::forward<Args>(A)...);
    Owned_.push_back(Owned);
    return *Owned;
  }
  void MapIo(uint16_t First, uint16_t Count, IoDevice &Device);
  void MapMmio(uint32_t Base, uint32_t Size, MmioDevice &Device);
  void UnmapMmio(MmioDevice &Device);
  void MapPci(PciBdf Bdf, PciFunction &Function);

  // --- state --------------------------------------------------------------------
  const BoardLayout &Layout() const { return Layout_; }
  VirtualClock &Clock() { return Clock_; }
  uint64_t NowNs() const { return Clock_.NowNs(); }
  std::vector<Processor> &Processors() { return Processors_; }
  Processor &CurrentProcessor() { return Processors_.at(Current_); }
  void SelectProcessor(size_t Index) { Current_ = Index; }
  size_t CurrentProcessorIndex() const { return Current_; }
  FaultPlan &Faults() { return Faults_; }
  /// Counts one call of the failable interface Call; TRUE when the fault plan makes this
  /// call fail, which then answers Status (traced as a "fault" entry).
  bool FailsNow(const std::string &Call, uint64_t Status);
  const std::vector<HaltCode> &HaltCodes() const { return HaltCodes_; }
  uint64_t AccessCount() const { return AccessCount_; }
  /// Virtual nanoseconds spent on each category so far.
  uint64_t TimeSpentNs(TimeCategory Category) const { return Spent_[int(Category)]; }
  /// Accesses to these ports count as time of Category (the timer: waiting; UARTs: serial).
  void SetPortCategory(uint16_t First, uint16_t Count, TimeCategory Category);

  /// Virtual time after which a run counts as hung.
  void SetTimeLimitNs(uint64_t Ns) { TimeLimitNs_ = Ns; }

  // --- trace --------------------------------------------------------------------
  void EnableTrace(bool On) { Tracing_ = On; }
  bool Tracing() const { return Tracing_; }
  const std::vector<TraceEntry> &Trace() const { return Trace_; }
  /// Adds a line that is not a hardware access (a PEI service call, a PPI call).
  void TraceEvent(std::string Kind, std::string What, uint64_t Value = 0);
  /// Sees every access and event as it happens, traced or not (quarn-emu --break-on
  /// stops the program there); with a watch set, accesses are described even when the
  /// trace is off. Called with the module's frames below it on the stack.
  std::function<void(const TraceEntry &)> Watch;
  /// A UART at UartBase completed a line (its text without the line end): shown to the watch.
  void NoteConsoleLine(uint16_t UartBase, std::string Line);

  // --- PCI ------------------------------------------------------------------------
  uint32_t PciConfigRead(PciBdf Bdf, uint16_t Offset, unsigned Width);
  void PciConfigWrite(PciBdf Bdf, uint16_t Offset, unsigned Width, uint32_t Value);
  PciFunction *FindPci(PciBdf Bdf);

  // --- polls ----------------------------------------------------------------------
  /// TRUE when the access being handled repeats the one before it (same kind and port
  /// or address) with nothing in between: a device may then fast-forward time to its
  /// next change, as the guest would only spin until then.
  bool IsRepeatedPoll() const { return RepeatedPoll_; }
  /// Moves time forward to Ns as part of a poll; the time counts as Category.
  void FastForwardTo(uint64_t Ns, TimeCategory Category);

  // --- the seam -------------------------------------------------------------------
  UINT8 IoRead8(UINT16 Port) override;
  void IoWrite8(UINT16 Port, UINT8 Value) override;
  UINT32 IoRead32(UINT16 Port) override;
  void IoWrite32(UINT16 Port, UINT32 Value) override;
  UINT8 MmioRead8(UINTN Address) override;
  void MmioWrite8(UINTN Address, UINT8 Value) override;
  UINT32 MmioRead32(UINTN Address) override;
  void MmioWrite32(UINTN Address, UINT32 Value) override;
  void Cpuid(UINT32 Leaf, UINT32 Registers[4]) override;
  void Sidt(IA32_DESCRIPTOR *Idtr) override;
  UINT64 ReadMm(unsigned Index) override;
  void WriteMm(unsigned Index, UINT64 Value) override;
  void Breakpoint() override;
  void Pause() override;
  void NoteStackPointer(UINTN StackPointer) override {
    if (StackPointer < LowestStackPointer_) LowestStackPointer_ = StackPointer;
  }
  /// The lowest stack pointer a hardware access was made at since the last reset.
  uintptr_t LowestStackPointer() const { return LowestStackPointer_; }
  void ResetLowestStackPointer() { LowestStackPointer_ = UINTPTR_MAX; }

  /// Platform objects that interfaces without a context pointer (DRUX_PPI entries,
  /// WriteMessage) reach through the current board.
  template <typename T>
  void Provide(T *Object) {
    Provided_[std::type_index(typeid(T))] = Object;
  }
  template <typename T>
  T *Find() const {
    auto It = Provided_.find(std::type_index(typeid(T)));
    return It == Provided_.end() ? nullptr : static_cast<T *>(It->second);
  }

  /// Makes this board the one the hardware seam forwards to.
  void Activate() { SetCpuIntrinsicsBackend(this); }

  /// Called when a breakpoint executes (the emulator records assertion context).
  std::function<void()> OnBreakpoint;

 private:
  struct MmioRange {
    uint32_t Base;
    uint32_t Size;
    MmioDevice *Device;
  };
  struct LastAccess {
    const char *Kind = "";  // one of the access-kind literals of Board.cpp
    uint64_t Address = ~0ull;
  };

  /// TRUE when an access must be described: for the trace or for the watch.
  bool Observed() const { return Tracing_ || Watch != nullptr; }
  uint32_t IoRead(uint16_t Port, unsigned Width);
  void IoWrite(uint16_t Port, unsigned Width, uint32_t Value);
  uint32_t MmioRead(uint32_t Address, unsigned Width);
  void MmioWrite(uint32_t Address, unsigned Width, uint32_t Value);
  void BeginAccess(const char *Kind, uint64_t Address, uint64_t CostNs);
  void Record(const char *Kind, uint64_t Address, uint64_t Value, std::string What);
  void CheckTime(const char *Kind, uint64_t Address);
  std::string IoName(uint16_t Port) const;
  std::string MmioName(uint32_t Address) const;
  MmioDevice *FindMmio(uint32_t Address, uint32_t *Base = nullptr) const;
  IoDevice *IoAt(uint16_t Port) const { return IoDevices_[IoSlot_[Port]]; }

  BoardLayout Layout_;
  VirtualClock Clock_;
  std::vector<Processor> Processors_;
  size_t Current_ = 0;
  std::vector<std::shared_ptr<void>> Owned_;
  std::map<std::type_index, void *> Provided_;
  // Port tables, one byte a port (64 KiB each: a board is built for every run, and small
  // blocks are reused by the allocator where large ones would be mapped afresh each time).
  std::vector<IoDevice *> IoDevices_ = {nullptr};                   // [0]: no device
  std::vector<uint8_t> IoSlot_ = std::vector<uint8_t>(0x10000, 0);  // by port: index into IoDevices_
  std::vector<MmioRange> Mmio_;
  std::map<PciBdf, PciFunction *> Pci_;
  uint32_t Cf8_ = 0;
  std::vector<HaltCode> HaltCodes_;
  FaultPlan Faults_;
  bool Tracing_ = false;
  std::vector<TraceEntry> Trace_;
  uint64_t AccessCount_ = 0;
  uint64_t TimeLimitNs_ = 120ull * 1000 * kNsPerMs;
  uint64_t Spent_[4] = {};
  // By port, a TimeCategory as a byte: a byte vector is zero-filled (Other) with one memset,
  // where a vector of the enum would be filled element by element on every board.
  std::vector<uint8_t> PortCategory_ = std::vector<uint8_t>(0x10000);
  LastAccess Last_;
  bool RepeatedPoll_ = false;
  unsigned TimerPollStreak_ = 0;
  uintptr_t LowestStackPointer_ = UINTPTR_MAX;
  uint64_t PollStartNs_ = 0;       // first timer read of the current wait
  uint64_t LastTimerPollNs_ = 0;   // latest timer read of the current wait
  uint64_t LastPollLengthNs_ = 0;  // length of the previous wait
  bool DeadLoopEntered_ = false;
};

}  // namespace quarn::emu
