#include "PeiCore.h"

extern "C" {
#include <PiPei.h>
#include <Ppi/MemoryDiscovered.h>
}

#include <cstring>

namespace quarn::emu {

namespace {

constexpr uint32_t kAlign = 8;
constexpr uint32_t AlignUp(uint32_t Value) { return (Value + kAlign - 1) & ~(kAlign - 1); }

bool SameGuid(const EFI_GUID *A, const EFI_GUID *B) { return A && B && std::memcmp(A, B, sizeof(EFI_GUID)) == 0; }

/// The first eight bytes of a GUID: the value of a PPI service's trace line, which names
/// the PPI for readers of the trace (0 without a GUID).
uint64_t TraceGuid(const EFI_GUID *Guid) {
  uint64_t Head = 0;
  if (Guid != nullptr) std::memcpy(&Head, Guid, sizeof Head);
  return Head;
}

EFI_HOB_GENERIC_HEADER *HobAt(uint8_t *Base, uint32_t Offset) {
  return reinterpret_cast<EFI_HOB_GENERIC_HEADER *>(Base + Offset);
}

/// Stores Value into Field only when it differs: a descriptor may sit in read-only data
/// (a module's constant descriptor list), where only a pointer that really moves may be written.
template <typename T>
void StoreIfChanged(T &Field, T Value) {
  if (Field != Value) Field = Value;
}

}  // namespace

static_assert(PeiCore::kServicesOffset + sizeof(EFI_PEI_SERVICES) + sizeof(void *) <= PeiCore::kIdtOffset - 4,
              "the services table and its owner fit below the PEI-services word");
static_assert(PeiCore::kStackBytes % 16 == 0, "the stack top keeps the ABI's alignment");

uint64_t PeiCore::WindowBytes(uint32_t HobSpace, uint32_t PoolSpace) {
  const uint64_t Hob = AlignUp(std::max<uint32_t>(HobSpace, sizeof(EFI_HOB_HANDOFF_INFO_TABLE) + 8));
  return kStackBytes + kHobOffset + Hob + AlignUp(PoolSpace);
}

PeiCore::PeiCore(Board &B, BoardMemory &Memory, const PeiCoreConfig &Config)
    : Board_(B), Config_(Config), Ram_(Memory) {
  const uint32_t HobSpace = AlignUp(std::max<uint32_t>(Config_.HobSpace, sizeof(EFI_HOB_HANDOFF_INFO_TABLE) + 8));
  PoolOffset_ = kHobOffset + HobSpace;
  MemorySize_ = PoolOffset_ + AlignUp(Config_.PoolSpace);
  Ram_.Open(Ram_.TemporaryRam(), kStackBytes);
  Memory_ = Ram_.Open(Ram_.TemporaryRam() + kStackBytes, MemorySize_);

  auto *Block = reinterpret_cast<ServicesBlock *>(Memory_ + kServicesOffset);
  auto &Table = Block->Table;
  Table.Hdr.Signature = PEI_SERVICES_SIGNATURE;
  Table.Hdr.Revision = (1u << 16) | 70;
  Table.Hdr.HeaderSize = sizeof(EFI_PEI_SERVICES);
  Table.InstallPpi = SvcInstallPpi;
  Table.ReInstallPpi = SvcReInstallPpi;
  Table.LocatePpi = SvcLocatePpi;
  Table.NotifyPpi = SvcNotifyPpi;
  Table.GetBootMode = SvcGetBootMode;
  Table.SetBootMode = SvcSetBootMode;
  Table.GetHobList = SvcGetHobList;
  Table.CreateHob = SvcCreateHob;
  Table.AllocatePool = SvcAllocatePool;
  Table.CopyMem = SvcCopyMem;
  Table.SetMem = SvcSetMem;
  Table.ReportStatusCode = SvcReportStatusCode;
  Block->Owner = this;

  // The services pointer at offset 0, its address in the word below the IDT.
  *reinterpret_cast<EFI_PEI_SERVICES **>(Memory_) = &Table;
  *reinterpret_cast<uint32_t *>(Memory_ + kIdtOffset - 4) = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Memory_));
  for (Processor &P : Board_.Processors()) {
    P.IdtBase = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Memory_ + kIdtOffset));
    P.IdtLimit = kIdtLimit;
  }

  // The HOB list: PHIT, then the end HOB.
  auto *Phit = reinterpret_cast<EFI_HOB_HANDOFF_INFO_TABLE *>(Memory_ + kHobOffset);
  Phit->Header = {EFI_HOB_TYPE_HANDOFF, sizeof(EFI_HOB_HANDOFF_INFO_TABLE), 0};
  Phit->Version = 9;
  Phit->BootMode = Config_.BootMode;
  Phit->EfiMemoryBottom = reinterpret_cast<uintptr_t>(Memory_);
  Phit->EfiMemoryTop = reinterpret_cast<uintptr_t>(Memory_) + MemorySize_;
  Phit->EfiFreeMemoryBottom = reinterpret_cast<uintptr_t>(Memory_) + PoolOffset_;
  Phit->EfiFreeMemoryTop = Phit->EfiMemoryTop;
  auto *End = HobAt(Memory_, kHobOffset + sizeof(EFI_HOB_HANDOFF_INFO_TABLE));
  *End = {EFI_HOB_TYPE_END_OF_HOB_LIST, sizeof(EFI_HOB_GENERIC_HEADER), 0};
  Phit->EfiEndOfHobList = reinterpret_cast<uintptr_t>(End);
}

