#include "BoardMemory.h"

#include <sys/mman.h>

#include <algorithm>
#include <bitset>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "Emulator/Memory/Sanitizer.h"

namespace quarn::emu {

namespace {

constexpr uint64_t kMiB = 0x100000;

/// The RAM ranges a board may place its windows in, the same for every build and both
/// ways of running: below where a static program is loaded (0x08048000), and from above
/// where a position-independent one and its heap lie (natively from 0x56555000, under
/// qemu-i386 from 0x40000000, with ASan's shadow at 0x1FFFF000-0x3FFFFFFF) up to the
/// PCI Express window. The process reserves both before main (ReserveBackableRam), so
/// nothing the host allocates later can land there.
struct Span {
  uint64_t Base, End;
};
constexpr Span kBackable[] = {{0x00100000, 0x08000000}, {0x60000000, 0x80000000}};
constexpr const char *kBackableText = "0x00100000 to 0x07FFFFFF, 0x60000000 to 0x7FFFFFFF";

std::string Hex(uint64_t Value) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "0x%08llX", static_cast<unsigned long long>(Value));
  return Text;
}

/// The address ranges this process holds for emulated RAM, in 1 MiB chunks: reserved
/// (mapped without access, kept from the host), opened for boards (readable and
/// writable), and whether a board holds the map now. Nothing is given back: the next
/// board reuses the chunks, which keeps the peak flat over any number of runs.
struct ProcessMemory {
  std::bitset<4096> Reserved;
  std::bitset<4096> Mapped;
  bool Claimed = false;

  ProcessMemory() {
    for (const Span &S : kBackable) Reserve(S.Base / kMiB, S.End / kMiB);
  }

 private:
  /// Reserves chunks [First, End): in one call where the whole range is free, else
  /// chunk by chunk, leaving out what the host already uses.
  void Reserve(uint64_t First, uint64_t End) {
    if (MapAt(First, End, PROT_NONE)) {
      for (uint64_t C = First; C < End; C++) Reserved[C] = true;
      return;
    }
    for (uint64_t C = First; C < End; C++) Reserved[C] = MapAt(C, C + 1, PROT_NONE);
  }

 public:
  /// Maps chunks [First, End) at exactly their addresses with Protection, never over
  /// anything already mapped. Returns false when the host has any of them.
  static bool MapAt(uint64_t First, uint64_t End, int Protection) {
    void *Want = reinterpret_cast<void *>(static_cast<uintptr_t>(First * kMiB));
    const size_t Bytes = static_cast<size_t>((End - First) * kMiB);
    void *Got = mmap(Want, Bytes, Protection, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
    if (Got == Want) return true;
    // A kernel (or qemu-i386) that takes the flag as a hint maps elsewhere instead.
    if (Got != MAP_FAILED) munmap(Got, Bytes);
    return false;
  }
};

ProcessMemory &Process() {
  static ProcessMemory Memory;
  return Memory;
}

/// Takes the board RAM ranges before main, ahead of the host's own allocations (the
/// heap, thread stacks, the sanitizer's regions), which would otherwise land there on
/// one machine or path and not on another.
__attribute__((constructor(101))) void ReserveBackableRam() { Process(); }

/// Makes chunks [First, End) readable and writable: the reserved ones in place, the
/// others (only where a board asked before the reservation) mapped anew.
bool OpenChunks(uint64_t First, uint64_t End) {
  ProcessMemory &P = Process();
  for (uint64_t C = First; C < End; C++) {
    const bool Done = P.Reserved[C] ? mprotect(reinterpret_cast<void *>(static_cast<uintptr_t>(C * kMiB)), kMiB,
                                               PROT_READ | PROT_WRITE) == 0
                                    : ProcessMemory::MapAt(C, C + 1, PROT_READ | PROT_WRITE);
    if (!Done) return false;
  }
  return true;
}

/// Opens every chunk of [Base, Base + Size) this process has not opened yet, each run of
/// missing chunks at once; new chunks start poisoned.
void MapChunks(const char *Key, uint64_t Base, uint64_t Size) {
  ProcessMemory &P = Process();
  const uint64_t First = Base / kMiB;
  const uint64_t Last = (Base + Size - 1) / kMiB;
  for (uint64_t Chunk = First; Chunk <= Last;) {
    if (P.Mapped[Chunk]) {
      Chunk++;
      continue;
    }
    uint64_t End = Chunk;
    while (End <= Last && !P.Mapped[End]) End++;
    if (!OpenChunks(Chunk, End)) {
      throw MemoryMapError(Key, Hex(Chunk * kMiB) + " to " + Hex(End * kMiB - 1) +
                                    " cannot be mapped in this process: the host uses it");
    }
    PoisonMemory(reinterpret_cast<void *>(static_cast<uintptr_t>(Chunk * kMiB)),
                 static_cast<size_t>((End - Chunk) * kMiB));
    for (uint64_t C = Chunk; C < End; C++) P.Mapped[C] = true;
    Chunk = End;
  }
}

std::optional<MemoryMapProblem> CheckWindow(const char *BaseKey, const char *SizeKey, uint64_t Base, uint64_t Size,
                                            uint64_t Needed) {
  if (Base % MemoryMap::kAlignment != 0) return MemoryMapProblem{BaseKey, Hex(Base) + " is not a multiple of 4 KiB"};
  if (Size % MemoryMap::kAlignment != 0) return MemoryMapProblem{SizeKey, Hex(Size) + " is not a multiple of 4 KiB"};
  if (Size < Needed) {
    return MemoryMapProblem{SizeKey, Hex(Size) + " bytes cannot hold the stack, the HOB list and the pool (" +
                                         Hex(Needed) + " bytes with pei.hob_space and pei.pool_space)"};
  }
  for (const Span &S : kBackable) {
    if (Base >= S.Base && Base + Size <= S.End) return std::nullopt;
  }
  return MemoryMapProblem{BaseKey, Hex(Base) + " to " + Hex(Base + Size - 1) +
                                       " is not in the RAM the emulator can back (" + kBackableText + ")"};
}

}  // namespace

