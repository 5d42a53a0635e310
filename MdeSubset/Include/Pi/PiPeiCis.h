/** @file
  The PEI Services table, the PPI and notification descriptors, and the calling forms
  of every service. Slot order is fixed: a service is found by its position after the
  table header.
**/
#ifndef __PI_PEICIS_H__
#define __PI_PEICIS_H__

#include <Uefi/UefiMultiPhase.h>
#include <Pi/PiMultiPhase.h>

typedef VOID *EFI_PEI_FV_HANDLE;
typedef VOID *EFI_PEI_FILE_HANDLE;

typedef struct _EFI_PEI_SERVICES EFI_PEI_SERVICES;
typedef struct _EFI_PEI_NOTIFY_DESCRIPTOR EFI_PEI_NOTIFY_DESCRIPTOR;

#include <Ppi/CpuIo.h>
#include <Ppi/PciCfg2.h>

typedef
EFI_STATUS
(EFIAPI *EFI_PEIM_ENTRY_POINT2)(
  IN EFI_PEI_FILE_HANDLE     FileHandle,
  IN CONST EFI_PEI_SERVICES  **PeiServices
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEIM_NOTIFY_ENTRY_POINT)(
  IN EFI_PEI_SERVICES           **PeiServices,
  IN EFI_PEI_NOTIFY_DESCRIPTOR  *NotifyDescriptor,
  IN VOID                       *Ppi
  );

#define EFI_PEI_PPI_DESCRIPTOR_PIC              0x00000001
#define EFI_PEI_PPI_DESCRIPTOR_PPI              0x00000010
#define EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK  0x00000020
#define EFI_PEI_PPI_DESCRIPTOR_NOTIFY_DISPATCH  0x00000040
#define EFI_PEI_PPI_DESCRIPTOR_NOTIFY_TYPES     0x00000060
#define EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST   0x80000000

///
/// Names a PPI and where it is; a list ends with the one whose flags carry TERMINATE_LIST.
///
typedef struct {
  UINTN     Flags;
  EFI_GUID  *Guid;
  VOID      *Ppi;
} EFI_PEI_PPI_DESCRIPTOR;
STATIC_ASSERT (sizeof (EFI_PEI_PPI_DESCRIPTOR) == 12, "PPI descriptor is 12 bytes on IA32");

///
/// Asks for Notify to be called once the PPI named Guid is installed.
///
struct _EFI_PEI_NOTIFY_DESCRIPTOR {
  UINTN                        Flags;
  EFI_GUID                     *Guid;
  EFI_PEIM_NOTIFY_ENTRY_POINT  Notify;
};
STATIC_ASSERT (sizeof (EFI_PEI_NOTIFY_DESCRIPTOR) == 12, "notify descriptor is 12 bytes on IA32");

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_INSTALL_PPI)(
  IN CONST EFI_PEI_SERVICES        **PeiServices,
  IN CONST EFI_PEI_PPI_DESCRIPTOR  *PpiList
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_REINSTALL_PPI)(
  IN CONST EFI_PEI_SERVICES        **PeiServices,
  IN CONST EFI_PEI_PPI_DESCRIPTOR  *OldPpi,
  IN CONST EFI_PEI_PPI_DESCRIPTOR  *NewPpi
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_LOCATE_PPI)(
  IN CONST EFI_PEI_SERVICES     **PeiServices,
  IN CONST EFI_GUID             *Guid,
  IN UINTN                      Instance,
  IN OUT EFI_PEI_PPI_DESCRIPTOR **PpiDescriptor OPTIONAL,
  IN OUT VOID                   **Ppi
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_NOTIFY_PPI)(
  IN CONST EFI_PEI_SERVICES           **PeiServices,
  IN CONST EFI_PEI_NOTIFY_DESCRIPTOR  *NotifyList
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_GET_BOOT_MODE)(
  IN CONST EFI_PEI_SERVICES  **PeiServices,
  OUT EFI_BOOT_MODE          *BootMode
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_SET_BOOT_MODE)(
  IN CONST EFI_PEI_SERVICES  **PeiServices,
  IN EFI_BOOT_MODE           BootMode
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_GET_HOB_LIST)(
  IN CONST EFI_PEI_SERVICES  **PeiServices,
  OUT VOID                   **HobList
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_CREATE_HOB)(
  IN CONST EFI_PEI_SERVICES  **PeiServices,
  IN UINT16                  Type,
  IN UINT16                  Length,
  IN OUT VOID                **Hob
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_FFS_FIND_NEXT_VOLUME2)(
  IN CONST EFI_PEI_SERVICES  **PeiServices,
  IN UINTN                   Instance,
  OUT EFI_PEI_FV_HANDLE      *VolumeHandle
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_FFS_FIND_NEXT_FILE2)(
  IN CONST EFI_PEI_SERVICES   **PeiServices,
  IN EFI_FV_FILETYPE          SearchType,
  IN CONST EFI_PEI_FV_HANDLE  FvHandle,
  IN OUT EFI_PEI_FILE_HANDLE  *FileHandle
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_FFS_FIND_SECTION_DATA2)(
  IN CONST EFI_PEI_SERVICES  **PeiServices,
  IN EFI_SECTION_TYPE        SectionType,
  IN EFI_PEI_FILE_HANDLE     FileHandle,
  OUT VOID                   **SectionData
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_FFS_FIND_SECTION_DATA3)(
  IN CONST EFI_PEI_SERVICES  **PeiServices,
  IN EFI_SECTION_TYPE        SectionType,
  IN UINTN                   SectionInstance,
  IN EFI_PEI_FILE_HANDLE     FileHandle,
  OUT VOID                   **SectionData,
  OUT UINT32                 *AuthenticationStatus
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_INSTALL_PEI_MEMORY)(
  IN CONST EFI_PEI_SERVICES  **PeiServices,
  IN EFI_PHYSICAL_ADDRESS    MemoryBegin,
  IN UINT64                  MemoryLength
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_ALLOCATE_PAGES)(
  IN CONST EFI_PEI_SERVICES  **PeiServices,
  IN EFI_MEMORY_TYPE         MemoryType,
  IN UINTN                   Pages,
  OUT EFI_PHYSICAL_ADDRESS   *Memory
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_FREE_PAGES)(
  IN CONST EFI_PEI_SERVICES  **PeiServices,
  IN EFI_PHYSICAL_ADDRESS    Memory,
  IN UINTN                   Pages
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_ALLOCATE_POOL)(
  IN CONST EFI_PEI_SERVICES  **PeiServices,
  IN UINTN                   Size,
  OUT VOID                   **Buffer
  );

