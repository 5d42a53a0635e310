// Reads typed values off a fuzzer's byte string; past the end every read yields zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace quarn::fuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t *Data, size_t Size) : Data_(Data), Size_(Size) {}

  template <typename T>
  T Take() {
    T Value{};
    const size_t Count = Size_ - Offset_ < sizeof(T) ? Size_ - Offset_ : sizeof(T);
    if (Count > 0) std::memcpy(&Value, Data_ + Offset_, Count);
    Offset_ += Count;
    return Value;
  }
  bool TakeBool() { return Take<uint8_t>() & 1; }
  /// Up to MaxLength bytes, length taken from the input first.
  std::vector<uint8_t> TakeBytes(size_t MaxLength) {
    const size_t Wanted = Take<uint16_t>() % (MaxLength + 1);
    const size_t Count = Size_ - Offset_ < Wanted ? Size_ - Offset_ : Wanted;
    std::vector<uint8_t> Bytes(Data_ + Offset_, Data_ + Offset_ + Count);
    Offset_ += Count;
    return Bytes;
  }
  std::vector<uint8_t> Rest() {
    std::vector<uint8_t> Bytes(Data_ + Offset_, Data_ + Size_);
    Offset_ = Size_;
    return Bytes;
  }
  size_t Left() const { return Size_ - Offset_; }

 private:
  const uint8_t *Data_;
  size_t Size_;
  size_t Offset_ = 0;
};

}  // namespace quarn::fuzz
