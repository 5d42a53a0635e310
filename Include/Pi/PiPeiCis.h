/** @file
  The PEI Services table, PPI and notification descriptors, and the calling forms of
  the services this module uses. Slot order is fixed: the module reaches each service
  by its position after the table header.
**/
#pragma once

#include <Base.h>
#include <Pi/PiHob.h>
#include <Pi/PiStatusCode.h>

typedef struct EFI_PEI_SERVICES EFI_PEI_SERVICES;
typedef struct EFI_PEI_NOTIFY_DESCRIPTOR EFI_PEI_NOTIFY_DESCRIPTOR;

typedef VOID *EFI_PEI_FILE_HANDLE;

constexpr UINTN EFI_PEI_PPI_DESCRIPTOR_PIC_RESERVED_MASK = 0x0000000F;
constexpr UINTN EFI_PEI_PPI_DESCRIPTOR_PPI               = 0x00000010;
constexpr UINTN EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK   = 0x00000020;
constexpr UINTN EFI_PEI_PPI_DESCRIPTOR_NOTIFY_DISPATCH   = 0x00000040;
constexpr UINTN EFI_PEI_PPI_DESCRIPTOR_NOTIFY_TYPES      = 0x00000060;
constexpr UINTN EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST    = 0x80000000;

typedef struct {
  UINTN     Flags;
  EFI_GUID *Guid;
  VOID     *Ppi;
} EFI_PEI_PPI_DESCRIPTOR;
static_assert(sizeof(EFI_PEI_PPI_DESCRIPTOR) == 12, "PPI descriptor is 12 bytes on IA32");

typedef EFI_STATUS (EFIAPI *EFI_PEIM_NOTIFY_ENTRY_POINT)(
  IN EFI_PEI_SERVICES          **PeiServices,
  IN EFI_PEI_NOTIFY_DESCRIPTOR *NotifyDescriptor,
  IN VOID                      *Ppi);

struct EFI_PEI_NOTIFY_DESCRIPTOR {
  UINTN                       Flags;
  EFI_GUID                    *Guid;
  EFI_PEIM_NOTIFY_ENTRY_POINT Notify;
};
static_assert(sizeof(EFI_PEI_NOTIFY_DESCRIPTOR) == 12, "notify descriptor is 12 bytes on IA32");

typedef EFI_STATUS (EFIAPI *EFI_PEIM_ENTRY_POINT2)(
  IN EFI_PEI_FILE_HANDLE     FileHandle,
  IN CONST EFI_PEI_SERVICES  **PeiServices);

typedef EFI_STATUS (EFIAPI *EFI_PEI_INSTALL_PPI)(
  IN CONST EFI_PEI_SERVICES       **PeiServices,
  IN CONST EFI_PEI_PPI_DESCRIPTOR *PpiList);

typedef EFI_STATUS (EFIAPI *EFI_PEI_REINSTALL_PPI)(
  IN CONST EFI_PEI_SERVICES       **PeiServices,
  IN CONST EFI_PEI_PPI_DESCRIPTOR *OldPpi,
  IN CONST EFI_PEI_PPI_DESCRIPTOR *NewPpi);

typedef EFI_STATUS (EFIAPI *EFI_PEI_LOCATE_PPI)(
  IN CONST EFI_PEI_SERVICES    **PeiServices,
  IN CONST EFI_GUID            *Guid,
  IN UINTN                     Instance,
  IN OUT EFI_PEI_PPI_DESCRIPTOR **PpiDescriptor OPTIONAL,
  IN OUT VOID                  **Ppi);

typedef EFI_STATUS (EFIAPI *EFI_PEI_NOTIFY_PPI)(
  IN CONST EFI_PEI_SERVICES          **PeiServices,
  IN CONST EFI_PEI_NOTIFY_DESCRIPTOR *NotifyList);

typedef EFI_STATUS (EFIAPI *EFI_PEI_GET_BOOT_MODE)(
  IN CONST EFI_PEI_SERVICES **PeiServices,
  OUT EFI_BOOT_MODE         *BootMode);

typedef EFI_STATUS (EFIAPI *EFI_PEI_SET_BOOT_MODE)(
  IN CONST EFI_PEI_SERVICES **PeiServices,
  IN EFI_BOOT_MODE          BootMode);

typedef EFI_STATUS (EFIAPI *EFI_PEI_GET_HOB_LIST)(
  IN CONST EFI_PEI_SERVICES **PeiServices,
  OUT VOID                  **HobList);

typedef EFI_STATUS (EFIAPI *EFI_PEI_CREATE_HOB)(
  IN CONST EFI_PEI_SERVICES **PeiServices,
  IN UINT16                 Type,
  IN UINT16                 Length,
  OUT VOID                  **Hob);

typedef EFI_STATUS (EFIAPI *EFI_PEI_ALLOCATE_POOL)(
  IN CONST EFI_PEI_SERVICES **PeiServices,
  IN UINTN                  Size,
  OUT VOID                  **Buffer);

typedef VOID (EFIAPI *EFI_PEI_COPY_MEM)(
  IN VOID       *Destination,
  IN CONST VOID *Source,
  IN UINTN      Length);

typedef VOID (EFIAPI *EFI_PEI_SET_MEM)(
  IN VOID  *Buffer,
  IN UINTN Size,
  IN UINT8 Value);

