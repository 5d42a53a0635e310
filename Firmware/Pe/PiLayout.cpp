/** @file
  Compiled (never linked) with the structure layout other IA32 firmware builds use:
  64-bit fields aligned to 8 bytes. Every structure the module shares with a PEI core or
  another module carries static_asserts on its size and offsets in its header; the host
  and firmware builds check them with 64-bit fields aligned to 4, this file with them
  aligned to 8, so a structure whose layout depends on the rule fails one of the builds.
**/
extern "C" {
#include <PiPei.h>
}
#include <Guid/QuarnInfoHob.h>
#include <Guid/StaticPointerTableHob.h>
#include <Guid/VornTypeHob.h>
extern "C" {
#include <PiPei.h>
#include <Pi/PiHob.h>
#include <Pi/PiMultiPhase.h>
#include <Pi/PiPeiCis.h>
#include <Pi/PiStatusCode.h>
#include <Ppi/MemoryDiscovered.h>
#include <Ppi/MpServices.h>
}
#include <Ppi/CpuAndRevision.h>
#include <Ppi/DebugPrint.h>
#include <Ppi/Drux.h>
#include <Ppi/VornPolicy.h>

namespace {
/// Proves the compiler is applying the 8-byte rule here, so the checks above mean something.
struct LayoutProbe {
  UINT32 Low;
  UINT64 Wide;
};
static_assert(OFFSET_OF(LayoutProbe, Wide) == 8, "compile this file with 64-bit fields aligned to 8");

// Under this rule four shared structures are 8-byte aligned (with 4 under ours) while
// their sizes and offsets stay the same: the handoff HOB, the table header, the services
// table and the pointer table. The one of them the module places itself, the pointer
// table, starts 24 bytes into an 8-byte aligned HOB: aligned under either rule.
static_assert(alignof(EFI_HOB_HANDOFF_INFO_TABLE) == 8 && alignof(EFI_TABLE_HEADER) == 8 &&
                  alignof(EFI_PEI_SERVICES) == 8 && alignof(STATIC_POINTER_TABLE) == 8,
              "the 8-byte aligned ones");
static_assert(sizeof(EFI_HOB_GUID_TYPE) % alignof(STATIC_POINTER_TABLE) == 0, "the table is aligned in its HOB");
}  // namespace