MemoryMap MemoryMap::Resolved(uint64_t Needed) const {
  MemoryMap Map = *this;
  if (Map.TemporaryRamSize == 0) {
    const uint64_t Size = std::max<uint64_t>(kMinTemporaryRamSize, (Needed + kMiB - 1) / kMiB * kMiB);
    Map.TemporaryRamSize = static_cast<uint32_t>(std::min<uint64_t>(Size, 0xFFFFF000u));
  }
  return Map;
}

std::optional<MemoryMapProblem> CheckMemoryMap(const MemoryMap &Unresolved, uint64_t Needed) {
  const MemoryMap Map = Unresolved.Resolved(Needed);
  if (auto Problem = CheckWindow("memory.temporary_ram_base", "memory.temporary_ram_size", Map.TemporaryRamBase,
                                 Map.TemporaryRamSize, Needed)) {
    return Problem;
  }
  if (auto Problem = CheckWindow("memory.permanent_memory_base", "memory.permanent_memory_size",
                                 Map.PermanentMemoryBase, Map.PermanentMemorySize, Needed)) {
    return Problem;
  }
  const uint64_t TempEnd = uint64_t{Map.TemporaryRamBase} + Map.TemporaryRamSize;
  const uint64_t PermEnd = uint64_t{Map.PermanentMemoryBase} + Map.PermanentMemorySize;
  if (Map.TemporaryRamBase < PermEnd && Map.PermanentMemoryBase < TempEnd) {
    return MemoryMapProblem{"memory.permanent_memory_base",
                            Hex(Map.PermanentMemoryBase) + " to " + Hex(PermEnd - 1) + " overlaps temporary RAM (" +
                                Hex(Map.TemporaryRamBase) + " to " + Hex(TempEnd - 1) + ")"};
  }
  return std::nullopt;
}

void BoardMemory::Prepare(const MemoryMap &Map) {
  MapChunks("memory.temporary_ram_base", Map.TemporaryRamBase, Map.TemporaryRamSize);
  MapChunks("memory.permanent_memory_base", Map.PermanentMemoryBase, Map.PermanentMemorySize);
}

BoardMemory::BoardMemory(const MemoryMap &Map) : Map_(Map) {
  ProcessMemory &P = Process();
  if (P.Claimed) {
    throw std::runtime_error("another emulated board holds the memory map: one board at a time per process");
  }
  Prepare(Map_);
  P.Claimed = true;
}

BoardMemory::~BoardMemory() {
  // Everything outside the opened ranges is still poisoned from when it was mapped or
  // from the board before.
  for (const auto &[Address, Bytes] : Opened_) PoisonMemory(Address, Bytes);
  Process().Claimed = false;
}

uint8_t *BoardMemory::TemporaryRam() const {
  return reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(Map_.TemporaryRamBase));
}

uint8_t *BoardMemory::PermanentMemory() const {
  return reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(Map_.PermanentMemoryBase));
}

bool BoardMemory::Contains(const void *Address, uint32_t Bytes) const {
  const uint64_t At = reinterpret_cast<uintptr_t>(Address);
  const uint64_t End = At + Bytes;
  return (At >= Map_.TemporaryRamBase && End <= uint64_t{Map_.TemporaryRamBase} + Map_.TemporaryRamSize) ||
         (At >= Map_.PermanentMemoryBase && End <= uint64_t{Map_.PermanentMemoryBase} + Map_.PermanentMemorySize);
}

uint8_t *BoardMemory::Open(uint8_t *Address, uint32_t Bytes) {
  assert(Contains(Address, Bytes));
  UnpoisonMemory(Address, Bytes);
  std::memset(Address, 0, Bytes);
  Opened_.emplace_back(Address, Bytes);
  return Address;
}

}  // namespace quarn::emu
