// Fault injection: makes the k-th call of a failable interface fail. Calls are counted
// per name ("CreateHob", "SendWithAck", ...) and in total, so that a sweep can find
// every point of a run.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace quarn::emu {

/// The call a fault plan made fail: which one, which of its name, when, and what it answered.
struct FiredFault {
  std::string Call;     // "LocatePpi", ...
  uint64_t Nth = 0;     // the Nth call of that name (1-based)
  uint64_t Point = 0;   // the Point-th failable call of the run (1-based)
  uint64_t TimeNs = 0;  // virtual time of the call
  uint64_t Status = 0;  // the status it answered
};

class FaultPlan {
 public:
  /// Fails call number Index (1-based) of Name; "*" counts every failable call together.
  void FailCall(std::string Name, uint64_t Index) {
    Target_ = std::move(Name);
    Index_ = Index;
  }

  /// Counts one call of Name made at NowNs; TRUE when this call is the one to fail, which
  /// then answers Status.
  bool ShouldFail(const std::string &Name, uint64_t Status = 0, uint64_t NowNs = 0) {
    const uint64_t ThisCall = ++PerName_[Name];
    const uint64_t ThisAny = ++Total_;
    if (Target_.empty()) return false;
    const bool Hit = (Target_ == "*" && ThisAny == Index_) || (Target_ == Name && ThisCall == Index_);
    if (Hit) Fired_ = FiredFault{Name, ThisCall, ThisAny, NowNs, Status};
    return Hit;
  }

  uint64_t Total() const { return Total_; }
  const std::map<std::string, uint64_t> &PerName() const { return PerName_; }
  /// The call that was made to fail, if one was.
  const std::optional<FiredFault> &Fired() const { return Fired_; }

 private:
  std::string Target_;
  uint64_t Index_ = 0;
  uint64_t Total_ = 0;
  std::map<std::string, uint64_t> PerName_;
  std::optional<FiredFault> Fired_;
};

}  // namespace quarn::emu
