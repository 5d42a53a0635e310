#include "Emulator.h"

extern "C" {
#include <PiPei.h>
#include <Library/PeimEntryPoint.h>
}
#include <Guid/QuarnInfoHob.h>
#include <Guid/StaticPointerTableHob.h>
#include <Guid/VornTypeHob.h>
#include <Pei/QuarnPeiPreMem/QuarnPeiPreMem.h>
#include <Ppi/CpuAndRevision.h>
#include <Ppi/DebugPrint.h>
#include <Ppi/Drux.h>
#include <Ppi/VornPolicy.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "Emulator/Devices/AcpiPmTimer.h"
#include "Emulator/Devices/Chipset.h"
#include "Emulator/Devices/Cmos.h"
#include "Emulator/Devices/SuperIo.h"
#include "Emulator/Devices/Uart16550.h"
#include "Emulator/Memory/StackSwitch.h"
#include "Emulator/PeiCore/DebugPrintSink.h"
#include "Emulator/PeiCore/HobWalk.h"
#include "Emulator/PeiCore/MpServices.h"
#include "Emulator/PeiCore/PolicyPpi.h"
#include "Emulator/Vorn/QuarnFirmware.h"
#include "Emulator/Vorn/VornDevice.h"

namespace quarn::emu {

namespace {

PeiCoreConfig CoreConfig(const Scenario &S) {
  PeiCoreConfig Config;
  Config.HobSpace = S.HobSpace;
  Config.PoolSpace = S.PoolSpace;
  Config.RoundHobLengths = S.RoundHobLengths;
  Config.BootMode = S.BootMode;
  Config.GetBootModeStatus = S.GetBootModeStatus;
  Config.BootModeWrittenOnError = S.BootModeWrittenOnError;
  Config.StatusCodeHandler = S.StatusCodeHandler;
  Config.StatusCodeResult = S.StatusCodeResult;
  return Config;
}

/// Calls the image entry (the library constructors, then the entry point) from a frame of its own; *Base receives that
/// frame's address, the top of the module's stack for the depth measured at its hardware accesses.
__attribute__((noinline)) EFI_STATUS CallEntryPoint(CONST EFI_PEI_SERVICES **Services, uintptr_t *Base) {
  *Base = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  return _ModuleEntryPoint(nullptr, Services);
}

constexpr uint8_t kCmosStatusRegister = 0x0E;  // bit 7: contents not to be trusted
constexpr uint8_t kCmosInvalid = 0x80;

/// The registers as the module reads them: all ones through PCI when the VORN does not
/// answer; DWRSTS lies outside PCI and reads as it is. The module looks where it was built
/// to: a board that keeps its PCI Express window or DWRSTS elsewhere answers all ones there.
VornRegisterValues ReadableValues(const VornDevice &V, const BoardLayout &Layout) {
  using Reg = VornDevice::Register;
  constexpr uint32_t kAllOnes = 0xFFFFFFFF;
  constexpr BoardLayout kBuiltFor;
  const bool PciAnswers = V.Present() && Layout.PcieBase == kBuiltFor.PcieBase;
  auto Pci = [&](Reg R) { return PciAnswers ? V.Value(R) : kAllOnes; };
  const uint32_t DwrSts = Layout.DwrStsAddress == kBuiltFor.DwrStsAddress ? V.Value(Reg::DwrSts) : kAllOnes;
  return {Pci(Reg::Fs1), Pci(Reg::Fs2), Pci(Reg::Fn1), Pci(Reg::Fn4), Pci(Reg::Fn6), DwrSts};
}

/// "UART 0x3F8": a UART named by its base, as the trace and the summary show it.
std::string UartName(uint16_t Base) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "UART 0x%X", Base);
  return Text;
}

}  // namespace

/// The memory map of S with its sizes settled; throws when it, or the devices' places
/// around it, cannot be used.
MemoryMap UsableMap(const Scenario &S) {
  const uint64_t Needed = PeiCore::WindowBytes(S.HobSpace, S.PoolSpace);
  if (auto Problem = CheckMemoryMap(S.Memory, Needed)) throw std::invalid_argument(Problem->Key + ": " + Problem->Text);
  const MemoryMap Map = S.Memory.Resolved(Needed);
  if (auto Problem = CheckBoardLayout(S.Layout, Map)) throw std::invalid_argument(Problem->Key + ": " + Problem->Text);
  return Map;
}

