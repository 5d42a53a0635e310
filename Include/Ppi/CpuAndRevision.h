/** @file
  The CPU-and-revision PPI: its PPI pointer is the CPU_AND_REVISION_RECORD.
**/
#pragma once

#include <Base.h>

inline constexpr EFI_GUID gCpuAndRevisionPpiGuid =
  {0x3D8E5A27, 0x61B4, 0x4C0F, {0x95, 0xD3, 0x0A, 0x7E, 0x24, 0xC1, 0x88, 0x5B}};
inline constexpr EFI_GUID gCpuAndRevisionRecordGuid =
  {0xB25C7D90, 0x4E13, 0x4A8B, {0x86, 0x1F, 0x5D, 0x33, 0xE0, 0x9A, 0x12, 0x7C}};

#pragma pack(push, 1)
typedef struct {
  EFI_GUID RecordGuid;     // gCpuAndRevisionRecordGuid once filled
  UINT16   RecordSize;     // 31
  UINT16   Reserved0;
  UINT8    CpuType;
  UINT16   Reserved1;
  UINT8    Reserved2;
  UINT8    Stepping;       // CPUID leaf 1 EAX bits 3:0
  UINT16   Reserved3;
  UINT32   FixedTag;       // CPU_AND_REVISION_FIXED_TAG
} CPU_AND_REVISION_RECORD;
#pragma pack(pop)

static_assert(sizeof(CPU_AND_REVISION_RECORD) == 31, "CPU-and-revision record is 31 bytes");
static_assert(offsetof(CPU_AND_REVISION_RECORD, RecordSize) == 16, "RecordSize at 16");
static_assert(offsetof(CPU_AND_REVISION_RECORD, CpuType) == 20, "CpuType at 20");
static_assert(offsetof(CPU_AND_REVISION_RECORD, Reserved1) == 21, "zero word at 21");
static_assert(offsetof(CPU_AND_REVISION_RECORD, Reserved2) == 23, "zero byte at 23");
static_assert(offsetof(CPU_AND_REVISION_RECORD, Stepping) == 24, "Stepping at 24");
static_assert(offsetof(CPU_AND_REVISION_RECORD, Reserved3) == 25, "zero word at 25");
static_assert(offsetof(CPU_AND_REVISION_RECORD, FixedTag) == 27, "FixedTag at 27");

constexpr UINT32 CPU_AND_REVISION_FIXED_TAG = 0xFA9A3825;