typedef
VOID
(EFIAPI *EFI_PEI_COPY_MEM)(
  IN VOID   *Destination,
  IN VOID   *Source,
  IN UINTN  Length
  );

typedef
VOID
(EFIAPI *EFI_PEI_SET_MEM)(
  IN VOID   *Buffer,
  IN UINTN  Size,
  IN UINT8  Value
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_REPORT_STATUS_CODE)(
  IN CONST EFI_PEI_SERVICES      **PeiServices,
  IN EFI_STATUS_CODE_TYPE        Type,
  IN EFI_STATUS_CODE_VALUE       Value,
  IN UINT32                      Instance,
  IN CONST EFI_GUID              *CallerId OPTIONAL,
  IN CONST EFI_STATUS_CODE_DATA  *Data OPTIONAL
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_RESET_SYSTEM)(
  IN CONST EFI_PEI_SERVICES  **PeiServices
  );

typedef
VOID
(EFIAPI *EFI_PEI_RESET2_SYSTEM)(
  IN EFI_RESET_TYPE  ResetType,
  IN EFI_STATUS      ResetStatus,
  IN UINTN           DataSize,
  IN VOID            *ResetData OPTIONAL
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_FFS_FIND_BY_NAME)(
  IN CONST EFI_GUID      *FileName,
  IN EFI_PEI_FV_HANDLE   VolumeHandle,
  OUT EFI_PEI_FILE_HANDLE *FileHandle
  );

typedef struct {
  EFI_GUID                FileName;
  EFI_FV_FILETYPE         FileType;
  EFI_FV_FILE_ATTRIBUTES  FileAttributes;
  VOID                    *Buffer;
  UINT32                  BufferSize;
} EFI_FV_FILE_INFO;

typedef struct {
  EFI_GUID                FileName;
  EFI_FV_FILETYPE         FileType;
  EFI_FV_FILE_ATTRIBUTES  FileAttributes;
  VOID                    *Buffer;
  UINT32                  BufferSize;
  UINT32                  AuthenticationStatus;
} EFI_FV_FILE_INFO2;

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_FFS_GET_FILE_INFO)(
  IN EFI_PEI_FILE_HANDLE  FileHandle,
  OUT EFI_FV_FILE_INFO    *FileInfo
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_FFS_GET_FILE_INFO2)(
  IN EFI_PEI_FILE_HANDLE  FileHandle,
  OUT EFI_FV_FILE_INFO2   *FileInfo
  );

