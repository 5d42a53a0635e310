// The VORN as the host sees it: PCI functions 0, 1, 4 and 6 of bus 0 device 24, whose
// offset 0x40 (and 0x48 of function 0) carry the firmware status registers, and the
// DWR status register where the board's layout places it (0xFE00192C on the module's own
// board). Register changes are scheduled in virtual time; each one that takes effect is
// kept, with its time and who made it, for the report.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Emulator/Board/Board.h"
#include "Emulator/Scenario.h"

namespace quarn::emu {

class VornDevice {
 public:
  enum class Register { Fs1, Fs2, Fn1, Fn4, Fn6, DwrSts };

  /// One register write as it took effect: the time it was due (a scheduled change
  /// takes effect then, whenever the next access comes), the values before and after,
  /// and who made it.
  struct Change {
    uint64_t TimeNs = 0;
    Register Which = Register::Fs1;
    uint32_t Previous = 0, Value = 0;
    std::string Source;  // as given to Schedule; "write" for a Write outside a scheduled change
    std::string Detail;
  };
  /// A scheduled change that has not taken effect yet.
  struct Upcoming {
    uint64_t AtNs = 0;
    std::string Source, Detail;
  };

  /// "VORNFS1", "VORNFS2", "Fn1Status", "Fn4Status", "Fn6Status", "DWRSTS".
  static const char *RegisterName(Register R);

  /// Maps the functions and DWRSTS on the board with the scenario's values.
  VornDevice(Board &B, const Scenario &S);

  /// The value a read sees now (scheduled changes that are due applied first).
  uint32_t Read(Register R);
  /// The value as it stands, due changes not applied: for scheduled changes themselves,
  /// which must not apply other changes out of their order.
  uint32_t Value(Register R) const { return Values_[int(R)]; }
  void Write(Register R, uint32_t Value);
  /// Runs Change when virtual time reaches AtNs (at the first access at or after it).
  /// Source and Detail name who makes the change ("vorn.at", "firmware") and what it is.
  void Schedule(uint64_t AtNs, std::function<void(VornDevice &)> Change, std::string Source = "scheduled",
                std::string Detail = {});
  /// Applies every change that is due.
  void ApplyDue();
  bool Present() const { return Present_; }
  Board &GetBoard() { return Board_; }
  uint64_t EntryNs() const { return EntryNs_; }
  /// Virtual time of the module's entry; scenario times count from it.
  void SetEntryNs(uint64_t Ns) { EntryNs_ = Ns; }
  /// Schedules the scenario's [[vorn.at]] changes relative to the entry time.
  void ScheduleScenarioChanges(const std::vector<VornRegisterChange> &Changes);
  /// Every write that took effect so far, in order.
  const std::vector<Change> &Changes() const { return Changes_; }
  /// The scheduled changes still waiting, earliest first.
  std::vector<Upcoming> PendingChanges() const;

 private:
  class Function;
  class DwrStsRegister;
  struct Pending {
    uint64_t AtNs;
    uint64_t Order;
    std::function<void(VornDevice &)> Change;
    std::string Source, Detail;
  };
  static bool Earlier(const Pending &A, const Pending &B) {
    return A.AtNs != B.AtNs ? A.AtNs < B.AtNs : A.Order < B.Order;
  }

  Board &Board_;
  bool Present_ = true;
  uint32_t Values_[6] = {};
  std::vector<Pending> Pending_;
  uint64_t NextOrder_ = 0;
  uint64_t EntryNs_ = 0;
  std::vector<Change> Changes_;
  const Pending *Applying_ = nullptr;  // the scheduled change running now, if any
};

}  // namespace quarn::emu
