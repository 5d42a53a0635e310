// Every line the module can print on its console, derived from the module's own format
// strings: each message is written here as the format literal(s) of its print call(s)
// and the constant arguments its call passes, and the line patterns are rendered from
// them. A test reads the module's sources and checks that every format literal there
// is in this catalogue and every literal here is in the sources, so the two cannot
// drift apart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::emu::cli::explain {

/// The level a message is printed at (an assertion prints whatever the level).
enum class Level : uint32_t { Error = 0x80000000u, Warn = 0x2, Info = 0x40, Assert = 0 };

/// One message of the module: one print call, or the few calls that make one line.
struct Message {
  const char *Id;  // short stable name ("type-ok")
  Level Severity;
  std::vector<const char *> Formats;    // the format literals, as written in the source, in call order
  std::vector<const char *> Arguments;  // for each %a / %s in order: the constant passed, or nullptr (varies)
  const char *Source;                   // the file that prints it
  const char *Meaning;                  // what the line tells, for the story
  uint32_t AddressFields = 0;           // bit N: field N holds a memory address
};

/// The kind of a field a line pattern leaves open.
enum class FieldKind { Decimal, HexLower, HexUpper, Hex8Lower, Hex8Upper, Status, Pointer, Text };

/// A piece of a rendered line: literal text or an open field.
struct Piece {
  bool IsField = false;
  std::string Literal;
  FieldKind Kind = FieldKind::Text;
};

/// One line a message prints (a message with a line feed inside prints two).
struct LinePattern {
  const Message *Of = nullptr;
  unsigned LineOfMessage = 0;  // 0 for the first line of the message
  std::string Id;              // Message::Id, with "#2" for a second line
  std::vector<Piece> Pieces;
  unsigned FieldCount = 0;
};

/// A field's value as printed, and as a number where it is one.
struct FieldValue {
  std::string Text;
  std::optional<uint64_t> Number;  // decimal/hex fields; for %r the status value
};

/// A line of text recognised as a module line.
struct LineMatch {
  const LinePattern *Pattern = nullptr;
  size_t Start = 0;  // offset of the module's text in the line (after any prefix)
  std::vector<FieldValue> Fields;
};

/// Every message of the module.
const std::vector<Message> &Messages();

/// Every line pattern, rendered from Messages().
const std::vector<LinePattern> &LinePatterns();

/// The line patterns of one message, rendered as LinePatterns() renders each of
/// Messages() (the patterns' Of points at M).
std::vector<LinePattern> RenderPatterns(const Message &M);

/// The line pattern of a message id ("non-quarn#2" for a second line); nullptr if none.
const LinePattern *FindPattern(std::string_view Id);

/// Recognises Line (without its line ending) as a module line: the module's text runs
/// from some offset to the end of the line, and whatever is before it is a prefix a
/// capture tool added. The shortest prefix wins.
std::optional<LineMatch> MatchLine(std::string_view Line);

/// Matches Text as a whole against one pattern.
std::optional<LineMatch> MatchPattern(const LinePattern &Pattern, std::string_view Text);

/// The text %r prints for a status, and back.
std::string StatusText(uint64_t Status);
std::optional<uint64_t> StatusFromText(std::string_view Text);

/// The level's name: "ERROR", "WARN", "INFO", "ASSERT".
const char *LevelName(Level L);

}  // namespace quarn::emu::cli::explain