Emulator::Emulator(Scenario S) : Scenario_(std::move(S)) {
  Ram_ = std::make_unique<BoardMemory>(UsableMap(Scenario_));
  Board_ = std::make_unique<Board>(Scenario_.Processors, Scenario_.Layout);
  Board &B = *Board_;
  const BoardLayout &Layout = B.Layout();
  B.SetTimeLimitNs(Scenario_.TimeLimitMs * kNsPerMs);
  B.EnableTrace(Scenario_.Trace);
  for (Processor &P : B.Processors()) P.CpuidSignature = Scenario_.CpuSignature;
  B.Processors()[0].Mm[0] = Scenario_.Mm0;

  Timer_ = &B.Add<AcpiPmTimer>(B);
  B.SetPortCategory(Layout.AcpiTimerPort, BoardLayout::kTimerPorts, TimeCategory::Wait);
  Cmos_ = &B.Add<Cmos>(B, Scenario_.CmosErrorLevel, Scenario_.CmosValid);
  SuperIo_ = &B.Add<SuperIo>(B, Scenario_.SuperIoUart1Active, Scenario_.SuperIoUart2Active);
  Uart1_ = &B.Add<Uart16550>(B, Layout.Uart1Base, UartName(Layout.Uart1Base), Scenario_.Uart1);
  Uart2_ = &B.Add<Uart16550>(B, Layout.Uart2Base, UartName(Layout.Uart2Base), Scenario_.Uart2);
  B.SetPortCategory(Layout.Uart1Base, BoardLayout::kUartPorts, TimeCategory::Serial);
  B.SetPortCategory(Layout.Uart2Base, BoardLayout::kUartPorts, TimeCategory::Serial);
  Chipset &Bridges = B.Add<Chipset>(B, Scenario_.HostBridgeFc);
  Bridges.HideSidebandFunction(!Scenario_.SidebandFunction);
  Vorn_ = &B.Add<VornDevice>(B, Scenario_);

  Core_ = std::make_unique<PeiCore>(B, *Ram_, CoreConfig(Scenario_));
  Firmware_ = std::make_unique<QuarnFirmware>(B, *Vorn_, Scenario_);
  Mp_ = std::make_unique<MpServices>(B, *Core_);
  DebugPpi_ = std::make_unique<DebugPrintSink>(B);
  Policy_ = std::make_unique<PolicyPpi>(Scenario_);

  // Installing runs no module code yet: nothing has registered a notification.
  if (Scenario_.DruxInstalled) {
    Core_->InstallPpi(gDruxPpiGuid, Scenario_.DruxNullPpi ? nullptr : Firmware_->Ppi());
  }
  if (Scenario_.PolicyInstalled) Core_->InstallPpi(gVornPolicyPpiGuid, Policy_->Table());
  if (Scenario_.DebugPrintPpi) Core_->InstallPpi(gDebugPrintPpiGuid, DebugPpi_->Ppi());
  if (Scenario_.MpServices == MpServicesWhen::BeforeEntry) InstallMpServices();

  B.OnBreakpoint = [this] { RecordAssertion(); };
  Vorn_->SetEntryNs(B.NowNs());
  Vorn_->ScheduleScenarioChanges(Scenario_.At);
  VornAtEntry_ = ReadableValues(*Vorn_, B.Layout());
}

Emulator::~Emulator() = default;

void Emulator::Activate() { Board_->Activate(); }

void Emulator::InstallMpServices() {
  if (MpInstalled_) return;
  MpInstalled_ = true;
  Mp_->Install();
}

void Emulator::NoteVornAtExit() {
  // Changes that are due take effect now rather than at the next access: the same
  // values, in the same order, as a later access would have seen.
  Vorn_->ApplyDue();
  VornAtExit_ = ReadableValues(*Vorn_, Board_->Layout());
  VornExitNs_ = Board_->NowNs();
}

void Emulator::RecordAssertion() {
  // The assertion line is the last "ASSERT [" text the first UART received, up to CR LF.
  const std::string &Console = Uart1_->Transmitted();
  const size_t Start = Console.rfind("ASSERT [");
  if (Start == std::string::npos) {
    Asserts_.push_back("(breakpoint without an assertion line)");
    return;
  }
  const size_t End = Console.find("\r\n", Start);
  Asserts_.push_back(Console.substr(Start, End == std::string::npos ? std::string::npos : End - Start));
}