typedef struct {
  EFI_FVB_ATTRIBUTES_2  FvAttributes;
  EFI_GUID              FvFormat;
  EFI_GUID              FvName;
  VOID                  *FvStart;
  UINT64                FvSize;
} EFI_FV_INFO;

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_FFS_GET_VOLUME_INFO)(
  IN EFI_PEI_FV_HANDLE  VolumeHandle,
  OUT EFI_FV_INFO       *VolumeInfo
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_REGISTER_FOR_SHADOW)(
  IN EFI_PEI_FILE_HANDLE  FileHandle
  );

#define PEI_SERVICES_SIGNATURE  0x5652455320494550ULL

///
/// The PEI Services table: the header, then one pointer per service.
///
struct _EFI_PEI_SERVICES {
  EFI_TABLE_HEADER                Hdr;
  EFI_PEI_INSTALL_PPI             InstallPpi;
  EFI_PEI_REINSTALL_PPI           ReInstallPpi;
  EFI_PEI_LOCATE_PPI              LocatePpi;
  EFI_PEI_NOTIFY_PPI              NotifyPpi;
  EFI_PEI_GET_BOOT_MODE           GetBootMode;
  EFI_PEI_SET_BOOT_MODE           SetBootMode;
  EFI_PEI_GET_HOB_LIST            GetHobList;
  EFI_PEI_CREATE_HOB              CreateHob;
  EFI_PEI_FFS_FIND_NEXT_VOLUME2   FfsFindNextVolume;
  EFI_PEI_FFS_FIND_NEXT_FILE2     FfsFindNextFile;
  EFI_PEI_FFS_FIND_SECTION_DATA2  FfsFindSectionData;
  EFI_PEI_INSTALL_PEI_MEMORY      InstallPeiMemory;
  EFI_PEI_ALLOCATE_PAGES          AllocatePages;
  EFI_PEI_ALLOCATE_POOL           AllocatePool;
  EFI_PEI_COPY_MEM                CopyMem;
  EFI_PEI_SET_MEM                 SetMem;
  EFI_PEI_REPORT_STATUS_CODE      ReportStatusCode;
  EFI_PEI_RESET_SYSTEM            ResetSystem;
  EFI_PEI_CPU_IO_PPI              *CpuIo;
  EFI_PEI_PCI_CFG2_PPI            *PciCfg;
  EFI_PEI_FFS_FIND_BY_NAME        FfsFindFileByName;
  EFI_PEI_FFS_GET_FILE_INFO       FfsGetFileInfo;
  EFI_PEI_FFS_GET_VOLUME_INFO     FfsGetVolumeInfo;
  EFI_PEI_REGISTER_FOR_SHADOW     RegisterForShadow;
  EFI_PEI_FFS_FIND_SECTION_DATA3  FindSectionData3;
  EFI_PEI_FFS_GET_FILE_INFO2      FfsGetFileInfo2;
  EFI_PEI_RESET2_SYSTEM           ResetSystem2;
  EFI_PEI_FREE_PAGES              FreePages;
};
STATIC_ASSERT (OFFSET_OF (EFI_PEI_SERVICES, InstallPpi) == 24, "slot 0 follows the 24-byte header");
STATIC_ASSERT (OFFSET_OF (EFI_PEI_SERVICES, LocatePpi) == 24 + 2 * 4, "slot 2");
STATIC_ASSERT (OFFSET_OF (EFI_PEI_SERVICES, NotifyPpi) == 24 + 3 * 4, "slot 3");
STATIC_ASSERT (OFFSET_OF (EFI_PEI_SERVICES, GetBootMode) == 24 + 4 * 4, "slot 4");
STATIC_ASSERT (OFFSET_OF (EFI_PEI_SERVICES, GetHobList) == 24 + 6 * 4, "slot 6");
STATIC_ASSERT (OFFSET_OF (EFI_PEI_SERVICES, CreateHob) == 24 + 7 * 4, "slot 7");
STATIC_ASSERT (OFFSET_OF (EFI_PEI_SERVICES, AllocatePool) == 24 + 13 * 4, "slot 13");
STATIC_ASSERT (OFFSET_OF (EFI_PEI_SERVICES, SetMem) == 24 + 15 * 4, "slot 15");
STATIC_ASSERT (OFFSET_OF (EFI_PEI_SERVICES, ReportStatusCode) == 24 + 16 * 4, "slot 16");
STATIC_ASSERT (sizeof (EFI_PEI_SERVICES) == 24 + 28 * 4, "28 service slots");

#endif
