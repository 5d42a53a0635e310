#include "TableReader.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "Tools/quarn-emu/Support/Suggest.h"

namespace quarn::emu::cli::loader {

/// The message for a status name nobody knows; names are case-sensitive.
std::string UnknownStatus(const std::string &Name) {
  return "unknown status name \"" + Name + "\"" + DidYouMean(Name, StatusNames());
}

std::string TypeName(toml::node_type Type) {
  switch (Type) {
    case toml::node_type::table: return "a table";
    case toml::node_type::array: return "an array";
    case toml::node_type::string: return "a string";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a floating-point number";
    case toml::node_type::boolean: return "a boolean";
    case toml::node_type::date: return "a date";
    case toml::node_type::time: return "a time";
    case toml::node_type::date_time: return "a date-time";
    default: return "nothing";
  }
}

std::string Hex(uint64_t Value) {
  std::ostringstream Text;
  Text << "0x" << std::uppercase << std::hex << Value;
  return Text.str();
}

/// A range bound as the docs write it: hexadecimal for an all-ones mask of a byte or
/// wider (0xFF, 0xFFFF, 0xFFFFFFFF), decimal for counts and times.
std::string Bound(uint64_t Value) {
  const bool Mask = Value >= 0xFF && (Value & (Value + 1)) == 0;
  return Mask ? Hex(Value) : std::to_string(Value);
}

/// An integer as the file writes it: hexadecimal when it was written so.
std::string AsWritten(const toml::value<int64_t> &Integer) {
  const int64_t Value = Integer.get();
  if (Value >= 0 && !!(Integer.flags() & toml::value_flags::format_as_hexadecimal)) {
    return Hex(static_cast<uint64_t>(Value));
  }
  return std::to_string(Value);
}

unsigned LineOf(const toml::node &Node) { return static_cast<unsigned>(Node.source().begin.line); }

void TableReader::Fail(const toml::node *Node, std::string_view Key, const std::string &Text) const {
  unsigned Line = Node != nullptr ? LineOf(*Node) : 0;
  if (Line == 0) Line = Line_;
  throw ScenarioError(Source_, Line, KeyPath(Key), Text);
}

void TableReader::Finish() const {
  for (auto &&[Key, Node] : Table_) {
    if (!Known_.count(std::string(Key.str()))) {
      unsigned Line = static_cast<unsigned>(Key.source().begin.line);
      if (Line == 0) Line = LineOf(Node);
      if (Line == 0) Line = Line_;
      throw ScenarioError(Source_, Line, KeyPath(Key.str()),
                          "unknown key" + DidYouMean(Key.str(), {Known_.begin(), Known_.end()}));
    }
  }
}

uint64_t TableReader::UnsignedValue(const toml::node &Node, std::string_view Key, uint64_t Max, uint64_t Min) const {
  ExpectType(Node, Key, toml::node_type::integer);
  const int64_t Value = Node.as_integer()->get();
  if (Value < 0 || static_cast<uint64_t>(Value) < Min || static_cast<uint64_t>(Value) > Max) {
    Fail(&Node, Key,
         AsWritten(*Node.as_integer()) + " is out of range (" + std::to_string(Min) + " to " + Bound(Max) + ")");
  }
  return static_cast<uint64_t>(Value);
}

void TableReader::Unsigned64(std::string_view Key, uint64_t &Out) {
  const toml::node *Node = Take(Key);
  if (Node == nullptr) return;
  if (Node->is_integer()) {
    Out = UnsignedValue(*Node, Key, std::numeric_limits<int64_t>::max(), 0);
    return;
  }
  if (!Node->is_string()) {
    Fail(Node, Key, "expected an integer or a \"0x...\" string, found " + TypeName(Node->type()));
  }
  const std::string &Text = Node->as_string()->get();
  const bool Prefixed = Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X');
  if (!Prefixed || Text.size() > 18 ||
      !std::all_of(Text.begin() + 2, Text.end(), [](unsigned char C) { return std::isxdigit(C) != 0; })) {
    Fail(Node, Key, "\"" + Text + "\" is not a hexadecimal number of at most 16 digits");
  }
  Out = std::stoull(Text.substr(2), nullptr, 16);
}

void TableReader::HexBytes(std::string_view Key, std::optional<std::vector<uint8_t>> &Out, size_t MaxBytes) {
  const toml::node *Node = Take(Key);
  if (Node == nullptr) return;
  ExpectType(*Node, Key, toml::node_type::string);
  const std::string &Text = Node->as_string()->get();
  std::vector<uint8_t> Bytes;
  int High = -1;
  for (size_t At = 0; At < Text.size(); At++) {
    const auto C = static_cast<unsigned char>(Text[At]);
    if (C == ' ' || C == '\t') {
      if (High >= 0) Fail(Node, Key, "bad hex string \"" + Text + "\": a byte is two hexadecimal digits");
      continue;
    }
    if (!std::isxdigit(C)) {
      // The whole character, not its first byte: the message stays UTF-8, as the file.
      size_t End = At + 1;
      while (End < Text.size() && (static_cast<unsigned char>(Text[End]) & 0xC0) == 0x80) End++;
      Fail(Node, Key, "bad hex string \"" + Text + "\": '" + Text.substr(At, End - At) + "' is no hexadecimal digit");
    }
    const int Digit = std::isdigit(C) ? C - '0' : std::tolower(C) - 'a' + 10;
    if (High < 0) {
      High = Digit;
    } else {
      Bytes.push_back(static_cast<uint8_t>(High * 16 + Digit));
      High = -1;
    }
  }
  if (High >= 0) Fail(Node, Key, "bad hex string \"" + Text + "\": odd number of hexadecimal digits");
  if (Bytes.size() > MaxBytes) {
    Fail(Node, Key, std::to_string(Bytes.size()) + " bytes are too many (at most " + std::to_string(MaxBytes) + ")");
  }
  Out = std::move(Bytes);
}

std::optional<TableReader> TableReader::Table(std::string_view Key) {
  const toml::node *Node = Take(Key);
  if (Node == nullptr) return std::nullopt;
  ExpectType(*Node, Key, toml::node_type::table);
  return TableReader(*Node->as_table(), KeyPath(Key), Source_, Line_);
}

}  // namespace quarn::emu::cli::loader
