#include "BoardLayout.h"

#include <cstdio>
#include <iterator>
#include <span>

#include "Emulator/Board/Board.h"
#include "Emulator/Devices/Chipset.h"
#include "Emulator/Devices/Cmos.h"

namespace quarn::emu {

namespace {

/// A range of ports or addresses something takes; End is one past its last.
struct Span {
  uint64_t First, End;
  std::string What;  // "CMOS (0x70 to 0x71)", "UART 2 (0x2F8 to 0x2FF, board.uart2_base)"
};

/// TRUE when the two ranges share a port or byte.
bool Overlap(const Span &A, const Span &B) { return A.First < B.End && B.First < A.End; }

/// "0x3F8 to 0x3FF" or "0xCB0" (ports), "0x80000000 to 0x8FFFFFFF" (addresses).
std::string Range(LayoutSpace Space, uint64_t First, uint64_t End) {
  char Text[48];
  if (Space == LayoutSpace::Io && End - First == 1) {
    std::snprintf(Text, sizeof Text, "0x%llX", (unsigned long long)First);
  } else if (Space == LayoutSpace::Io) {
    std::snprintf(Text, sizeof Text, "0x%llX to 0x%llX", (unsigned long long)First, (unsigned long long)(End - 1));
  } else {
    std::snprintf(Text, sizeof Text, "0x%08llX to 0x%08llX", (unsigned long long)First, (unsigned long long)(End - 1));
  }
  return Text;
}

/// The key as messages name it: "board.uart1_base".
std::string KeyOf(const BoardLayoutKey &K) { return std::string("board.") + K.Key; }

/// The ports or addresses key K takes on Layout, named for a message about another key.
Span SpanOf(const BoardLayoutKey &K, const BoardLayout &Layout) {
  const uint64_t First = K.Get(Layout);
  return {First, First + K.Length,
          std::string(K.Device) + " (" + Range(K.Space, First, First + K.Length) + ", " + KeyOf(K) + ")"};
}

/// A fixed range of the board, named for a message.
Span FixedSpan(LayoutSpace Space, const char *Name, uint64_t First, uint64_t Length) {
  return {First, First + Length, std::string(Name) + " (" + Range(Space, First, First + Length) + ")"};
}

/// TRUE when key K holds another value than the module was built with.
bool Moved(const BoardLayoutKey &K, const BoardLayout &Layout) { return K.Get(Layout) != K.Get(BoardLayout{}); }

/// The problem Text with key K.
BoardLayoutProblem Problem(const BoardLayoutKey &K, std::string Text) { return {KeyOf(K), std::move(Text)}; }

/// A key's value on its own: inside its space, aligned where the device needs it.
std::optional<BoardLayoutProblem> CheckValue(const BoardLayoutKey &K, const BoardLayout &Layout) {
  const uint64_t First = K.Get(Layout), End = First + K.Length;
  switch (K.Space) {
    case LayoutSpace::Io:
      if (End - 1 > LayoutSpaceMax(LayoutSpace::Io)) {
        return Problem(K, Range(K.Space, First, End) + " runs past the last I/O port (0xFFFF)");
      }
      break;
    case LayoutSpace::Cmos:
      if (First < BoardLayout::kFirstCmosLevelIndex || End - 1 > BoardLayout::kLastCmosIndex) {
        char Text[160];
        std::snprintf(Text, sizeof Text,
                      "0x%02llX to 0x%02llX: the level's four bytes must lie in CMOS 0x%02X to 0x%02X (past the "
                      "clock and status registers, in the bank the index port reaches)",
                      (unsigned long long)First, (unsigned long long)(End - 1), BoardLayout::kFirstCmosLevelIndex,
                      BoardLayout::kLastCmosIndex);
        return Problem(K, Text);
      }
      break;
    case LayoutSpace::Mmio:
      // Both are multiples of their size: a window on its own size ends by 4 GiB.
      if (First % K.Length != 0) {
        char Text[120];
        std::snprintf(
            Text, sizeof Text, "0x%08llX is not a multiple of %s", (unsigned long long)First,
            K.Length == BoardLayout::kPcieWindowSize ? "the window's size (256 MiB)" : "4 (a 32-bit register)");
        return Problem(K, Text);
      }
      break;
  }
  return std::nullopt;
}

}  // namespace

std::string LayoutPlace(LayoutSpace Space, uint32_t Value) {
  char Text[24];
  if (Space == LayoutSpace::Io) std::snprintf(Text, sizeof Text, "0x%X", Value);
  if (Space == LayoutSpace::Cmos) std::snprintf(Text, sizeof Text, "CMOS 0x%02X", Value);
  if (Space == LayoutSpace::Mmio) std::snprintf(Text, sizeof Text, "0x%08X", Value);
  return Text;
}

std::optional<BoardLayoutProblem> CheckBoardLayout(const BoardLayout &Layout, const MemoryMap &Memory) {
  for (const BoardLayoutKey &K : kBoardLayoutKeys) {
    if (auto Found = CheckValue(K, Layout)) return Found;
  }
  // What a moved device must stay clear of: the ports and windows the board keeps in place.
  const Span FixedPorts[] = {
      FixedSpan(LayoutSpace::Io, "CMOS", Cmos::kIndexPort, 2),
      FixedSpan(LayoutSpace::Io, "post-code port", Board::kPostCodePort, 1),
      FixedSpan(LayoutSpace::Io, "board-halt port", Board::kBoardHaltPort, 1),
      FixedSpan(LayoutSpace::Io, "PCI configuration", Board::kPciConfigAddressPort, 8),
  };
  const Span FixedMemory[] = {
      FixedSpan(LayoutSpace::Mmio, "sideband window", Chipset::kSidebandBase, Chipset::kSidebandSize),
      FixedSpan(LayoutSpace::Mmio, "temporary RAM", Memory.TemporaryRamBase, Memory.TemporaryRamSize),
      FixedSpan(LayoutSpace::Mmio, "permanent memory", Memory.PermanentMemoryBase, Memory.PermanentMemorySize),
  };
  for (size_t Later = 0; Later < std::size(kBoardLayoutKeys); Later++) {
    const BoardLayoutKey &K = kBoardLayoutKeys[Later];
    if (K.Space == LayoutSpace::Cmos) continue;
    const Span Own = SpanOf(K, Layout);
    const std::string Place = Range(K.Space, Own.First, Own.End);
    for (const Span &Fixed :
         K.Space == LayoutSpace::Io ? std::span<const Span>(FixedPorts) : std::span<const Span>(FixedMemory)) {
      if (Overlap(Own, Fixed)) return Problem(K, Place + " overlaps " + Fixed.What);
    }
    for (size_t Earlier = 0; Earlier < Later; Earlier++) {
      const BoardLayoutKey &E = kBoardLayoutKeys[Earlier];
      if (E.Space != K.Space || !Overlap(Own, SpanOf(E, Layout))) continue;
      // The build's places never overlap: name the device that was moved onto the other.
      const bool BlameLater = Moved(K, Layout) || !Moved(E, Layout);
      const BoardLayoutKey &Blamed = BlameLater ? K : E;
      const BoardLayoutKey &Other = BlameLater ? E : K;
      const Span BlamedSpan = SpanOf(Blamed, Layout);
      return Problem(Blamed,
                     Range(Blamed.Space, BlamedSpan.First, BlamedSpan.End) + " overlaps " + SpanOf(Other, Layout).What);
    }
  }
  return std::nullopt;
}

std::vector<std::string> BoardLayoutWarnings(const BoardLayout &Layout) {
  std::vector<std::string> Warnings;
  for (const BoardLayoutKey &K : kBoardLayoutKeys) {
    if (!Moved(K, Layout)) continue;
    Warnings.push_back(std::string("board: ") + K.Device + " at " + LayoutPlace(K.Space, K.Get(Layout)) +
                       ", but the module was built for " + LayoutPlace(K.Space, K.Get(BoardLayout{})) + " (" + K.Pcd +
                       ")");
  }
  return Warnings;
}

}  // namespace quarn::emu
