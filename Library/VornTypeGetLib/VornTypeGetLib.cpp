/** @file
  Which kind of firmware runs in the VORN: the hardware conditions that settle it
  without asking, the VORN type HOB that caches an earlier answer, and the type line.

  Only a type HOB long enough to hold the whole record (30 bytes) is ever taken: a GUID
  HOB of the type's name that is shorter is stepped over and the search goes on, so its
  record fields are never read or written past its end.
**/
extern "C" {
#include <PiPei.h>
#include <Library/BaseLib.h>
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>
#include <Library/HobLib.h>
#include <Library/PeiServicesTablePointerLib.h>
}
#include <Library/VornStatusLib.h>
#include <Library/VornTypeGetLib.h>
#include <QuarnHob.h>
#include <Register/VornRegs.h>

namespace {

constexpr CHAR8 kGetVornTypeFromHob[] = "GetVornTypeFromHob";

/// FwType stored when the type was settled as disabled without asking the firmware.
constexpr UINT8 kFwTypeNotAsked = 0xFF;

struct VornTypeNameEntry {
  UINT32 Type;
  const CHAR8 *Name;
};

constexpr VornTypeNameEntry kVornTypeNames[] = {
    {VORN_TYPE_QUARN, "VORN_TYPE_QUARN"}, {VORN_TYPE_CLIENT, "VORN_TYPE_CLIENT"},     {VORN_TYPE_DFX, "VORN_TYPE_DFX"},
    {VORN_TYPE_UNDEF, "VORN_TYPE_UNDEF"}, {VORN_TYPE_DISABLED, "VORN_TYPE_DISABLED"},
};

constexpr CHAR8 kUnknownTypeName[] = "UNKNOWN";

/**
  The printed name of a type value.
  @param Type  Type value.
  @return The name from the table, or "UNKNOWN" for a value not in it.
**/
constexpr const CHAR8 *VornTypeName(UINT32 Type) {
  for (const VornTypeNameEntry &Entry : kVornTypeNames) {
    if (Entry.Type == Type) {
      return Entry.Name;
    }
  }
  return kUnknownTypeName;
}

/**
  The first well-formed VORN type HOB of the list: a GUID HOB named gVornTypeHobGuid whose
  HobLength covers the whole record. Shorter ones are skipped.
  @return The HOB, or NULL when the list holds no well-formed one.
**/
VORN_TYPE_HOB *FindVornTypeHob() {
  VOID *Hob = GetFirstGuidHob(&gVornTypeHobGuid);
  while (Hob != nullptr) {
    // GetNextGuidHob only matches HOBs that hold a whole GUID header, so the step is
    // at least 24 bytes and the search always moves on.
    const UINT16 Length = QuarnHobLength(Hob);  // the HOB may lie at any address
    if (Length >= sizeof(VORN_TYPE_HOB)) {
      return static_cast<VORN_TYPE_HOB *>(Hob);
    }
    Hob = GetNextGuidHob(&gVornTypeHobGuid, static_cast<UINT8 *>(Hob) + Length);
  }
  return nullptr;
}

/**
  Creates the type HOB and fills it.
  @param Type       VornType to store.
  @param FwType     FwType to store.
  @param FwSubType  FwSubType to store.
  @return TRUE when the HOB was created and filled; FALSE when CreateHob failed.
**/
BOOLEAN CreateVornTypeHob(UINT32 Type, UINT8 FwType, UINT8 FwSubType) {
  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer();
  VOID *Created = nullptr;
  const EFI_STATUS Status =
      (*PeiServices)
          ->CreateHob(PeiServices, EFI_HOB_TYPE_GUID_EXTENSION, static_cast<UINT16>(sizeof(VORN_TYPE_HOB)), &Created);
  if (EFI_ERROR(Status) || Created == nullptr) {
    return FALSE;
  }
  auto *Hob = static_cast<VORN_TYPE_HOB *>(Created);
  CopyGuid(&Hob->Header.Name, &gVornTypeHobGuid);
  Hob->VornType = Type;
  Hob->FwType = FwType;
  Hob->FwSubType = FwSubType;
  return TRUE;
}

}  // namespace

