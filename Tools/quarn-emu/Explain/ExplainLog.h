// A serial log as captured in the field, and the module's lines picked out of it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ExplainCatalogue.h"

namespace quarn::emu::cli::explain {

/// Address values ("Reload MM7 ...: %p => %p", "Migration pointer type ...", "Sync MM7: %x")
/// come from the board's memory map, which a field log does not state: they are compared
/// by shape only and are no evidence. (The emulator's map is fixed per scenario by its
/// [memory] table; a search over maps would let them count.)
inline constexpr bool kAddressesAreEvidence = false;

/// One line of the log that is the module's, or looks like it.
struct LogLine {
  size_t FileLine = 0;             // 1-based line number in the log
  std::string Prefix;              // what a capture tool put before the module's text
  std::string Text;                // the module's text, without the line ending
  std::optional<LineMatch> Match;  // empty: the module's words, but no message of this version
};

struct ParsedLog {
  std::vector<LogLine> Module;  // the module's lines, in order
  size_t TotalLines = 0;
  size_t OtherLines = 0;  // lines of other modules
  bool CrLf = false;      // lines end in CR LF
};

/// Picks the module's lines out of Text: CR LF, LF or CR line endings; a line is the
/// module's when it ends in the text of one of its messages (whatever comes before it
/// is a prefix column), or when it carries the module's words without being one of
/// its messages (kept, so that a text this version never prints is reported).
ParsedLog ReadLog(std::string_view Text);

/// Splits a console as the emulated UART received it into lines (CR LF removed). Empty
/// lines are left out: other modules print them too, so they are no evidence.
std::vector<std::string> ConsoleLines(std::string_view Console);

/// TRUE when the run's line stands for the log's line: the same text, or, for a line
/// whose fields hold addresses, the same message with the same other fields (while
/// addresses are no evidence).
bool LinesAgree(const LogLine &Log, std::string_view RunLine);

}  // namespace quarn::emu::cli::explain