RunReport Emulator::Run() {
  Activate();
  RunReport Stopped;
  bool WasStopped = false;
  EntryNs_ = Board_->NowNs();
  std::optional<EFI_STATUS> Status;
  uint64_t ReturnNs = 0;
  try {
    // The entry point runs on the stack in temporary RAM, what follows the move on the
    // stack in permanent memory: every address the module sees is the board's.
    RunOnStack(Core_->StackBottom(), PeiCore::kStackBytes, [&] {
      uintptr_t Base = 0;
      Board_->ResetLowestStackPointer();
      Status = CallEntryPoint(Core_->Services(), &Base);
      if (Board_->LowestStackPointer() < Base) EntryStackBytes_ = Base - Board_->LowestStackPointer();
    });
    ReturnNs = Board_->NowNs();
    NoteVornAtExit();
    if (Scenario_.MemoryDiscovered) {
      uint8_t *Stack = Ram_->Open(Ram_->PermanentMemory(), PeiCore::kStackBytes);
      RunOnStack(Stack, PeiCore::kStackBytes, [&] {
        Core_->MigrateToPermanentMemory();
        if (Scenario_.MpServices == MpServicesWhen::AfterMemory) InstallMpServices();
      });
    }
  } catch (const RunStopped &Stop) {
    WasStopped = true;
    Stopped.Outcome = Stop.Outcome;
    Stopped.Where = Stop.what();
    if (!Status) {
      ReturnNs = Board_->NowNs();
      NoteVornAtExit();
    }
  }
  Vorn_->ApplyDue();
  RunReport Report = Snapshot();
  Report.Status = Status;
  Report.ElapsedNs = ReturnNs - EntryNs_;
  Report.EntryStackBytes = EntryStackBytes_;
  if (WasStopped) {
    Report.Outcome = Stopped.Outcome;
    Report.Where = Stopped.Where;
  }
  return Report;
}

RunReport Emulator::Snapshot() {
  RunReport R;
  R.Scenario = Scenario_.Name;
  R.Layout = Board_->Layout();
  R.ElapsedNs = Board_->NowNs() - EntryNs_;
  R.Console = Uart1_->Transmitted();
  R.Console2 = Uart2_->Transmitted();
  if (Board_->Tracing()) {
    R.ConsoleLeftNs = Uart1_->LeaveTimesNs();
    R.Console2LeftNs = Uart2_->LeaveTimesNs();
  }
  R.Fault = Board_->Faults().Fired();
  R.DebugPpi = DebugPpi_->Messages();
  R.Asserts = Asserts_;
  for (const HaltCode &H : Board_->HaltCodes()) R.HaltCodes.push_back(H);
  R.Messages = Firmware_->Exchanges();
  R.StatusCodes = Core_->StatusCodes();
  for (const StatusCodeRecord &Code : R.StatusCodes) {
    uint32_t EntryType = 0;
    if (Code.Data.size() >= sizeof(EFI_STATUS_CODE_DATA) + 4) std::memcpy(&EntryType, &Code.Data[20], 4);
    R.Records.push_back(EntryType == 16 ? "state" : EntryType == 17 ? "reset" : "other");
  }

  // The first type HOB that holds the whole record: the module steps over shorter ones.
  for (EFI_HOB_GUID_TYPE *Found : FindGuidHobs(*Core_, gVornTypeHobGuid)) {
    if (HobLengthAt(Found) < sizeof(VORN_TYPE_HOB)) continue;
    const auto *Hob = reinterpret_cast<const VORN_TYPE_HOB *>(Found);
    R.VornTypeHob = VornTypeHobView{Hob->VornType, Hob->FwType, Hob->FwSubType};
    break;
  }
  if (auto Hobs = FindGuidHobs(*Core_, gQuarnInfoHobGuid); !Hobs.empty() && HobLengthAt(Hobs[0]) >= 40) {
    const uint8_t *Data = reinterpret_cast<const uint8_t *>(Hobs[0]) + sizeof(EFI_HOB_GUID_TYPE);
    InfoHobView View;
    View.Data.assign(Data, Data + sizeof(QUARN_INFO_HOB));
    QUARN_INFO_HOB Info;
    std::memcpy(&Info, Data, sizeof Info);
    View.FeatureSet = Info.FeatureSet;
    View.FeatureSet2 = Info.FeatureSet2;
    View.Flow = Info.Flow;
    View.PwrOptBoot = Info.PwrOptBoot;
    View.Cores2Disable = Info.Cores2Disable;
    R.InfoHob = View;
  }
  if (auto Hobs = FindGuidHobs(*Core_, gStaticPointerTableHobGuid);
      !Hobs.empty() && HobLengthAt(Hobs[0]) >= STATIC_POINTER_TABLE_HOB_LENGTH) {
    // The table may lie at any address: its slots are read byte-wise.
    const uint8_t *Table = reinterpret_cast<uint8_t *>(Hobs[0]) + 24;
    StaticPointerTableView View;
    View.Address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Table));
    for (size_t Slot = 0; Slot < POINTER_TYPE_COUNT; Slot++) {
      std::memcpy(&View.Slots[Slot], Table + offsetof(STATIC_POINTER_TABLE, Pointer) + 8 * Slot, 8);
    }
    R.StaticPointerTable = View;
    const uint64_t Record = View.Slots[POINTER_TYPE_CPU_AND_REVISION];
    auto *RecordBytes = reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(Record & 0xFFFFFFFFu));
    if (Record != 0 && Core_->InTemporaryMemory(RecordBytes) &&
        Core_->InTemporaryMemory(RecordBytes + sizeof(CPU_AND_REVISION_RECORD) - 1)) {
      CpuAndRevisionView Cpu;
      Cpu.Record.assign(RecordBytes, RecordBytes + sizeof(CPU_AND_REVISION_RECORD));
      Cpu.CpuType = Cpu.Record[offsetof(CPU_AND_REVISION_RECORD, CpuType)];
      Cpu.Stepping = Cpu.Record[offsetof(CPU_AND_REVISION_RECORD, Stepping)];
      R.CpuAndRevision = Cpu;
    }
  }
  for (const Processor &P : Board_->Processors()) R.Mm7.push_back(P.Mm[7]);
  R.WaitNs = Board_->TimeSpentNs(TimeCategory::Wait);
  R.SerialNs = Board_->TimeSpentNs(TimeCategory::Serial);
  R.FirmwareNs = Board_->TimeSpentNs(TimeCategory::Firmware);
  const uint64_t Total = Board_->NowNs() - EntryNs_;
  const uint64_t Accounted = R.WaitNs + R.SerialNs + R.FirmwareNs;
  R.OtherNs = Total > Accounted ? Total - Accounted : 0;
  R.Trace = Board_->Trace();
  SnapshotVorn(R);
  SnapshotErrorLevel(R);
  return R;
}

