// Interfaces every emulated device implements: I/O ports, memory-mapped registers or
// PCI configuration space. A device names itself and its registers for the trace.
#pragma once

#include <cstdint>
#include <string>

namespace quarn::emu {

class Board;

/// A device reached through I/O ports.
class IoDevice {
 public:
  virtual ~IoDevice() = default;
  virtual std::string Name() const = 0;
  /// Width is 1 or 4 bytes.
  virtual uint32_t IoRead(uint16_t Port, unsigned Width) = 0;
  virtual void IoWrite(uint16_t Port, unsigned Width, uint32_t Value) = 0;
  virtual std::string RegisterName(uint16_t Port) const { return {}; }
};

/// A device reached through memory-mapped registers.
class MmioDevice {
 public:
  virtual ~MmioDevice() = default;
  virtual std::string Name() const = 0;
  virtual uint32_t MmioRead(uint32_t Address, unsigned Width) = 0;
  virtual void MmioWrite(uint32_t Address, unsigned Width, uint32_t Value) = 0;
  virtual std::string RegisterName(uint32_t Address) const { return {}; }
};

/// One PCI function's configuration space (4 KiB).
class PciFunction {
 public:
  virtual ~PciFunction() = default;
  virtual std::string Name() const = 0;
  virtual uint32_t ConfigRead(uint16_t Offset, unsigned Width) = 0;
  virtual void ConfigWrite(uint16_t Offset, unsigned Width, uint32_t Value) = 0;
  virtual std::string RegisterName(uint16_t Offset) const { return {}; }
};

/// Bits of a 32-bit register value as a Width-byte access at Offset sees them.
inline uint32_t ExtractBytes(uint32_t Dword, unsigned ByteOffset, unsigned Width) {
  const uint32_t Shifted = Dword >> (8 * ByteOffset);
  return Width >= 4 ? Shifted : Shifted & ((1u << (8 * Width)) - 1);
}

}  // namespace quarn::emu
