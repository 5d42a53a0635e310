#include "BoardSummary.h"

extern "C" {
#include <PiPei.h>
#include <Library/DebugLib.h>
}
#include <Register/VornRegs.h>

#include <cstdio>
#include <vector>

#include "ReportJson.h"

namespace quarn::emu::cli {

namespace {

using nlohmann::json;


/// The name the module gives a CurrentState value, or nullptr.
const char *StateName(uint32_t State) {
  switch (State) {
    case VORN_STATE_RECOVERY: return "recovery";
    case VORN_STATE_DISABLED: return "disabled";
    case VORN_STATE_NORMAL: return "normal";
    default: return nullptr;
  }
}

/// FALSE when VORNFS1 reads all ones: the VORN's first function does not answer.
bool Answers(const VornRegisterValues &V) { return V.Fs1 != VORNFS_NOT_PRESENT; }
/// DWRSTS bit 15: the platform runs the DWR flow.
bool DwrFlow(const VornRegisterValues &V) { return (V.DwrSts & DWRSTS_DWR_FLOW) != 0; }

/// The six registers raw, one line.
std::string Registers(const VornRegisterValues &V) {
  return Format("VORNFS1 0x%08X  VORNFS2 0x%08X  fn1 0x%08X  fn4 0x%08X  fn6 0x%08X  DWRSTS 0x%08X", V.Fs1, V.Fs2,
                V.Fn1, V.Fn4, V.Fn6, V.DwrSts);
}

/// The levels a mask holds, by name: "error, warn, info"; "none" for 0.
std::string LevelNames(uint32_t Level) {
  struct Named {
    uint32_t Bit;
    const char *Name;
  };
  static constexpr Named kNames[] = {
      {uint32_t(DEBUG_ERROR), "error"}, {uint32_t(DEBUG_WARN), "warn"}, {uint32_t(DEBUG_INFO), "info"}};
  std::string Names;
  uint32_t Rest = Level;
  for (const Named &N : kNames) {
    if ((Level & N.Bit) == 0) continue;
    Names += (Names.empty() ? "" : ", ") + std::string(N.Name);
    Rest &= ~N.Bit;
  }
  if (Rest != 0) Names += (Names.empty() ? "" : ", ") + Format("other bits 0x%08X", Rest);
  return Names.empty() ? "none" : Names;
}

/// The warning for a scripted change still due when the run ended at EndNs.
std::string NeverAppliedWarning(const VornRegisterEvent &E, uint64_t EndNs) {
  return E.Detail + " is due at " + Ms(E.TimeNs) + ", after the end of the run at " + Ms(EndNs) +
         ": it never took effect";
}

/// The board's warnings: each device placed elsewhere than the module was built for, then
/// each scripted change still due when the run ended.
std::vector<std::string> Warnings(const RunReport &R) {
  std::vector<std::string> List = BoardLayoutWarnings(R.Layout);
  for (const VornRegisterEvent &E : R.Vorn.NeverApplied) {
    if (E.Source == "vorn.at") List.push_back(NeverAppliedWarning(E, R.Vorn.EndNs));
  }
  return List;
}

/// Two lines: Label, the decoded fields and the time (with When); then the raw registers.
void WriteState(std::ostream &Out, const char *Label, uint64_t AtNs, const char *When, const VornRegisterValues &V) {
  Out << Format("%-15s", Label) << DescribeVornState(V) << " (" << Ms(AtNs) << When << ")\n";
  Out << "               " << Registers(V) << "\n";
}

/// The VORN at entry and exit, its changes, and the changes that never took effect.
void WriteVorn(std::ostream &Out, const RunReport &R) {
  const VornView &V = R.Vorn;
  if (!V.Present) Out << "VORN           absent: every register of bus 0 device 24 reads 0xFFFFFFFF\n";
  WriteState(Out, "VORN at entry", V.EntryNs, "", V.AtEntry);
  WriteState(Out, "VORN at exit", V.ExitNs, R.Status ? ", the entry point returned" : ", stopped", V.AtExit);
  if (V.Timeline.empty()) {
    Out << "VORN changes   none\n";
  } else {
    Out << "VORN changes\n";
    for (const VornRegisterEvent &E : V.Timeline) {
      Out << Format("  %11s  %-9s  0x%08X -> 0x%08X  ", Ms(E.TimeNs).c_str(), E.Register.c_str(), E.Previous, E.Value)
          << (E.Source == "vorn.at" ? E.Detail : E.Source + (E.Detail.empty() ? "" : ": " + E.Detail)) << "\n";
    }
  }
  for (const VornRegisterEvent &E : V.NeverApplied) {
    if (E.Source == "vorn.at") {
      Out << "warning        " << NeverAppliedWarning(E, V.EndNs) << "\n";
    } else {
      Out << "not reached    " << E.Source << ": " << E.Detail << " was due at " << Ms(E.TimeNs) << "\n";
    }
  }
}

/// "0xCB0 <- 0xD2 at 46.861 ms" for each halt code, or "none".
void WriteHaltCodes(std::ostream &Out, const RunReport &R) {
  if (R.HaltCodes.empty()) {
    Out << "halt codes     none\n";
    return;
  }
  Out << "halt codes\n";
  for (const HaltCode &H : R.HaltCodes) {
    Out << Format("  0x%X <- 0x%02X at ", H.Port, H.Value) << Ms(H.TimeNs) << "\n";
  }
}

/// The level the module printed by, by name, and where it took it from.
void WriteErrorLevel(std::ostream &Out, const RunReport &R) {
  if (!R.ErrorLevel) {
    Out << "error level    never read (the module printed nothing)\n";
    return;
  }
  const ErrorLevelView &L = *R.ErrorLevel;
  Out << Format("error level    0x%08X (%s) ", L.Level, LevelNames(L.Level).c_str());
  if (L.Source == "mm0-cache") {
    Out << Format("from the MM0 cache (MM0 0x%016llX); CMOS not read\n", (unsigned long long)L.Mm0AtFirstRead);
  } else if (L.CmosValid == false) {
    Out << "from CMOS: register 0x0E bit 7 set, contents not trusted; cached in MM0 at " << Ms(L.TimeNs) << "\n";
  } else {
    // The module reads the bytes it was built for, wherever the board keeps its level.
    constexpr unsigned kFirst = BoardLayout{}.CmosLevelIndex;
    Out << Format("from CMOS 0x%02X..0x%02X, cached in MM0 at ", kFirst, kFirst + BoardLayout::kCmosLevelBytes - 1)
        << Ms(L.TimeNs) << "\n";
  }
}

/// Received text cut after each line feed (a last line without one kept).
std::vector<std::string> Lines(const std::string &Received) {
  std::vector<std::string> List;
  size_t Start = 0;
  while (Start < Received.size()) {
    size_t End = Received.find('\n', Start);
    End = End == std::string::npos ? Received.size() : End + 1;
    List.push_back(Received.substr(Start, End - Start));
    Start = End;
  }
  return List;
}

/// The registers and their fields as the report carries them.
json StateJson(const VornRegisterValues &V, uint64_t AtNs) {
  const char *Name = StateName(VornCurrentState(V.Fs1));
  return {{"time_ms", Milliseconds(AtNs)},
          {"fs1", V.Fs1},
          {"fs2", V.Fs2},
          {"fn1", V.Fn1},
          {"fn4", V.Fn4},
          {"fn6", V.Fn6},
          {"dwrsts", V.DwrSts},
          {"answers", Answers(V)},
          {"current_state", VornCurrentState(V.Fs1)},
          {"state_name", Answers(V) && Name != nullptr ? json(Name) : json(nullptr)},
          {"flow_mode", VornFlowMode(V.Fs1)},
          {"lumo_flow", !Answers(V) || VornFlowMode(V.Fs1) == VORN_FLOW_MODE_LUMO},
          {"reset_counter", VornResetCounter(V.Fs1)},
          {"recovery_cause", VornRecoveryCause(V.Fs2)},
          {"dwr_flow", DwrFlow(V)}};
}

}  // namespace

std::string PrintableLine(const std::string &Line) {
  std::string Body = Line;
  if (Body.size() >= 2 && Body.compare(Body.size() - 2, 2, "\r\n") == 0) Body.resize(Body.size() - 2);
  std::string Shown;
  for (unsigned char Byte : Body) {
    if (Byte == '\r') {
      Shown += "\\r";
    } else if (Byte == '\n') {
      Shown += "\\n";
    } else if (Byte < 0x20 || Byte >= 0x7F) {
      Shown += Format("\\x%02X", Byte);
    } else {
      Shown.push_back(char(Byte));
    }
  }
  return Shown;
}

std::string DescribeVornState(const VornRegisterValues &V) {
  if (!Answers(V)) {
    return std::string("VORNFS1 reads all ones: the VORN does not answer (a disabled interface)") +
           (DwrFlow(V) ? ", DWR flow on" : ", DWR flow off");
  }
  const uint32_t State = VornCurrentState(V.Fs1);
  const char *Name = StateName(State);
  std::string Line = Format("state %u", State) + (Name != nullptr ? std::string(" (") + Name + ")" : "");
  Line += Format(", recovery cause %u", VornRecoveryCause(V.Fs2));
  Line += Format(", flow mode %u", VornFlowMode(V.Fs1)) + (VornFlowMode(V.Fs1) == VORN_FLOW_MODE_LUMO ? " (Lumo)" : "");
  Line += Format(", reset counter %u", VornResetCounter(V.Fs1));
  return Line + (DwrFlow(V) ? ", DWR flow on" : ", DWR flow off");
}

void WriteBoardSummary(std::ostream &Out, const RunReport &R) {
  for (const std::string &Warning : BoardLayoutWarnings(R.Layout)) Out << "warning        " << Warning << "\n";
  WriteVorn(Out, R);
  WriteHaltCodes(Out, R);
  WriteErrorLevel(Out, R);
}

void WriteOutputsSummary(std::ostream &Out, const RunReport &R) {
  if (R.Console.empty()) Out << "console        (console empty)\n";
  std::string Joined;
  for (const std::string &Message : R.DebugPpi) Joined += Message;
  if (R.DebugPpi.empty()) {
    Out << "debug PPI      no messages\n";
  } else if (Joined == R.Console) {
    Out << "debug PPI      " << R.DebugPpi.size() << " messages, the console's text\n";
  } else {
    Out << "debug PPI      " << R.DebugPpi.size() << " messages\n";
    for (const std::string &Message : R.DebugPpi) Out << "  " << PrintableLine(Message) << "\n";
  }
  if (R.Console2 == R.Console) {
    Out << "console 2      the same as the first UART\n";
  } else if (R.Console2.empty()) {
    Out << "console 2      (console empty), unlike the first UART\n";
  } else {
    Out << "console 2      differs from the first UART:\n";
    for (const std::string &Line : Lines(R.Console2)) Out << "  " << PrintableLine(Line) << "\n";
  }
}

void AddBoardJson(json &J, const RunReport &R) {
  const VornView &V = R.Vorn;
  json Board = {{"vorn_present", V.Present},
                {"entry", StateJson(V.AtEntry, V.EntryNs)},
                {"exit", StateJson(V.AtExit, V.ExitNs)},
                {"end_ms", Milliseconds(V.EndNs)},
                {"timeline", json::array()},
                {"never_applied", json::array()},
                {"warnings", json::array()}};
  for (const VornRegisterEvent &E : V.Timeline) {
    Board["timeline"].push_back({{"time_ms", Milliseconds(E.TimeNs)},
                                 {"register", E.Register},
                                 {"previous", E.Previous},
                                 {"value", E.Value},
                                 {"source", E.Source},
                                 {"detail", E.Detail}});
  }
  for (const VornRegisterEvent &E : V.NeverApplied) {
    Board["never_applied"].push_back({{"time_ms", Milliseconds(E.TimeNs)}, {"source", E.Source}, {"detail", E.Detail}});
  }
  for (const std::string &Warning : Warnings(R)) Board["warnings"].push_back(Warning);
  J["board"] = Board;
  J["debug_error_level"] = nullptr;
  if (R.ErrorLevel) {
    const ErrorLevelView &L = *R.ErrorLevel;
    J["debug_error_level"] = {{"value", L.Level},
                              {"source", L.Source},
                              {"cmos_valid", L.CmosValid ? json(*L.CmosValid) : json(nullptr)},
                              {"time_ms", Milliseconds(L.TimeNs)},
                              {"mm0_at_first_read", HexNumber(L.Mm0AtFirstRead)}};
  }
}

}  // namespace quarn::emu::cli
