/** @file
  Everything the boot stub writes lives here, in RAM below 1 MiB: the ROM holds code
  and constants only. The linker script places gRomRam at a fixed address; RomMain
  clears it and then initialises every field it uses explicitly.
**/
#pragma once

extern "C" {
#include <PiPei.h>
#include <Pi/PiPeiCis.h>
}

/// One IA32 interrupt gate.
struct ROM_IDT_GATE {
  UINT16 OffsetLow;
  UINT16 Selector;
  UINT8 Reserved;
  UINT8 Attributes;  // 0x8E: present, ring 0, 32-bit interrupt gate
  UINT16 OffsetHigh;
};
static_assert(sizeof(ROM_IDT_GATE) == 8, "an IA32 gate is 8 bytes");

/// Exception vectors the stub handles (the processor's reserved range).
constexpr UINTN kRomIdtEntries = 32;
/// PPIs and notifications the small PEI core can hold.
constexpr UINTN kRomMaxPpis = 24;
constexpr UINTN kRomMaxNotifies = 12;
/// Status-code records whose kind the stub keeps.
constexpr UINTN kRomMaxRecords = 16;
/// Temporary memory handed to the module: HOB list and pool.
constexpr UINTN kRomHobSpace = 0x10000;
constexpr UINTN kRomPoolSpace = 0x2000;

struct ROM_RAM {
  /// The word the module reads at IDT base - 4: the address of ServicesPointer.
  UINT8 Pad[4];
  UINT32 PeiServicesWord;
  ROM_IDT_GATE Idt[kRomIdtEntries];
  EFI_PEI_SERVICES *ServicesPointer;
  EFI_PEI_SERVICES Services;
  EFI_BOOT_MODE BootMode;
  CONST EFI_PEI_PPI_DESCRIPTOR *Ppis[kRomMaxPpis];
  UINTN PpiCount;
  CONST EFI_PEI_NOTIFY_DESCRIPTOR *Notifies[kRomMaxNotifies];
  UINTN NotifyCount;
  UINTN PoolUsed;
  UINTN StatusCodeCount;
  UINTN BreakpointCount;
  UINTN DruxCallCount;
  UINT32 LastStatusCodeValue;
  UINT32 RecordKinds[kRomMaxRecords];  // entry type of each record's data
  alignas(8) UINT8 HobSpace[kRomHobSpace];
  alignas(8) UINT8 PoolSpace[kRomPoolSpace];
};
static_assert(OFFSET_OF(ROM_RAM, Idt) - OFFSET_OF(ROM_RAM, PeiServicesWord) == 4,
                                                  "the services word sits right below the IDT");
static_assert(OFFSET_OF(ROM_RAM, Idt) % 8 == 0, "the IDT is 8-byte aligned");

extern "C" {
/// The stub's RAM, at the address the linker script gives it.
extern ROM_RAM gRomRam;
}
