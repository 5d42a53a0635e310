/** @file
  What the emulated hardware seam forwards to: the board the module currently runs on.
  Host builds only.
**/
#pragma once

#include <Library/CpuIntrinsicsLib.h>

/// The board behind the emulated seam. One operation per seam operation.
class CpuIntrinsicsBackend {
 public:
  virtual ~CpuIntrinsicsBackend() = default;
  virtual UINT8 IoRead8(UINT16 Port) = 0;
  virtual void IoWrite8(UINT16 Port, UINT8 Value) = 0;
  virtual UINT32 IoRead32(UINT16 Port) = 0;
  virtual void IoWrite32(UINT16 Port, UINT32 Value) = 0;
  virtual UINT8 MmioRead8(UINTN Address) = 0;
  virtual void MmioWrite8(UINTN Address, UINT8 Value) = 0;
  virtual UINT32 MmioRead32(UINTN Address) = 0;
  virtual void MmioWrite32(UINTN Address, UINT32 Value) = 0;
  virtual void Cpuid(UINT32 Leaf, UINT32 Registers[4]) = 0;
  virtual void Sidt(IA32_DESCRIPTOR *Idtr) = 0;
  virtual UINT64 ReadMm(unsigned Index) = 0;
  virtual void WriteMm(unsigned Index, UINT64 Value) = 0;
  virtual void Breakpoint() = 0;
  virtual void Pause() = 0;
  /// The stack pointer of the module's code at a hardware access (its caller's frame
  /// lies just above it), for measuring how deep the module's stack goes.
  virtual void NoteStackPointer(UINTN StackPointer) {}
};

/// Makes Backend the board the seam forwards to (nullptr: none).
void SetCpuIntrinsicsBackend(CpuIntrinsicsBackend *Backend);

/// The board the seam forwards to, or nullptr.
CpuIntrinsicsBackend *GetCpuIntrinsicsBackend();
