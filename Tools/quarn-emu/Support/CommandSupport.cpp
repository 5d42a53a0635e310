// What the commands share: table columns, loading the scenarios a command names, and
// output that reports a stream it could not write.
#include "CommandSupport.h"

#include <cerrno>
#include <cstring>

#include "Tools/quarn-emu/Commands.h"
#include "Tools/quarn-emu/Scenario/BuiltinScenarios.h"

namespace quarn::emu::cli {

std::string Padded(std::string Text, size_t Width) {
  if (Text.size() < Width) Text.append(Width - Text.size(), ' ');
  return Text;
}

LoadedScenario Resolve(const std::string &Argument, std::ostream &Err) { return ResolveScenario(Argument); }

std::string Counted(uint64_t Count, const char *One, const char *Many) {
  return std::to_string(Count) + " " + (Count == 1 ? One : Many);
}

nlohmann::json ToolJson(const ToolIdentity &Tool) {
  return {{"name", "quarn-emu"}, {"version", Tool.Version}, {"build", Tool.Build}, {"module", Tool.ModuleFlavour}};
}

bool FlushChecked(std::ostream &Stream, const std::string &Name, std::ostream &Err) {
  // A stream whose failure was reported once is not reported again.
  static const int kReported = std::ios_base::xalloc();
  errno = 0;
  Stream.flush();
  if (Stream) return true;
  if (Stream.iword(kReported) != 0) return false;
  Stream.iword(kReported) = 1;
  const int Error = errno;
  Err << "quarn-emu: " << Name << ": write failed" << (Error != 0 ? std::string(": ") + std::strerror(Error) : "")
      << "\n";
  return false;
}

bool LoadScenarios(const std::vector<std::string> &Arguments, std::vector<LoadedScenario> &Scenarios,
                   std::ostream &Err) {
  try {
    if (Arguments.empty()) {
      // By name of the built-in itself: a file of that name in the directory does not count.
      for (const BuiltinScenario &Builtin : BuiltinScenarios()) Scenarios.push_back(LoadBuiltinScenario(Builtin));
    } else {
      for (const std::string &Argument : Arguments) Scenarios.push_back(Resolve(Argument, Err));
    }
  } catch (const ScenarioError &Error) {
    Err << "quarn-emu: " << Error.what() << "\n";
    return false;
  }
  return true;
}

}  // namespace quarn::emu::cli
