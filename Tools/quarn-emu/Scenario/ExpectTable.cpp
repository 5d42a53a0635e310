// The [expect] table of a scenario file: each key checked against what the report can
// hold under it (its shapes, its texts, its bounds tables) and kept as the JSON value
// check compares with the report.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>
#include <map>
#include <regex>

#include "ScenarioTables.h"
#include "TableReader.h"
#include "Tools/quarn-emu/Check/Check.h"
#include "Tools/quarn-emu/Support/Suggest.h"

namespace quarn::emu::cli {

namespace {

using namespace loader;

enum Shape : unsigned {
  kString = 1,
  kNumber = 2,
  kBool = 4,
  kArray = 8,
  kObject = 16,
  kNullable = 32,
};

struct ExpectKey {
  const char *Name;
  unsigned Shapes;
  ExpectKind Kind = ExpectKind::Value;
  const char *Subject = nullptr;  // the report key compared with; nullptr: Name itself
};

constexpr ExpectKey kExpectKeys[] = {
    {"scenario", kString},
    {"outcome", kString},
    {"stopped_at", kString | kNullable},
    {"status", kString | kNullable},
    {"status_value", kNumber | kNullable},
    {"elapsed_ms", kNumber},
    {"console", kString},
    {"console2", kString},
    {"debug_ppi", kArray},
    {"asserts", kArray},
    {"halt_codes", kArray},
    {"messages", kArray},
    {"exchange", kArray},
    {"records", kArray},
    {"status_codes", kArray},
    {"vorn_type_hob", kObject | kNullable},
    {"info_hob", kObject | kNullable},
    {"static_pointer_table", kObject | kNullable},
    {"cpu_and_revision", kObject | kNullable},
    {"mm7", kArray},
    {"mm7_points_to_table", kArray},
    {"time", kObject},
    {"console_contains", kString | kArray, ExpectKind::Contains, "console"},
    {"console_excludes", kString | kArray, ExpectKind::Excludes, "console"},
    {"console2_contains", kString | kArray, ExpectKind::Contains, "console2"},
    {"console2_excludes", kString | kArray, ExpectKind::Excludes, "console2"},
    {"debug_ppi_contains", kString | kArray, ExpectKind::Contains, "debug_ppi"},
    {"debug_ppi_excludes", kString | kArray, ExpectKind::Excludes, "debug_ppi"},
    {"console_sequence", kArray, ExpectKind::Sequence, "console"},
    {"console2_sequence", kArray, ExpectKind::Sequence, "console2"},
    {"debug_ppi_sequence", kArray, ExpectKind::Sequence, "debug_ppi"},
    {"console_lines", kArray, ExpectKind::Lines, "console"},
    {"console2_lines", kArray, ExpectKind::Lines, "console2"},
    {"debug_ppi_lines", kArray, ExpectKind::Lines, "debug_ppi"},
    {"console_matches", kString | kArray, ExpectKind::Matches, "console"},
    {"console2_matches", kString | kArray, ExpectKind::Matches, "console2"},
    {"debug_ppi_matches", kString | kArray, ExpectKind::Matches, "debug_ppi"},
    {"exchange_sequence", kArray, ExpectKind::Order, "exchange"},
    {"records_sequence", kArray, ExpectKind::Order, "records"},
};

const ExpectKey *FindExpectKey(std::string_view Name) {
  for (const ExpectKey &Key : kExpectKeys) {
    if (Name == Key.Name) return &Key;
  }
  return nullptr;
}

constexpr const char *kBoundsKeys[] = {"min", "max", "approx", "tolerance"};

/// A TOML value as the JSON value it stands for.
nlohmann::json ToJson(const toml::node &Node, const TableReader &T, std::string_view Key) {
  switch (Node.type()) {
    case toml::node_type::string: return Node.as_string()->get();
    case toml::node_type::integer: return Node.as_integer()->get();
    case toml::node_type::floating_point: return Node.as_floating_point()->get();
    case toml::node_type::boolean: return Node.as_boolean()->get();
    case toml::node_type::array: {
      nlohmann::json Array = nlohmann::json::array();
      for (const toml::node &Element : *Node.as_array()) Array.push_back(ToJson(Element, T, Key));
      return Array;
    }
    case toml::node_type::table: {
      nlohmann::json Object = nlohmann::json::object();
      for (auto &&[Name, Element] : *Node.as_table()) Object[std::string(Name.str())] = ToJson(Element, T, Key);
      return Object;
    }
    default: T.Fail(&Node, Key, TypeName(Node.type()) + " cannot be compared with a report value");
  }
}

/// A bounds table: its keys are min, max, approx and tolerance only, numbers; min and max
/// (one or both, min not above max) or approx with a tolerance not below zero.
void CheckBounds(const toml::table &Table, const TableReader &T, const std::string &Path) {
  std::map<std::string, double> Given;
  for (auto &&[Name, Node] : Table) {
    const std::string Field(Name.str());
    if (std::find(std::begin(kBoundsKeys), std::end(kBoundsKeys), Field) == std::end(kBoundsKeys)) {
      T.Fail(&Node, Path + "." + Field,
             "unknown key in a bounds table; it takes min, max, approx, tolerance" +
                 DidYouMean(Field, {std::begin(kBoundsKeys), std::end(kBoundsKeys)}));
    }
    const std::optional<double> Number = Node.value<double>();
    if (!Node.is_number() || !Number) {
      T.Fail(&Node, Path + "." + Field, "expected a number, found " + TypeName(Node.type()));
    }
    if (!std::isfinite(*Number)) T.Fail(&Node, Path + "." + Field, "expected a finite number");
    Given[Field] = *Number;
  }
  const bool Approx = Given.count("approx") != 0, Tolerance = Given.count("tolerance") != 0;
  const bool Range = Given.count("min") != 0 || Given.count("max") != 0;
  if (Approx && Range) T.Fail(&Table, Path, "either min and max or approx and tolerance, not both");
  if (Approx != Tolerance) T.Fail(&Table, Path, Approx ? "approx needs a tolerance" : "tolerance needs approx");
  if (Tolerance && !(Given["tolerance"] >= 0)) T.Fail(&Table, Path, "the tolerance is below zero");
  if (Given.count("min") && Given.count("max") && !(Given["min"] <= Given["max"])) {
    T.Fail(&Table, Path, "min lies above max");
  }
}

/// Walks a value for its bounds tables and partial objects and refuses a malformed one.
void CheckMatchers(const toml::node &Node, const TableReader &T, const std::string &Path) {
  if (const toml::array *Array = Node.as_array()) {
    for (size_t Index = 0; Index < Array->size(); Index++) {
      CheckMatchers(*Array->get(Index), T, Path + "[" + std::to_string(Index) + "]");
    }
    return;
  }
  const toml::table *Table = Node.as_table();
  if (Table == nullptr) return;
  const bool Bounds = std::any_of(std::begin(kBoundsKeys), std::end(kBoundsKeys),
                                  [&](const char *Name) { return Table->contains(Name); });
  if (Bounds) return CheckBounds(*Table, T, Path);
  for (auto &&[Name, Field] : *Table) {
    if (Name.str() == "partial") {
      if (!Field.is_boolean()) T.Fail(&Field, Path + ".partial", "expected a boolean, found " + TypeName(Field.type()));
      continue;
    }
    CheckMatchers(Field, T, Path + "." + std::string(Name.str()));
  }
}

bool IsKnownStatusText(const std::string &Text) {
  if (StatusFromName(Text)) return true;
  // The report writes a status without a name as "0x" and eight upper-case digits.
  return Text.size() == 10 && Text.rfind("0x", 0) == 0 &&
         std::all_of(Text.begin() + 2, Text.end(),
                     [](unsigned char C) { return std::isdigit(C) || (C >= 'A' && C <= 'F'); });
}

/// The [expect] key Name as it is known, or the ScenarioError that names the nearest
/// known key; Line is the key's line.
const ExpectKey &KnownExpectKey(const std::string &Key, const std::string &Source, unsigned Line) {
  const ExpectKey *Known = FindExpectKey(Key);
  if (Known == nullptr) {
    std::vector<std::string> Names;
    for (const ExpectKey &Candidate : kExpectKeys) Names.push_back(Candidate.Name);
    throw ScenarioError(Source, Line, "expect." + Key, "unknown key" + DidYouMean(Key, Names));
  }
  return *Known;
}

/// Refuses Value (Node's, the value of Key) when the report never holds one of its kind
/// under Key: a bounds table stands for a number.
void CheckShape(const ExpectKey &Known, const nlohmann::json &Value, const toml::node &Node, const TableReader &T,
                const std::string &Key) {
  const bool Bounds = Value.is_object() && IsBoundsTable(Value);
  const bool Fits = (Value.is_null() && (Known.Shapes & kNullable)) ||
                    (Value.is_string() && (Known.Shapes & kString)) ||
                    (Value.is_number() && (Known.Shapes & kNumber)) || (Value.is_boolean() && (Known.Shapes & kBool)) ||
                    (Value.is_array() && (Known.Shapes & kArray)) || (Bounds && (Known.Shapes & kNumber)) ||
                    (Value.is_object() && !Bounds && (Known.Shapes & kObject));
  if (!Fits) {
    T.Fail(&Node, Key,
           "the report never holds " + (Bounds ? std::string("a number") : TypeName(Node.type())) + " here");
  }
}

/// Refuses the texts of a text key of Kind that cannot be compared: a list that holds
/// anything but strings, a line with a line break inside, a pattern that is no regular
/// expression.
void CheckTexts(ExpectKind Kind, const nlohmann::json &Value, const toml::node &Node, const TableReader &T,
                const std::string &Key) {
  if (Kind != ExpectKind::Value && Value.is_array()) {
    for (const nlohmann::json &Element : Value) {
      if (!Element.is_string()) T.Fail(&Node, Key, "expected strings");
    }
  }
  if (Kind == ExpectKind::Lines) {
    for (std::string Text : ExpectedTexts(Value)) {
      if (Text.ends_with("\n")) Text.pop_back();
      if (Text.ends_with("\r")) Text.pop_back();
      if (Text.find_first_of("\r\n") != std::string::npos) {
        T.Fail(&Node, Key, "a line holds no line break but at its end: " + nlohmann::json(Text).dump());
      }
    }
  }
  if (Kind == ExpectKind::Matches) {
    for (const std::string &Pattern : ExpectedTexts(Value)) {
      try {
        (void)MatchPattern(Pattern);
      } catch (const std::regex_error &Error) {
        T.Fail(&Node, Key, "not a regular expression: " + nlohmann::json(Pattern).dump() + ": " + Error.what());
      }
    }
  }
}

/// Refuses a status or an outcome that no report holds.
void CheckNamedValue(const nlohmann::json &Value, const toml::node &Node, const TableReader &T,
                     const std::string &Key) {
  if (Key == "status" && Value.is_string() && !IsKnownStatusText(Value.get<std::string>())) {
    T.Fail(&Node, Key, UnknownStatus(Value.get<std::string>()));
  }
  if (Key == "outcome" && Value != "returned" && Value != "dead-loop" && Value != "hang") {
    T.Fail(&Node, Key, "\"" + Value.get<std::string>() + "\" is none of \"returned\", \"dead-loop\", \"hang\"");
  }
}

/// One key of [expect] (Node, the value of Key), checked, as the expectation it states.
Expectation ReadExpectation(const std::string &Key, const toml::node &Node, const TableReader &T,
                            const std::string &Source) {
  unsigned Line = LineOf(Node);
  if (Line == 0) Line = T.Line();
  const ExpectKey &Known = KnownExpectKey(Key, Source, Line);
  nlohmann::json Value = ToJson(Node, T, Key);
  if ((Known.Shapes & kNullable) && Value == "null") Value = nullptr;
  CheckMatchers(Node, T, Key);
  CheckShape(Known, Value, Node, T, Key);
  CheckTexts(Known.Kind, Value, Node, T, Key);
  CheckNamedValue(Value, Node, T, Key);
  return {Key, std::move(Value), Line, Known.Kind, Known.Subject ? Known.Subject : Key};
}

}  // namespace

bool IsBoundsTable(const nlohmann::json &Value) {
  if (!Value.is_object()) return false;
  return std::any_of(std::begin(kBoundsKeys), std::end(kBoundsKeys),
                     [&](const char *Name) { return Value.contains(Name); });
}

namespace loader {

void ReadExpect(const toml::table &Table, const std::string &Source, unsigned Fallback, LoadedScenario &L) {
  TableReader T(Table, "expect", Source, Fallback);
  L.HasExpect = true;
  L.ExpectLine = T.Line();
  for (auto &&[Name, Node] : Table) L.Expect.push_back(ReadExpectation(std::string(Name.str()), Node, T, Source));
  // toml++ keeps a table's keys in name order: mismatches read better in file order.
  std::stable_sort(L.Expect.begin(), L.Expect.end(),
                   [](const Expectation &A, const Expectation &B) { return A.Line < B.Line; });
}

}  // namespace loader

}  // namespace quarn::emu::cli
