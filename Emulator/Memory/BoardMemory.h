// The board's RAM as the module sees it: temporary RAM and permanent memory at fixed
// 32-bit addresses, mapped at those very addresses in the IA32 process, so that every
// address the module stores or prints (HOBs, pool, the services word, its stack, MM7) is
// the same on every run, machine and build tree.
//
// The memory map (defaults; a scenario's [memory] table moves them):
//
//   0x00800000  temporary RAM, 1 MiB (more when the [pei] spaces need it): low in memory,
//               where a virtual machine's firmware keeps its temporary RAM. A board whose
//               cache-as-RAM sits near 4 GiB cannot be mirrored: the host keeps the range
//               from 0xC0000000 up for itself.
//   0x7C000000  permanent memory, 64 MiB up to 0x80000000: the top of low memory, right
//               below the PCI Express window (the window and MMIO are reached through the
//               hardware seam, never as host memory).
//
// A board's windows lie in 0x00100000-0x07FFFFFF or 0x60000000-0x7FFFFFFF: the host's
// program, heap, libraries and ASan's shadow lie elsewhere on every machine, in every
// build and under qemu-i386 too, and the process reserves both ranges before main, so a
// scenario that loads in one of them loads in all.
//
// Each range is opened once per process and kept: every board reuses
// it, so thousands of runs in one process keep a flat peak. A board claims the map for
// its lifetime; only one board may hold it at a time. Only what the PEI core opens is
// usable: the rest of both windows is poisoned under AddressSanitizer, so an access past
// the HOB list, the pool or the stack is caught as an overflow would be on the host heap.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace quarn::emu {

/// Where the board's RAM lies in the 32-bit address space.
struct MemoryMap {
  static constexpr uint32_t kDefaultTemporaryRamBase = 0x00800000;
  static constexpr uint32_t kMinTemporaryRamSize = 0x00100000;  // 1 MiB
  static constexpr uint32_t kDefaultPermanentMemoryBase = 0x7C000000;
  static constexpr uint32_t kDefaultPermanentMemorySize = 0x04000000;  // 64 MiB, up to 0x80000000
  static constexpr uint32_t kAlignment = 0x1000;                       // a page

  uint32_t TemporaryRamBase = kDefaultTemporaryRamBase;
  uint32_t TemporaryRamSize = 0;  // 0: 1 MiB, or the next MiB above what the PEI core needs
  uint32_t PermanentMemoryBase = kDefaultPermanentMemoryBase;
  uint32_t PermanentMemorySize = kDefaultPermanentMemorySize;

  /// The map with TemporaryRamSize settled for a PEI core that needs Needed bytes.
  MemoryMap Resolved(uint64_t Needed) const;

  bool operator==(const MemoryMap &) const = default;
};

/// What is wrong with a map: the scenario key it concerns and why.
struct MemoryMapProblem {
  std::string Key;  // e.g. "memory.temporary_ram_base"
  std::string Text;
};

/// Checks Unresolved (sizes resolved or not) for a PEI core that needs Needed bytes in each
/// window: page alignment, both windows inside the RAM the emulator can back
/// (0x00100000-0x07FFFFFF, 0x60000000-0x7FFFFFFF), no overlap, room enough.
/// Returns the first problem, or nothing when the map can be used.
std::optional<MemoryMapProblem> CheckMemoryMap(const MemoryMap &Unresolved, uint64_t Needed);

/// A window the host cannot give the board (the addresses are in use in this process).
class MemoryMapError : public std::runtime_error {
 public:
  MemoryMapError(std::string Key, const std::string &Text) : std::runtime_error(Text), Key_(std::move(Key)) {}
  const std::string &Key() const { return Key_; }

 private:
  std::string Key_;
};

class BoardMemory {
 public:
  /// Maps whatever part of Map's windows (sizes resolved) this process has not mapped
  /// yet, without claiming them: what a loader calls to refuse addresses the host uses
  /// before anything runs. Throws MemoryMapError naming the window's base key.
  static void Prepare(const MemoryMap &Map);

  /// Claims both windows of Map (sizes resolved) for this board, mapping whatever this
  /// process has not mapped yet; every byte starts closed. Throws std::runtime_error when
  /// another board holds the memory map, MemoryMapError when the host has the addresses
  /// in use.
  explicit BoardMemory(const MemoryMap &Map);
  /// Closes both windows again (the mapping stays for the next board).
  ~BoardMemory();
  BoardMemory(const BoardMemory &) = delete;
  BoardMemory &operator=(const BoardMemory &) = delete;

  const MemoryMap &Map() const { return Map_; }
  uint8_t *TemporaryRam() const;
  uint8_t *PermanentMemory() const;

  /// Makes Bytes at Address usable and fills them with zeros; the range must lie inside
  /// one window (asserted). Returns Address.
  uint8_t *Open(uint8_t *Address, uint32_t Bytes);

  /// True when [Address, Address + Bytes) lies inside one of the two windows.
  bool Contains(const void *Address, uint32_t Bytes) const;

 private:
  MemoryMap Map_;
  /// The ranges Open() made usable: closing poisons these alone, not the whole windows
  /// (64 MiB of permanent memory would cost a large shadow fill on every run).
  std::vector<std::pair<uint8_t *, uint32_t>> Opened_;
};

}  // namespace quarn::emu