PeiCore::~PeiCore() = default;

CONST EFI_PEI_SERVICES **PeiCore::Services() {
  return const_cast<CONST EFI_PEI_SERVICES **>(reinterpret_cast<EFI_PEI_SERVICES **>(Memory_));
}

PeiCore &PeiCore::From(CONST EFI_PEI_SERVICES **PeiServices) {
  return *reinterpret_cast<const ServicesBlock *>(*PeiServices)->Owner;
}

bool PeiCore::InTemporaryMemory(const void *Address) const {
  const auto *Byte = static_cast<const uint8_t *>(Address);
  return Byte >= Memory_ && Byte < Memory_ + MemorySize_;
}

VOID *PeiCore::HobList() { return Memory_ + kHobOffset; }

uint32_t PeiCore::HobBytesUsed() const {
  const auto *Phit = reinterpret_cast<const EFI_HOB_HANDOFF_INFO_TABLE *>(Memory_ + kHobOffset);
  return static_cast<uint32_t>(Phit->EfiEndOfHobList - reinterpret_cast<uintptr_t>(Memory_ + kHobOffset)) +
         sizeof(EFI_HOB_GENERIC_HEADER);
}

VOID *PeiCore::AppendHob(uint16_t Type, uint16_t Length) {
  const uint32_t Rounded = Config_.RoundHobLengths ? AlignUp(Length) : Length;
  if (Length < sizeof(EFI_HOB_GENERIC_HEADER) || Rounded > 0xFFF8) return nullptr;
  auto *Phit = reinterpret_cast<EFI_HOB_HANDOFF_INFO_TABLE *>(Memory_ + kHobOffset);
  const uint32_t EndOffset = static_cast<uint32_t>(Phit->EfiEndOfHobList - reinterpret_cast<uintptr_t>(Memory_));
  if (EndOffset + Rounded + sizeof(EFI_HOB_GENERIC_HEADER) > PoolOffset_) return nullptr;
  // Headers are written byte-wise: without rounding they may lie at any address.
  uint8_t *Hob = Memory_ + EndOffset;
  std::memset(Hob, kFreshHobFill, Rounded);
  const EFI_HOB_GENERIC_HEADER Header = {Type, static_cast<uint16_t>(Rounded), 0};
  std::memcpy(Hob, &Header, sizeof Header);
  uint8_t *End = Hob + Rounded;
  const EFI_HOB_GENERIC_HEADER EndHeader = {EFI_HOB_TYPE_END_OF_HOB_LIST, sizeof(EFI_HOB_GENERIC_HEADER), 0};
  std::memcpy(End, &EndHeader, sizeof EndHeader);
  Phit->EfiEndOfHobList = reinterpret_cast<uintptr_t>(End);
  return Hob;
}

