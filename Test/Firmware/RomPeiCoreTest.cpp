// The boot ROM's own PEI core, platform PPIs and result lines, run on the host: the HOB
// list it hands the module, its PPI database and notifications, its pool, the module's
// own libraries (HOB helpers, PPI lookup, policy lookup, pointer table, CPU record)
// working against it through the services word below the IDT as they do when the ROM
// boots in QEMU, the "rom: result:" lines the console comparison reads, and the reading
// of the fw_cfg settings that turn the ROM's q35 into the other qemu-q35 boards.
#include <gtest/gtest.h>

#include <Library/CpuAndRevisionLib.h>
extern "C" {
#include <PiPei.h>
#include <Guid/StatusCodeDataTypeId.h>
#include <Library/HobLib.h>
#include <Library/PeiServicesLib.h>
}
#include <Library/SysHostPointerLib.h>
#include <Library/VornGetPeiConfigBlockLib.h>
#include <Ppi/Drux.h>

#include <array>
#include <cstring>
#include <string>

#include "BoardFixture.h"

// The stub's sources are compiled here as they are: the freestanding units have no
// host build of their own.
#include "Firmware/Rom/RomPeiCore.cpp"
#include "Firmware/Rom/RomPlatformPpis.cpp"
#include "Firmware/Rom/RomConsole.cpp"
#include "Firmware/Rom/RomResult.cpp"
#include "Firmware/Rom/RomFwCfg.cpp"

/// The stub's RAM; in the ROM the linker script places it.
extern "C" ROM_RAM gRomRam;
ROM_RAM gRomRam;

