#include "VornDevice.h"

#include <algorithm>
#include <cstdio>

namespace quarn::emu {

class VornDevice::Function : public PciFunction {
 public:
  Function(VornDevice &Owner, unsigned Number) : Owner_(Owner), Number_(Number) {}
  std::string Name() const override { return "VORN function " + std::to_string(Number_); }

  uint32_t ConfigRead(uint16_t Offset, unsigned Width) override {
    const uint16_t Dword = Offset & 0xFFC;
    uint32_t Value = 0;
    if (Dword == 0x00) {
      Value = 0x1D00A5E5u | (Number_ << 16);  // vendor and device identifiers
    } else if (Dword == 0x40) {
      Value = Owner_.Read(Number_ == 0   ? Register::Fs1
                          : Number_ == 1 ? Register::Fn1
                          : Number_ == 4 ? Register::Fn4
                                         : Register::Fn6);
    } else if (Dword == 0x48 && Number_ == 0) {
      Value = Owner_.Read(Register::Fs2);
    }
    return ExtractBytes(Value, Offset & 3, Width);
  }
  void ConfigWrite(uint16_t, unsigned, uint32_t) override {}
  std::string RegisterName(uint16_t Offset) const override {
    if ((Offset & 0xFFC) == 0x40) return Number_ == 0 ? "VORNFS1" : "Fn" + std::to_string(Number_) + "Status";
    if ((Offset & 0xFFC) == 0x48 && Number_ == 0) return "VORNFS2";
    return {};
  }

 private:
  VornDevice &Owner_;
  unsigned Number_;
};

class VornDevice::DwrStsRegister : public MmioDevice {
 public:
  explicit DwrStsRegister(VornDevice &Owner) : Owner_(Owner) {}
  std::string Name() const override { return "DWRSTS"; }
  uint32_t MmioRead(uint32_t Address, unsigned Width) override {
    return ExtractBytes(Owner_.Read(Register::DwrSts), Address & 3, Width);
  }
  void MmioWrite(uint32_t, unsigned, uint32_t) override {}

 private:
  VornDevice &Owner_;
};

VornDevice::VornDevice(Board &B, const Scenario &S) : Board_(B), Present_(S.VornPresent) {
  Values_[int(Register::Fs1)] = S.Fs1;
  Values_[int(Register::Fs2)] = S.Fs2;
  Values_[int(Register::Fn1)] = S.Fn1;
  Values_[int(Register::Fn4)] = S.Fn4;
  Values_[int(Register::Fn6)] = S.Fn6;
  Values_[int(Register::DwrSts)] = S.DwrSts;
  if (Present_) {
    for (unsigned Number : {0u, 1u, 4u, 6u}) {
      B.MapPci({0, 24, uint8_t(Number)}, B.Add<Function>(*this, Number));
    }
  }
  B.MapMmio(B.Layout().DwrStsAddress, BoardLayout::kDwrStsBytes, B.Add<DwrStsRegister>(*this));
}

namespace {

/// "vorn.at[1]: fs1 = 0x00000005, dwrsts = 0x00008000": the entry, counted from 0 and
/// named as the loader's messages name it, and what it sets.
std::string DescribeScenarioChange(size_t Index, const VornRegisterChange &C) {
  std::string Text = "vorn.at[" + std::to_string(Index) + "]:";
  const char *Separator = " ";
  auto Add = [&](const char *Key, const std::optional<uint32_t> &Value) {
    if (!Value) return;
    char Part[40];
    std::snprintf(Part, sizeof Part, "%s%s = 0x%08X", Separator, Key, *Value);
    Text += Part;
    Separator = ", ";
  };
  Add("fs1", C.Fs1);
  Add("fs2", C.Fs2);
  Add("fn1", C.Fn1);
  Add("fn4", C.Fn4);
  Add("fn6", C.Fn6);
  Add("dwrsts", C.DwrSts);
  return Text;
}

}  // namespace

const char *VornDevice::RegisterName(Register R) {
  switch (R) {
    case Register::Fs1: return "VORNFS1";
    case Register::Fs2: return "VORNFS2";
    case Register::Fn1: return "Fn1Status";
    case Register::Fn4: return "Fn4Status";
    case Register::Fn6: return "Fn6Status";
    case Register::DwrSts: return "DWRSTS";
  }
  return "?";
}

void VornDevice::ScheduleScenarioChanges(const std::vector<VornRegisterChange> &Changes) {
  for (size_t Index = 0; Index < Changes.size(); Index++) {
    const VornRegisterChange &C = Changes[Index];
    Schedule(
        EntryNs_ + C.Ms * kNsPerMs,
        [C](VornDevice &V) {
          if (C.Fs1) V.Write(Register::Fs1, *C.Fs1);
          if (C.Fs2) V.Write(Register::Fs2, *C.Fs2);
          if (C.Fn1) V.Write(Register::Fn1, *C.Fn1);
          if (C.Fn4) V.Write(Register::Fn4, *C.Fn4);
          if (C.Fn6) V.Write(Register::Fn6, *C.Fn6);
          if (C.DwrSts) V.Write(Register::DwrSts, *C.DwrSts);
        },
        "vorn.at", DescribeScenarioChange(Index, C));
  }
}

uint32_t VornDevice::Read(Register R) {
  ApplyDue();
  return Values_[int(R)];
}

void VornDevice::Write(Register R, uint32_t Value) {
  Change Made{Board_.NowNs(), R, Values_[int(R)], Value, "write", {}};
  if (Applying_ != nullptr) {
    Made.TimeNs = Applying_->AtNs;
    Made.Source = Applying_->Source;
    Made.Detail = Applying_->Detail;
  }
  Changes_.push_back(std::move(Made));
  Values_[int(R)] = Value;
}

void VornDevice::Schedule(uint64_t AtNs, std::function<void(VornDevice &)> Change, std::string Source,
                          std::string Detail) {
  Pending_.push_back({AtNs, NextOrder_++, std::move(Change), std::move(Source), std::move(Detail)});
}

std::vector<VornDevice::Upcoming> VornDevice::PendingChanges() const {
  std::vector<Pending> Sorted;
  for (const Pending &P : Pending_) Sorted.push_back({P.AtNs, P.Order, nullptr, P.Source, P.Detail});
  std::sort(Sorted.begin(), Sorted.end(), Earlier);
  std::vector<Upcoming> List;
  List.reserve(Sorted.size());
  for (const Pending &P : Sorted) List.push_back({P.AtNs, P.Source, P.Detail});
  return List;
}

void VornDevice::ApplyDue() {
  const uint64_t Now = Board_.NowNs();
  while (true) {
    auto Due = std::min_element(Pending_.begin(), Pending_.end(), Earlier);
    if (Due == Pending_.end() || Due->AtNs > Now) return;
    const Pending Running = std::move(*Due);
    Pending_.erase(Due);
    Applying_ = &Running;
    Running.Change(*this);
    Applying_ = nullptr;
  }
}

}  // namespace quarn::emu
