/** @file
  Compiled (never linked) with the structure layout other IA32 firmware builds use:
  64-bit fields aligned to 8 bytes. Every structure the module shares with a PEI core or
  another module carries static_asserts on its size and offsets in its header; the host
  and firmware builds check them with 64-bit fields aligned to 4, this file with them
  aligned to 8, so a structure whose layout depends on the rule fails one of the builds.
**/
#include <Guid/QuarnInfoHob.h>
#include <Guid/StaticPointerTableHob.h>
#include <Guid/VornTypeHob.h>
#include <Pi/PiHob.h>
#include <Pi/PiMultiPhase.h>
#include <Pi/PiPeiCis.h>
#include <Pi/PiStatusCode.h>
#include <Ppi/CpuAndRevision.h>
#include <Ppi/DebugPrint.h>
#include <Ppi/Drux.h>
#include <Ppi/MemoryDiscovered.h>
#include <Ppi/MpServices.h>
#include <Ppi/VornPolicy.h>

namespace {
/// Proves the compiler is applying the 8-byte rule here, so the checks above mean something.
struct LayoutProbe {
  UINT32 Low;
  UINT64 Wide;
};
static_assert(offsetof(LayoutProbe, Wide) == 8, "compile this file with 64-bit fields aligned to 8");
}  // namespace
