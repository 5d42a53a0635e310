// The emulated PEI core: the services table (its pointer-to-pointer in the word below
// the IDT), a bounded HOB list and pool in temporary memory, the PPI database with
// notifications, the boot mode, status codes, and the move to permanent memory.
//
// How it divides each window of the board's RAM (Emulator/Memory/BoardMemory.h), the
// same in temporary RAM and, after the move, in permanent memory:
//
//   +0                      the stack, kStackBytes, growing down towards the window's base
//   +kStackBytes  (heap)    the services pointer; the services table at +0x10; the
//                           PEI-services word at +0xFC, right below the IDT at +0x100;
//                           the HOB list at +0x200 (hob_space bytes); then the pool
#pragma once

extern "C" {
#include <PiPei.h>
#include <Pi/PiPeiCis.h>
}

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Emulator/Board/Board.h"
#include "Emulator/Memory/BoardMemory.h"

namespace quarn::emu {

struct PeiCoreConfig {
  uint32_t HobSpace = 65536;  // bytes the HOB list (PHIT and end HOB included) may grow to
  uint32_t PoolSpace = 8192;  // bytes AllocatePool may hand out
  EFI_BOOT_MODE BootMode = BOOT_WITH_FULL_CONFIGURATION;
  EFI_STATUS GetBootModeStatus = EFI_SUCCESS;
  bool BootModeWrittenOnError = false;        // a failing GetBootMode writes BootMode before it answers
  bool RoundHobLengths = true;                // false: HOBs keep their length, so later ones may start at any address
  bool StatusCodeHandler = true;              // false: ReportStatusCode answers EFI_NOT_AVAILABLE_YET
  EFI_STATUS StatusCodeResult = EFI_SUCCESS;  // the handler's answer
};

/// One ReportStatusCode call, kept whole.
struct StatusCodeRecord {
  uint32_t Type = 0;
  uint32_t Value = 0;
  uint32_t Instance = 0;
  bool HasCallerId = false;
  EFI_GUID CallerId{};
  std::vector<uint8_t> Data;  // the whole EFI_STATUS_CODE_DATA, header and record
  EFI_STATUS Answer = EFI_SUCCESS;
  uint64_t TimeNs = 0;  // virtual time of the call
};

class PeiCore {
 public:
  static constexpr uint32_t kStackBytes = 0x40000;   // the stack at the base of each window
  static constexpr uint32_t kServicesOffset = 0x10;  // the services table, in the heap
  static constexpr uint32_t kIdtOffset = 0x100;
  static constexpr uint32_t kIdtLimit = 0xFF;
  static constexpr uint32_t kHobOffset = 0x200;
  static constexpr uint8_t kPoison = 0xAF;        // old temporary memory after the move
  static constexpr uint8_t kFreshHobFill = 0xCC;  // data of a new HOB

  /// Opens the stack and the heap in Memory's temporary RAM and builds the services
  /// table, the word below the IDT and the HOB list there.
  PeiCore(Board &B, BoardMemory &Memory, const PeiCoreConfig &Config);

  /// Bytes of each window the core uses for Config: the stack and the heap.
  static uint64_t WindowBytes(uint32_t HobSpace, uint32_t PoolSpace);
  ~PeiCore();
  PeiCore(const PeiCore &) = delete;
  PeiCore &operator=(const PeiCore &) = delete;

  /// What the entry point receives; also what the word below the IDT leads to.
  CONST EFI_PEI_SERVICES **Services();
  PeiCoreConfig &Config() { return Config_; }
  Board &GetBoard() { return Board_; }

  // --- memory -------------------------------------------------------------------
  /// The heap: in temporary RAM, after the move in permanent memory.
  uint8_t *MemoryBase() { return Memory_; }
  /// The lowest byte of the stack the module runs on now (kStackBytes long).
  uint8_t *StackBottom() { return Memory_ - kStackBytes; }
  uint32_t MemorySize() const { return MemorySize_; }
  bool InTemporaryMemory(const void *Address) const;
  bool Migrated() const { return Migrated_; }
  VOID *HobList();
  /// Appends a HOB as CreateHob does (length rounded up to 8 unless the config says
  /// otherwise); nullptr when it does not fit.
  VOID *AppendHob(uint16_t Type, uint16_t Length);
  /// Bytes the HOB list uses now, end HOB included.
  uint32_t HobBytesUsed() const;

