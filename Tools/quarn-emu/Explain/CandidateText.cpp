// A candidate of the search as the scenario file it stands for, and the values of its
// keys as that file writes them.
#include <cctype>
#include <cstdio>

#include "SearchParts.h"

namespace quarn::emu::cli::explain {

namespace {

/// The tables of a scenario file in the order they are written.
constexpr const char *kTables[] = {"",
                                   "boot",
                                   "cpu",
                                   "cmos",
                                   "policy",
                                   "vorn",
                                   "drux",
                                   "drux.type",
                                   "drux.feature_set",
                                   "drux.watchdog",
                                   "drux.clock",
                                   "drux.pre_did_reset",
                                   "pei",
                                   "pei.vorn_type_hob",
                                   "fault"};

/// The table a dotted key belongs to ("drux.type" for "drux.type.result"; "" for none).
std::string TableOf(const std::string &Key) {
  const size_t Dot = Key.rfind('.');
  return Dot == std::string::npos ? std::string() : Key.substr(0, Dot);
}

}  // namespace

namespace search {

std::string Hex8(uint64_t Value) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "0x%08llX", static_cast<unsigned long long>(Value));
  return Text;
}

std::string Quoted(const std::string &Text) { return "\"" + Text + "\""; }

/// The EFI_ name of a status as a TOML string.
std::string StatusValue(uint64_t Status) { return Quoted(StatusName(static_cast<EFI_STATUS>(Status))); }

std::optional<uint64_t> Number(const std::string &Value) {
  if (Value.empty() || !std::isdigit(static_cast<unsigned char>(Value[0]))) return std::nullopt;
  return std::stoull(Value, nullptr, 0);
}

}  // namespace search

using search::Quoted;

std::string ScenarioText(const Candidate &C, const std::string &Name, const std::string &Description,
                         const std::string &Expect) {
  std::string Text = "name = " + Quoted(Name) + "\n";
  if (!Description.empty()) Text += "description = " + Quoted(Description) + "\n";
  for (const char *Table : kTables) {
    std::string Body;
    for (const auto &[Key, Value] : C.Keys) {
      if (Key == "vorn.at" || Value.empty() || TableOf(Key) != Table || std::string(Table).empty()) continue;
      Body += Key.substr(std::string(Table).size() + 1) + " = " + Value + "\n";
    }
    const bool Any = !Body.empty() || (std::string(Table) == "vorn" && C.Keys.count("vorn.at"));
    if (!Any) continue;
    if (!Body.empty()) Text += "\n[" + std::string(Table) + "]\n" + Body;
    if (std::string(Table) == "vorn" && C.Keys.count("vorn.at") && !C.Keys.at("vorn.at").empty()) {
      Text += "\n" + C.Keys.at("vorn.at");
    }
  }
  if (!Expect.empty()) Text += "\n[expect]\n" + Expect;
  return Text;
}

}  // namespace quarn::emu::cli::explain