void Emulator::SnapshotVorn(RunReport &R) const {
  VornView &View = R.Vorn;
  View.Present = Vorn_->Present();
  View.AtEntry = VornAtEntry_;
  View.EntryNs = Vorn_->EntryNs();
  View.EndNs = Board_->NowNs();
  View.AtExit = VornExitNs_ ? VornAtExit_ : ReadableValues(*Vorn_, Board_->Layout());
  View.ExitNs = VornExitNs_.value_or(View.EndNs);
  for (const VornDevice::Change &C : Vorn_->Changes()) {
    View.Timeline.push_back({C.TimeNs, VornDevice::RegisterName(C.Which), C.Previous, C.Value, C.Source, C.Detail});
  }
  for (const VornDevice::Upcoming &U : Vorn_->PendingChanges()) {
    View.NeverApplied.push_back({U.AtNs, {}, 0, 0, U.Source, U.Detail});
  }
}

void Emulator::SnapshotErrorLevel(RunReport &R) const {
  // The module looks at MM0 first: a level it found cached there is taken as it is;
  // otherwise it reads CMOS and writes the cache, so that write holds the level.
  const Processor &Boot = Board_->Processors().at(0);
  if (!Boot.FirstMm0Read) return;
  ErrorLevelView Level;
  Level.Mm0AtFirstRead = Boot.FirstMm0Read->Value;
  if (Boot.FirstMm0Write) {
    Level.Source = "cmos";
    Level.Level = uint32_t(Boot.FirstMm0Write->Value >> 32);
    Level.TimeNs = Boot.FirstMm0Write->TimeNs;
    if (Cmos_->WasRead(kCmosStatusRegister)) Level.CmosValid = (Cmos_->Byte(kCmosStatusRegister) & kCmosInvalid) == 0;
  } else {
    Level.Source = "mm0-cache";
    Level.Level = uint32_t(Boot.FirstMm0Read->Value >> 32);
    Level.TimeNs = Boot.FirstMm0Read->TimeNs;
  }
  R.ErrorLevel = Level;
}

}  // namespace quarn::emu