bool PeiCore::Fail(const char *Call, EFI_STATUS Failure) {
  if (OnServiceCall) OnServiceCall(Call);
  return Board_.FailsNow(Call, Failure);
}

// --- PPI database -----------------------------------------------------------------

EFI_STATUS PeiCore::InstallPpi(const EFI_PEI_PPI_DESCRIPTOR *List) { return Install(List); }

EFI_STATUS PeiCore::InstallPpi(const EFI_GUID &Guid, void *Ppi) {
  OwnDescriptors_.push_back(std::make_unique<EFI_PEI_PPI_DESCRIPTOR>(EFI_PEI_PPI_DESCRIPTOR{
      EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST, const_cast<EFI_GUID *>(&Guid), Ppi}));
  return Install(OwnDescriptors_.back().get());
}

EFI_STATUS PeiCore::Install(const EFI_PEI_PPI_DESCRIPTOR *List) {
  if (List == nullptr) return EFI_INVALID_PARAMETER;
  const size_t First = Ppis_.size();
  for (auto *Descriptor = const_cast<EFI_PEI_PPI_DESCRIPTOR *>(List);; Descriptor++) {
    if ((Descriptor->Flags & EFI_PEI_PPI_DESCRIPTOR_PPI) == 0 || Descriptor->Guid == nullptr) {
      Ppis_.resize(First);
      return EFI_INVALID_PARAMETER;
    }
    Ppis_.push_back(Descriptor);
    if (Descriptor->Flags & EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST) break;
  }
  RunNotifications(First, 0);
  return EFI_SUCCESS;
}

EFI_STATUS PeiCore::Notify(const EFI_PEI_NOTIFY_DESCRIPTOR *List) {
  if (List == nullptr) return EFI_INVALID_PARAMETER;
  const size_t First = Notifies_.size();
  for (auto *Descriptor = const_cast<EFI_PEI_NOTIFY_DESCRIPTOR *>(List);; Descriptor++) {
    if ((Descriptor->Flags & EFI_PEI_PPI_DESCRIPTOR_NOTIFY_TYPES) == 0 || Descriptor->Guid == nullptr ||
        Descriptor->Notify == nullptr) {
      Notifies_.resize(First);
      return EFI_INVALID_PARAMETER;
    }
    Notifies_.push_back(Descriptor);
    if (Descriptor->Flags & EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST) break;
  }
  // A notification for a PPI that is already installed runs at once.
  RunNotifications(0, First);
  return EFI_SUCCESS;
}

void PeiCore::RunNotifications(size_t FirstPpi, size_t FirstNotify) {
  const size_t PpiEnd = Ppis_.size();
  const size_t NotifyEnd = Notifies_.size();
  for (size_t N = FirstNotify; N < NotifyEnd; N++) {
    for (size_t P = FirstPpi; P < PpiEnd; P++) {
      EFI_PEI_NOTIFY_DESCRIPTOR *Notify = Notifies_[N];
      EFI_PEI_PPI_DESCRIPTOR *Ppi = Ppis_[P];
      if ((Notify->Flags & EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK) && SameGuid(Notify->Guid, Ppi->Guid)) {
        Board_.TraceEvent("notify", "notification callback");
        NotifyDepth_++;
        Notify->Notify(const_cast<EFI_PEI_SERVICES **>(Services()), Notify, Ppi->Ppi);
        NotifyDepth_--;
      }
    }
  }
}

