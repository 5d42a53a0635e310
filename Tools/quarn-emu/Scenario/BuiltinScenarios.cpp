#include "BuiltinScenarios.h"

#include <algorithm>

namespace quarn::emu::cli {

const std::vector<BuiltinScenario> &BuiltinScenarios() {
  static const std::vector<BuiltinScenario> Scenarios = [] {
    std::vector<BuiltinScenario> List;
    for (const EmbeddedScenario &File : EmbeddedScenarioFiles()) {
      if (File.Bytes == nullptr) continue;
      List.push_back({File.Stem, std::string(reinterpret_cast<const char *>(File.Bytes), File.Size)});
    }
    std::stable_sort(List.begin(), List.end(), [](const BuiltinScenario &A, const BuiltinScenario &B) {
      if ((A.Name == "default") != (B.Name == "default")) return A.Name == "default";
      return A.Name < B.Name;
    });
    return List;
  }();
  return Scenarios;
}

std::vector<std::string> BuiltinScenarioNames() {
  std::vector<std::string> Names;
  for (const BuiltinScenario &Scenario : BuiltinScenarios()) Names.push_back(Scenario.Name);
  return Names;
}

const BuiltinScenario *FindBuiltinScenario(std::string_view Name) {
  for (const BuiltinScenario &Scenario : BuiltinScenarios()) {
    if (Scenario.Name == Name) return &Scenario;
  }
  return nullptr;
}

}  // namespace quarn::emu::cli
