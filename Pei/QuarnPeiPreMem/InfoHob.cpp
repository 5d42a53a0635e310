/** @file
  The product info HOB on the non-functional path: flow 2, every other field 0.

  Only the first HOB of the name that is long enough to hold the whole 16-byte record
  is written. A shorter one (another producer's malformed HOB) is passed over, never
  written past its end; when none is long enough a new one is built.
**/
extern "C" {
#include <PiPei.h>
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>
#include <Library/HobLib.h>
#include <Library/PeiServicesTablePointerLib.h>
}
#include <QuarnHob.h>

#include "QuarnPeiPreMem.h"

namespace {

/// HobLength of a HOB that holds the whole record.
constexpr UINT16 kInfoHobLength = sizeof(EFI_HOB_GUID_TYPE) + sizeof(QUARN_INFO_HOB);

/// Data of the first info HOB long enough for the record, or NULL.
QUARN_INFO_HOB *FindInfoHob() {
  for (VOID *Hob = GetFirstGuidHob(&gQuarnInfoHobGuid); Hob != nullptr;) {
    UINT8 *Start = static_cast<UINT8 *>(Hob);
    const UINT16 Length = QuarnHobLength(Hob);  // the HOB may lie at any address
    if (Length >= kInfoHobLength) {
      return reinterpret_cast<QUARN_INFO_HOB *>(Start + sizeof(EFI_HOB_GUID_TYPE));
    }
    Hob = GetNextGuidHob(&gQuarnInfoHobGuid, Start + Length);
  }
  return nullptr;
}

}  // namespace

extern "C" {

/**
  Writes the info HOB with the non-functional flow and prints what it wrote.
  @retval EFI_SUCCESS           an info HOB holding the record exists afterwards.
  @retval EFI_OUT_OF_RESOURCES  none could be created ("has not been registered").
**/
EFI_STATUS QuarnSetNonFunctional(VOID) {
  QUARN_INFO_HOB Info;
  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer();
  (*PeiServices)->SetMem(&Info, sizeof(Info), 0);
  Info.FeatureSet = 0;
  Info.FeatureSet2 = 0;
  Info.Flow = QUARN_FLOW_NON_FUNCTIONAL;
  Info.PwrOptBoot = 0;
  Info.Cores2Disable = 0;

  VOID *Data = FindInfoHob();
  if (Data == nullptr) {
    Data = BuildGuidHob(&gQuarnInfoHobGuid, sizeof(QUARN_INFO_HOB));
  }
  if (Data != nullptr) {
    CopyMem(Data, &Info, sizeof(Info));
  }

  DEBUG ((DEBUG_INFO,
          "%a HOB: flow %d, feature set 0x%08X, features 2 0x%08x, pwr opt boot %d, cores2disable %d\n",
          kQuarnPreMemTag, static_cast<UINT32>(Info.Flow), Info.FeatureSet, Info.FeatureSet2,
          static_cast<UINT32>(Info.PwrOptBoot), static_cast<UINT32>(Info.Cores2Disable)));
  DEBUG ((DEBUG_ERROR, "%a ERROR: VORN is non functional (flow %d)\n", kQuarnPreMemTag,
          static_cast<UINT32>(QUARN_FLOW_NON_FUNCTIONAL)));

  if (FindInfoHob() != nullptr) {
    return EFI_SUCCESS;
  }
  DEBUG ((DEBUG_ERROR, "%a ERROR: QUARN info HOB has not been registered\n", kQuarnPreMemTag));
  return EFI_OUT_OF_RESOURCES;
}
}
