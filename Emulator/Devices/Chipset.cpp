#include "Chipset.h"

#include <cstdio>
#include <map>

namespace quarn::emu {

namespace {

/// Merges a Width-byte write at byte ByteOffset into a 32-bit register.
uint32_t MergeBytes(uint32_t Dword, unsigned ByteOffset, unsigned Width, uint32_t Value) {
  const uint32_t Mask = (Width >= 4 ? 0xFFFFFFFFu : (1u << (8 * Width)) - 1) << (8 * ByteOffset);
  return (Dword & ~Mask) | ((Value << (8 * ByteOffset)) & Mask);
}

}  // namespace

class Chipset::HostBridge : public PciFunction {
 public:
  explicit HostBridge(uint8_t Fc) : Fc_(Fc) {}
  std::string Name() const override { return "host bridge"; }
  uint32_t ConfigRead(uint16_t Offset, unsigned Width) override {
    uint32_t Dword = 0;
    if ((Offset & 0xFFC) == 0x00) Dword = 0x0A5EA5E5;
    if ((Offset & 0xFFC) == 0xFC) Dword = Fc_;  // the byte at 0xFC, the rest of the dword 0
    return ExtractBytes(Dword, Offset & 3, Width);
  }
  void ConfigWrite(uint16_t, unsigned, uint32_t) override {}
  std::string RegisterName(uint16_t Offset) const override { return (Offset & 0xFFC) == 0xFC ? "[0xFC]" : ""; }
  uint8_t Fc_;
};

class Chipset::Lpc : public PciFunction {
 public:
  std::string Name() const override { return "LPC bridge"; }
  uint32_t ConfigRead(uint16_t Offset, unsigned Width) override {
    const uint32_t Dword = (Offset & 0xFFC) == 0x80 ? Decode_ : (Offset & 0xFFC) == 0 ? 0x1A5EA5E5 : 0;
    return ExtractBytes(Dword, Offset & 3, Width);
  }
  void ConfigWrite(uint16_t Offset, unsigned Width, uint32_t Value) override {
    if ((Offset & 0xFFC) == 0x80) Decode_ = MergeBytes(Decode_, Offset & 3, Width, Value);
  }
  std::string RegisterName(uint16_t Offset) const override { return (Offset & 0xFFC) == 0x80 ? "IO decode" : ""; }
  uint32_t Decode_ = 0;
};

class Chipset::SidebandFunction : public PciFunction {
 public:
  std::string Name() const override { return "sideband access"; }
  uint32_t ConfigRead(uint16_t Offset, unsigned Width) override {
    if (Hidden_) return Width >= 4 ? 0xFFFFFFFFu : (1u << (8 * Width)) - 1;
    const uint32_t Dword = (Offset & 0xFFC) == 0x10 ? (kSidebandBase | 0x4) : (Offset & 0xFFC) == 0 ? 0x2A5EA5E5 : 0;
    return ExtractBytes(Dword, Offset & 3, Width);
  }
  void ConfigWrite(uint16_t, unsigned, uint32_t) override {}  // the base is fixed on this board
  std::string RegisterName(uint16_t Offset) const override { return (Offset & 0xFFC) == 0x10 ? "sideband base" : ""; }
  bool Hidden_ = false;
};

class Chipset::SidebandWindow : public MmioDevice {
 public:
  std::string Name() const override { return "sideband"; }
  uint32_t MmioRead(uint32_t Address, unsigned Width) override {
    auto It = Registers_.find(Address & ~3u);
    return ExtractBytes(It == Registers_.end() ? 0 : It->second, Address & 3, Width);
  }
  void MmioWrite(uint32_t Address, unsigned Width, uint32_t Value) override {
    uint32_t &Dword = Registers_[Address & ~3u];
    Dword = MergeBytes(Dword, Address & 3, Width, Value);
  }
  std::string RegisterName(uint32_t Address) const override {
    char Text[24];
    std::snprintf(Text, sizeof Text, "+0x%06X", Address - kSidebandBase);
    return Text;
  }
  std::map<uint32_t, uint32_t> Registers_;
};

Chipset::Chipset(Board &B, uint8_t HostBridgeFc) {
  Host_ = &B.Add<HostBridge>(HostBridgeFc);
  Lpc_ = &B.Add<Lpc>();
  Sideband_ = &B.Add<SidebandFunction>();
  Window_ = &B.Add<SidebandWindow>();
  B.MapPci({0, 0, 0}, *Host_);
  B.MapPci({0, 31, 0}, *Lpc_);
  B.MapPci({0, 31, 1}, *Sideband_);
  B.MapMmio(kSidebandBase, kSidebandSize, *Window_);
  B.Provide(this);
}

uint32_t Chipset::LpcDecode() const { return Lpc_->Decode_; }

uint32_t Chipset::Sideband(uint32_t Offset) const {
  auto It = Window_->Registers_.find(kSidebandBase + Offset);
  return It == Window_->Registers_.end() ? 0 : It->second;
}

void Chipset::SetHostBridgeFc(uint8_t Value) { Host_->Fc_ = Value; }

void Chipset::HideSidebandFunction(bool Hidden) { Sideband_->Hidden_ = Hidden; }

}  // namespace quarn::emu
