// quarn-emu explain: the messages it knows are the module's, every built-in scenario's
// console (as a field capture would mangle it) and a few hundred random boards come back
// as scenarios that print the same module lines, and altered logs are refused at the
// line that no scenario can print. The story and its JSON are compared byte for byte with
// Test/Tools/ExplainGolden (QUARN_UPDATE_GOLDEN=1 rewrites those files); what it says of
// lines a log lacks holds exactly; the parts of the search are checked one by one.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <sstream>

#include "Emulator/Memory/Sanitizer.h"
#include "Tools/quarn-emu/Commands.h"
#include "Tools/quarn-emu/Explain/Explain.h"
#include "Tools/quarn-emu/Explain/SearchParts.h"
#include "Tools/quarn-emu/Run/Runner.h"
#include "Tools/quarn-emu/Scenario/BuiltinScenarios.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"
#include "Tools/TempDir.h"

using namespace quarn::emu;
using namespace quarn::emu::cli;
using namespace quarn::emu::cli::explain;

namespace {

std::string ConsoleOf(const std::string &ScenarioText, const std::string &Source) {
  return RunScenario(LoadScenarioText(ScenarioText, Source), false).Console;
}

std::string BuiltinConsole(const std::string &Name) { return RunScenario(ResolveScenario(Name), false).Console; }

/// Runs the emitted scenario and checks that it prints the log's module lines, in order,
/// from its first line (or, for a log cut at its start, from where the log begins).
::testing::AssertionResult ReproducesLog(const Explanation &E) {
  if (!E.Search.Reproduced) {
    const LogLine &Bad = E.Log.Module[E.Search.Matched];
    return ::testing::AssertionFailure() << "refused at line " << Bad.FileLine << " \"" << Bad.Text
                                         << "\": " << E.Search.Reason << "\n"
                                         << E.ScenarioToml;
  }
  LoadedScenario Loaded;
  try {
    Loaded = LoadScenarioText(E.ScenarioToml, "emitted.toml");
  } catch (const ScenarioError &Error) {
    return ::testing::AssertionFailure() << "the emitted scenario does not load: " << Error.what() << "\n"
                                         << E.ScenarioToml;
  }
  const RunReport Report = RunScenario(Loaded, false);
  const std::vector<std::string> Lines = ConsoleLines(Report.Console);
  for (size_t I = 0; I < E.Log.Module.size(); I++) {
    const size_t At = E.Search.Offset + I;
    if (At >= Lines.size() || !LinesAgree(E.Log.Module[I], Lines[At])) {
      return ::testing::AssertionFailure()
             << "line " << I << " of the module: the log has \"" << E.Log.Module[I].Text
             << "\", the emitted scenario prints \"" << (At < Lines.size() ? Lines[At] : "") << "\"\n"
             << E.ScenarioToml;
    }
  }
  if (E.Search.Exact && Lines.size() != E.Search.Offset + E.Log.Module.size()) {
    return ::testing::AssertionFailure() << "the emitted scenario prints more lines than the log";
  }
  return ::testing::AssertionSuccess();
}

std::vector<std::string> SplitCrLf(const std::string &Console) {
  std::vector<std::string> Lines;
  size_t Position = 0;
  while (Position < Console.size()) {
    size_t End = Console.find("\r\n", Position);
    if (End == std::string::npos) End = Console.size();
    Lines.push_back(Console.substr(Position, End - Position));
    Position = End + 2;
  }
  return Lines;
}

std::vector<std::string> SplitLf(const std::string &Text) {
  std::vector<std::string> Lines;
  std::stringstream In(Text);
  for (std::string Line; std::getline(In, Line);) Lines.push_back(Line);
  return Lines;
}

std::string Join(const std::vector<std::string> &Lines, const char *Ending) {
  std::string Text;
  for (const std::string &Line : Lines) Text += Line + Ending;
  return Text;
}

/// The ways a capture tool hands a console over.
std::string Captured(const std::string &Console, int Variant, std::mt19937 &Random) {
  const std::vector<std::string> Lines = SplitCrLf(Console);
  switch (Variant) {
    case 0: return Console;            // as the UART received it
    case 1: return Join(Lines, "\n");  // LF line endings
    case 2: {                          // a timestamp column
      std::vector<std::string> Stamped;
      for (size_t I = 0; I < Lines.size(); I++) {
        char Stamp[32];
        std::snprintf(Stamp, sizeof Stamp, "[%5zu.%06zu] ", I / 7, (I * 104729) % 1000000);
        Stamped.push_back(Stamp + Lines[I]);
      }
      return Join(Stamped, "\r\n");
    }
    case 3: {  // other modules' lines in between
      static const char *kOthers[] = {"PROGRESS CODE: V03020003 I0",
                                      "Loading PEIM at 0x000FFD23000 EntryPoint=0x000FFD23264",
                                      "Install PPI: 8C8CE578-8A3D-4F1C-9935-896185C32DD3",
                                      "",
                                      "PlatformInit: memory test done",
                                      "Temp RAM: 0xFEF00000 size 0x00080000"};
      std::vector<std::string> Mixed;
      for (const std::string &Line : Lines) {
        if (Random() % 3 == 0) Mixed.push_back(kOthers[Random() % std::size(kOthers)]);
        Mixed.push_back(Line);
      }
      Mixed.push_back(kOthers[0]);
      return Join(Mixed, "\r\n");
    }
    default: {  // cut after an arbitrary line
      const size_t Keep = 1 + Random() % std::max<size_t>(Lines.size(), 1);
      return Join(std::vector<std::string>(Lines.begin(), Lines.begin() + std::min(Keep, Lines.size())), "\r\n");
    }
  }
}

constexpr const char *kVariantNames[] = {"as received", "LF endings", "timestamp column", "other modules' lines",
                                         "cut after an arbitrary line"};

/// The sanitizer build runs every emulated boot many times slower: the searches over many
/// logs run in the plain build only; under the sanitizers the explain search is fuzzed
/// (FuzzExplain) and walked by the cheaper cases of this file.
constexpr bool kSanitized = quarn::emu::kSanitizedBuild;

}  // namespace

// --- the messages -------------------------------------------------------------------