namespace {

using quarn::test::ActiveBoard;

constexpr EFI_GUID kGuidA = {0x0A0A0A0A, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr EFI_GUID kGuidB = {0x0B0B0B0B, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

int gNotified = 0;
VOID *gNotifiedPpi = nullptr;

EFI_STATUS EFIAPI CountingNotify(EFI_PEI_SERVICES **, EFI_PEI_NOTIFY_DESCRIPTOR *, VOID *Ppi) {
  gNotified++;
  gNotifiedPpi = Ppi;
  return EFI_SUCCESS;
}

/// A fresh stub core, with the board's processor pointing its IDTR at the stub's IDT.
struct StubCore {
  ActiveBoard Board;
  CONST EFI_PEI_SERVICES **Services;
  explicit StubCore(EFI_BOOT_MODE Mode = BOOT_WITH_FULL_CONFIGURATION) {
    std::memset(&gRomRam, 0xA5, sizeof gRomRam);  // the core must not rely on cleared RAM
    Services = RomPeiCoreInit(Mode);
    Board.B.Processors()[0].IdtBase = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(gRomRam.Idt));
    Board.B.Processors()[0].IdtLimit = sizeof(gRomRam.Idt) - 1;
    gNotified = 0;
    gNotifiedPpi = nullptr;
  }
  const EFI_PEI_SERVICES &Table() const { return **Services; }
  EFI_HOB_HANDOFF_INFO_TABLE *Phit() {
    VOID *List = nullptr;
    EXPECT_EQ(Table().GetHobList(Services, &List), EFI_SUCCESS);
    return static_cast<EFI_HOB_HANDOFF_INFO_TABLE *>(List);
  }
  uintptr_t HobEnd() { return reinterpret_cast<uintptr_t>(gRomRam.HobSpace) + kRomHobSpace; }
};

/// What the stub wrote to the second UART, from the board's trace.
std::string DiagnosticText(quarn::emu::Board &B) {
  std::string Text;
  for (const auto &Entry : B.Trace()) {
    if (Entry.Kind == "io-write8" && Entry.Address == 0x2F8) Text += static_cast<char>(Entry.Value);
  }
  return Text;
}

EFI_PEI_PPI_DESCRIPTOR Ppi(const EFI_GUID &Guid, void *Interface, bool Last = true) {
  return {EFI_PEI_PPI_DESCRIPTOR_PPI | (Last ? EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST : 0),
          const_cast<EFI_GUID *>(&Guid), Interface};
}

}  // namespace

// --- services word, table and HOB list ---------------------------------------------

TEST(RomPeiCore, ServicesWordBelowTheIdtLeadsToTheTable) {
  StubCore Core;
  const uint32_t Word = gRomRam.PeiServicesWord;
  EXPECT_EQ(reinterpret_cast<uintptr_t>(gRomRam.Idt) - 4, reinterpret_cast<uintptr_t>(&gRomRam.PeiServicesWord));
  EXPECT_EQ(Word, reinterpret_cast<uintptr_t>(Core.Services));
  const EFI_PEI_SERVICES &Table = Core.Table();
  EXPECT_EQ(Table.Hdr.Signature, PEI_SERVICES_SIGNATURE);
  EXPECT_EQ(Table.Hdr.HeaderSize, sizeof(EFI_PEI_SERVICES));
  // The services the module calls are there; the others are NULL, never stray values.
  EXPECT_NE(Table.InstallPpi, nullptr);
  EXPECT_NE(Table.LocatePpi, nullptr);
  EXPECT_NE(Table.NotifyPpi, nullptr);
  EXPECT_NE(Table.GetBootMode, nullptr);
  EXPECT_NE(Table.GetHobList, nullptr);
  EXPECT_NE(Table.CreateHob, nullptr);
  EXPECT_NE(Table.AllocatePool, nullptr);
  EXPECT_NE(Table.SetMem, nullptr);
  EXPECT_NE(Table.ReportStatusCode, nullptr);
  EXPECT_EQ(Table.ReInstallPpi, nullptr);
  EXPECT_EQ(Table.InstallPeiMemory, nullptr);
  EXPECT_EQ(Table.FreePages, nullptr);
}

TEST(RomPeiCore, FreshHobListIsThePhitThenTheEndHob) {
  StubCore Core(BOOT_ON_S3_RESUME);
  EFI_HOB_HANDOFF_INFO_TABLE *Phit = Core.Phit();
  ASSERT_EQ(reinterpret_cast<uint8_t *>(Phit), gRomRam.HobSpace);
  EXPECT_EQ(Phit->Header.HobType, EFI_HOB_TYPE_HANDOFF);
  EXPECT_EQ(Phit->Header.HobLength, sizeof(EFI_HOB_HANDOFF_INFO_TABLE));
  EXPECT_EQ(Phit->Version, 9u);
  auto *End = reinterpret_cast<EFI_HOB_GENERIC_HEADER *>(gRomRam.HobSpace + sizeof(EFI_HOB_HANDOFF_INFO_TABLE));
  EXPECT_EQ(End->HobType, EFI_HOB_TYPE_END_OF_HOB_LIST);
  EXPECT_EQ(Phit->EfiEndOfHobList, reinterpret_cast<uintptr_t>(End));
  EXPECT_EQ(Phit->EfiMemoryTop, Core.HobEnd());
  EXPECT_EQ(RomHobCount(), 2u);

  EFI_BOOT_MODE Mode = 0;
  EXPECT_EQ(Core.Table().GetBootMode(Core.Services, &Mode), EFI_SUCCESS);
  EXPECT_EQ(Mode, BOOT_ON_S3_RESUME);
  EXPECT_EQ(Core.Table().GetBootMode(Core.Services, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Core.Table().GetHobList(Core.Services, nullptr), EFI_INVALID_PARAMETER);
}

TEST(RomPeiCore, CreateHobRoundsUpToEightAndMovesTheEndHob) {
  StubCore Core;
  VOID *Hob = nullptr;
  ASSERT_EQ(Core.Table().CreateHob(Core.Services, EFI_HOB_TYPE_GUID_EXTENSION, 30, &Hob), EFI_SUCCESS);
  auto *Header = static_cast<EFI_HOB_GENERIC_HEADER *>(Hob);
  EXPECT_EQ(reinterpret_cast<uint8_t *>(Hob), gRomRam.HobSpace + sizeof(EFI_HOB_HANDOFF_INFO_TABLE));
  EXPECT_EQ(Header->HobType, EFI_HOB_TYPE_GUID_EXTENSION);
  EXPECT_EQ(Header->HobLength, 32);
  auto *End = reinterpret_cast<EFI_HOB_GENERIC_HEADER *>(static_cast<uint8_t *>(Hob) + 32);
  EXPECT_EQ(End->HobType, EFI_HOB_TYPE_END_OF_HOB_LIST);
  EXPECT_EQ(Core.Phit()->EfiEndOfHobList, reinterpret_cast<uintptr_t>(End));
  EXPECT_EQ(Core.Phit()->EfiFreeMemoryBottom, reinterpret_cast<uintptr_t>(End) + 8);
  EXPECT_EQ(RomHobCount(), 3u);
}

TEST(RomPeiCore, CreateHobRefusesBadRequestsAndWhatDoesNotFit) {
  StubCore Core;
  VOID *Hob = reinterpret_cast<VOID *>(1);
  EXPECT_EQ(Core.Table().CreateHob(Core.Services, 4, 0, &Hob), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Hob, nullptr);
  EXPECT_EQ(Core.Table().CreateHob(Core.Services, 4, 24, nullptr), EFI_INVALID_PARAMETER);
  // 0xFFFF rounded up no longer fits the 16-bit length.
  EXPECT_EQ(Core.Table().CreateHob(Core.Services, 4, 0xFFFF, &Hob), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(RomHobCount(), 2u);

  // Fill the space: every HOB that is handed out lies inside it with room for the end HOB.
  unsigned Made = 0;
  EFI_STATUS Status;
  while ((Status = Core.Table().CreateHob(Core.Services, 4, 0x1000, &Hob)) == EFI_SUCCESS) {
    Made++;
    EXPECT_LE(reinterpret_cast<uintptr_t>(Hob) + 0x1000 + 8, Core.HobEnd());
  }
  EXPECT_EQ(Status, EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(Hob, nullptr);
  EXPECT_EQ(Made, (kRomHobSpace - sizeof(EFI_HOB_HANDOFF_INFO_TABLE) - 8) / 0x1000);
  // The rest still takes a small HOB, and the list stays whole.
  EXPECT_EQ(Core.Table().CreateHob(Core.Services, 4, 24, &Hob), EFI_SUCCESS);
  EXPECT_EQ(RomHobCount(), 2u + Made + 1);
  EXPECT_LE(Core.Phit()->EfiEndOfHobList + 8, Core.HobEnd());
}

TEST(RomPeiCore, ModuleHobHelpersBuildAndFindOnTheStubList) {
  StubCore Core;
  EXPECT_EQ(GetFirstGuidHob(&kGuidA), nullptr);
  auto *DataA = static_cast<uint8_t *>(BuildGuidHob(&kGuidA, 16));
  auto *DataB = static_cast<uint8_t *>(BuildGuidHob(&kGuidB, 264));
  ASSERT_NE(DataA, nullptr);
  ASSERT_NE(DataB, nullptr);
  EXPECT_EQ(GetFirstGuidHob(&kGuidA), DataA - 24);
  EXPECT_EQ(GetFirstGuidHob(&kGuidB), DataB - 24);
  EXPECT_EQ(reinterpret_cast<EFI_HOB_GENERIC_HEADER *>(DataB - 24)->HobLength, 288);
  EXPECT_EQ(Core.Board.Breakpoints(), 0u);
}

// --- PPI database and notifications --------------------------------------------------

TEST(RomPeiCore, LocatePpiCountsInstancesOfOneName) {
  StubCore Core;
  int First = 0, Second = 0, Other = 0;
  const EFI_PEI_PPI_DESCRIPTOR List[] = {Ppi(kGuidA, &First, false), Ppi(kGuidB, &Other, false), Ppi(kGuidA, &Second)};
  ASSERT_EQ(Core.Table().InstallPpi(Core.Services, List), EFI_SUCCESS);
  VOID *Found = nullptr;
  EFI_PEI_PPI_DESCRIPTOR *Descriptor = nullptr;
  EXPECT_EQ(Core.Table().LocatePpi(Core.Services, &kGuidA, 0, &Descriptor, &Found), EFI_SUCCESS);
  EXPECT_EQ(Found, &First);
  EXPECT_EQ(Descriptor, &List[0]);
  EXPECT_EQ(Core.Table().LocatePpi(Core.Services, &kGuidA, 1, nullptr, &Found), EFI_SUCCESS);
  EXPECT_EQ(Found, &Second);
  EXPECT_EQ(Core.Table().LocatePpi(Core.Services, &kGuidA, 2, nullptr, &Found), EFI_NOT_FOUND);
  // The module's own lookup reaches the same database through the IDT.
  EXPECT_EQ(PeiServicesLocatePpi(&kGuidB, 0, nullptr, &Found), EFI_SUCCESS);
  EXPECT_EQ(Found, &Other);
}

TEST(RomPeiCore, BadOrOversizedListsInstallNothing) {
  StubCore Core;
  int Interface = 0;
  EFI_PEI_PPI_DESCRIPTOR Bad[] = {Ppi(kGuidA, &Interface, false), Ppi(kGuidB, &Interface)};
  Bad[1].Flags = EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;  // no PPI flag
  EXPECT_EQ(Core.Table().InstallPpi(Core.Services, Bad), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Core.Table().InstallPpi(Core.Services, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(gRomRam.PpiCount, 0u);

  std::vector<EFI_PEI_PPI_DESCRIPTOR> Many(kRomMaxPpis - 1, Ppi(kGuidA, &Interface, false));
  Many.back().Flags |= EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
  ASSERT_EQ(Core.Table().InstallPpi(Core.Services, Many.data()), EFI_SUCCESS);
  const EFI_PEI_PPI_DESCRIPTOR Two[] = {Ppi(kGuidB, &Interface, false), Ppi(kGuidB, &Interface)};
  EXPECT_EQ(Core.Table().InstallPpi(Core.Services, Two), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(gRomRam.PpiCount, kRomMaxPpis - 1);
  VOID *Found = nullptr;
  EXPECT_EQ(Core.Table().LocatePpi(Core.Services, &kGuidB, 0, nullptr, &Found), EFI_NOT_FOUND);
}

TEST(RomPeiCore, NotificationsRunOnInstallAndForPpisAlreadyThere) {
  StubCore Core;
  int Early = 0, Late = 0;
  const EFI_PEI_NOTIFY_DESCRIPTOR OnA = {EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
                                         const_cast<EFI_GUID *>(&kGuidA), CountingNotify};
  ASSERT_EQ(Core.Table().NotifyPpi(Core.Services, &OnA), EFI_SUCCESS);
  EXPECT_EQ(gNotified, 0);
  const EFI_PEI_PPI_DESCRIPTOR A = Ppi(kGuidA, &Early);
  ASSERT_EQ(Core.Table().InstallPpi(Core.Services, &A), EFI_SUCCESS);
  EXPECT_EQ(gNotified, 1);
  EXPECT_EQ(gNotifiedPpi, &Early);

  const EFI_PEI_PPI_DESCRIPTOR B = Ppi(kGuidB, &Late);
  ASSERT_EQ(Core.Table().InstallPpi(Core.Services, &B), EFI_SUCCESS);
  EXPECT_EQ(gNotified, 1);  // not its name
  const EFI_PEI_NOTIFY_DESCRIPTOR OnB = {EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
                                         const_cast<EFI_GUID *>(&kGuidB), CountingNotify};
  ASSERT_EQ(Core.Table().NotifyPpi(Core.Services, &OnB), EFI_SUCCESS);
  EXPECT_EQ(gNotified, 2);
  EXPECT_EQ(gNotifiedPpi, &Late);

  EFI_PEI_NOTIFY_DESCRIPTOR NoCallback = OnA;
  NoCallback.Notify = nullptr;
  EXPECT_EQ(Core.Table().NotifyPpi(Core.Services, &NoCallback), EFI_INVALID_PARAMETER);
  EFI_PEI_NOTIFY_DESCRIPTOR NotANotify = OnA;
  NotANotify.Flags = EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
  EXPECT_EQ(Core.Table().NotifyPpi(Core.Services, &NotANotify), EFI_INVALID_PARAMETER);
  EXPECT_EQ(gRomRam.NotifyCount, 2u);
}

// --- pool, memory services, status codes --------------------------------------------

TEST(RomPeiCore, PoolHandsOutAlignedBuffersUntilItIsUsedUp) {
  StubCore Core;
  VOID *First = nullptr, *Second = nullptr;
  ASSERT_EQ(Core.Table().AllocatePool(Core.Services, 31, &First), EFI_SUCCESS);
  ASSERT_EQ(Core.Table().AllocatePool(Core.Services, 1, &Second), EFI_SUCCESS);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(First) % 8, 0u);
  EXPECT_EQ(static_cast<uint8_t *>(Second) - static_cast<uint8_t *>(First), 32);
  VOID *Rest = nullptr;
  EXPECT_EQ(Core.Table().AllocatePool(Core.Services, kRomPoolSpace, &Rest), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(Core.Table().AllocatePool(Core.Services, 0xFFFFFFFF, &Rest), EFI_OUT_OF_RESOURCES);
  ASSERT_EQ(Core.Table().AllocatePool(Core.Services, kRomPoolSpace - 40, &Rest), EFI_SUCCESS);
  EXPECT_LE(reinterpret_cast<uintptr_t>(Rest) + kRomPoolSpace - 40,
            reinterpret_cast<uintptr_t>(gRomRam.PoolSpace) + kRomPoolSpace);
  EXPECT_EQ(Core.Table().AllocatePool(Core.Services, 1, &Rest), EFI_OUT_OF_RESOURCES);
}

TEST(RomPeiCore, MemoryServicesAndStatusCodesWithTheirKinds) {
  StubCore Core;
  uint8_t Bytes[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  Core.Table().CopyMem(Bytes + 2, Bytes, 8);  // overlapping, destination above
  const uint8_t Moved[12] = {1, 2, 1, 2, 3, 4, 5, 6, 7, 8, 11, 12};
  EXPECT_EQ(std::memcmp(Bytes, Moved, sizeof Bytes), 0);
  Core.Table().SetMem(Bytes + 1, 10, 0);
  EXPECT_EQ(Bytes[0], 1);
  EXPECT_EQ(Bytes[1], 0);
  EXPECT_EQ(Bytes[10], 0);
  EXPECT_EQ(Bytes[11], 12);
  EXPECT_EQ(Core.Table().ReportStatusCode(Core.Services, EFI_ERROR_MINOR | EFI_ERROR_CODE,
                                          EFI_COMPUTING_UNIT_FIRMWARE_PROCESSOR, 0, nullptr, nullptr),
            EFI_SUCCESS);
  EXPECT_EQ(gRomRam.StatusCodeCount, 1u);
  EXPECT_EQ(gRomRam.LastStatusCodeValue, EFI_COMPUTING_UNIT_FIRMWARE_PROCESSOR);
  EXPECT_EQ(gRomRam.RecordKinds[0], 0u);  // no data: no kind

  // The entry type right after the extended-data header is kept; a header of the wrong
  // size or data too short for it yields no kind.
  struct {
    EFI_STATUS_CODE_DATA Header;
    uint32_t EntryType;
  } Record = {{sizeof(EFI_STATUS_CODE_DATA), 4, gEfiStatusCodeSpecificDataGuid}, 17};
  Core.Table().ReportStatusCode(Core.Services, 0, 0, 0, nullptr, &Record.Header);
  Record.Header.HeaderSize = 16;
  Core.Table().ReportStatusCode(Core.Services, 0, 0, 0, nullptr, &Record.Header);
  Record.Header.HeaderSize = sizeof(EFI_STATUS_CODE_DATA);
  Record.Header.Size = 2;
  Core.Table().ReportStatusCode(Core.Services, 0, 0, 0, nullptr, &Record.Header);
  EXPECT_EQ(gRomRam.StatusCodeCount, 4u);
  EXPECT_EQ(gRomRam.RecordKinds[1], 17u);
  EXPECT_EQ(gRomRam.RecordKinds[2], 0u);
  EXPECT_EQ(gRomRam.RecordKinds[3], 0u);
}

// --- the platform PPIs of the ROM -----------------------------------------------------

TEST(RomPlatformPpis, ModuleFindsThePolicyBlockWithEverySwitchClear) {
  StubCore Core;
  ASSERT_EQ(RomInstallPlatformPpis(Core.Services), EFI_SUCCESS);
  auto *Block = static_cast<const uint8_t *>(static_cast<const void *>(VornGetPeiConfigBlock()));
  ASSERT_NE(Block, nullptr);
  VOID *Table = nullptr;
  ASSERT_EQ(PeiServicesLocatePpi(&gVornPolicyPpiGuid, 0, nullptr, &Table), EFI_SUCCESS);
  EXPECT_EQ(Block, static_cast<uint8_t *>(Table) + sizeof(CONFIG_BLOCK_TABLE_HEADER));
  EXPECT_EQ(Block[OFFSET_OF(QUARN_PREMEM_CONFIG, PreDidResetEnable)] & QUARN_PRE_DID_RESET_ENABLE_BIT, 0);
  uint32_t Clock = 0, Watchdog = 0;
  std::memcpy(&Clock, Block + OFFSET_OF(QUARN_PREMEM_CONFIG, ClockConfig), 4);
  std::memcpy(&Watchdog, Block + OFFSET_OF(QUARN_PREMEM_CONFIG, WatchdogConfig), 4);
  EXPECT_EQ(Clock, 0u);
  EXPECT_EQ(Watchdog, 0u);
  EXPECT_EQ(Core.Board.Breakpoints(), 0u);  // no assertion on the way
}

TEST(RomPlatformPpis, DruxStandInReportsNoVornBehindIt) {
  StubCore Core;
  ASSERT_EQ(RomInstallPlatformPpis(Core.Services), EFI_SUCCESS);
  VOID *Found = nullptr;
  ASSERT_EQ(PeiServicesLocatePpi(&gDruxPpiGuid, 0, nullptr, &Found), EFI_SUCCESS);
  auto *Drux = static_cast<DRUX_PPI *>(Found);
  UINT32 Status = 0xFFFFFFFF;
  EXPECT_EQ(Drux->GetVornStatus(&Status), EFI_SUCCESS);
  EXPECT_EQ(Status, 0u);
  EXPECT_EQ(Drux->GetVornStatus(nullptr), EFI_INVALID_PARAMETER);
  uint8_t Message[8] = {0xF0, 0x11, 0, 0};
  UINT32 Length = sizeof Message;
  EXPECT_EQ(Drux->SendWithAck(0, Message, 4, &Length, 0, DRUX_CLIENT_MANAGEMENT), EFI_DEVICE_ERROR);
  EXPECT_EQ(RomDruxCallCount(), 3u);
}

// --- the result lines the console comparison reads --------------------------------------

TEST(RomResult, LinesDescribeWhatTheModuleConstructorsLeft) {
  StubCore Core;
  // The module's own constructors against the stub: table HOB, MM7, CPU record in the pool.
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  CpuAndRevisionInit();
  auto *Info = static_cast<uint8_t *>(BuildGuidHob(&gQuarnInfoHobGuid, 16));
  ASSERT_NE(Info, nullptr);
  std::memset(Info, 0, 16);
  Info[8] = 2;
  struct {
    EFI_STATUS_CODE_DATA Header;
    uint32_t EntryType;
  } Record = {{sizeof(EFI_STATUS_CODE_DATA), 4, gEfiStatusCodeSpecificDataGuid}, 16};
  Core.Table().ReportStatusCode(Core.Services, 0, 0, 0, nullptr, &Record.Header);
  Core.Board.B.Processors()[0].Breakpoints = 0;
  gRomRam.BreakpointCount = 0;

  RomPrintResult(EFI_UNSUPPORTED);
  const std::string Text = DiagnosticText(Core.Board.B);
  EXPECT_NE(Text.find("rom: result: status 0x80000003\r\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("rom: result: breakpoints 0\r\n"), std::string::npos);
  EXPECT_NE(Text.find("rom: result: vorn_type_hob none\r\n"), std::string::npos);
  EXPECT_NE(Text.find("rom: result: info_hob 00000000000000000200000000000000\r\n"), std::string::npos);
  EXPECT_NE(Text.find("rom: result: filled_slots 0000000001000\r\n"), std::string::npos);
  // gCpuAndRevisionRecordGuid, size 31, type 0, stepping 4, the fixed tag.
  EXPECT_NE(Text.find("rom: result: cpu_and_revision 907d5cb2134e8b4a861f5d33e09a127c"
                      "1f0000000000000004000025389afa\r\n"),
            std::string::npos);
  EXPECT_NE(Text.find("rom: result: mm7_points_to_table true\r\n"), std::string::npos);
  EXPECT_NE(Text.find("rom: result: records state\r\n"), std::string::npos);
}

TEST(RomResult, BrokenHobListOrStrayMm7ReadAsNothingLeft) {
  StubCore Core;
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  auto *Type = static_cast<uint8_t *>(BuildGuidHob(&gVornTypeHobGuid, 6));
  ASSERT_NE(Type, nullptr);
  Type[0] = 1;  // VornType 1, FwType 1, FwSubType 0
  Type[1] = Type[2] = Type[3] = 0;
  Type[4] = 1;
  Type[5] = 0;
  Core.Board.B.Processors()[0].Mm[7] = 0x12345678;  // MM7 no longer holds the table

  RomPrintResult(EFI_SUCCESS);
  std::string Text = DiagnosticText(Core.Board.B);
  EXPECT_NE(Text.find("rom: result: vorn_type_hob 1 1 0\r\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("rom: result: mm7_points_to_table false\r\n"), std::string::npos);
  EXPECT_NE(Text.find("rom: result: cpu_and_revision none\r\n"), std::string::npos);

  // A zero-length HOB ahead of everything: the walk stops there, nothing is found.
  auto *First = reinterpret_cast<EFI_HOB_GENERIC_HEADER *>(gRomRam.HobSpace + sizeof(EFI_HOB_HANDOFF_INFO_TABLE));
  First->HobLength = 0;
  const size_t Before = DiagnosticText(Core.Board.B).size();
  RomPrintResult(EFI_SUCCESS);
  Text = DiagnosticText(Core.Board.B).substr(Before);
  EXPECT_NE(Text.find("rom: result: vorn_type_hob none\r\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("rom: result: filled_slots none\r\n"), std::string::npos);
  EXPECT_NE(Text.find("rom: result: records none\r\n"), std::string::npos);
}

// --- fw_cfg settings ------------------------------------------------------------------

TEST(RomFwCfg, NumbersInDecimalOrHexWithBlanksAndAFinalNewline) {
  auto Parse = [](const char *Text, UINT64 &Value) { return ParseNumber(Text, std::strlen(Text), &Value); };
  UINT64 Value = 0;
  EXPECT_TRUE(Parse("0x80000042", Value));
  EXPECT_EQ(Value, 0x80000042u);
  EXPECT_TRUE(Parse(" 0X0000004080004424\n", Value));
  EXPECT_EQ(Value, 0x0000004080004424ull);
  EXPECT_TRUE(Parse("128", Value));
  EXPECT_EQ(Value, 128u);
  EXPECT_TRUE(Parse("18446744073709551615", Value));
  EXPECT_EQ(Value, ~UINT64(0));
  EXPECT_TRUE(Parse("0xFFFFFFFFFFFFFFFF", Value));
  EXPECT_EQ(Value, ~UINT64(0));

  Value = 7;
  for (const char *Bad : {"", "0x", "18446744073709551616", "0x10000000000000000", "12ab", "0x12g", "- 1", "1 2"}) {
    EXPECT_FALSE(Parse(Bad, Value)) << Bad;
    EXPECT_EQ(Value, 7u) << Bad;  // untouched on failure
  }
}

TEST(RomFwCfg, DirectoryNamesMatchOnlyTheWholeName) {
  auto Entry = [](const char *Name) {
    std::array<CHAR8, kNameLength> Bytes{};
    std::strncpy(Bytes.data(), Name, Bytes.size());
    return Bytes;
  };
  auto Matches = [](const std::array<CHAR8, kNameLength> &Bytes, const char *Name) {
    return NameMatches(reinterpret_cast<const CHAR8(&)[kNameLength]>(*Bytes.data()), Name);
  };
  EXPECT_TRUE(Matches(Entry("opt/quarn/mm0"), "mm0"));
  EXPECT_FALSE(Matches(Entry("opt/quarn/mm0x"), "mm0"));
  EXPECT_FALSE(Matches(Entry("opt/quarn/mm"), "mm0"));
  EXPECT_FALSE(Matches(Entry("opt/other/mm0"), "mm0"));
  EXPECT_TRUE(Matches(Entry("opt/quarn/cmos-error-level"), "cmos-error-level"));
  // A name that fills all 56 bytes without a NUL never matches a shorter one, and the
  // comparison never reads past the entry.
  std::array<CHAR8, kNameLength> Full;
  Full.fill('a');
  std::memcpy(Full.data(), "opt/quarn/", 10);
  EXPECT_FALSE(Matches(Full, "aaaa"));
  EXPECT_FALSE(Matches(Full, std::string(kNameLength - 10, 'a').c_str()));
}
