/** @file
  The CPU-and-revision PPI: its PPI pointer is the CPU_AND_REVISION_RECORD. C as well as C++.
**/
#ifndef QUARN_PPI_CPU_AND_REVISION_H_
#define QUARN_PPI_CPU_AND_REVISION_H_

#pragma pack(push, 1)
typedef struct {
  EFI_GUID  RecordGuid;     ///< gCpuAndRevisionRecordGuid once filled
  UINT16    RecordSize;     ///< 31
  UINT16    Reserved0;
  UINT8     CpuType;
  UINT16    Reserved1;
  UINT8     Reserved2;
  UINT8     Stepping;       ///< CPUID leaf 1 EAX bits 3:0
  UINT16    Reserved3;
  UINT32    FixedTag;       ///< CPU_AND_REVISION_FIXED_TAG
} CPU_AND_REVISION_RECORD;
#pragma pack(pop)

STATIC_ASSERT (sizeof (CPU_AND_REVISION_RECORD) == 31, "CPU-and-revision record is 31 bytes");
STATIC_ASSERT (OFFSET_OF (CPU_AND_REVISION_RECORD, RecordSize) == 16, "RecordSize at 16");
STATIC_ASSERT (OFFSET_OF (CPU_AND_REVISION_RECORD, CpuType) == 20, "CpuType at 20");
STATIC_ASSERT (OFFSET_OF (CPU_AND_REVISION_RECORD, Reserved1) == 21, "zero word at 21");
STATIC_ASSERT (OFFSET_OF (CPU_AND_REVISION_RECORD, Reserved2) == 23, "zero byte at 23");
STATIC_ASSERT (OFFSET_OF (CPU_AND_REVISION_RECORD, Stepping) == 24, "Stepping at 24");
STATIC_ASSERT (OFFSET_OF (CPU_AND_REVISION_RECORD, Reserved3) == 25, "zero word at 25");
STATIC_ASSERT (OFFSET_OF (CPU_AND_REVISION_RECORD, FixedTag) == 27, "FixedTag at 27");

#define CPU_AND_REVISION_FIXED_TAG  0xFA9A3825

#ifdef __cplusplus
extern "C" {
#endif
extern EFI_GUID  gCpuAndRevisionPpiGuid;
extern EFI_GUID  gCpuAndRevisionRecordGuid;
#ifdef __cplusplus
}
#endif

#endif