#ifdef QUARN_SOURCE_DIR
TEST(ExplainCatalogue, HoldsExactlyTheModulesFormatStrings) {
  // Every literal format of a print in the module's sources (the module, its libraries,
  // their headers, the standard headers whose check forms print): DEBUG ((Level, "...", ...))
  // or a DebugPrint call; adjacent literals joined.
  std::set<std::string> InSources;
  const std::regex Call(R"re((?:DebugPrint\s*\(|DEBUG\s*\(\()\s*[A-Z_]+\s*,\s*((?:"(?:[^"\\]|\\.)*"\s*)+))re");
  const std::regex Literal(R"re("((?:[^"\\]|\\.)*)")re");
  auto Unescape = [](const std::string &Text) {
    std::string Out;
    for (size_t I = 0; I < Text.size(); I++) {
      if (Text[I] == '\\' && I + 1 < Text.size()) {
        Out += Text[I + 1] == 'n' ? '\n' : Text[I + 1];
        I++;
      } else {
        Out += Text[I];
      }
    }
    return Out;
  };
  for (const char *Folder : {"Pei", "Library", "Include", "MdeSubset"}) {
    for (const auto &Entry :
         std::filesystem::recursive_directory_iterator(std::string(QUARN_SOURCE_DIR) + "/" + Folder)) {
      const std::string Extension = Entry.path().extension().string();
      if (Extension != ".cpp" && Extension != ".h") continue;
      std::ifstream In(Entry.path());
      std::stringstream Text;
      Text << In.rdbuf();
      const std::string Source = Text.str();
      for (std::sregex_iterator It(Source.begin(), Source.end(), Call), End; It != End; ++It) {
        std::string Format;
        const std::string Literals = (*It)[1];
        for (std::sregex_iterator L(Literals.begin(), Literals.end(), Literal); L != End; ++L)
          Format += Unescape((*L)[1]);
        InSources.insert(Format);
      }
    }
  }
  ASSERT_GT(InSources.size(), 60u);

  std::set<std::string> InCatalogue;
  for (const Message &M : Messages()) {
    for (const char *Format : M.Formats) {
      // "%a" alone is a print whose format is a name the code picks, and the assertion
      // line has its own format constant.
      if (std::string(Format) != "%a" && std::string(M.Id) != "assert") InCatalogue.insert(Format);
    }
  }
  for (const std::string &Format : InSources)
    EXPECT_TRUE(InCatalogue.count(Format)) << "not in the catalogue: " << Format;
  for (const std::string &Format : InCatalogue)
    EXPECT_TRUE(InSources.count(Format)) << "no longer in the sources: " << Format;

  std::ifstream DebugLib(std::string(QUARN_SOURCE_DIR) + "/Library/BaseDebugLibSerialPort/DebugLib.cpp");
  std::stringstream Text;
  Text << DebugLib.rdbuf();
  EXPECT_NE(Text.str().find(R"(kAssertFormat[] = "ASSERT [%a] %a(%d): %a\n")"), std::string::npos);
}
#endif

TEST(ExplainCatalogue, RecognisesLinesBehindAPrefixAndReadsTheirValues) {
  const auto Match = MatchLine("[  3.104] [QUARN][PreMem] ERROR: Non QUARN firmware running in VORN");
  ASSERT_TRUE(Match);
  EXPECT_EQ(Match->Pattern->Id, "non-quarn");
  EXPECT_EQ(Match->Start, 10u);

  const auto Registers = MatchLine("             (VORNFS1: 0x00000002, VORNFS2: 0x00000400)");
  ASSERT_TRUE(Registers);
  EXPECT_EQ(Registers->Pattern->Id, "non-quarn#2");
  EXPECT_EQ(Registers->Start, 0u);
  EXPECT_EQ(*Registers->Fields[0].Number, 2u);
  EXPECT_EQ(*Registers->Fields[1].Number, 0x400u);

  const auto Status = MatchLine("DRUX: PeiDruxGetVornType Status is Time out, returns 238");
  ASSERT_TRUE(Status);
  EXPECT_EQ(*Status->Fields[0].Number, 0x80000012u);
  EXPECT_EQ(*Status->Fields[1].Number, 238u);

  const auto Assert = MatchLine("ASSERT [QuarnPeiPreMem] Library/PeiHobLib/HobLib(96): Hob != ((void *) 0)");
  ASSERT_TRUE(Assert);
  EXPECT_EQ(Assert->Fields[0].Text, "Library/PeiHobLib/HobLib");
  EXPECT_EQ(Assert->Fields[2].Text, "Hob != ((void *) 0)");

  const std::string LongPrefix(300, '#');
  const auto BehindLongPrefix = MatchLine(LongPrefix + " Sync MM7: 9FFDB90");
  ASSERT_TRUE(BehindLongPrefix);
  EXPECT_EQ(BehindLongPrefix->Start, 301u);
  EXPECT_FALSE(MatchLine("ASSERT [QuarnPeiPreMem] " + std::string(100000, '('))) << "longer than any message";
  EXPECT_FALSE(MatchLine(std::string("\0\xff\x80 DRUX", 9)));

  EXPECT_FALSE(MatchLine("PROGRESS CODE: V03020003 I0"));
  EXPECT_FALSE(MatchLine("[QUARN][PreMem] Wait for VORN Nromal or Recovery state"))
      << "a text this version never prints";
  EXPECT_FALSE(MatchLine("[QUARN][PreMem] Wait for VORN state reaches VORN State = ")) << "a field without a value";
}

// --- built-in scenarios -------------------------------------------------------------

TEST(Explain, EveryBuiltinScenarioComesBackAsAScenarioThatPrintsTheSameLines) {
  if (kSanitized) GTEST_SKIP() << "run in the plain build";
  std::mt19937 Random(19);
  size_t Logs = 0, Runs = 0;
  for (const BuiltinScenario &Builtin : BuiltinScenarios()) {
    const std::string Console = BuiltinConsole(Builtin.Name);
    for (int Variant = 0; Variant < 5; Variant++) {
      const std::string Log = Captured(Console, Variant, Random);
      const Explanation E = Explain(Log, "explained", false);
      EXPECT_TRUE(ReproducesLog(E)) << Builtin.Name << ", " << kVariantNames[Variant];
      if (Variant < 4) EXPECT_TRUE(E.Search.Exact) << Builtin.Name << ", " << kVariantNames[Variant];
      Logs++;
      Runs += E.Search.Runs;
    }
  }
  std::printf("explain: %zu logs of the built-in scenarios, %.1f runs a log\n", Logs, double(Runs) / double(Logs));
}

TEST(Explain, TheEmittedScenarioPassesItsOwnExpectTable) {
  for (const char *Name : {"default", "pre-did-counter-timeout", "watchdog-refused", "not-quarn-dfx"}) {
    const Explanation E = Explain(BuiltinConsole(Name), "explained", false);
    ASSERT_TRUE(E.Search.Exact) << Name;
    const LoadedScenario Loaded = LoadScenarioText(E.ScenarioToml, "explained.toml");
    EXPECT_TRUE(Loaded.HasExpect);
    const RunReport Report = RunScenario(Loaded, false);
    std::ostringstream Out, Err;
    const std::string Path = (std::filesystem::temp_directory_path() / "quarn-emu-explained.toml").string();
    std::ofstream(Path, std::ios::binary) << E.ScenarioToml;
    EXPECT_EQ(CheckScenarios({.Scenarios = {Path}}, Out, Err), kExitOk) << Name << "\n" << Out.str() << Err.str();
    std::filesystem::remove(Path);
    EXPECT_EQ(Report.Status, RunScenario(ResolveScenario(Name), false).Status) << Name;
  }
}

// --- random boards ------------------------------------------------------------------

namespace {

/// A random scenario over every table and every kind of firmware answer.
std::string RandomScenario(std::mt19937 &R, int Index) {
  auto Pick = [&](int N) { return static_cast<int>(R() % N); };
  auto Chance = [&](int Percent) { return Pick(100) < Percent; };
  auto Hex = [](uint64_t V) {
    char T[24];
    std::snprintf(T, sizeof T, "0x%08llX", static_cast<unsigned long long>(V));
    return std::string(T);
  };
  auto Bytes = [&](int N) {
    std::string T = "\"";
    for (int I = 0; I < N; I++) {
      char B[4];
      std::snprintf(B, sizeof B, "%02x", static_cast<unsigned>(R() & 0xFF));
      T += B;
    }
    return T + "\"";
  };
  static const char *kErrors[] = {"EFI_TIMEOUT", "EFI_DEVICE_ERROR", "EFI_NO_RESPONSE", "EFI_NOT_READY"};
  static const char *kWarnings[] = {"EFI_WARN_STALE_DATA", "EFI_WARN_BUFFER_TOO_SMALL"};
  // One kind of answer for a message table: the model's, an error, a warning, other bytes, another length.
  auto Answer = [&](int ModelLength) {
    switch (Pick(6)) {
      case 0: return "result = \"" + std::string(kErrors[Pick(4)]) + "\"\n";
      case 1: return "result = \"" + std::string(kWarnings[Pick(2)]) + "\"\n";
      case 2: return "response = " + Bytes(1 + Pick(ModelLength)) + "\n";
      case 3: return "response_length = " + std::to_string(Pick(ModelLength + 4)) + "\n";
      default: return std::string();
    }
  };
  std::string S = "name = \"random-" + std::to_string(Index) + "\"\n";
  S += "[boot]\nmode = " + std::string(Chance(15) ? "0x11" : "0") + "\n";
  if (Chance(10)) S += "get_boot_mode_status = \"EFI_DEVICE_ERROR\"\n";
  S += "[cpu]\nsignature = " + std::string(Chance(10) ? "0x000906EA" : "0x00050654") +
       "\nprocessors = " + std::to_string(1 + Pick(8)) + "\n";
  static const uint32_t kLevels[] = {0x80000042, 0x80000042, 0x80000042, 0x80000000, 0x80000040, 0x80000002, 0x40, 0};
  S += "[cmos]\nerror_level = " + Hex(kLevels[Pick(8)]) + "\nvalid = " + (Chance(90) ? "true" : "false") + "\n";
  S += "[policy]\ninstalled = " + std::string(Chance(92) ? "true" : "false") +
       "\nblock = " + (Chance(92) ? "true" : "false") + "\npre_did_reset = " + (Chance(60) ? "true" : "false") +
       "\nssc_alternate = " + (Chance(50) ? "true" : "false") +
       "\nbios_update_watchdog = " + (Chance(50) ? "true" : "false") + "\n";
  static const uint32_t kStates[] = {5, 5, 2, 2, 1, 0, 3, 4};
  const uint32_t Flow = Chance(8) ? 7 : Pick(3);
  const uint32_t Fs1 = kStates[Pick(8)] | (Flow << 16) | (uint32_t(Pick(16)) << 20);
  const uint32_t Fs2 = (Chance(50) ? 4u : uint32_t(Pick(8))) << 8;
  S += "[vorn]\npresent = " + std::string(Chance(95) ? "true" : "false") + "\nfs1 = " + Hex(Fs1) +
       "\nfs2 = " + Hex(Fs2) + "\nfn1 = " + Hex(R()) + "\ndwrsts = " + Hex(Chance(8) ? 0x8000 : 0) + "\n";
  if (Chance(25)) {
    static const uint32_t kTimes[] = {30, 600, 1500};
    S += "[[vorn.at]]\nms = " + std::to_string(kTimes[Pick(3)]) +
         "\nfs1 = " + Hex((Fs1 & ~0xFu) | (Chance(50) ? 5 : 2)) + "\n";
  }
  S += "[drux]\ninstalled = " + std::string(Chance(95) ? "true" : "false") + "\n";
  if (Chance(8)) S += "vorn_status = 1\n";
  if (Chance(8)) S += "vorn_status_result = \"EFI_DEVICE_ERROR\"\n";
  S += "[drux.type]\nfw_type = " + std::to_string(Chance(70) ? 1 : Pick(8)) + "\nfw_sub_type = " +
       std::to_string(Chance(80)   ? 0
                      : Chance(50) ? 3
                                   : Pick(256)) +
       "\n" + (Chance(40) ? Answer(8) : "");
  S += "[drux.feature_set]\nfeature_set = " + Hex(Chance(70) ? 4 : R()) + "\n" + (Chance(40) ? Answer(11) : "");
  S += "[drux.watchdog]\nstatus = " + std::to_string(Chance(70) ? 0 : Pick(256)) + "\n" + (Chance(40) ? Answer(2) : "");
  S += "[drux.clock]\nclox_response = " + std::to_string(Chance(70) ? 0 : Pick(1000)) + "\n" +
       (Chance(40) ? Answer(48) : "");
  if (Chance(60)) {
    S += "[drux.pre_did_reset]\naccept = " + std::string(Chance(75) ? "true" : "false") + "\n";
    if (Chance(75)) S += "counter_after_ms = " + std::to_string(10 + Pick(200)) + "\n";
    if (Chance(75)) S += "state_after_ms = " + std::to_string(50 + Pick(400)) + "\n";
    if (Chance(30)) S += "state = " + std::to_string(Pick(16)) + "\n";
    if (Chance(30)) S += Answer(12);
  }
  S += "[pei]\nmemory_discovered = " + std::string(Chance(85) ? "true" : "false") + "\n";
  static const char *kMp[] = {"after-memory", "before-entry", "never"};
  S += "mp_services = \"" + std::string(kMp[Pick(3)]) + "\"\n";
  const bool SmallHobSpace = Chance(10);
  if (SmallHobSpace) S += "hob_space = " + std::to_string(Chance(50) ? 360 : 64) + "\n";
  if (Chance(8)) S += "pool_space = 0\n";
  // A type HOB left by an earlier module needs room in the HOB list.
  if (!SmallHobSpace && Chance(10)) S += "[pei.vorn_type_hob]\nvorn_type = " + std::to_string(Pick(5)) + "\n";
  return S;
}

}  // namespace

TEST(Explain, RandomBoardsAreReproducedEveryOne) {
  if (kSanitized) GTEST_SKIP() << "run in the plain build";
  const int kBoards = 300;
  std::mt19937 Random(0x19);
  int Reproduced = 0;
  size_t Runs = 0, MaxRuns = 0;
  double TotalMs = 0, MaxMs = 0;
  for (int Index = 0; Index < kBoards; Index++) {
    const std::string Scenario = RandomScenario(Random, Index);
    std::string Console;
    try {
      Console = ConsoleOf(Scenario, "random.toml");
    } catch (const ScenarioError &Error) {
      ADD_FAILURE() << "the generator wrote an unusable scenario: " << Error.what() << "\n" << Scenario;
      continue;
    }
    const Explanation E = Explain(Console, "explained", false);
    const ::testing::AssertionResult Same = ReproducesLog(E);
    EXPECT_TRUE(Same) << "board " << Index << "\n" << Scenario << "\n" << Console;
    EXPECT_TRUE(E.Search.Exact) << "board " << Index;
    Reproduced += Same ? 1 : 0;
    Runs += E.Search.Runs;
    MaxRuns = std::max(MaxRuns, E.Search.Runs);
    TotalMs += E.Search.HostMs;
    MaxMs = std::max(MaxMs, E.Search.HostMs);
  }
  std::printf(
      "explain: %d of %d random boards reproduced; %.1f runs a log (at most %zu), %.1f ms a log (at most %.0f)\n",
      Reproduced, kBoards, double(Runs) / kBoards, MaxRuns, TotalMs / kBoards, MaxMs);
}

// --- logs that cannot have come from the module -------------------------------------

namespace {

/// Explains Lines (joined with CR LF) and answers the log line it was refused at (0: accepted).
size_t RefusedAt(const std::vector<std::string> &Lines) {
  const Explanation E = Explain(Join(Lines, "\r\n"), "explained", false);
  return E.Search.Reproduced ? 0 : E.Log.Module[E.Search.Matched].FileLine;
}

size_t IndexOf(const std::vector<std::string> &Lines, const std::string &Text) {
  for (size_t I = 0; I < Lines.size(); I++) {
    if (Lines[I] == Text) return I;
  }
  ADD_FAILURE() << "no line " << Text;
  return 0;
}

}  // namespace

TEST(Explain, AlteredLogsAreRefusedAtTheLineNoScenarioCanPrint) {
  if (kSanitized) GTEST_SKIP() << "run in the plain build";
  const std::vector<std::string> Default = SplitCrLf(BuiltinConsole("default"));
  ASSERT_EQ(RefusedAt(Default), 0u);

  {  // a line removed
    std::vector<std::string> Lines = Default;
    const size_t At = IndexOf(Lines, "[QUARN][PreMem] WARNING: Execute VORN pre-DID reset");
    Lines.erase(Lines.begin() + At);
    EXPECT_EQ(RefusedAt(Lines), At + 1);
  }
  {  // two lines swapped
    std::vector<std::string> Lines = Default;
    const size_t At = IndexOf(Lines, "[QUARN][PreMem] Pre-DID reset has been executed successfully");
    std::swap(Lines[At], Lines[At + 1]);
    EXPECT_EQ(RefusedAt(Lines), At + 1);
  }
  {  // a register value changed: CurrentState 3 is never a state the wait ends in
    std::vector<std::string> Lines = Default;
    const size_t At = IndexOf(Lines, "[QUARN][PreMem] Wait for VORN state reaches VORN State = 2");
    Lines[At] = "[QUARN][PreMem] Wait for VORN state reaches VORN State = 3";
    EXPECT_EQ(RefusedAt(Lines), At + 1);
  }
  {  // a register value changed: only recovery cause 4 is ever printed
    std::vector<std::string> Lines = Default;
    const size_t At = IndexOf(Lines, "[QUARN][PreMem] WARNING: VORN is in recovery mode (cause: 4)");
    Lines[At] = "[QUARN][PreMem] WARNING: VORN is in recovery mode (cause: 3)";
    EXPECT_EQ(RefusedAt(Lines), At + 1);
  }
  {  // a text changed
    std::vector<std::string> Lines = Default;
    const size_t At = IndexOf(Lines, "[QUARN][PreMem] BIOS_UPDATE_WATCHDOG_CONTROL reports success");
    Lines[At] = "[QUARN][PreMem] BIOS_UPDATE_WATCHDOG_CONTROL reports succes";
    EXPECT_EQ(RefusedAt(Lines), At + 1);
  }
  {  // a value that contradicts an earlier one: the type answer says QUARN, the type line DFX
    std::vector<std::string> Lines = Default;
    const size_t At = IndexOf(Lines, "[DRUX] [VORN] (VornType is VORN_TYPE_QUARN)");
    Lines[At] = "[DRUX] [VORN] (VornType is VORN_TYPE_DFX)";
    EXPECT_EQ(RefusedAt(Lines), At + 1);
  }
  {  // the same on a non-functional boot: a line removed between the two register lines' halves
    std::vector<std::string> Lines = SplitCrLf(BuiltinConsole("pre-did-counter-timeout"));
    const size_t At =
        IndexOf(Lines, "[QUARN][PreMem] ERROR: Pre-DID reset timeout failure causes VORN non-functional flow");
    Lines.erase(Lines.begin() + At);
    EXPECT_EQ(RefusedAt(Lines), At + 1);
  }
}

namespace {

#ifdef QUARN_SOURCE_DIR
/// Text is the golden file Name of Test/Tools/ExplainGolden, byte for byte. With
/// QUARN_UPDATE_GOLDEN=1 in the environment the file is written instead (then look at
/// the difference with git before committing it).
::testing::AssertionResult SameAsGolden(const std::string &Name, const std::string &Text) {
  const std::filesystem::path Path = std::filesystem::path(QUARN_SOURCE_DIR) / "Test/Tools/ExplainGolden" / Name;
  if (std::getenv("QUARN_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(Path, std::ios::binary) << Text;
    return ::testing::AssertionSuccess();
  }
  std::ifstream In(Path, std::ios::binary);
  std::stringstream Golden;
  Golden << In.rdbuf();
  if (Golden.str() == Text) return ::testing::AssertionSuccess();
  const std::vector<std::string> Want = SplitLf(Golden.str()), Got = SplitLf(Text);
  size_t Line = 0;
  while (Line < Want.size() && Line < Got.size() && Want[Line] == Got[Line]) Line++;
  return ::testing::AssertionFailure() << Path.string() << ": differs at line " << Line + 1
                                       << ":\n  golden: " << (Line < Want.size() ? Want[Line] : "(end)")
                                       << "\n  now:    " << (Line < Got.size() ? Got[Line] : "(end)")
                                       << "\n(QUARN_UPDATE_GOLDEN=1 rewrites the golden files)";
}
#endif

/// Text with every occurrence of From replaced by To.
std::string Replaced(std::string Text, const std::string &From, const std::string &To) {
  for (size_t At = Text.find(From); At != std::string::npos; At = Text.find(From, At + To.size())) {
    Text.replace(At, From.size(), To);
  }
  return Text;
}

}  // namespace

TEST(ExplainCommand, StoryScenarioFileAndExitStatus) {
  // A short boot (the firmware says DFX: one answer, the non-functional path), so that
  // the sanitizer build, which runs this too, is not held up.
  const TempDir Dir;
  const std::string LogPath = Dir.File("not-quarn-dfx.log", BuiltinConsole("not-quarn-dfx")).string();
  const std::string ScenarioPath = Dir.Path("not-quarn-dfx.toml").string();
  ExplainOptions Options;
  Options.Log = LogPath;
  Options.Emit = ScenarioPath;
  std::ostringstream Out, Err;
  EXPECT_EQ(ExplainLog(Options, Out, Err), kExitOk) << Err.str();
  EXPECT_EQ(Err.str(), "");
  const LoadedScenario Loaded = LoadScenarioFile(ScenarioPath);
  EXPECT_EQ(Loaded.Settings.Name, "not-quarn-dfx");
  std::ifstream Emitted(ScenarioPath, std::ios::binary);
  std::stringstream Toml;
  Toml << Emitted.rdbuf();
  // --emit: the story on standard output, the scenario in the file only.
  EXPECT_EQ(Out.str().find("[expect]"), std::string::npos);
#ifdef QUARN_SOURCE_DIR
  const std::string Here = Dir.Path("").string();
  EXPECT_TRUE(SameAsGolden("not-quarn-dfx.story.txt", Replaced(Out.str(), Here, "DIR/")));
  EXPECT_TRUE(SameAsGolden("not-quarn-dfx.toml", Toml.str()));
#endif

  Options.Json = true;
  std::ostringstream JsonOut;
  EXPECT_EQ(ExplainLog(Options, JsonOut, Err), kExitOk);
  const nlohmann::json J = nlohmann::json::parse(JsonOut.str());
  EXPECT_EQ(J["reproduced"], true);
  EXPECT_EQ(J["exact"], true);
  EXPECT_EQ(J["impossible"], nullptr);
  EXPECT_EQ(J["emitted"], ScenarioPath);
  EXPECT_EQ(J["scenario"], Toml.str());
#ifdef QUARN_SOURCE_DIR
  EXPECT_TRUE(SameAsGolden("not-quarn-dfx.json", Replaced(J.dump(2), Here, "DIR/") + "\n"));
#endif

  Options.Json = false;
  Options.Emit.clear();
  const std::string Refused = Dir.File("refused.log",
                                       "[QUARN][PreMem] QuarnPeiPreMemEntryPoint called.\r\n"
                                       "[QUARN][PreMem] Pre-DID reset has been executed successfully\r\n")
                                  .string();
  Options.Log = Refused;
#ifdef QUARN_SOURCE_DIR
  if (!kSanitized) {  // a refusal tries every change: once is enough there
    std::ostringstream RefusedText;
    EXPECT_EQ(ExplainLog(Options, RefusedText, Err), kExitMismatch);
    EXPECT_TRUE(SameAsGolden("refused.story.txt", Replaced(RefusedText.str(), Here, "DIR/")));
  }
#endif
  Options.Json = true;
  std::ostringstream RefusedJson;
  EXPECT_EQ(ExplainLog(Options, RefusedJson, Err), kExitMismatch);
  const nlohmann::json R = nlohmann::json::parse(RefusedJson.str());
  EXPECT_EQ(R["impossible"]["line"], 2);
  EXPECT_EQ(R["reproduced"], false);
  EXPECT_EQ(R["fields"], nlohmann::json::array());

  Options.Log = Dir.Path("no-such.log").string();
  std::ostringstream Missing, MissingErr;
  EXPECT_EQ(ExplainLog(Options, Missing, MissingErr), kExitBadInput);
  EXPECT_EQ(MissingErr.str(), "quarn-emu: " + Options.Log + ": cannot be read\n");
}

#ifdef QUARN_SOURCE_DIR
TEST(Explain, TheStoryOfTheFieldLogOfTheDocs) {
  // docs/examples/field.log, a recovery boot with a register change the log cannot time:
  // every byte of the story, the change's register field by field among them.
  if (kSanitized) GTEST_SKIP() << "the plain build checks the story";
  std::ifstream In(std::filesystem::path(QUARN_SOURCE_DIR) / "docs/examples/field.log", std::ios::binary);
  std::stringstream Log;
  Log << In.rdbuf();
  const Explanation E = Explain(Log.str(), "field-explained");
  ASSERT_TRUE(E.Search.Reproduced);
  EXPECT_TRUE(SameAsGolden("field.story.txt", StoryText(E, "field.log")));
}
#endif

TEST(Explain, TheStoryOfTheDefaultBootFieldByField) {
  // The story and the JSON of the built-in default boot, every byte: the road, each line,
  // the registers and each answer field by field, pinned or free, what the log cannot
  // tell, the runs, the scenario. (Not in the sanitizer build: the command's test runs the
  // same code there.)
  if (kSanitized) GTEST_SKIP() << "the sanitizer build checks the story with ExplainCommand";
  const Explanation E = Explain(BuiltinConsole("default"), "explained");
  ASSERT_TRUE(E.Search.Reproduced);
#ifdef QUARN_SOURCE_DIR
  EXPECT_TRUE(SameAsGolden("default.story.txt", StoryText(E, "default.log")));
  EXPECT_TRUE(SameAsGolden("default.json", StoryJson(E, "default.log").dump(2) + "\n"));
#endif
  // The issue's cases: any feature set with bit 2 set, any second feature set, any length
  // of the watchdog's answer print the same lines.
  auto Claim = [&](const std::string &Of, const std::string &Field) {
    for (const FieldFreedom &F : E.Search.Fields) {
      if (F.Of == Of && F.Field == Field) return F.Pinned ? "pinned " + F.Value : "free: " + F.Free;
    }
    return std::string("(none)");
  };
  EXPECT_EQ(Claim("the feature-set answer", "FeatureSet bit 2 (CloxSupported)"), "pinned 1");
  EXPECT_EQ(Claim("the feature-set answer", "FeatureSet bits 7:3 and 1:0"), "free: any value");
  EXPECT_EQ(Claim("the feature-set answer", "FeatureSet bits 31:8"), "free: any value");
  EXPECT_EQ(Claim("the feature-set answer", "FeatureSet2"), "free: any value");
  EXPECT_EQ(Claim("the watchdog answer", "reported length"), "free: any value");
  EXPECT_EQ(Claim("the watchdog answer", "byte 1 (the status)"), "pinned 0");
  EXPECT_EQ(Claim("VORNFS1 at entry", "FlowMode (bits 19:16)"), "free: 0 to 6 or 8 to 15");
  EXPECT_EQ(Claim("the type answer", "reported length"), "pinned 8");
}

TEST(Explain, ALineTheLogLacksIsNamed) {
  // A normal boot without its "Migration pointer type 9" line: only a scenario whose CPU
  // record cannot be allocated prints the rest, and it prints the record's assertion
  // first. The story names that line; it never says the scenario prints the log's lines
  // and nothing more.
  if (kSanitized) GTEST_SKIP() << "the plain build checks what the story claims";
  std::vector<std::string> Lines = SplitCrLf(BuiltinConsole("default"));
  Lines.erase(std::remove_if(Lines.begin(), Lines.end(),
                             [](const std::string &L) { return L.rfind("Migration pointer type 9: ", 0) == 0; }),
              Lines.end());
  const Explanation E = Explain(Join(Lines, "\r\n"), "explained", false);
  ASSERT_TRUE(E.Search.Reproduced);
  EXPECT_EQ(E.Search.Offset, 1u);
  ASSERT_FALSE(E.Search.RunLines.empty());
  const std::string Assert = E.Search.RunLines.front();
  EXPECT_EQ(Assert.rfind("ASSERT [QuarnPeiPreMem] Library/CpuAndRevisionLib/CpuAndRevisionLib(", 0), 0u) << Assert;
  EXPECT_NE(Assert.find("): CpuAndRevision != ((void *) 0)"), std::string::npos) << Assert;
  const std::string Story = StoryText(E, "altered.log");
  EXPECT_NE(
      Story.find("\n  - the beginning: the scenario prints 1 line before the log's first module line, which the log "
                 "does not have (cut at its start?): \"" +
                 Assert + "\"\n"),
      std::string::npos)
      << Story;
  // The search's effort is part of the story, the same on every machine.
  EXPECT_EQ(E.Search.Runs, 7u);
  EXPECT_NE(Story.find("\nSearch: " + std::to_string(E.Search.Runs) +
                       " runs; the scenario prints 1 line the log does not have (named above), then all 32 module "
                       "lines of the log and nothing more\n"),
            std::string::npos)
      << Story;
  EXPECT_EQ(Story.find("prints all 32 module lines of the log and nothing more"), std::string::npos);
  const nlohmann::json J = StoryJson(E, "altered.log");
  EXPECT_EQ(J["exact"], false);
  EXPECT_EQ(J["lines_before"], nlohmann::json::array({Assert}));
  EXPECT_EQ(J["lines_after"], nlohmann::json::array());

  // Cut at its end: the lines after it are counted, and the first named.
  Lines.resize(5);
  const Explanation Cut = Explain(Join(Lines, "\r\n"), "explained", false);
  ASSERT_TRUE(Cut.Search.Reproduced);
  EXPECT_EQ(Cut.Search.Runs, 97u);
  const std::string CutStory = StoryText(Cut, "cut.log");
  const size_t More = Cut.Search.RunLines.size() - 5;
  EXPECT_NE(CutStory.find("\n  - the rest of the boot: the log ends after its last line of the module (cut?), the run "
                          "goes on with " +
                          std::to_string(More) + " lines, from \"" + Cut.Search.RunLines[5] + "\"\n"),
            std::string::npos)
      << CutStory;
  EXPECT_NE(CutStory.find("the scenario prints all 5 module lines of the log, then " + std::to_string(More) +
                          " lines more\n"),
            std::string::npos)
      << CutStory;
  EXPECT_EQ(StoryJson(Cut, "cut.log")["lines_after"].size(), More);

  // A run one line longer than the log: that one line is named, and counted singular.
  Explanation One = Cut;
  One.Search.RunLines.resize(6);
  const std::string OneStory = StoryText(One, "cut.log");
  EXPECT_NE(OneStory.find("goes on with 1 line, from \"" + Cut.Search.RunLines[5] + "\"\n"), std::string::npos)
      << OneStory;
  EXPECT_NE(OneStory.find("the scenario prints all 5 module lines of the log, then 1 line more\n"), std::string::npos)
      << OneStory;
}

TEST(Explain, TheSeedTakesAFailedTypeQueryFromItsStatusLine) {
  // "Status is Time out": the firmware answered the type query with EFI_TIMEOUT; the
  // search starts from that, not from the model's answer.
  const std::string Console = ConsoleOf("[drux.type]\nresult = \"EFI_TIMEOUT\"\n", "timeout.toml");
  ASSERT_NE(Console.find("DRUX: PeiDruxGetVornType Status is Time out, returns "), std::string::npos) << Console;
  const Candidate Seeded = search::Seed(ReadLog(Console));
  ASSERT_TRUE(Seeded.Keys.count("drux.type.result"));
  EXPECT_EQ(Seeded.Keys.at("drux.type.result"), "\"EFI_TIMEOUT\"");
  EXPECT_EQ(Seeded.Keys.count("drux.vorn_status_result"), 0u) << "the status read did not fail";
  const Explanation E = Explain(Console, "explained", false);
  EXPECT_TRUE(ReproducesLog(E));
  EXPECT_EQ(E.Search.Best.Keys.at("drux.type.result"), "\"EFI_TIMEOUT\"");
}

// --- the parts of the search ----------------------------------------------------------

TEST(ExplainSearch, TheChangesThatCanAlterEachMessagesLine) {
  using Groups = std::set<std::string>;
  const std::vector<std::pair<std::vector<std::string>, Groups>> kLevers = {
      {{"dwr", "drux-disabled", "lumo", "type-start", "drux-missing", "type-wrong-length", "type-ok", "type-dfx",
        "type-tav", "type-unknown", "type-status", "type-line", "type-from-hob", "type-not-recognized", "other-fw",
        "non-quarn", "non-quarn#2"},
       {"at", "drux", "level", "pei", "type", "vorn"}},
      {{"pre-did-execute", "pre-did-no-drux", "pre-did-no-ack", "pre-did-not-accepted", "counter-timeout",
        "pre-did-counter", "pre-did-done", "pre-did-finished", "pre-did-timeout", "pre-did-failure"},
       {"at", "drux", "level", "pre_did", "vorn"}},
      {{"wait-state", "wait-state-timeout", "wait-state-reached", "recovery"}, {"at", "level", "pre_did", "vorn"}},
      {{"fs-query", "clox-query", "fs-no-drux", "fs-comm", "fs-invalid", "clox-supported", "clox-not-sent",
        "clox-sending", "ssc", "ssc-percentage", "clock-start", "clock-wrong", "clock-exit", "ssc-exit", "clox-unable",
        "clox-success"},
       {"boot", "clock", "drux", "feature_set", "level", "policy"}},
      {{"boot-mode"}, {"boot", "level"}},
      {{"no-config-block", "config-malformed", "pre-did-disabled", "pre-did-execution"}, {"boot", "level", "policy"}},
      {{"assert", "assert-efi-error", "assert-efi-error#2", "assert-return-error#2"},
       {"cpu", "drux", "pei", "policy", "type", "vorn", "watchdog"}},
      {{"unknown-cpu"}, {"cpu", "level"}},
      {{"entry", "reload-mm7", "migration", "sync-mm7"}, {"cpu", "level", "pei"}},
      {{""}, {"level", "pei"}},
      {{"info-hob", "non-functional", "info-hob-missing"}, {"level", "pei", "vorn"}},
      {{"wd-sending", "wd-cannot-send", "wd-response-failed", "wd-failed", "wd-success"},
       {"level", "policy", "watchdog"}},
      {{"status-code-too-large"}, {"pei"}},
  };
  size_t Ids = 0;
  for (const auto &[Messages, Expected] : kLevers) {
    for (const std::string &Id : Messages) {
      EXPECT_EQ(search::LeversOf(Id), Expected) << "message \"" << Id << "\"";
      Ids++;
    }
  }
  // Every line of the catalogue is in the table.
  for (const LinePattern &P : LinePatterns()) {
    bool Listed = false;
    for (const auto &[Messages, Expected] : kLevers)
      Listed = Listed || std::count(Messages.begin(), Messages.end(), P.Id);
    EXPECT_TRUE(Listed) << P.Id;
  }
  EXPECT_GT(Ids, 60u);
}

TEST(ExplainSearch, WhatPrintsTheSameLinesAndHowValuesAreWritten) {
  // A log that shows the whole boot (the run found prints nothing more): another run
  // prints the same lines when it agrees with every line, from the same line, and prints
  // nothing more either.
  const search::Score Whole{33, true, 0};
  EXPECT_TRUE(search::PrintsTheSame({33, true, 0}, Whole, 33));
  EXPECT_FALSE(search::PrintsTheSame({33, false, 0}, Whole, 33)) << "a line more after the log's last";
  EXPECT_FALSE(search::PrintsTheSame({32, false, 0}, Whole, 33));
  EXPECT_FALSE(search::PrintsTheSame({33, true, 1}, Whole, 33)) << "a line more before the log's first";
  EXPECT_FALSE(search::PrintsTheSame({-1, false, 0}, Whole, 33)) << "a scenario that cannot run";
  // A log cut at its end: what the run prints after it is no evidence.
  const search::Score Cut{5, false, 0};
  EXPECT_TRUE(search::PrintsTheSame({5, false, 0}, Cut, 5));
  EXPECT_TRUE(search::PrintsTheSame({5, true, 0}, Cut, 5));

  EXPECT_EQ(search::ValuesText({4}), "4");
  EXPECT_EQ(search::ValuesText({0, 1}), "0 or 1");
  EXPECT_EQ(search::ValuesText({0, 1, 3}), "0, 1 or 3");
  EXPECT_EQ(search::ValuesText({5, 6, 7}), "5 to 7");
  EXPECT_EQ(search::ValuesText({0, 1, 2, 3, 5, 6, 7}), "0 to 3 or 5 to 7");
  EXPECT_EQ(search::ValuesText({0, 1, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}), "0, 1, 3 or 5 to 15");
}

namespace {

bool Offers(const std::vector<search::Move> &Moves, const std::string &Group,
            const std::vector<std::pair<std::string, std::string>> &Set) {
  for (const search::Move &M : Moves) {
    if (M.Group != Group) continue;
    bool All = true;
    for (const auto &KeyValue : Set) All = All && std::count(M.Set.begin(), M.Set.end(), KeyValue) > 0;
    if (All) return true;
  }
  return false;
}

}  // namespace

TEST(ExplainSearch, ANumberIsReadOnlyFromAValueThatStartsWithADigit) {
  EXPECT_EQ(search::Number("0x10"), std::optional<uint64_t>(16));
  EXPECT_EQ(search::Number("12"), std::optional<uint64_t>(12));
  EXPECT_EQ(search::Number(""), std::nullopt);
  EXPECT_EQ(search::Number("\"EFI_SUCCESS\""), std::nullopt);
  EXPECT_EQ(search::Number("true"), std::nullopt);
}

TEST(ExplainSearch, TheChangesOfferedFromTheDefaults) {
  const std::vector<search::Move> Moves = search::MovesFor(Candidate{}, search::Harvest{});
  // VORNFS1 defaults to 0x00000005: the Lumo flow keeps CurrentState 5.
  EXPECT_TRUE(Offers(Moves, "vorn", {{"vorn.fs1", "0x00070005"}}));
  EXPECT_FALSE(Offers(Moves, "vorn", {{"vorn.fs1", "0x00070006"}}));
  EXPECT_FALSE(Offers(Moves, "vorn", {{"vorn.fs1", "0x00000006"}}));
  for (uint64_t State = 0; State < 6; State++) EXPECT_TRUE(Offers(Moves, "vorn", {{"vorn.fs1", search::Hex8(State)}}));
  // From the Lumo flow: FlowMode cleared, CurrentState kept.
  const std::vector<search::Move> FromLumo =
      search::MovesFor(Candidate{{{"vorn.fs1", "0x00070005"}}}, search::Harvest{});
  EXPECT_TRUE(Offers(FromLumo, "vorn", {{"vorn.fs1", "0x00000005"}}));
  EXPECT_FALSE(Offers(FromLumo, "vorn", {{"vorn.fs1", "0x00000004"}}));
  // A pre-DID reset the firmware refuses with a warning (EFI_WARN_STALE_DATA, the one the
  // search offers of itself) or answers with an error.
  EXPECT_TRUE(
      Offers(Moves, "pre_did",
             {{"drux.pre_did_reset.accept", "false"}, {"drux.pre_did_reset.result", "\"EFI_WARN_STALE_DATA\""}}));
  EXPECT_TRUE(Offers(Moves, "pre_did",
                     {{"drux.pre_did_reset.accept", "true"}, {"drux.pre_did_reset.result", "\"EFI_DEVICE_ERROR\""}}));
  EXPECT_FALSE(Offers(Moves, "pre_did",
                      {{"drux.pre_did_reset.accept", "false"}, {"drux.pre_did_reset.result", "\"EFI_DEVICE_ERROR\""}}));

  // A status the log prints: an error is offered as one, a warning (any value, odd or
  // even) only where any status may stand.
  search::Harvest H;
  H.Statuses = {0x3, 0x80000003};
  const std::vector<search::Move> WithLog = search::MovesFor(Candidate{}, H);
  EXPECT_TRUE(Offers(WithLog, "boot", {{"boot.get_boot_mode_status", "\"EFI_UNSUPPORTED\""}}));
  EXPECT_FALSE(Offers(WithLog, "boot", {{"boot.get_boot_mode_status", "\"EFI_WARN_WRITE_FAILURE\""}}));
  EXPECT_TRUE(Offers(WithLog, "type", {{"drux.type.result", "\"EFI_WARN_WRITE_FAILURE\""}}));
  EXPECT_TRUE(
      Offers(WithLog, "pre_did",
             {{"drux.pre_did_reset.accept", "false"}, {"drux.pre_did_reset.result", "\"EFI_WARN_WRITE_FAILURE\""}}));
  EXPECT_FALSE(
      Offers(WithLog, "pre_did",
             {{"drux.pre_did_reset.accept", "true"}, {"drux.pre_did_reset.result", "\"EFI_WARN_WRITE_FAILURE\""}}));
}

// --- whatever the log: bounded ------------------------------------------------------

TEST(ExplainCatalogue, AFormatEndingInADirectiveWithoutItsLetterEndsThere) {
  // The format engine prints nothing for a '%' (with or without flags and width) that
  // ends a format; the rendering reads no further than the format's end.
  const Message Lone{"lone", Level::Info, {"text %", " and %08"}, {}, "x", "y"};
  const std::vector<LinePattern> Patterns = RenderPatterns(Lone);
  ASSERT_EQ(Patterns.size(), 1u);
  ASSERT_EQ(Patterns[0].Pieces.size(), 1u);
  EXPECT_EQ(Patterns[0].Pieces[0].Literal, "text  and ");
  EXPECT_EQ(Patterns[0].FieldCount, 0u);
}

TEST(ExplainCatalogue, ADecimalFieldPastSixtyFourBitsHasNoNumber) {
  // quarn-emu explain aborted on this line: the field was read with stoll, which threw
  // (kept for FuzzExplain as Fuzz/Corpus/FuzzExplain/regression-decimal-past-64-bits).
  const auto Match = MatchLine("DRUX: PeiDruxGetVornType - Response: wrong length = 9999999999999999999");
  ASSERT_TRUE(Match);
  EXPECT_EQ(Match->Pattern->Id, "type-wrong-length");
  EXPECT_EQ(Match->Fields[0].Text, "9999999999999999999");
  EXPECT_FALSE(Match->Fields[0].Number);
  const auto Negative = MatchLine("DRUX: PeiDruxGetVornType - Response: wrong length = -9223372036854775808");
  ASSERT_TRUE(Negative);
  EXPECT_EQ(*Negative->Fields[0].Number, 0x8000000000000000u);
}

namespace {

/// A log no scenario can run (a processor signature, a firmware type and a type answer's
/// length past what a scenario file holds) whose type-answer lines print Values distinct
/// lengths: every change the search tries fails to load, so it costs no emulator run.
std::string LogOfManyValues(size_t Values) {
  std::string Log =
      "Unknown CPU family 0xFFFFFFFFFFF\r\nDRUX: PeiDruxGetVornType() - OK: FwType = 99999999999, FwSubType = 0\r\n";
  for (size_t I = 0; I < Values; I++) {
    Log += "DRUX: PeiDruxGetVornType - Response: wrong length = " + std::to_string(10000000000ull + I) + "\r\n";
  }
  return Log;
}

}  // namespace

TEST(Explain, ALogOfThousandsOfValuesTakesNoMoreRunsThanOneOfAFew) {
  // Each value a log prints was a change every round of the search tried, without the
  // bound of runs: thousands of values, thousands of runs a round, and the changes' list
  // as large, whatever the log's size. Only a few of each kind are tried now, and no
  // search passes kMaxSearchRuns.
  const Explanation Few = Explain(LogOfManyValues(40), "explained");
  const Explanation Many = Explain(LogOfManyValues(3000), "explained");
  EXPECT_FALSE(Many.Search.Reproduced);
  EXPECT_EQ(Many.Search.Runs, Few.Search.Runs);
  EXPECT_LE(Many.Search.Runs, kMaxSearchRuns);
  std::printf("explain: %zu runs for a log of 3000 values\n", Many.Search.Runs);
}
