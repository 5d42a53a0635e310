/** @file
  CPUID, breakpoint, spin hint and the dead loop.
**/
extern "C" {
#include <Base.h>
#include <Library/BaseLib.h>
#include <Library/IoLib.h>
}
#include <Library/CpuIntrinsicsLib.h>

namespace {

constexpr UINTN kPostCodePort = 0x84;
constexpr UINT32 kDeadLoopPauseReads = 200000;
constexpr UINTN kHaltCodePort = 0xCB0;
constexpr UINT8 kHaltCode = 0xD2;
constexpr UINTN kBoardHaltPort = 0xE8;
constexpr UINT32 kHaltLoop = 0x4C6F6F70;  // "Loop"
constexpr UINT32 kHaltEnd = 0x4C456E64;   // "LEnd"

}  // namespace

extern "C" {

UINT32 EFIAPI AsmCpuid(IN UINT32 Index, OUT UINT32 *Eax, OUT UINT32 *Ebx, OUT UINT32 *Ecx, OUT UINT32 *Edx) {
  UINT32 Registers[4];
  CpuCpuid(Index, Registers);
  if (Eax != nullptr) *Eax = Registers[0];
  if (Ebx != nullptr) *Ebx = Registers[1];
  if (Ecx != nullptr) *Ecx = Registers[2];
  if (Edx != nullptr) *Edx = Registers[3];
  return Index;
}

VOID EFIAPI CpuBreakpoint(VOID) { CpuInt3(); }

VOID EFIAPI CpuPause(VOID) { CpuPauseHint(); }

VOID EFIAPI CpuDeadLoop(VOID) {
  for (UINT32 Index = 0; Index < kDeadLoopPauseReads; Index++) {
    IoRead8(kPostCodePort);
  }
  IoWrite8(kHaltCodePort, kHaltCode);
  IoWrite32(kBoardHaltPort, kHaltLoop);

  // Only a debugger changes this flag.
  volatile UINTN Released = 0;
  while (Released == 0) {
    CpuPause();
  }
  IoWrite32(kBoardHaltPort, kHaltEnd);
}
}
