/** @file
  The test platform module of the OVMF boots. Dispatched right before the module (both
  are put first in the PEI a-priori file), it plays the board a scenario describes, from
  the description a run passes as fw_cfg opt/quarn/board (OvmfBoardDescription.h, written
  by ovmf-board.py from quarn-emu's run of the scenario):
    - the hardware: the ACPI PM block where the module's timer reads (0x508), the debug
      error level and its validity in CMOS, MM0 of the boot processor, and with a VORN
      its configuration registers in the RAM that sits at the PCI Express window at
      0x80000000 (without one the window goes there and nothing answers at 00:18.x);
    - what the PEI core holds for the module: the boot mode (set before the module; OVMF's
      own platform module sets its own afterwards), a VORN type HOB an earlier module
      would have left, GetBootMode failing where the scenario has it fail;
    - the PPIs: the policy (the scenario's config block table), the DRUX_PPI stand-in and
      a DEBUG_PRINT_PPI where the scenario installs them (OvmfBoardStandIn.cpp), and a
      progress-code PPI that takes every status code first (it is installed before OVMF's
      router is dispatched), answers the module's as the scenario's handler did and hands
      every code on to the router;
    - a breakpoint handler that lets the module go on after an assertion, as the
      emulator does.
  At the end of PEI it reports on the second UART, as "board: " lines, what it logged
  while the module ran and what the module left behind: the HOBs, the pointer table,
  MM7 of every processor read through the platform's MP services, the stand-in calls,
  breakpoints and debug messages it counted. Firmware/Ovmf/ovmf-compare.py reads them.
**/
#include "OvmfBoardPei.h"
#include "OvmfBoardState.h"

extern "C" {
#include <PiPei.h>
#include <Pi/PiHob.h>
#include <Pi/PiPeiCis.h>
#include <Ppi/MpServices.h>
}
#include <Guid/QuarnInfoHob.h>
#include <Guid/StaticPointerTableHob.h>
#include <Guid/VornTypeHob.h>
#include <Library/CpuIntrinsicsLib.h>
#include <Ppi/DebugPrint.h>
#include <Ppi/Drux.h>
#include <Ppi/VornPolicy.h>
#include <Register/VornRegs.h>

#include "Firmware/Rom/RomConsole.h"
#include "Firmware/Rom/RomFwCfg.h"
#include "Firmware/Rom/RomIo.h"
#include <AutoGenGuidValues.h>

using namespace ovmf_board;

