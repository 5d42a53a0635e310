// The mechanics of reading a scenario file: one TOML table at a time, each key taken by
// the reader of its table, every value checked for its type and range, and every refusal
// a ScenarioError that names the file, the line and the key. The tables themselves are
// read in ScenarioTables.cpp and ExpectTable.cpp.
#pragma once

// toml++ 3.3 checks some of its parser's expectations with assert() before it reports
// them as parse errors: "[=x]" aborts a build without NDEBUG. Builds with NDEBUG skip
// the check and report the error with its line; make every build do that.
#define TOML_ASSERT(expr) static_cast<void>(0)
#include <toml++/toml.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Emulator/Report.h"
#include "ScenarioLoader.h"

namespace quarn::emu::cli::loader {

inline constexpr uint64_t kMaxU32 = 0xFFFFFFFFull;
inline constexpr uint64_t kMaxSpace = 16u * 1024 * 1024;  // HOB space and pool: 16 MiB at most
inline constexpr uint64_t kMaxTimeLimitMs = 24ull * 3600 * 1000;
inline constexpr size_t kMaxResponseBytes = 256;
inline constexpr size_t kMaxPolicyTableBytes = 65536;

/// The message for a status name nobody knows; names are case-sensitive.
std::string UnknownStatus(const std::string &Name);

/// "a table", "an integer", ... for the type of a TOML node; "nothing" for none.
std::string TypeName(toml::node_type Type);

/// Value as "0x" and upper-case hexadecimal digits.
std::string Hex(uint64_t Value);

/// A range bound as the docs write it: hexadecimal for an all-ones mask of a byte or
/// wider (0xFF, 0xFFFF, 0xFFFFFFFF), decimal for counts and times.
std::string Bound(uint64_t Value);

/// An integer as the file writes it: hexadecimal when it was written so.
std::string AsWritten(const toml::value<int64_t> &Integer);

/// The line Node starts on in its file (0 when toml++ knows none).
unsigned LineOf(const toml::node &Node);

/// Reads one table of a scenario file; every key it is asked for counts as known, and
/// Finish() refuses the rest.
class TableReader {
 public:
  /// Table is read under the dotted Path ("drux.type"; "" for the file's root) of the
  /// file Source; FallbackLine stands for the table's line where toml++ knows none.
  TableReader(const toml::table &Table, std::string Path, const std::string &Source, unsigned FallbackLine)
      : Table_(Table), Path_(std::move(Path)), Source_(Source) {
    Line_ = LineOf(Table);
    if (Line_ == 0) Line_ = FallbackLine;
  }

  /// Throws the ScenarioError for Key with Text, at Node's line (the table's without one).
  [[noreturn]] void Fail(const toml::node *Node, std::string_view Key, const std::string &Text) const;

  /// The dotted path of Key in this table ("drux.type.result"); the table's own for "".
  std::string KeyPath(std::string_view Key) const {
    if (Key.empty()) return Path_;
    return Path_.empty() ? std::string(Key) : Path_ + "." + std::string(Key);
  }

  /// The node of Key, or nullptr; Key counts as known from now on.
  const toml::node *Take(std::string_view Key) {
    Known_.insert(std::string(Key));
    return Table_.get(Key);
  }

  /// Refuses every key that nobody asked for.
  void Finish() const;

  /// Refuses Node, the value of Key, unless it is of Type.
  void ExpectType(const toml::node &Node, std::string_view Key, toml::node_type Type) const {
    if (Node.type() != Type) Fail(&Node, Key, "expected " + TypeName(Type) + ", found " + TypeName(Node.type()));
  }

  /// An unsigned integer in Min..Max.
  template <typename T>
  void Unsigned(std::string_view Key, T &Out, uint64_t Max = std::numeric_limits<T>::max(), uint64_t Min = 0) {
    if (const toml::node *Node = Take(Key)) Out = static_cast<T>(UnsignedValue(*Node, Key, Max, Min));
  }
  template <typename T>
  void Unsigned(std::string_view Key, std::optional<T> &Out, uint64_t Max = std::numeric_limits<T>::max(),
                uint64_t Min = 0) {
    if (const toml::node *Node = Take(Key)) Out = static_cast<T>(UnsignedValue(*Node, Key, Max, Min));
  }

  /// Node, the value of Key, as an integer in Min..Max; refused otherwise.
  uint64_t UnsignedValue(const toml::node &Node, std::string_view Key, uint64_t Max, uint64_t Min) const;

  /// A 64-bit value: an integer, or a string "0x..." for values TOML integers cannot hold.
  void Unsigned64(std::string_view Key, uint64_t &Out);

  /// A boolean, if Key is given.
  void Bool(std::string_view Key, bool &Out) {
    if (const toml::node *Node = Take(Key)) {
      ExpectType(*Node, Key, toml::node_type::boolean);
      Out = Node->as_boolean()->get();
    }
  }

  /// A string, if Key is given.
  void String(std::string_view Key, std::string &Out) {
    if (const toml::node *Node = Take(Key)) {
      ExpectType(*Node, Key, toml::node_type::string);
      Out = Node->as_string()->get();
    }
  }

  /// A status: a name ("EFI_TIMEOUT") or a number.
  template <typename T>
  void Status(std::string_view Key, T &Out) {
    const toml::node *Node = Take(Key);
    if (Node == nullptr) return;
    if (Node->is_integer()) {
      Out = static_cast<EFI_STATUS>(UnsignedValue(*Node, Key, kMaxU32, 0));
      return;
    }
    if (!Node->is_string()) Fail(Node, Key, "expected a status name or number, found " + TypeName(Node->type()));
    const std::string &Name = Node->as_string()->get();
    const std::optional<EFI_STATUS> Value = StatusFromName(Name);
    if (!Value) Fail(Node, Key, UnknownStatus(Name));
    Out = *Value;
  }

  /// Bytes written as hexadecimal digit pairs, blanks allowed between the pairs.
  void HexBytes(std::string_view Key, std::optional<std::vector<uint8_t>> &Out, size_t MaxBytes);

  /// A sub-table, if present.
  std::optional<TableReader> Table(std::string_view Key);

  /// The file the table is read from, as messages name it.
  const std::string &Source() const { return Source_; }
  /// The line of the table's header (or the fallback line).
  unsigned Line() const { return Line_; }

 private:
  const toml::table &Table_;
  std::string Path_;
  const std::string &Source_;
  unsigned Line_ = 0;
  std::set<std::string> Known_;
};

}  // namespace quarn::emu::cli::loader
