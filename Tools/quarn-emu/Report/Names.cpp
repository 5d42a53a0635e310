#include "Names.h"

extern "C" {
#include <PiPei.h>
}
#include <Guid/QuarnInfoHob.h>
#include <Guid/StaticPointerTableHob.h>
#include <Guid/VornTypeHob.h>
#include <Ppi/CpuAndRevision.h>
#include <Ppi/DebugPrint.h>
#include <Ppi/Drux.h>
extern "C" {
#include <Ppi/MemoryDiscovered.h>
#include <Ppi/MpServices.h>
}
#include <Ppi/VornPolicy.h>

#include <cstring>

namespace quarn::emu::cli {

namespace {

struct NamedGuid {
  const EFI_GUID *Guid;
  const char *Name;
};

const NamedGuid kPpis[] = {
    {&gDruxPpiGuid, "DRUX_PPI"},
    {&gVornPolicyPpiGuid, "VORN_POLICY_PPI"},
    {&gDebugPrintPpiGuid, "DEBUG_PRINT_PPI"},
    {&gCpuAndRevisionPpiGuid, "CPU_AND_REVISION_PPI"},
    {&gEfiPeiMemoryDiscoveredPpiGuid, "MEMORY_DISCOVERED_PPI"},
    {&gEfiPeiMpServicesPpiGuid, "MP_SERVICES_PPI"},
};

}  // namespace

uint64_t GuidHead(const void *Guid) {
  uint64_t Head = 0;
  std::memcpy(&Head, Guid, sizeof Head);
  return Head;
}

std::string PpiName(uint64_t Head) {
  if (Head == 0) return {};
  for (const NamedGuid &Ppi : kPpis) {
    if (GuidHead(Ppi.Guid) == Head) return Ppi.Name;
  }
  return {};
}

std::string VornTypeName(uint32_t Type) {
  switch (Type) {
    case VORN_TYPE_QUARN: return "VORN_TYPE_QUARN";
    case VORN_TYPE_CLIENT: return "VORN_TYPE_CLIENT";
    case VORN_TYPE_DFX: return "VORN_TYPE_DFX";
    case VORN_TYPE_UNDEF: return "VORN_TYPE_UNDEF";
    case VORN_TYPE_DISABLED: return "VORN_TYPE_DISABLED";
    default: return "UNKNOWN";
  }
}

std::string HobNameForLength(uint64_t Length) {
  if (Length == sizeof(VORN_TYPE_HOB)) return "VORN type HOB";
  if (Length == sizeof(EFI_HOB_GUID_TYPE) + sizeof(QUARN_INFO_HOB)) return "info HOB";
  if (Length == STATIC_POINTER_TABLE_HOB_LENGTH) return "static pointer table HOB";
  return {};
}

}  // namespace quarn::emu::cli