EFI_STATUS PeiCore::LocatePpi(const EFI_GUID &Guid, UINTN Instance, EFI_PEI_PPI_DESCRIPTOR **Descriptor, void **Ppi) {
  UINTN Seen = 0;
  for (EFI_PEI_PPI_DESCRIPTOR *Entry : Ppis_) {
    if (!SameGuid(Entry->Guid, &Guid)) continue;
    if (Seen++ == Instance) {
      if (Descriptor) *Descriptor = Entry;
      if (Ppi) *Ppi = Entry->Ppi;
      return EFI_SUCCESS;
    }
  }
  return EFI_NOT_FOUND;
}

// --- the move to permanent memory -------------------------------------------------

void *PeiCore::Relocate(void *Pointer, intptr_t Delta) const {
  return InTemporaryMemory(Pointer) ? static_cast<uint8_t *>(Pointer) + Delta : Pointer;
}

void PeiCore::MigrateToPermanentMemory() {
  // Permanent memory is installed once per boot; a second request changes nothing.
  if (Migrated_) {
    Board_.TraceEvent("pei-core", "permanent memory already installed");
    return;
  }
  uint8_t *New = Ram_.Open(Ram_.PermanentMemory() + kStackBytes, MemorySize_);
  std::memcpy(New, Memory_, MemorySize_);
  // The services table moves with the heap; the services pointer follows it.
  *reinterpret_cast<EFI_PEI_SERVICES **>(New) = reinterpret_cast<EFI_PEI_SERVICES *>(New + kServicesOffset);
  const intptr_t Delta = New - Memory_;

  // The PPI database: every descriptor that lies in the moved range, and every GUID and
  // PPI pointer of a descriptor that points into it. Relocate() is a no-op on a pointer
  // that has moved already, so a descriptor installed twice is converted once.
  for (auto &Descriptor : Ppis_) Descriptor = static_cast<EFI_PEI_PPI_DESCRIPTOR *>(Relocate(Descriptor, Delta));
  for (auto *Descriptor : Ppis_) {
    StoreIfChanged(Descriptor->Guid, static_cast<EFI_GUID *>(Relocate(Descriptor->Guid, Delta)));
    StoreIfChanged(Descriptor->Ppi, Relocate(Descriptor->Ppi, Delta));
  }
  // The notification database likewise: descriptors, their GUIDs and callbacks.
  for (auto &Descriptor : Notifies_) Descriptor = static_cast<EFI_PEI_NOTIFY_DESCRIPTOR *>(Relocate(Descriptor, Delta));
  for (auto *Descriptor : Notifies_) {
    StoreIfChanged(Descriptor->Guid, static_cast<EFI_GUID *>(Relocate(Descriptor->Guid, Delta)));
    StoreIfChanged(Descriptor->Notify, reinterpret_cast<EFI_PEIM_NOTIFY_ENTRY_POINT>(
                                           Relocate(reinterpret_cast<void *>(Descriptor->Notify), Delta)));
  }

  auto *Phit = reinterpret_cast<EFI_HOB_HANDOFF_INFO_TABLE *>(New + kHobOffset);
  for (EFI_PHYSICAL_ADDRESS *Field : {&Phit->EfiMemoryTop, &Phit->EfiMemoryBottom, &Phit->EfiFreeMemoryTop,
                                      &Phit->EfiFreeMemoryBottom, &Phit->EfiEndOfHobList}) {
    *Field += Delta;
  }
  *reinterpret_cast<uint32_t *>(New + kIdtOffset - 4) = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(New));
  for (Processor &P : Board_.Processors()) {
    if (P.IdtBase == reinterpret_cast<uintptr_t>(Memory_ + kIdtOffset)) {
      P.IdtBase = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(New + kIdtOffset));
    }
  }

  std::memset(Memory_, kPoison, MemorySize_);
  Memory_ = New;
  Migrated_ = true;
  Board_.TraceEvent("pei-core", "temporary memory moved to permanent memory");
  // The memory-discovered PPI carries no interface: a notification trigger only.
  InstallPpi(gEfiPeiMemoryDiscoveredPpiGuid, nullptr);
}

