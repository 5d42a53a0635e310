// Fuzz target: the policy config block table, walked by the lookup and read the way
// the flow reads the block it returns.
extern "C" {
#include <PiPei.h>
#include <Library/BaseLib.h>
}
#include <Library/VornGetPeiConfigBlockLib.h>

#include <cstdlib>
#include <cstring>

#include "Emulator/Emulator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  // The table in a buffer of exactly its size, so any read past it is caught.
  auto *Table = static_cast<uint8_t *>(std::malloc(Size == 0 ? 1 : Size));
  if (Size > 0) std::memcpy(Table, Data, Size);
  // TotalSize is all the lookup can know of the table's extent: a table that claims more
  // than it holds is not one the policy module can publish, so keep it within the buffer.
  if (Size >= 4) {
    uint16_t TotalSize;
    std::memcpy(&TotalSize, Table + 2, 2);
    if (TotalSize > Size) TotalSize = static_cast<uint16_t>(Size);
    std::memcpy(Table + 2, &TotalSize, 2);
  }
  if (Size < sizeof(CONFIG_BLOCK_TABLE_HEADER)) {  // not even the PPI's own header
    std::free(Table);
    return 0;
  }

  quarn::emu::Scenario S;
  S.PolicyInstalled = false;
  S.DebugPrintPpi = false;
  S.Uart1.Divisor = S.Uart2.Divisor = 1;
  S.Uart1.Lcr = S.Uart2.Lcr = 3;
  S.CmosErrorLevel = 0;
  quarn::emu::Emulator E{S};
  E.Activate();
  E.Core().InstallPpi(gVornPolicyPpiGuid, Table);

  VOID *Found = nullptr;
  FindConfigBlock(Table, &gQuarnPreMemConfigGuid, &Found);

  // The flow reads these three fields of the block the lookup hands it.
  if (const QUARN_PREMEM_CONFIG *Block = VornGetPeiConfigBlock()) {
    const auto *Bytes = reinterpret_cast<const uint8_t *>(Block);
    const uint32_t Fields =
        Bytes[offsetof(QUARN_PREMEM_CONFIG, PreDidResetEnable)] +
        ReadUnaligned32(reinterpret_cast<const UINT32 *>(Bytes + offsetof(QUARN_PREMEM_CONFIG, ClockConfig))) +
        ReadUnaligned32(reinterpret_cast<const UINT32 *>(Bytes + offsetof(QUARN_PREMEM_CONFIG, WatchdogConfig)));
    volatile uint32_t Sink = Fields;  // keeps the reads
    (void)Sink;
  }
  std::free(Table);
  return 0;
}
