/** @file
  The test platform module of the OVMF boots. Dispatched before the module (both are
  put first in the PEI a-priori file), it plays the board's part: the ACPI PM block where
  the module's timer reads (0x508), the debug error level in CMOS, the VORN's status
  registers at 00:18.x in RAM under the PCI Express window at 0x80000000 (QUARN road; on
  the VORN-absent road nothing answers there), the policy PPI and a DRUX_PPI stand-in.
  It also takes every status code first (its progress-code PPI is installed before OVMF's
  router is dispatched) and hands it on to the router once there is one: the module's
  codes (its file GUID the caller) are printed as they come, with their data.
  At the end of PEI it reports on the second UART, as "board: " lines, what the module
  left behind: the HOBs, the pointer table, MM7 of every processor read through
  the platform's MP services, and how many status codes it saw.
**/
#include "OvmfBoardPei.h"

extern "C" {
#include <PiPei.h>
}
#include <Guid/QuarnInfoHob.h>
#include <Guid/StaticPointerTableHob.h>
#include <Guid/VornTypeHob.h>
#include <Library/CpuIntrinsicsLib.h>
extern "C" {
#include <PiPei.h>
#include <Pi/PiHob.h>
#include <Pi/PiPeiCis.h>
#include <Ppi/MpServices.h>
}
#include <Ppi/Drux.h>
#include <Register/VornRegs.h>

#include "Firmware/Rom/RomConsole.h"
#include "Firmware/Rom/RomFwCfg.h"
#include "Firmware/Rom/RomIo.h"
#include "Firmware/Rom/RomPolicyTable.h"
#include <AutoGenGuidValues.h>

