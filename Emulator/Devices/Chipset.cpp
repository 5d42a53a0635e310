#include "Chipset.h"

#include <map>

namespace quarn::emu {

class Chipset::HostBridge : public PciFunction {
 public:
  explicit HostBridge(uint8_t Fc) : Fc_(Fc) {}
  std::string Name() const override { return "host bridge"; }
  uint32_t ConfigRead(uint16_t Offset, unsigned Width) override {
    uint32_t Dword = 0;
    if ((Offset & 0xFFC) == 0x00) Dword = 0x0A5EA5E5;
    if ((Offset & 0xFFC) == 0xFC) Dword = Fc_;
    return ExtractBytes(Dword, Offset & 3, Width);
  }
  void ConfigWrite(uint16_t, unsigned, uint32_t) override {}
  std::string RegisterName(uint16_t Offset) const override { return (Offset & 0xFFC) == 0xFC ? "[0xFC]" : ""; }

 private:
  uint8_t Fc_;
};

class Chipset::Lpc : public PciFunction {
 public:
  std::string Name() const override { return "LPC bridge"; }
  uint32_t ConfigRead(uint16_t Offset, unsigned Width) override {
    uint32_t Dword = (Offset & 0xFFC) == 0x80 ? Decode_ : (Offset & 0xFFC) == 0 ? 0x1A5EA5E5 : 0;
    return ExtractBytes(Dword, Offset & 3, Width);
  }
  void ConfigWrite(uint16_t Offset, unsigned Width, uint32_t Value) override {
    if ((Offset & 0xFFC) == 0x80 && Width == 4) Decode_ = Value;
  }
  std::string RegisterName(uint16_t Offset) const override { return (Offset & 0xFFC) == 0x80 ? "IO decode" : ""; }
  uint32_t Decode_ = 0;
};

class Chipset::SidebandFunction : public PciFunction {
 public:
  std::string Name() const override { return "sideband access"; }
  uint32_t ConfigRead(uint16_t Offset, unsigned Width) override {
    uint32_t Dword = (Offset & 0xFFC) == 0x10 ? (kSidebandBase | 0x4) : (Offset & 0xFFC) == 0 ? 0x2A5EA5E5 : 0;
    return ExtractBytes(Dword, Offset & 3, Width);
  }
  void ConfigWrite(uint16_t, unsigned, uint32_t) override {}
  std::string RegisterName(uint16_t Offset) const override { return (Offset & 0xFFC) == 0x10 ? "sideband base" : ""; }
};

class Chipset::SidebandWindow : public MmioDevice {
 public:
  std::string Name() const override { return "sideband"; }
  uint32_t MmioRead(uint32_t Address, unsigned Width) override {
    auto It = Registers_.find(Address & ~3u);
    return ExtractBytes(It == Registers_.end() ? 0 : It->second, Address & 3, Width);
  }
  void MmioWrite(uint32_t Address, unsigned Width, uint32_t Value) override {
    if (Width == 4) Registers_[Address] = Value;
  }
  std::map<uint32_t, uint32_t> Registers_;
};

Chipset::Chipset(Board &B, uint8_t HostBridgeFc) {
  Host_ = &B.Add<HostBridge>(HostBridgeFc);
  Lpc_ = &B.Add<Lpc>();
  Window_ = &B.Add<SidebandWindow>();
  B.MapPci({0, 0, 0}, *Host_);
  B.MapPci({0, 31, 0}, *Lpc_);
  B.MapPci({0, 31, 1}, B.Add<SidebandFunction>());
  B.MapMmio(kSidebandBase, 0x01000000, *Window_);
}

uint32_t Chipset::LpcDecode() const { return Lpc_->Decode_; }

uint32_t Chipset::Sideband(uint32_t Offset) const {
  auto It = Window_->Registers_.find(kSidebandBase + Offset);
  return It == Window_->Registers_.end() ? 0 : It->second;
}

}  // namespace quarn::emu
