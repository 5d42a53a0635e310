// Fault injection: makes the k-th call of a failable interface fail. Calls are counted
// per name ("CreateHob", "SendWithAck", ...) and in total, so that a sweep can find
// every point of a run.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace quarn::emu {

class FaultPlan {
 public:
  /// Fails call number Index (1-based) of Name; "*" counts every failable call together.
  void FailCall(std::string Name, uint64_t Index) {
    Target_ = std::move(Name);
    Index_ = Index;
  }

  /// Counts one call of Name; TRUE when this call is the one to fail.
  bool ShouldFail(const std::string &Name) {
    const uint64_t ThisCall = ++PerName_[Name];
    const uint64_t ThisAny = ++Total_;
    if (Target_.empty()) return false;
    const bool Hit = (Target_ == "*" && ThisAny == Index_) || (Target_ == Name && ThisCall == Index_);
    if (Hit) Fired_ = Name;
    return Hit;
  }

  uint64_t Total() const { return Total_; }
  const std::map<std::string, uint64_t> &PerName() const { return PerName_; }
  /// The name of the call that was made to fail, empty when none was.
  const std::string &Fired() const { return Fired_; }

 private:
  std::string Target_;
  uint64_t Index_ = 0;
  uint64_t Total_ = 0;
  std::map<std::string, uint64_t> PerName_;
  std::string Fired_;
};

}  // namespace quarn::emu
