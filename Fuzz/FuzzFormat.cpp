// Fuzz target: the format engine, with a format string and argument bytes from the input.
//
// Input: [mode byte][buffer size byte][format length u16][format bytes][argument bytes].
// Mode bit 0 clear: every argument slot points to its own NUL-terminated scratch string
// (so string, GUID and time directives read valid memory and numbers print addresses).
// Mode bit 0 set: argument slots carry raw input words and the format's pointer
// directives (a s S g t) are rewritten to numeric ones.
extern "C" {
#include <PiPei.h>
#include <Library/PrintLib.h>
}

#include <array>
#include <cstring>

#include "Emulator/Emulator.h"
#include "FuzzInput.h"

namespace {

constexpr size_t kSlots = 1100;  // enough for every directive of a 512-byte format
constexpr size_t kStrings = 64;
constexpr size_t kScratch = 48;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  quarn::fuzz::FuzzInput In(Data, Size);
  const uint8_t Mode = In.Take<uint8_t>();
  const size_t BufferSize = In.Take<uint8_t>() + 1;
  std::vector<uint8_t> FormatBytes = In.TakeBytes(512);
  std::string Format(FormatBytes.begin(), FormatBytes.end());
  Format = Format.c_str();  // stop at an embedded NUL

  static quarn::emu::Emulator *E = nullptr;
  if (E == nullptr) {
    E = new quarn::emu::Emulator(quarn::emu::Scenario{});
  }
  E->Activate();

  // Arguments: 64 four-byte slots, read by the engine through a va_list over them.
  alignas(8) std::array<uint32_t, kSlots + 2> Slots{};
  std::array<std::array<uint8_t, kScratch>, kStrings> Scratch{};
  if ((Mode & 1) == 0) {
    for (auto &String : Scratch) {
      for (size_t Byte = 0; Byte + 2 < kScratch; Byte++) String[Byte] = In.Take<uint8_t>();
    }
    for (size_t Slot = 0; Slot < kSlots; Slot++) {
      Slots[Slot] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Scratch[Slot % kStrings].data()));
    }
  } else {
    for (char &C : Format) {
      if (C == 'a' || C == 's' || C == 'S' || C == 'g' || C == 't') C = 'x';
    }
    for (size_t Slot = 0; Slot < kSlots; Slot++) Slots[Slot] = In.Take<uint32_t>();
  }

  std::vector<CHAR8> Buffer(BufferSize + 16, '\x7E');
  // On IA32 a va_list is a pointer to the first argument slot.
  static_assert(sizeof(va_list) == sizeof(void *), "an IA32 va_list is a pointer");
  va_list Marker;
  void *First = Slots.data();
  std::memcpy(&Marker, &First, sizeof Marker);
  const UINTN Length = AsciiVSPrint(Buffer.data(), BufferSize, Format.c_str(), Marker);

  // The engine never writes past the buffer and always terminates what it wrote.
  if (Length >= BufferSize) __builtin_trap();
  if (Buffer[Length] != '\0') __builtin_trap();
  for (size_t Index = BufferSize; Index < Buffer.size(); Index++) {
    if (Buffer[Index] != '\x7E') __builtin_trap();
  }
  return 0;
}