namespace {

inline constexpr EFI_GUID gEfiEndOfPeiSignalPpiGuid = {
    0x605EA650, 0xC65C, 0x42E1, {0xBA, 0x80, 0x91, 0xA5, 0x2A, 0xB6, 0x18, 0xC6}};
inline constexpr EFI_GUID gEfiPeiStatusCodePpiGuid = {
    0x229832D3, 0x7A30, 0x4B36, {0xB8, 0x27, 0xF4, 0x0C, 0xB7, 0xD4, 0x54, 0x36}};

/// The progress-code PPI (the PEI core's ReportStatusCode service calls its first instance).
struct BOARD_PROGRESS_CODE_PPI {
  EFI_PEI_REPORT_STATUS_CODE ReportStatusCode;
};

constexpr CHAR8 kDescriptionFile[] = "board";
constexpr UINT32 kPcieWindow = 0x80000000;
constexpr UINT32 kVornConfigSpace = kPcieWindow + PciLibAddress(VORN_BUS, VORN_DEVICE, 0, 0);
constexpr UINT32 kVornConfigSize = 8 * 4096;  // functions 0 to 7
constexpr UINT32 kHostBridgeFc = kPcieWindow + 0xFC;
constexpr UINT32 kRegisterAddress[kRegisterCount] = {kPcieWindow + VORNFS1_ADDRESS, kPcieWindow + VORNFS2_ADDRESS,
                                                     kPcieWindow + FN1_STATUS_ADDRESS, kPcieWindow + FN4_STATUS_ADDRESS,
                                                     kPcieWindow + FN6_STATUS_ADDRESS};
// q35 host bridge 00:00.0: the PCI Express window (256 MiB, enabled).
constexpr UINT8 kPciExBarLow = 0x60;
constexpr UINT8 kPciExBarHigh = 0x64;
constexpr UINT32 kPciExBarEnable = 0x1;
// ICH9 LPC bridge 00:1F.0: the ACPI PM block at 0x500, so the timer reads at 0x508.
constexpr UINT8 kLpcDevice = 31;
constexpr UINT8 kPmBaseReg = 0x40;
constexpr UINT8 kAcpiControlReg = 0x44;
constexpr UINT8 kAcpiEnable = 0x80;
constexpr UINT32 kPmBase = 0x500;
constexpr UINT8 kCmosStatus0E = 0x0E;
constexpr UINT8 kCmosInvalid = 0x80;
constexpr UINT8 kCmosLevelFirst = 0x7A;
constexpr UINTN kMaxProcessors = 16;
constexpr UINT32 kFnvOffset = 0x811C9DC5;
constexpr UINTN kMaxHobLength = 0xFFF8;

/** Prints "board: NAME VALUE". */
VOID PrintValue(IN CONST CHAR8 *Name, IN UINT32 Value) {
  RomPrint("board: ");
  RomPrint(Name);
  RomPrint(" ");
  RomPrintHex32(Value);
  RomPrint("\n");
}

/** ReportStatusCode of the board's progress-code PPI: counts the code, logs the module's
    with their data and answers them as the description says, and hands every code on
    to the next instance (OVMF's router). */
EFI_STATUS EFIAPI BoardReportStatusCode(IN CONST EFI_PEI_SERVICES **PeiServices, IN EFI_STATUS_CODE_TYPE Type,
                                        IN EFI_STATUS_CODE_VALUE Value, IN UINT32 Instance,
                                        IN CONST EFI_GUID *CallerId OPTIONAL,
                                        IN CONST EFI_STATUS_CODE_DATA *Data OPTIONAL) {
  OVMF_BOARD_STATE *State = BoardState(PeiServices);
  BOARD_PROGRESS_CODE_PPI *Next = nullptr;
  EFI_STATUS Status = EFI_SUCCESS;
  if ((*PeiServices)->LocatePpi(PeiServices, &gEfiPeiStatusCodePpiGuid, 1, nullptr, reinterpret_cast<VOID **>(&Next)) ==
          EFI_SUCCESS &&
      Next != nullptr && Next->ReportStatusCode != BoardReportStatusCode) {
    Status = Next->ReportStatusCode(PeiServices, Type, Value, Instance, CallerId, Data);
  }
  if (State == nullptr) return Status;
  State->StatusCodes++;
  if (CallerId == nullptr) return Status;
  const EFI_GUID &Caller = *CallerId;
  CONST UINT8 *A = reinterpret_cast<CONST UINT8 *>(&Caller);
  CONST UINT8 *B = reinterpret_cast<CONST UINT8 *>(&quarn_guid_value::gEfiCallerIdGuid);
  for (UINTN Index = 0; Index < sizeof(EFI_GUID); Index++) {
    if (A[Index] != B[Index]) return Status;
  }
  const UINT32 Index = State->ModuleStatusCodes++;
  LogText(State, "board: status code type ");
  LogHex32(State, Type);
  LogText(State, " value ");
  LogHex32(State, Value);
  LogText(State, " instance ");
  LogHex32(State, Instance);
  LogText(State, " data ");
  if (Data != nullptr) LogBytes(State, reinterpret_cast<CONST UINT8 *>(Data), UINTN(Data->HeaderSize) + Data->Size);
  LogText(State, "\n");
  CONST OVMF_BOARD_HEADER *Header = BoardHeader(State);
  if (Index >= Header->StatusCodeAnswerCount) return EFI_SUCCESS;
  return reinterpret_cast<CONST UINT32 *>(BoardDescription(State) + State->Layout.StatusCodeAnswers)[Index];
}

constexpr BOARD_PROGRESS_CODE_PPI kProgressCodePpi = {BoardReportStatusCode};

/// What the processors report: MM7 of each, by processor number.
struct BOARD_MM7_SURVEY {
  CONST EFI_PEI_SERVICES **PeiServices;
  EFI_PEI_MP_SERVICES_PPI *Mp;
  UINT64 Mm7[kMaxProcessors];
  UINT8 Seen[kMaxProcessors];
};

/** Stores this processor's MM7 in its slot of the survey. */
VOID EFIAPI BoardReadMm7(IN OUT VOID *Buffer) {
  BOARD_MM7_SURVEY *Survey = static_cast<BOARD_MM7_SURVEY *>(Buffer);
  UINTN Number = 0;
  if (Survey->Mp->WhoAmI(Survey->PeiServices, Survey->Mp, &Number) != EFI_SUCCESS || Number >= kMaxProcessors) return;
  CpuReadMm7(&Survey->Mm7[Number]);
  Survey->Seen[Number] = 1;
}

/** Reports MM7 of every processor, read through the MP services, and whether it holds Table. */
VOID ReportMm7(IN CONST EFI_PEI_SERVICES **PeiServices, IN CONST UINT8 *Table) {
  EFI_PEI_MP_SERVICES_PPI *Mp = nullptr;
  BOARD_MM7_SURVEY Survey{};
  Survey.PeiServices = PeiServices;
  UINTN Count = 0;
  UINTN Enabled = 0;
  if ((*PeiServices)->LocatePpi(PeiServices, &gEfiPeiMpServicesPpiGuid, 0, nullptr, reinterpret_cast<VOID **>(&Mp)) !=
          EFI_SUCCESS ||
      Mp->GetNumberOfProcessors(PeiServices, Mp, &Count, &Enabled) != EFI_SUCCESS) {
    RomPrint("board: no MP services\n");
    return;
  }
  Survey.Mp = Mp;
  PrintValue("processors", static_cast<UINT32>(Count));
  BoardReadMm7(&Survey);
  if (Count > 1) {
    const EFI_STATUS Status = Mp->StartupAllAPs(PeiServices, Mp, BoardReadMm7, FALSE, 0, &Survey);
    if (Status != EFI_SUCCESS) PrintValue("StartupAllAPs failed", static_cast<UINT32>(Status));
  }
  for (UINTN Cpu = 0; Cpu < Count && Cpu < kMaxProcessors; Cpu++) {
    RomPrint("board: cpu ");
    RomPrintDec(static_cast<UINT32>(Cpu));
    if (Survey.Seen[Cpu] == 0) {
      RomPrint(" did not answer\n");
      continue;
    }
    RomPrint(" MM7 high ");
    RomPrintHex32(static_cast<UINT32>(Survey.Mm7[Cpu] >> 32));
    RomPrint(" low ");
    RomPrintHex32(static_cast<UINT32>(Survey.Mm7[Cpu]));
    RomPrint(Table != nullptr && Survey.Mm7[Cpu] == reinterpret_cast<UINTN>(Table) ? " holds the table\n"
                                                                                   : " does not hold the table\n");
  }
}

/** End of PEI: the log, what the board counted, what the module left behind, and MM7 of
    every processor. */
EFI_STATUS EFIAPI BoardEndOfPei(IN EFI_PEI_SERVICES **Services, IN EFI_PEI_NOTIFY_DESCRIPTOR *, IN VOID *) {
  CONST EFI_PEI_SERVICES **PeiServices = const_cast<CONST EFI_PEI_SERVICES **>(Services);
  RomPrint("board: end of PEI\n");
  OVMF_BOARD_STATE *State = BoardState(PeiServices);
  if (State == nullptr) {
    RomPrint("board: error: the board's HOB is gone\n");
    return EFI_SUCCESS;
  }
  RomPrint(State->Log);
  if (State->LogOverflow != 0) RomPrint("board: error: the log ran full\n");
  CONST OVMF_BOARD_HEADER *Header = BoardHeader(State);
  PrintValue("PCIEXBAR", RomPciRead32(0, 0, 0, kPciExBarLow));
  PrintValue("PMBASE", RomPciRead32(0, kLpcDevice, 0, kPmBaseReg));
  PrintValue("drux calls made", State->CallsMade);
  PrintValue("drux calls described", Header->CallCount);
  PrintValue("GetBootMode calls answered", State->BootModeCallsMade);
  PrintValue("GetBootMode calls described", Header->BootModeCallCount);
  PrintValue("breakpoints", State->Breakpoints);
  PrintValue("debug PPI messages", State->DebugMessages);
  PrintValue("debug PPI hash", State->DebugHash);
  PrintValue("errors", State->Errors);

  CONST UINT8 *Type = BoardFindGuidHob(PeiServices, gVornTypeHobGuid, sizeof(VORN_TYPE_HOB));
  if (Type == nullptr) {
    RomPrint("board: VORN type HOB none\n");
  } else {
    CONST VORN_TYPE_HOB *Hob = reinterpret_cast<CONST VORN_TYPE_HOB *>(Type - sizeof(EFI_HOB_GUID_TYPE));
    PrintValue("VORN type HOB vorn_type", Hob->VornType);
    PrintValue("VORN type HOB fw_type", Hob->FwType);
    PrintValue("VORN type HOB fw_sub_type", Hob->FwSubType);
  }
  CONST UINT8 *Info =
      BoardFindGuidHob(PeiServices, gQuarnInfoHobGuid, sizeof(EFI_HOB_GUID_TYPE) + sizeof(QUARN_INFO_HOB));
  if (Info == nullptr) {
    RomPrint("board: info HOB none\n");
  } else {
    PrintValue("info HOB flow", reinterpret_cast<CONST QUARN_INFO_HOB *>(Info)->Flow);
    RomPrint("board: info HOB data ");
    RomPrintBytes(Info, sizeof(QUARN_INFO_HOB));
    RomPrint("\n");
  }
  CONST UINT8 *Table = BoardFindGuidHob(PeiServices, gStaticPointerTableHobGuid, sizeof(EFI_HOB_GUID_TYPE));
  PrintValue("table", static_cast<UINT32>(reinterpret_cast<UINTN>(Table)));
  PrintValue("status codes", State->StatusCodes);
  PrintValue("status codes of the module", State->ModuleStatusCodes);
  ReportMm7(PeiServices, Table);
  return EFI_SUCCESS;
}

constexpr EFI_PEI_NOTIFY_DESCRIPTOR kEndOfPeiNotify = {
    EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
    const_cast<EFI_GUID *>(&gEfiEndOfPeiSignalPpiGuid), BoardEndOfPei};

/** Reads the description into a new state HOB and checks it; nullptr (said why) when
    there is none or it cannot be used. */
OVMF_BOARD_STATE *LoadDescription(IN CONST EFI_PEI_SERVICES **PeiServices) {
  UINT32 Size = 0;
  if (!RomFwCfgFile(kDescriptionFile, nullptr, 0, &Size)) {
    RomPrint("board: error: no board description (fw_cfg opt/quarn/board)\n");
    return nullptr;
  }
  if (Size > kMaxSize) {
    PrintValue("error: the board description is longer than the board takes", Size);
    return nullptr;
  }
  static_assert(sizeof(EFI_HOB_GUID_TYPE) + sizeof(OVMF_BOARD_STATE) + kMaxSize <= kMaxHobLength,
                "one HOB holds it all");
  const UINT16 Length = static_cast<UINT16>(sizeof(EFI_HOB_GUID_TYPE) + sizeof(OVMF_BOARD_STATE) + Padded(Size));
  EFI_HOB_GUID_TYPE *Hob = nullptr;
  if ((*PeiServices)->CreateHob(PeiServices, EFI_HOB_TYPE_GUID_EXTENSION, Length, reinterpret_cast<VOID **>(&Hob)) !=
          EFI_SUCCESS ||
      Hob == nullptr) {
    PrintValue("error: no room for the board's HOB of bytes", Length);
    return nullptr;
  }
  UINT8 *Bytes = reinterpret_cast<UINT8 *>(Hob + 1);
  for (UINTN Index = 0; Index < Length - sizeof(EFI_HOB_GUID_TYPE); Index++) Bytes[Index] = 0;
  OVMF_BOARD_STATE *State = reinterpret_cast<OVMF_BOARD_STATE *>(Bytes);
  State->DebugHash = kFnvOffset;
  State->DescriptionSize = Size;
  UINT32 Read = 0;
  if (!RomFwCfgFile(kDescriptionFile, BoardDescription(State), Size, &Read) || Read != Size) {
    RomPrint("board: error: the board description could not be read\n");
    return nullptr;  // the HOB stays nameless: nothing finds it
  }
  if (CONST CHAR8 *Problem = OvmfBoardParse(BoardDescription(State), Size, &State->Layout)) {
    RomPrint("board: error: board description: ");
    RomPrint(Problem);
    RomPrint("\n");
    return nullptr;
  }
  for (UINTN Index = 0; Index < sizeof(EFI_GUID); Index++) {
    reinterpret_cast<UINT8 *>(&Hob->Name)[Index] = reinterpret_cast<CONST UINT8 *>(&gQuarnOvmfBoardFileGuid)[Index];
  }
  PrintValue("description bytes", Size);
  return State;
}

/** The board's hardware state before the module runs. */
VOID SetUpHardware(IN CONST OVMF_BOARD_HEADER *Header) {
  // OVMF's early code has put the PM block at 0x600 already; the module's board has it at
  // 0x500. Moved here, ahead of every module of OVMF's PEI volume but the a-priori ones:
  // OVMF's CPU module keeps the timer address it first finds, and waits on it for ever
  // once the block has moved away (seen when the two files are not a-priori).
  PrintValue("PMBASE found", RomPciRead32(0, kLpcDevice, 0, kPmBaseReg));
  RomPciWrite32(0, kLpcDevice, 0, kPmBaseReg, kPmBase | 1u);
  RomPciWrite8(0, kLpcDevice, 0, kAcpiControlReg,
               static_cast<UINT8>(RomPciRead8(0, kLpcDevice, 0, kAcpiControlReg) | kAcpiEnable));
  PrintValue("PMBASE", RomPciRead32(0, kLpcDevice, 0, kPmBaseReg));

  // With a VORN the RAM at 0x80000000 plays the window; without one the window goes
  // there (OVMF moves it to its own place later) and nothing answers at 00:18.x.
  const BOOLEAN Vorn = (Header->Flags & kVornPresent) != 0;
  PrintValue("PCIEXBAR found", RomPciRead32(0, 0, 0, kPciExBarLow));
  if (!Vorn) {
    RomPciWrite32(0, 0, 0, kPciExBarHigh, 0);
    RomPciWrite32(0, 0, 0, kPciExBarLow, kPcieWindow | kPciExBarEnable);
  } else {
    for (UINT32 Offset = 0; Offset < kVornConfigSize; Offset += 4) CpuMmioWrite32(kVornConfigSpace + Offset, 0);
    for (UINT32 Register = 0; Register < kRegisterCount; Register++) {
      CpuMmioWrite32(kRegisterAddress[Register], Header->Registers[Register]);
    }
    CpuMmioWrite32(kHostBridgeFc, Header->HostBridgeFc);
  }
  PrintValue("VORNFS1", CpuMmioRead32(kRegisterAddress[kFs1]));

  const UINT8 Status0E = RomCmosRead(kCmosStatus0E);
  RomCmosWrite(kCmosStatus0E, static_cast<UINT8>((Header->Flags & kCmosValid) != 0 ? Status0E & ~kCmosInvalid
                                                                                   : Status0E | kCmosInvalid));
  for (UINT8 Byte = 0; Byte < 4; Byte++) {
    RomCmosWrite(static_cast<UINT8>(kCmosLevelFirst + Byte), static_cast<UINT8>(Header->ErrorLevel >> (8 * Byte)));
  }
  PrintValue("CMOS level", Header->ErrorLevel);
  PrintValue("CMOS 0x0E", RomCmosRead(kCmosStatus0E));
  const UINT64 Mm0 = (UINT64(Header->Mm0High) << 32) | Header->Mm0Low;
  CpuWriteMm0(&Mm0);
}

/** What the PEI core holds for the module: the boot mode, GetBootMode where it fails, a
    VORN type HOB. */
EFI_STATUS SetUpPeiCore(IN CONST EFI_PEI_SERVICES **PeiServices, IN OUT OVMF_BOARD_STATE *State) {
  CONST OVMF_BOARD_HEADER *Header = BoardHeader(State);
  EFI_STATUS Status = (*PeiServices)->SetBootMode(PeiServices, Header->BootMode);
  PrintValue("boot mode", Header->BootMode);
  if (Header->BootModeCallCount != 0) BoardTakeGetBootMode(PeiServices, State);
  if (Status == EFI_SUCCESS && (Header->Flags & kVornTypeHob) != 0) {
    VORN_TYPE_HOB *Hob = nullptr;
    Status = (*PeiServices)
                 ->CreateHob(PeiServices, EFI_HOB_TYPE_GUID_EXTENSION, sizeof(VORN_TYPE_HOB),
                             reinterpret_cast<VOID **>(&Hob));
    if (Status == EFI_SUCCESS && Hob != nullptr) {
      Hob->Header.Name = gVornTypeHobGuid;
      Hob->VornType = Header->VornType;
      Hob->FwType = Header->FwType;
      Hob->FwSubType = Header->FwSubType;
      PrintValue("VORN type HOB placed", Header->VornType);
    }
  }
  return Status;
}

/** Installs the PPIs the description names, the progress-code PPI last. */
EFI_STATUS InstallPpis(IN CONST EFI_PEI_SERVICES **PeiServices, IN OUT OVMF_BOARD_STATE *State) {
  CONST OVMF_BOARD_HEADER *Header = BoardHeader(State);
  UINTN Count = 0;
  auto Add = [&](CONST EFI_GUID &Guid, CONST VOID *Ppi) {
    State->Ppis[Count].Flags = EFI_PEI_PPI_DESCRIPTOR_PPI;
    State->Ppis[Count].Guid = const_cast<EFI_GUID *>(&Guid);
    State->Ppis[Count].Ppi = const_cast<VOID *>(Ppi);
    Count++;
  };
  if ((Header->Flags & kPolicyInstalled) != 0) Add(gVornPolicyPpiGuid, BoardDescription(State) + State->Layout.Policy);
  if ((Header->Flags & kDruxInstalled) != 0) Add(gDruxPpiGuid, BoardDruxPpi(Header->Flags));
  if ((Header->Flags & kDebugPrintPpi) != 0) Add(gDebugPrintPpiGuid, BoardDebugPrintPpi());
  Add(gEfiPeiStatusCodePpiGuid, &kProgressCodePpi);
  State->Ppis[Count - 1].Flags |= EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
  return (*PeiServices)->InstallPpi(PeiServices, State->Ppis);
}

}  // namespace

