// quarn-emu list and show: the built-in scenarios by name and description, and the
// source of one of them as it was built in.
#include <algorithm>

#include "BuiltinScenarios.h"
#include "ScenarioLoader.h"
#include "Tools/quarn-emu/Commands.h"
#include "Tools/quarn-emu/Support/CommandSupport.h"
#include "Tools/quarn-emu/Support/Suggest.h"

namespace quarn::emu::cli {

int ListScenarios(std::ostream &Out, std::ostream &Err) {
  size_t Width = 0;
  for (const BuiltinScenario &Builtin : BuiltinScenarios()) Width = std::max(Width, Builtin.Name.size());
  int Status = kExitOk;
  for (const BuiltinScenario &Builtin : BuiltinScenarios()) {
    try {
      const LoadedScenario Loaded = LoadBuiltinScenario(Builtin);
      Out << Padded(Builtin.Name, Width + 2) << Loaded.Settings.Description << "\n";
    } catch (const ScenarioError &Error) {
      Err << "quarn-emu: " << Error.what() << "\n";
      Status = kExitBadInput;
    }
  }
  return Status;
}

int ShowScenario(const std::string &Name, std::ostream &Out, std::ostream &Err) {
  const BuiltinScenario *Builtin = FindBuiltinScenario(Name);
  if (Builtin == nullptr) {
    Err << "quarn-emu: " << Name << ": no built-in scenario of that name" << DidYouMean(Name, BuiltinScenarioNames())
        << " (quarn-emu list shows them)\n";
    return kExitBadInput;
  }
  Out << Builtin->Text;
  return FlushChecked(Out, "standard output", Err) ? kExitOk : kExitBadInput;
}

}  // namespace quarn::emu::cli