  // --- PPIs -----------------------------------------------------------------------
  /// Installs a descriptor list as another module would; runs matching notifications.
  EFI_STATUS InstallPpi(const EFI_PEI_PPI_DESCRIPTOR *List);
  /// Installs a single PPI; the descriptor is kept by the core.
  EFI_STATUS InstallPpi(const EFI_GUID &Guid, void *Ppi);
  EFI_STATUS LocatePpi(const EFI_GUID &Guid, UINTN Instance, EFI_PEI_PPI_DESCRIPTOR **Descriptor, void **Ppi);
  size_t InstalledPpiCount() const { return Ppis_.size(); }
  size_t NotifyCount() const { return Notifies_.size(); }

  // --- status codes -----------------------------------------------------------------
  const std::vector<StatusCodeRecord> &StatusCodes() const { return StatusCodes_; }

  /// The move to permanent memory: copy the HOB list and pool; re-point every PPI and
  /// notify descriptor that lay in the moved range and every GUID, PPI and callback
  /// pointer of a descriptor that pointed into it (a pointer is written only when it
  /// changes); move the PEI-services word and the IDT base; poison the old memory; then
  /// install the memory-discovered PPI and run its notifications. Happens once: a second
  /// call does nothing.
  void MigrateToPermanentMemory();

  /// Called for every service call (name), before it runs; lets the emulator trace.
  std::function<void(const char *)> OnServiceCall;

 private:
  struct ServicesBlock {
    EFI_PEI_SERVICES Table;
    PeiCore *Owner;
  };
  static PeiCore &From(CONST EFI_PEI_SERVICES **PeiServices);
  void RunNotifications(size_t FirstPpi, size_t FirstNotify);
  void *Relocate(void *Pointer, intptr_t Delta) const;
  /// Counts one call of a failable service; TRUE when the fault plan makes it fail with Failure.
  bool Fail(const char *Call, EFI_STATUS Failure);

  static EFI_STATUS EFIAPI SvcInstallPpi(CONST EFI_PEI_SERVICES **, CONST EFI_PEI_PPI_DESCRIPTOR *);
  static EFI_STATUS EFIAPI SvcReInstallPpi(CONST EFI_PEI_SERVICES **, CONST EFI_PEI_PPI_DESCRIPTOR *,
                                           CONST EFI_PEI_PPI_DESCRIPTOR *);
  static EFI_STATUS EFIAPI SvcLocatePpi(CONST EFI_PEI_SERVICES **, CONST EFI_GUID *, UINTN, EFI_PEI_PPI_DESCRIPTOR **,
                                        VOID **);
  static EFI_STATUS EFIAPI SvcNotifyPpi(CONST EFI_PEI_SERVICES **, CONST EFI_PEI_NOTIFY_DESCRIPTOR *);
  static EFI_STATUS EFIAPI SvcGetBootMode(CONST EFI_PEI_SERVICES **, EFI_BOOT_MODE *);
  static EFI_STATUS EFIAPI SvcSetBootMode(CONST EFI_PEI_SERVICES **, EFI_BOOT_MODE);
  static EFI_STATUS EFIAPI SvcGetHobList(CONST EFI_PEI_SERVICES **, VOID **);
  static EFI_STATUS EFIAPI SvcCreateHob(CONST EFI_PEI_SERVICES **, UINT16, UINT16, VOID **);
  static EFI_STATUS EFIAPI SvcAllocatePool(CONST EFI_PEI_SERVICES **, UINTN, VOID **);
  static VOID EFIAPI SvcCopyMem(VOID *, VOID *, UINTN);
  static VOID EFIAPI SvcSetMem(VOID *, UINTN, UINT8);
  static EFI_STATUS EFIAPI SvcReportStatusCode(CONST EFI_PEI_SERVICES **, EFI_STATUS_CODE_TYPE, EFI_STATUS_CODE_VALUE,
                                               UINT32, CONST EFI_GUID *, CONST EFI_STATUS_CODE_DATA *);

  EFI_STATUS Install(const EFI_PEI_PPI_DESCRIPTOR *List);
  EFI_STATUS Notify(const EFI_PEI_NOTIFY_DESCRIPTOR *List);

  Board &Board_;
  PeiCoreConfig Config_;
  BoardMemory &Ram_;
  uint8_t *Memory_ = nullptr;
  uint32_t MemorySize_ = 0;
  uint32_t PoolOffset_ = 0;
  uint32_t PoolUsed_ = 0;
  bool Migrated_ = false;
  std::vector<EFI_PEI_PPI_DESCRIPTOR *> Ppis_;
  std::vector<EFI_PEI_NOTIFY_DESCRIPTOR *> Notifies_;
  std::vector<std::unique_ptr<EFI_PEI_PPI_DESCRIPTOR>> OwnDescriptors_;
  std::vector<StatusCodeRecord> StatusCodes_;
  unsigned NotifyDepth_ = 0;
};

}  // namespace quarn::emu