namespace {

inline constexpr EFI_GUID gEfiEndOfPeiSignalPpiGuid =
  {0x605EA650, 0xC65C, 0x42E1, {0xBA, 0x80, 0x91, 0xA5, 0x2A, 0xB6, 0x18, 0xC6}};
inline constexpr EFI_GUID gEfiPeiStatusCodePpiGuid =
  {0x229832D3, 0x7A30, 0x4B36, {0xB8, 0x27, 0xF4, 0x0C, 0xB7, 0xD4, 0x54, 0x36}};

/// The progress-code PPI (the PEI core's ReportStatusCode service calls its first instance).
struct BOARD_PROGRESS_CODE_PPI {
  EFI_PEI_REPORT_STATUS_CODE ReportStatusCode;
};

constexpr UINT32 kPcieWindow = 0x80000000;
constexpr UINT32 kVornConfigSpace = kPcieWindow + PciLibAddress(VORN_BUS, VORN_DEVICE, 0, 0);
constexpr UINT32 kVornConfigSize = 8 * 4096;   // functions 0 to 7
constexpr UINT32 kQuarnNormalFs1 = VORN_STATE_NORMAL;
constexpr UINT32 kDefaultErrorLevel = 0x80000042;
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

/// The type query's answer: the request header with IsResponse, then the type word (QUARN, sub-type 0).
constexpr UINT32 kTypeRequest = DruxRequestHeader(0xF0, 0x11);
constexpr UINT8 kTypeResponse[] = {0xF0, 0x91, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
/// The feature-set answer: 0x81, two zero bytes, feature set 4 (clocking supported), features 2 none.
constexpr UINT8 kFeatureSetRequest = 0x01;
constexpr UINT8 kFeatureSetResponse[] = {0x81, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr UINT32 kClockMessageSize = 48;

/** Copies Length bytes. */
VOID Copy(OUT VOID *Destination, IN CONST VOID *Source, IN UINTN Length) {
  for (UINTN Index = 0; Index < Length; Index++) {
    static_cast<UINT8 *>(Destination)[Index] = static_cast<CONST UINT8 *>(Source)[Index];
  }
}

/** Hands out a fixed answer when the caller's buffer holds it. */
EFI_STATUS Answer(IN OUT VOID *Buffer, IN OUT UINT32 *ResponseLength, IN CONST UINT8 *Bytes, IN UINT32 Length) {
  if (*ResponseLength < Length) return EFI_BUFFER_TOO_SMALL;
  Copy(Buffer, Bytes, Length);
  *ResponseLength = Length;
  return EFI_SUCCESS;
}

/** TRUE on the QUARN road (fw_cfg opt/quarn/vorn = 1). */
BOOLEAN QuarnRoad() {
  UINT64 Value = 0;
  return RomFwCfgNumber("vorn", &Value) && Value == 1;
}

/** SendWithAck of the stand-in: on the QUARN road the firmware's answers to the type
    query, the feature-set query and the clock settings (accepted, echoed); on the other
    road, and for anything else, no answer. */
EFI_STATUS EFIAPI BoardDruxSendWithAck(IN UINT32 DeviceIndex, IN OUT VOID *Buffer, IN UINT32 RequestLength,
                                       IN OUT UINT32 *ResponseLength, IN UINT8 HostAddress, IN UINT8 ClientAddress) {
  RomPrint("board: SendWithAck client ");
  RomPrintHex8(ClientAddress);
  RomPrint("\n");
  if (!QuarnRoad() || Buffer == nullptr || ResponseLength == nullptr || RequestLength == 0) return EFI_DEVICE_ERROR;
  CONST UINT8 *Request = static_cast<CONST UINT8 *>(Buffer);
  if (ClientAddress == DRUX_CLIENT_MANAGEMENT && RequestLength >= 4 &&
      (Request[0] | (Request[1] << 8) | (Request[2] << 16) | (UINT32(Request[3]) << 24)) == kTypeRequest) {
    return Answer(Buffer, ResponseLength, kTypeResponse, sizeof(kTypeResponse));
  }
  if (ClientAddress == DRUX_CLIENT_QUARN && Request[0] == kFeatureSetRequest) {
    return Answer(Buffer, ResponseLength, kFeatureSetResponse, sizeof(kFeatureSetResponse));
  }
  if (ClientAddress == DRUX_CLIENT_CLOX && RequestLength == kClockMessageSize && *ResponseLength >= kClockMessageSize) {
    *ResponseLength = kClockMessageSize;       // the request comes back as the answer: CloxResponse 0
    return EFI_SUCCESS;
  }
  return EFI_DEVICE_ERROR;
}

/** GetVornStatus of the stand-in: status word 0. */
EFI_STATUS EFIAPI BoardDruxGetVornStatus(OUT UINT32 *Status) {
  if (Status == nullptr) return EFI_INVALID_PARAMETER;
  *Status = 0;
  return EFI_SUCCESS;
}

constexpr DRUX_PPI kDruxPpi = quarn_board::DruxStandIn(BoardDruxSendWithAck, BoardDruxGetVornStatus);


/** TRUE when the two GUIDs are equal. */
BOOLEAN SameGuid(IN CONST EFI_GUID &A, IN CONST EFI_GUID &B) {
  CONST UINT8 *X = reinterpret_cast<CONST UINT8 *>(&A);
  CONST UINT8 *Y = reinterpret_cast<CONST UINT8 *>(&B);
  for (UINTN Index = 0; Index < sizeof(EFI_GUID); Index++) {
    if (X[Index] != Y[Index]) return FALSE;
  }
  return TRUE;
}

/** The data of the first GUID extension HOB named Name, or nullptr. */
CONST UINT8 *FindGuidHob(IN CONST EFI_PEI_SERVICES **PeiServices, IN CONST EFI_GUID &Name) {
  VOID *List = nullptr;
  if ((*PeiServices)->GetHobList(PeiServices, &List) != EFI_SUCCESS || List == nullptr) return nullptr;
  for (CONST UINT8 *Hob = static_cast<CONST UINT8 *>(List);;) {
    CONST EFI_HOB_GENERIC_HEADER *Header = reinterpret_cast<CONST EFI_HOB_GENERIC_HEADER *>(Hob);
    if (Header->HobType == EFI_HOB_TYPE_END_OF_HOB_LIST || Header->HobLength < sizeof(EFI_HOB_GENERIC_HEADER)) {
      return nullptr;
    }
    if (Header->HobType == EFI_HOB_TYPE_GUID_EXTENSION &&
        SameGuid(reinterpret_cast<CONST EFI_HOB_GUID_TYPE *>(Hob)->Name, Name)) {
      return Hob + sizeof(EFI_HOB_GUID_TYPE);
    }
    Hob += Header->HobLength;
  }
}

/** The status codes seen so far, all and the module's: kept in a GUID HOB of the board's
    own (memory before memory: the HOB list moves with the PEI core, a static would not). */
struct BOARD_STATUS_CODE_COUNT {
  UINT32 All;
  UINT32 Module;
};

/** The board's counter HOB, made on first use; nullptr when there is no room. */
BOARD_STATUS_CODE_COUNT *StatusCodeCount(IN CONST EFI_PEI_SERVICES **PeiServices) {
  CONST UINT8 *Found = FindGuidHob(PeiServices, gQuarnOvmfBoardFileGuid);
  if (Found != nullptr) return reinterpret_cast<BOARD_STATUS_CODE_COUNT *>(const_cast<UINT8 *>(Found));
  EFI_HOB_GUID_TYPE *Hob = nullptr;
  constexpr UINT16 Length = sizeof(EFI_HOB_GUID_TYPE) + sizeof(BOARD_STATUS_CODE_COUNT);
  if ((*PeiServices)->CreateHob(PeiServices, EFI_HOB_TYPE_GUID_EXTENSION, Length, reinterpret_cast<VOID **>(&Hob)) !=
          EFI_SUCCESS ||
      Hob == nullptr) {
    return nullptr;
  }
  Copy(&Hob->Name, &gQuarnOvmfBoardFileGuid, sizeof(EFI_GUID));
  BOARD_STATUS_CODE_COUNT *Count = reinterpret_cast<BOARD_STATUS_CODE_COUNT *>(Hob + 1);
  Count->All = 0;
  Count->Module = 0;
  return Count;
}

/** ReportStatusCode of the board's progress-code PPI: counts the code, prints the
    module's with their data, and hands every code on to the next instance (OVMF's router). */
EFI_STATUS EFIAPI BoardReportStatusCode(IN CONST EFI_PEI_SERVICES **PeiServices, IN EFI_STATUS_CODE_TYPE Type,
                                        IN EFI_STATUS_CODE_VALUE Value, IN UINT32 Instance,
                                        IN CONST EFI_GUID *CallerId OPTIONAL,
                                        IN CONST EFI_STATUS_CODE_DATA *Data OPTIONAL) {
  BOARD_STATUS_CODE_COUNT *Count = StatusCodeCount(PeiServices);
  if (Count != nullptr) Count->All++;
  if (CallerId != nullptr && SameGuid(*CallerId, quarn_guid_value::gEfiCallerIdGuid)) {
    if (Count != nullptr) Count->Module++;
    RomPrint("board: status code type ");
    RomPrintHex32(Type);
    RomPrint(" value ");
    RomPrintHex32(Value);
    RomPrint(" instance ");
    RomPrintHex32(Instance);
    RomPrint(" data ");
    if (Data != nullptr) RomPrintBytes(reinterpret_cast<CONST UINT8 *>(Data), UINTN(Data->HeaderSize) + Data->Size);
    RomPrint("\n");
  }
  BOARD_PROGRESS_CODE_PPI *Next = nullptr;
  if ((*PeiServices)->LocatePpi(PeiServices, &gEfiPeiStatusCodePpiGuid, 1, nullptr, reinterpret_cast<VOID **>(&Next)) ==
          EFI_SUCCESS &&
      Next != nullptr && Next->ReportStatusCode != BoardReportStatusCode) {
    return Next->ReportStatusCode(PeiServices, Type, Value, Instance, CallerId, Data);
  }
  return EFI_SUCCESS;
}

constexpr BOARD_PROGRESS_CODE_PPI kProgressCodePpi = {BoardReportStatusCode};

constexpr EFI_PEI_PPI_DESCRIPTOR kBoardPpis[] = {
  {EFI_PEI_PPI_DESCRIPTOR_PPI, const_cast<EFI_GUID *>(&gVornPolicyPpiGuid),
   const_cast<UINT8 *>(quarn_board::kPolicyTable.Bytes)},
  {EFI_PEI_PPI_DESCRIPTOR_PPI, const_cast<EFI_GUID *>(&gDruxPpiGuid), const_cast<DRUX_PPI *>(&kDruxPpi)},
  {EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST, const_cast<EFI_GUID *>(&gEfiPeiStatusCodePpiGuid),
   const_cast<BOARD_PROGRESS_CODE_PPI *>(&kProgressCodePpi)},
};

/// What the processors report: MM7 of each, by processor number.
struct BOARD_MM7_SURVEY {
  CONST EFI_PEI_SERVICES  **PeiServices;
  EFI_PEI_MP_SERVICES_PPI *Mp;
  UINT64                  Mm7[kMaxProcessors];
  UINT8                   Seen[kMaxProcessors];
};

/** Stores this processor's MM7 in its slot of the survey. */
VOID EFIAPI BoardReadMm7(IN OUT VOID *Buffer) {
  BOARD_MM7_SURVEY *Survey = static_cast<BOARD_MM7_SURVEY *>(Buffer);
  UINTN Number = 0;
  if (Survey->Mp->WhoAmI(Survey->PeiServices, Survey->Mp, &Number) != EFI_SUCCESS || Number >= kMaxProcessors) return;
  CpuReadMm7(&Survey->Mm7[Number]);
  Survey->Seen[Number] = 1;
}

/** Prints "board: NAME VALUE". */
VOID PrintValue(IN CONST CHAR8 *Name, IN UINT32 Value) {
  RomPrint("board: ");
  RomPrint(Name);
  RomPrint(" ");
  RomPrintHex32(Value);
  RomPrint("\n");
}

/** End of PEI: what the module left behind, and MM7 of every processor. */
EFI_STATUS EFIAPI BoardEndOfPei(IN EFI_PEI_SERVICES **Services, IN EFI_PEI_NOTIFY_DESCRIPTOR *, IN VOID *) {
  CONST EFI_PEI_SERVICES **PeiServices = const_cast<CONST EFI_PEI_SERVICES **>(Services);
  RomPrint("board: end of PEI\n");
  PrintValue("PCIEXBAR", RomPciRead32(0, 0, 0, kPciExBarLow));
  PrintValue("PMBASE", RomPciRead32(0, kLpcDevice, 0, kPmBaseReg));
  CONST UINT8 *Type = FindGuidHob(PeiServices, gVornTypeHobGuid);
  if (Type == nullptr) {
    RomPrint("board: VORN type HOB none\n");
  } else {
    CONST VORN_TYPE_HOB *Hob = reinterpret_cast<CONST VORN_TYPE_HOB *>(Type - sizeof(EFI_HOB_GUID_TYPE));
    PrintValue("VORN type HOB vorn_type", Hob->VornType);
    PrintValue("VORN type HOB fw_type", Hob->FwType);
    PrintValue("VORN type HOB fw_sub_type", Hob->FwSubType);
  }
  CONST UINT8 *Info = FindGuidHob(PeiServices, gQuarnInfoHobGuid);
  if (Info == nullptr) {
    RomPrint("board: info HOB none\n");
  } else {
    PrintValue("info HOB flow", reinterpret_cast<CONST QUARN_INFO_HOB *>(Info)->Flow);
  }
  CONST UINT8 *Table = FindGuidHob(PeiServices, gStaticPointerTableHobGuid);
  PrintValue("table", static_cast<UINT32>(reinterpret_cast<UINTN>(Table)));
  CONST BOARD_STATUS_CODE_COUNT *Codes = StatusCodeCount(PeiServices);
  PrintValue("status codes", Codes != nullptr ? Codes->All : 0);
  PrintValue("status codes of the module", Codes != nullptr ? Codes->Module : 0);

  EFI_PEI_MP_SERVICES_PPI *Mp = nullptr;
  BOARD_MM7_SURVEY Survey{};
  Survey.PeiServices = PeiServices;
  UINTN Count = 0;
  UINTN Enabled = 0;
  if ((*PeiServices)->LocatePpi(PeiServices, &gEfiPeiMpServicesPpiGuid, 0, nullptr, reinterpret_cast<VOID **>(&Mp)) !=
          EFI_SUCCESS ||
      Mp->GetNumberOfProcessors(PeiServices, Mp, &Count, &Enabled) != EFI_SUCCESS) {
    RomPrint("board: no MP services\n");
    return EFI_SUCCESS;
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
  return EFI_SUCCESS;
}

constexpr EFI_PEI_NOTIFY_DESCRIPTOR kEndOfPeiNotify = {
  EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
  const_cast<EFI_GUID *>(&gEfiEndOfPeiSignalPpiGuid), BoardEndOfPei};

/** The board's hardware state before the module runs. */
VOID SetUpBoard(IN BOOLEAN Quarn) {
  // OVMF's early code has put the PM block at 0x600 already; the module's board has it at
  // 0x500. Moved here, ahead of every module of OVMF's PEI volume but the a-priori ones:
  // OVMF's CPU module keeps the timer address it first finds, and waits on it for ever
  // once the block has moved away (seen when the two files are not a-priori).
  PrintValue("PMBASE found", RomPciRead32(0, kLpcDevice, 0, kPmBaseReg));
  RomPciWrite32(0, kLpcDevice, 0, kPmBaseReg, kPmBase | 1u);
  RomPciWrite8(0, kLpcDevice, 0, kAcpiControlReg,
               static_cast<UINT8>(RomPciRead8(0, kLpcDevice, 0, kAcpiControlReg) | kAcpiEnable));
  PrintValue("PMBASE", RomPciRead32(0, kLpcDevice, 0, kPmBaseReg));

  // The window at 0x80000000, as the module expects it, where RAM does not sit there;
  // OVMF moves it to its own place later. With RAM there, the RAM plays the window.
  PrintValue("PCIEXBAR found", RomPciRead32(0, 0, 0, kPciExBarLow));
  if (!Quarn) {
    RomPciWrite32(0, 0, 0, kPciExBarHigh, 0);
    RomPciWrite32(0, 0, 0, kPciExBarLow, kPcieWindow | kPciExBarEnable);
  }

  UINT64 Level = kDefaultErrorLevel;
  if (!RomFwCfgNumber("cmos-error-level", &Level) || Level > 0xFFFFFFFFu) Level = kDefaultErrorLevel;
  const UINT8 Status0E = RomCmosRead(kCmosStatus0E);
  if ((Status0E & kCmosInvalid) != 0) RomCmosWrite(kCmosStatus0E, static_cast<UINT8>(Status0E & ~kCmosInvalid));
  for (UINT8 Byte = 0; Byte < 4; Byte++) {
    RomCmosWrite(static_cast<UINT8>(kCmosLevelFirst + Byte), static_cast<UINT8>(Level >> (8 * Byte)));
  }
  PrintValue("CMOS level", static_cast<UINT32>(Level));

  if (Quarn) {
    for (UINT32 Offset = 0; Offset < kVornConfigSize; Offset += 4) CpuMmioWrite32(kVornConfigSpace + Offset, 0);
    CpuMmioWrite32(kPcieWindow + VORNFS1_ADDRESS, kQuarnNormalFs1);
    CpuMmioWrite32(kPcieWindow + VORNFS2_ADDRESS, 0);
  }
  PrintValue("VORNFS1", CpuMmioRead32(kPcieWindow + VORNFS1_ADDRESS));
}

}  // namespace

extern "C" {

/** Entry point: sets the board up, installs the policy, DRUX and progress-code PPIs and the
    end-of-PEI report. */
EFI_STATUS EFIAPI OvmfBoardPeiEntryPoint(IN EFI_PEI_FILE_HANDLE FileHandle, IN CONST EFI_PEI_SERVICES **PeiServices) {
  const BOOLEAN Quarn = QuarnRoad();
  RomPrint(Quarn ? "board: OVMF q35, VORN with QUARN firmware\n" : "board: OVMF q35, no VORN\n");
  SetUpBoard(Quarn);
  EFI_STATUS Status = (*PeiServices)->InstallPpi(PeiServices, kBoardPpis);
  if (Status == EFI_SUCCESS) Status = (*PeiServices)->NotifyPpi(PeiServices, &kEndOfPeiNotify);
  PrintValue("installed", static_cast<UINT32>(Status));
  return Status;
}

}
