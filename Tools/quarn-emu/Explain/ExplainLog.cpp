#include "ExplainLog.h"

namespace quarn::emu::cli::explain {

namespace {

/// Words only the module's lines carry: a line with one of them that is none of the
/// module's messages is a text this version does not print.
constexpr std::string_view kModuleWords[] = {"[QUARN]",
                                             "DRUX:",
                                             "[DRUX]",
                                             "[VORN]",
                                             "[CLOX]",
                                             "(CLOX)",
                                             "Sync MM7",
                                             "Reload MM7",
                                             "Migration pointer",
                                             "ASSERT [QuarnPeiPreMem]",
                                             "ASSERT_EFI_ERROR",
                                             "ASSERT_RETURN_ERROR"};

bool HasModuleWord(std::string_view Line) {
  if (Line.size() > 4096) return false;  // no line of the module is that long
  for (std::string_view Word : kModuleWords) {
    if (Line.find(Word) != std::string_view::npos) return true;
  }
  return false;
}

/// Where the module's words begin in a line that is none of its messages: the first
/// of the words, from the start of the bracketed tag or word it stands in.
size_t SuspectStart(std::string_view Line) {
  size_t Start = Line.size();
  if (Line.size() > 4096) return Start;  // no line of the module is that long
  for (std::string_view Word : kModuleWords) Start = std::min(Start, Line.find(Word));
  while (Start > 0 && Line[Start - 1] != ' ' && Line[Start - 1] != ']') Start--;
  return Start;
}

}  // namespace

ParsedLog ReadLog(std::string_view Text) {
  ParsedLog Log;
  size_t Position = 0;
  while (Position < Text.size()) {
    size_t End = Text.find_first_of("\r\n", Position);
    if (End == std::string_view::npos) End = Text.size();
    std::string_view Line = Text.substr(Position, End - Position);
    Position = End;
    if (Position < Text.size() && Text[Position] == '\r') {
      Position++;
      if (Position < Text.size() && Text[Position] == '\n') {
        Log.CrLf = true;
        Position++;
      }
    } else if (Position < Text.size()) {
      Position++;
    }
    Log.TotalLines++;
    if (std::optional<LineMatch> Match = MatchLine(Line)) {
      LogLine L;
      L.FileLine = Log.TotalLines;
      L.Prefix = std::string(Line.substr(0, Match->Start));
      L.Text = std::string(Line.substr(Match->Start));
      L.Match = std::move(Match);
      Log.Module.push_back(std::move(L));
    } else if (HasModuleWord(Line)) {
      const size_t Start = SuspectStart(Line);
      Log.Module.push_back(
          LogLine{Log.TotalLines, std::string(Line.substr(0, Start)), std::string(Line.substr(Start)), std::nullopt});
    } else {
      Log.OtherLines++;
    }
  }
  return Log;
}

std::vector<std::string> ConsoleLines(std::string_view Console) {
  std::vector<std::string> Lines;
  size_t Position = 0;
  while (Position < Console.size()) {
    size_t End = Console.find('\n', Position);
    if (End == std::string_view::npos) End = Console.size();
    std::string_view Line = Console.substr(Position, End - Position);
    if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
    if (!Line.empty()) Lines.emplace_back(Line);
    Position = End + 1;
  }
  return Lines;
}

bool LinesAgree(const LogLine &Log, std::string_view RunLine) {
  if (Log.Text == RunLine) return true;
  if (kAddressesAreEvidence || !Log.Match || Log.Match->Pattern->Of->AddressFields == 0) return false;
  const std::optional<LineMatch> Run = MatchPattern(*Log.Match->Pattern, RunLine);
  if (!Run) return false;
  const uint32_t Addresses = Log.Match->Pattern->Of->AddressFields;
  for (size_t Field = 0; Field < Run->Fields.size(); Field++) {
    if ((Addresses >> Field) & 1) continue;
    if (Run->Fields[Field].Text != Log.Match->Fields[Field].Text) return false;
  }
  return true;
}

}  // namespace quarn::emu::cli::explain