extern "C" {

/**
  The firmware type. DWR flow and Lumo flow answer VORN_TYPE_DISABLED at once; otherwise
  the type HOB (or the firmware) decides. An undetermined type prints both status registers.
  @return VORN_TYPE_QUARN, _CLIENT, _DFX, _UNDEF or _DISABLED.
**/
UINT32 GetVornType(VOID) {
  if ((VornReadDwrSts() & DWRSTS_DWR_FLOW) != 0) {
    DEBUG ((DEBUG_INFO, "DRUX: DWR flow return Disabled type\n"));
    return VORN_TYPE_DISABLED;
  }
  if (QuarnIsLumoFlow()) {
    DEBUG ((DEBUG_INFO, "DRUX: QUARN Lumo flow return Disabled type\n"));
    return VORN_TYPE_DISABLED;
  }
  const UINT32 Type = GetVornTypeFromHob();
  if (Type == VORN_TYPE_UNDEF) {
    [[maybe_unused]] const UINT32 Fs2 = VornReadFs2();
    [[maybe_unused]] const UINT32 Fs1 = VornReadFs1();
    DEBUG ((DEBUG_ERROR, "DRUX: VORN type not recognized (VORNFS1: 0x%08X, VORNFS2: 0x%08X)\n", Fs1, Fs2));
  }
  return Type;
}

/**
  TRUE exactly when the firmware type is VORN_TYPE_QUARN (DFX does not count).
**/
BOOLEAN VornTypeIsQuarn(VOID) { return GetVornType() == VORN_TYPE_QUARN ? TRUE : FALSE; }

/**
  The type from the type HOB. With a HOB, CurrentState 4 downgrades a stored QUARN or DFX
  type to disabled in place. Without one, the type is settled (disabled conditions, else
  the firmware's answer) and, when definite, stored in a new HOB and printed.
  @return The stored type, or VORN_TYPE_UNDEF when no HOB holds one afterwards.
**/
UINT32 GetVornTypeFromHob(VOID) {
  // One reading serves both state tests below.
  const UINT32 Fs1 = VornReadFs1();
  const BOOLEAN Disabled = VornCurrentState(Fs1) == VORN_STATE_DISABLED ? TRUE : FALSE;
  UINT32 Result = VORN_TYPE_UNDEF;

  VORN_TYPE_HOB *Hob = FindVornTypeHob();
  if (Hob != nullptr) {
    if (Disabled && Hob->VornType != VORN_TYPE_DISABLED && Hob->VornType != VORN_TYPE_CLIENT) {
      Hob->VornType = VORN_TYPE_DISABLED;
    }
    Result = Hob->VornType;
  } else {
    UINT8 FwType = 0;
    UINT8 FwSubType = 0;
    UINT32 Type;
    if ((VornReadDwrSts() & DWRSTS_DWR_FLOW) != 0 || Disabled || QuarnIsLumoFlow()) {
      Type = VORN_TYPE_DISABLED;
      FwType = kFwTypeNotAsked;
      FwSubType = 0;
    } else {
      Type = PeiDruxGetVornType(&FwType, &FwSubType);
    }

    if (Type != VORN_TYPE_UNDEF && CreateVornTypeHob(Type, FwType, FwSubType)) {
      // PrintVornType asks again and must find the new HOB; were it unreachable (a
      // malformed HOB ahead of it ends every walk), the nested call would create and
      // print again, without end.
      if (FindVornTypeHob() != nullptr) {
        PrintVornType();
      }
    }
    Hob = FindVornTypeHob();
    Result = Hob != nullptr ? Hob->VornType : VORN_TYPE_UNDEF;
  }

  DEBUG ((DEBUG_INFO, "DRUX: %a returns %d\n", kGetVornTypeFromHob, Result));
  return Result;
}

/**
  Prints the type line "[DRUX] [VORN] (VornType is NAME)" in three prints at error level.
**/
VOID PrintVornType(VOID) {
  [[maybe_unused]] const UINT32 Type = GetVornType();
  DEBUG ((DEBUG_ERROR, "[DRUX] %s (VornType is ", u"[VORN]"));
  DEBUG ((DEBUG_ERROR, VornTypeName(Type)));
  DEBUG ((DEBUG_ERROR, ")\n"));
}
}
