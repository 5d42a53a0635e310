// The scenarios built into quarn-emu: the files of Scenarios/ as they were at build time.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::emu::cli {

/// One embedded file (generated at build time from Scenarios/*.toml).
struct EmbeddedScenario {
  const char *Stem;            // the file name without ".toml"
  const unsigned char *Bytes;  // the file's bytes
  size_t Size;
};

/// Every embedded file, in file-name order.
std::span<const EmbeddedScenario> EmbeddedScenarioFiles();

/// A built-in scenario: its name (the file name without ".toml") and its text.
struct BuiltinScenario {
  std::string Name;
  std::string Text;
};

/// The built-in scenarios, "default" first, then in name order.
const std::vector<BuiltinScenario> &BuiltinScenarios();

/// Their names, in the same order.
std::vector<std::string> BuiltinScenarioNames();

/// The built-in scenario of that name, or nullptr.
const BuiltinScenario *FindBuiltinScenario(std::string_view Name);

}  // namespace quarn::emu::cli