extern "C" {

/** Entry point: reads the board description, sets the board up, installs the PPIs and the
    end-of-PEI report. */
EFI_STATUS EFIAPI OvmfBoardPeiEntryPoint(IN EFI_PEI_FILE_HANDLE FileHandle, IN CONST EFI_PEI_SERVICES **PeiServices) {
  RomPrint("board: OVMF q35 test platform\n");
  VOID *List = nullptr;
  if ((*PeiServices)->GetHobList(PeiServices, &List) == EFI_SUCCESS && List != nullptr) {
    CONST EFI_HOB_HANDOFF_INFO_TABLE *Phit = static_cast<CONST EFI_HOB_HANDOFF_INFO_TABLE *>(List);
    PrintValue("HOB space free", static_cast<UINT32>(Phit->EfiFreeMemoryTop - Phit->EfiFreeMemoryBottom));
  }
  OVMF_BOARD_STATE *State = LoadDescription(PeiServices);
  if (State == nullptr) return EFI_NOT_FOUND;
  SetUpHardware(BoardHeader(State));
  EFI_STATUS Status = SetUpPeiCore(PeiServices, State);
  if (Status == EFI_SUCCESS) Status = InstallPpis(PeiServices, State);
  if (Status == EFI_SUCCESS) Status = (*PeiServices)->NotifyPpi(PeiServices, &kEndOfPeiNotify);
  if (!BoardCatchBreakpoints()) RomPrint("board: error: no breakpoint vector in the IDT\n");
  PrintValue("installed", static_cast<UINT32>(Status));
  return Status;
}
}