// --- services ---------------------------------------------------------------------

EFI_STATUS EFIAPI PeiCore::SvcInstallPpi(CONST EFI_PEI_SERVICES **PeiServices, CONST EFI_PEI_PPI_DESCRIPTOR *List) {
  PeiCore &Core = From(PeiServices);
  Core.Board_.TraceEvent("call", "InstallPpi", List != nullptr ? TraceGuid(List->Guid) : 0);
  if (Core.Fail("InstallPpi", EFI_OUT_OF_RESOURCES)) return EFI_OUT_OF_RESOURCES;
  return Core.Install(List);
}

EFI_STATUS EFIAPI PeiCore::SvcReInstallPpi(CONST EFI_PEI_SERVICES **PeiServices, CONST EFI_PEI_PPI_DESCRIPTOR *,
                                           CONST EFI_PEI_PPI_DESCRIPTOR *) {
  From(PeiServices).Board_.TraceEvent("call", "ReInstallPpi");
  return EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI PeiCore::SvcLocatePpi(CONST EFI_PEI_SERVICES **PeiServices, CONST EFI_GUID *Guid, UINTN Instance,
                                        EFI_PEI_PPI_DESCRIPTOR **Descriptor, VOID **Ppi) {
  PeiCore &Core = From(PeiServices);
  Core.Board_.TraceEvent("call", "LocatePpi", TraceGuid(Guid));
  if (Guid == nullptr || Ppi == nullptr) return EFI_INVALID_PARAMETER;
  if (Core.Fail("LocatePpi", EFI_NOT_FOUND)) return EFI_NOT_FOUND;
  return Core.LocatePpi(*Guid, Instance, Descriptor, Ppi);
}

EFI_STATUS EFIAPI PeiCore::SvcNotifyPpi(CONST EFI_PEI_SERVICES **PeiServices, CONST EFI_PEI_NOTIFY_DESCRIPTOR *List) {
  PeiCore &Core = From(PeiServices);
  Core.Board_.TraceEvent("call", "NotifyPpi", List != nullptr ? TraceGuid(List->Guid) : 0);
  if (Core.Fail("NotifyPpi", EFI_OUT_OF_RESOURCES)) return EFI_OUT_OF_RESOURCES;
  return Core.Notify(List);
}

EFI_STATUS EFIAPI PeiCore::SvcGetBootMode(CONST EFI_PEI_SERVICES **PeiServices, EFI_BOOT_MODE *BootMode) {
  PeiCore &Core = From(PeiServices);
  Core.Board_.TraceEvent("call", "GetBootMode");
  if (BootMode == nullptr) return EFI_INVALID_PARAMETER;
  const EFI_STATUS Answer =
      Core.Fail("GetBootMode", EFI_DEVICE_ERROR) ? EFI_DEVICE_ERROR : Core.Config_.GetBootModeStatus;
  // A core may leave its output written on an error; a caller must not trust it then.
  if (!EFI_ERROR(Answer) || Core.Config_.BootModeWrittenOnError) *BootMode = Core.Config_.BootMode;
  return Answer;
}

EFI_STATUS EFIAPI PeiCore::SvcSetBootMode(CONST EFI_PEI_SERVICES **PeiServices, EFI_BOOT_MODE BootMode) {
  From(PeiServices).Config_.BootMode = BootMode;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI PeiCore::SvcGetHobList(CONST EFI_PEI_SERVICES **PeiServices, VOID **HobList) {
  PeiCore &Core = From(PeiServices);
  Core.Board_.TraceEvent("call", "GetHobList");
  if (HobList == nullptr) return EFI_INVALID_PARAMETER;
  if (Core.Fail("GetHobList", EFI_NOT_AVAILABLE_YET)) return EFI_NOT_AVAILABLE_YET;
  *HobList = Core.HobList();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI PeiCore::SvcCreateHob(CONST EFI_PEI_SERVICES **PeiServices, UINT16 Type, UINT16 Length, VOID **Hob) {
  PeiCore &Core = From(PeiServices);
  Core.Board_.TraceEvent("call", "CreateHob", Length);
  if (Hob == nullptr) return EFI_INVALID_PARAMETER;
  if (Core.Fail("CreateHob", EFI_OUT_OF_RESOURCES)) return EFI_OUT_OF_RESOURCES;
  *Hob = Core.AppendHob(Type, Length);
  return *Hob == nullptr ? EFI_OUT_OF_RESOURCES : EFI_SUCCESS;
}

EFI_STATUS EFIAPI PeiCore::SvcAllocatePool(CONST EFI_PEI_SERVICES **PeiServices, UINTN Size, VOID **Buffer) {
  PeiCore &Core = From(PeiServices);
  Core.Board_.TraceEvent("call", "AllocatePool", Size);
  if (Buffer == nullptr) return EFI_INVALID_PARAMETER;
  if (Core.Fail("AllocatePool", EFI_OUT_OF_RESOURCES)) return EFI_OUT_OF_RESOURCES;
  const uint32_t Rounded = AlignUp(static_cast<uint32_t>(Size));
  if (Size > Core.MemorySize_ || Core.PoolUsed_ + Rounded > Core.MemorySize_ - Core.PoolOffset_) {
    return EFI_OUT_OF_RESOURCES;
  }
  *Buffer = Core.Memory_ + Core.PoolOffset_ + Core.PoolUsed_;
  std::memset(*Buffer, kFreshHobFill, Rounded);
  Core.PoolUsed_ += Rounded;
  return EFI_SUCCESS;
}

VOID EFIAPI PeiCore::SvcCopyMem(VOID *Destination, VOID *Source, UINTN Length) {
  std::memmove(Destination, Source, Length);
}

VOID EFIAPI PeiCore::SvcSetMem(VOID *Buffer, UINTN Size, UINT8 Value) {
  if (auto *B = dynamic_cast<Board *>(GetCpuIntrinsicsBackend())) B->TraceEvent("call", "SetMem", Size);
  std::memset(Buffer, Value, Size);
}

EFI_STATUS EFIAPI PeiCore::SvcReportStatusCode(CONST EFI_PEI_SERVICES **PeiServices, EFI_STATUS_CODE_TYPE Type,
                                               EFI_STATUS_CODE_VALUE Value, UINT32 Instance, CONST EFI_GUID *CallerId,
                                               CONST EFI_STATUS_CODE_DATA *Data) {
  PeiCore &Core = From(PeiServices);
  Core.Board_.TraceEvent("call", "ReportStatusCode", Value);
  StatusCodeRecord Record;
  Record.TimeNs = Core.Board_.NowNs();
  Record.Type = Type;
  Record.Value = Value;
  Record.Instance = Instance;
  if (CallerId != nullptr) {
    Record.HasCallerId = true;
    Record.CallerId = *CallerId;
  }
  if (Data != nullptr) {
    const auto *Bytes = reinterpret_cast<const uint8_t *>(Data);
    Record.Data.assign(Bytes, Bytes + sizeof(EFI_STATUS_CODE_DATA) + Data->Size);
  }
  if (Core.Fail("ReportStatusCode", EFI_DEVICE_ERROR)) {
    Record.Answer = EFI_DEVICE_ERROR;
  } else {
    Record.Answer = Core.Config_.StatusCodeHandler ? Core.Config_.StatusCodeResult : EFI_NOT_AVAILABLE_YET;
  }
  Core.StatusCodes_.push_back(Record);
  return Record.Answer;
}

}  // namespace quarn::emu
