/** @file
  The hardware seam in the host build: each operation is forwarded to the current
  emulated board. An operation without a board is a fault of the test set-up.
**/
#include "CpuIntrinsicsBackend.h"

#include <cstdio>
#include <cstdlib>

namespace {

/// The one board the seam forwards to.
CpuIntrinsicsBackend *gCurrentBoard = nullptr;

/// The current board; notes the stack pointer of the seam operation calling it (inlined
/// into each operation, so the frame is the operation's own, right below the module's).
__attribute__((always_inline)) inline CpuIntrinsicsBackend &Board() {
  if (gCurrentBoard == nullptr) {
    (void)std::fprintf(stderr, "hardware access without an emulated board\n");  // the abort says it anyway
    std::abort();
  }
  gCurrentBoard->NoteStackPointer(reinterpret_cast<UINTN>(__builtin_frame_address(0)));
  return *gCurrentBoard;
}

}  // namespace

void SetCpuIntrinsicsBackend(CpuIntrinsicsBackend *Backend) { gCurrentBoard = Backend; }

CpuIntrinsicsBackend *GetCpuIntrinsicsBackend() { return gCurrentBoard; }

extern "C" {

UINT8 CpuIoRead8(IN UINT16 Port) { return Board().IoRead8(Port); }
VOID CpuIoWrite8(IN UINT16 Port, IN UINT8 Value) { Board().IoWrite8(Port, Value); }
UINT32 CpuIoRead32(IN UINT16 Port) { return Board().IoRead32(Port); }
VOID CpuIoWrite32(IN UINT16 Port, IN UINT32 Value) { Board().IoWrite32(Port, Value); }
UINT8 CpuMmioRead8(IN UINTN Address) { return Board().MmioRead8(Address); }
VOID CpuMmioWrite8(IN UINTN Address, IN UINT8 Value) { Board().MmioWrite8(Address, Value); }
UINT32 CpuMmioRead32(IN UINTN Address) { return Board().MmioRead32(Address); }
VOID CpuMmioWrite32(IN UINTN Address, IN UINT32 Value) { Board().MmioWrite32(Address, Value); }
VOID CpuCpuid(IN UINT32 Leaf, OUT UINT32 Registers[4]) { Board().Cpuid(Leaf, Registers); }
VOID CpuSidt(OUT IA32_DESCRIPTOR *Idtr) { Board().Sidt(Idtr); }
VOID CpuReadMm0(OUT UINT64 *Value) { *Value = Board().ReadMm(0); }
VOID CpuWriteMm0(IN CONST UINT64 *Value) { Board().WriteMm(0, *Value); }
VOID CpuReadMm7(OUT UINT64 *Value) { *Value = Board().ReadMm(7); }
VOID CpuWriteMm7(IN CONST UINT64 *Value) { Board().WriteMm(7, *Value); }
VOID CpuInt3(VOID) { Board().Breakpoint(); }
VOID CpuPauseHint(VOID) { Board().Pause(); }
}