typedef EFI_STATUS (EFIAPI *EFI_PEI_REPORT_STATUS_CODE)(
  IN CONST EFI_PEI_SERVICES     **PeiServices,
  IN EFI_STATUS_CODE_TYPE       Type,
  IN EFI_STATUS_CODE_VALUE      Value,
  IN UINT32                     Instance,
  IN CONST EFI_GUID             *CallerId OPTIONAL,
  IN CONST EFI_STATUS_CODE_DATA *Data OPTIONAL);

typedef struct {
  UINT64 Signature;
  UINT32 Revision;
  UINT32 HeaderSize;
  UINT32 CRC32;
  UINT32 Reserved;
} EFI_TABLE_HEADER;
static_assert(sizeof(EFI_TABLE_HEADER) == 24, "table header is 24 bytes");
static_assert(offsetof(EFI_TABLE_HEADER, Revision) == 8, "Revision at 8");

/// Services this module never calls keep their slot as an opaque pointer.
typedef VOID *EFI_PEI_UNUSED_SERVICE;

struct EFI_PEI_SERVICES {
  EFI_TABLE_HEADER           Hdr;
  EFI_PEI_INSTALL_PPI        InstallPpi;          // slot 0
  EFI_PEI_REINSTALL_PPI      ReInstallPpi;        // slot 1
  EFI_PEI_LOCATE_PPI         LocatePpi;           // slot 2
  EFI_PEI_NOTIFY_PPI         NotifyPpi;           // slot 3
  EFI_PEI_GET_BOOT_MODE      GetBootMode;         // slot 4
  EFI_PEI_SET_BOOT_MODE      SetBootMode;         // slot 5
  EFI_PEI_GET_HOB_LIST       GetHobList;          // slot 6
  EFI_PEI_CREATE_HOB         CreateHob;           // slot 7
  EFI_PEI_UNUSED_SERVICE     FfsFindNextVolume;   // slot 8
  EFI_PEI_UNUSED_SERVICE     FfsFindNextFile;     // slot 9
  EFI_PEI_UNUSED_SERVICE     FfsFindSectionData;  // slot 10
  EFI_PEI_UNUSED_SERVICE     InstallPeiMemory;    // slot 11
  EFI_PEI_UNUSED_SERVICE     AllocatePages;       // slot 12
  EFI_PEI_ALLOCATE_POOL      AllocatePool;        // slot 13
  EFI_PEI_COPY_MEM           CopyMem;             // slot 14
  EFI_PEI_SET_MEM            SetMem;              // slot 15
  EFI_PEI_REPORT_STATUS_CODE ReportStatusCode;    // slot 16
  EFI_PEI_UNUSED_SERVICE     ResetSystem;         // slot 17
  EFI_PEI_UNUSED_SERVICE     CpuIo;               // slot 18
  EFI_PEI_UNUSED_SERVICE     PciCfg;              // slot 19
  EFI_PEI_UNUSED_SERVICE     FfsFindFileByName;   // slot 20
  EFI_PEI_UNUSED_SERVICE     FfsGetFileInfo;      // slot 21
  EFI_PEI_UNUSED_SERVICE     FfsGetVolumeInfo;    // slot 22
  EFI_PEI_UNUSED_SERVICE     RegisterForShadow;   // slot 23
  EFI_PEI_UNUSED_SERVICE     FindSectionData3;    // slot 24
  EFI_PEI_UNUSED_SERVICE     FfsGetFileInfo2;     // slot 25
  EFI_PEI_UNUSED_SERVICE     ResetSystem2;        // slot 26
  EFI_PEI_UNUSED_SERVICE     FreePages;           // slot 27
};

/// Byte offset of service slot N after the table header.
constexpr UINTN PeiServiceSlotOffset(UINTN Slot) { return sizeof(EFI_TABLE_HEADER) + Slot * sizeof(VOID *); }
static_assert(offsetof(EFI_PEI_SERVICES, InstallPpi) == PeiServiceSlotOffset(0), "slot 0");
static_assert(offsetof(EFI_PEI_SERVICES, LocatePpi) == PeiServiceSlotOffset(2), "slot 2");
static_assert(offsetof(EFI_PEI_SERVICES, NotifyPpi) == PeiServiceSlotOffset(3), "slot 3");
static_assert(offsetof(EFI_PEI_SERVICES, GetBootMode) == PeiServiceSlotOffset(4), "slot 4");
static_assert(offsetof(EFI_PEI_SERVICES, GetHobList) == PeiServiceSlotOffset(6), "slot 6");
static_assert(offsetof(EFI_PEI_SERVICES, CreateHob) == PeiServiceSlotOffset(7), "slot 7");
static_assert(offsetof(EFI_PEI_SERVICES, AllocatePool) == PeiServiceSlotOffset(13), "slot 13");
static_assert(offsetof(EFI_PEI_SERVICES, SetMem) == PeiServiceSlotOffset(15), "slot 15");
static_assert(offsetof(EFI_PEI_SERVICES, ReportStatusCode) == PeiServiceSlotOffset(16), "slot 16");
static_assert(sizeof(EFI_PEI_SERVICES) == PeiServiceSlotOffset(28), "28 service slots");

constexpr UINT64 PEI_SERVICES_SIGNATURE = 0x5652455320494550ull;  // "PEI SERV"
