// quarn-emu explain: the messages it knows are the module's, every built-in scenario's
// console (as a field capture would mangle it) and a few hundred random boards come back
// as scenarios that print the same module lines, and altered logs are refused at the
// line that no scenario can print.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <sstream>

#include "Tools/quarn-emu/Commands.h"
#include "Tools/quarn-emu/Explain/Explain.h"
#include "Tools/quarn-emu/Run/Runner.h"
#include "Tools/quarn-emu/Scenario/BuiltinScenarios.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"

using namespace quarn::emu;
using namespace quarn::emu::cli;
using namespace quarn::emu::cli::explain;

namespace {

std::string ConsoleOf(const std::string &ScenarioText, const std::string &Source) {
  return RunScenario(LoadScenarioText(ScenarioText, Source), false).Console;
}

std::string BuiltinConsole(const std::string &Name) {
  return RunScenario(ResolveScenario(Name), false).Console;
}

/// Runs the emitted scenario and checks that it prints the log's module lines, in order,
/// from its first line (or, for a log cut at its start, from where the log begins).
::testing::AssertionResult ReproducesLog(const Explanation &E) {
  if (!E.Search.Reproduced) {
    const LogLine &Bad = E.Log.Module[E.Search.Matched];
    return ::testing::AssertionFailure() << "refused at line " << Bad.FileLine << " \"" << Bad.Text << "\": " << E.Search.Reason
                                         << "\n" << E.ScenarioToml;
  }
  LoadedScenario Loaded;
  try {
    Loaded = LoadScenarioText(E.ScenarioToml, "emitted.toml");
  } catch (const ScenarioError &Error) {
    return ::testing::AssertionFailure() << "the emitted scenario does not load: " << Error.what() << "\n" << E.ScenarioToml;
  }
  const RunReport Report = RunScenario(Loaded, false);
  const std::vector<std::string> Lines = ConsoleLines(Report.Console);
  for (size_t I = 0; I < E.Log.Module.size(); I++) {
    const size_t At = E.Search.Offset + I;
    if (At >= Lines.size() || !LinesAgree(E.Log.Module[I], Lines[At])) {
      return ::testing::AssertionFailure() << "line " << I << " of the module: the log has \"" << E.Log.Module[I].Text
                                           << "\", the emitted scenario prints \"" << (At < Lines.size() ? Lines[At] : "")
                                           << "\"\n" << E.ScenarioToml;
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

std::string Join(const std::vector<std::string> &Lines, const char *Ending) {
  std::string Text;
  for (const std::string &Line : Lines) Text += Line + Ending;
  return Text;
}

/// The ways a capture tool hands a console over.
std::string Captured(const std::string &Console, int Variant, std::mt19937 &Random) {
  const std::vector<std::string> Lines = SplitCrLf(Console);
  switch (Variant) {
    case 0: return Console;                       // as the UART received it
    case 1: return Join(Lines, "\n");             // LF line endings
    case 2: {                                     // a timestamp column
      std::vector<std::string> Stamped;
      for (size_t I = 0; I < Lines.size(); I++) {
        char Stamp[32];
        std::snprintf(Stamp, sizeof Stamp, "[%5zu.%06zu] ", I / 7, (I * 104729) % 1000000);
        Stamped.push_back(Stamp + Lines[I]);
      }
      return Join(Stamped, "\r\n");
    }
    case 3: {                                     // other modules' lines in between
      static const char *kOthers[] = {"PROGRESS CODE: V03020003 I0", "Loading PEIM at 0x000FFD23000 EntryPoint=0x000FFD23264",
                                      "Install PPI: 8C8CE578-8A3D-4F1C-9935-896185C32DD3", "", "PlatformInit: memory test done",
                                      "Temp RAM: 0xFEF00000 size 0x00080000"};
      std::vector<std::string> Mixed;
      for (const std::string &Line : Lines) {
        if (Random() % 3 == 0) Mixed.push_back(kOthers[Random() % std::size(kOthers)]);
        Mixed.push_back(Line);
      }
      Mixed.push_back(kOthers[0]);
      return Join(Mixed, "\r\n");
    }
    default: {                                    // cut after an arbitrary line
      const size_t Keep = 1 + Random() % std::max<size_t>(Lines.size(), 1);
      return Join(std::vector<std::string>(Lines.begin(), Lines.begin() + std::min(Keep, Lines.size())), "\r\n");
    }
  }
}

constexpr const char *kVariantNames[] = {"as received", "LF endings", "timestamp column", "other modules' lines",
                                         "cut after an arbitrary line"};

/// The sanitizer build runs every emulated boot many times slower: it explains fewer
/// logs (every capture variant still appears, and three kinds of altered log), the
/// ordinary build all of them.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

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
    for (const auto &Entry : std::filesystem::recursive_directory_iterator(std::string(QUARN_SOURCE_DIR) + "/" + Folder)) {
      const std::string Extension = Entry.path().extension().string();
      if (Extension != ".cpp" && Extension != ".h") continue;
      std::ifstream In(Entry.path());
      std::stringstream Text;
      Text << In.rdbuf();
      const std::string Source = Text.str();
      for (std::sregex_iterator It(Source.begin(), Source.end(), Call), End; It != End; ++It) {
        std::string Format;
        const std::string Literals = (*It)[1];
        for (std::sregex_iterator L(Literals.begin(), Literals.end(), Literal); L != End; ++L) Format += Unescape((*L)[1]);
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
  for (const std::string &Format : InSources) EXPECT_TRUE(InCatalogue.count(Format)) << "not in the catalogue: " << Format;
  for (const std::string &Format : InCatalogue) EXPECT_TRUE(InSources.count(Format)) << "no longer in the sources: " << Format;

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
  EXPECT_FALSE(MatchLine("[QUARN][PreMem] Wait for VORN Nromal or Recovery state")) << "a text this version never prints";
  EXPECT_FALSE(MatchLine("[QUARN][PreMem] Wait for VORN state reaches VORN State = ")) << "a field without a value";
}

// --- built-in scenarios -------------------------------------------------------------

TEST(Explain, EveryBuiltinScenarioComesBackAsAScenarioThatPrintsTheSameLines) {
  std::mt19937 Random(19);
  size_t Logs = 0, Runs = 0;
  int Index = 0;
  for (const BuiltinScenario &Builtin : BuiltinScenarios()) {
    const std::string Console = BuiltinConsole(Builtin.Name);
    Index++;
    for (int Variant = 0; Variant < 5; Variant++) {
      if (kSanitized && Variant != Index % 5) continue;
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
  S += "[cpu]\nsignature = " + std::string(Chance(10) ? "0x000906EA" : "0x00050654") + "\nprocessors = " +
       std::to_string(1 + Pick(8)) + "\n";
  static const uint32_t kLevels[] = {0x80000042, 0x80000042, 0x80000042, 0x80000000, 0x80000040, 0x80000002, 0x40, 0};
  S += "[cmos]\nerror_level = " + Hex(kLevels[Pick(8)]) + "\nvalid = " + (Chance(90) ? "true" : "false") + "\n";
  S += "[policy]\ninstalled = " + std::string(Chance(92) ? "true" : "false") + "\nblock = " + (Chance(92) ? "true" : "false") +
       "\npre_did_reset = " + (Chance(60) ? "true" : "false") + "\nssc_alternate = " + (Chance(50) ? "true" : "false") +
       "\nbios_update_watchdog = " + (Chance(50) ? "true" : "false") + "\n";
  static const uint32_t kStates[] = {5, 5, 2, 2, 1, 0, 3, 4};
  const uint32_t Flow = Chance(8) ? 7 : Pick(3);
  const uint32_t Fs1 = kStates[Pick(8)] | (Flow << 16) | (uint32_t(Pick(16)) << 20);
  const uint32_t Fs2 = (Chance(50) ? 4u : uint32_t(Pick(8))) << 8;
  S += "[vorn]\npresent = " + std::string(Chance(95) ? "true" : "false") + "\nfs1 = " + Hex(Fs1) + "\nfs2 = " + Hex(Fs2) +
       "\nfn1 = " + Hex(R()) + "\ndwrsts = " + Hex(Chance(8) ? 0x8000 : 0) + "\n";
  if (Chance(25)) {
    static const uint32_t kTimes[] = {30, 600, 1500};
    S += "[[vorn.at]]\nms = " + std::to_string(kTimes[Pick(3)]) + "\nfs1 = " + Hex((Fs1 & ~0xFu) | (Chance(50) ? 5 : 2)) + "\n";
  }
  S += "[drux]\ninstalled = " + std::string(Chance(95) ? "true" : "false") + "\n";
  if (Chance(8)) S += "vorn_status = 1\n";
  if (Chance(8)) S += "vorn_status_result = \"EFI_DEVICE_ERROR\"\n";
  S += "[drux.type]\nfw_type = " + std::to_string(Chance(70) ? 1 : Pick(8)) + "\nfw_sub_type = " +
       std::to_string(Chance(80) ? 0 : Chance(50) ? 3 : Pick(256)) + "\n" + (Chance(40) ? Answer(8) : "");
  S += "[drux.feature_set]\nfeature_set = " + Hex(Chance(70) ? 4 : R()) + "\n" + (Chance(40) ? Answer(11) : "");
  S += "[drux.watchdog]\nstatus = " + std::to_string(Chance(70) ? 0 : Pick(256)) + "\n" + (Chance(40) ? Answer(2) : "");
  S += "[drux.clock]\nclox_response = " + std::to_string(Chance(70) ? 0 : Pick(1000)) + "\n" + (Chance(40) ? Answer(48) : "");
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
  const int kBoards = kSanitized ? 40 : 300;
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
  std::printf("explain: %d of %d random boards reproduced; %.1f runs a log (at most %zu), %.1f ms a log (at most %.0f)\n",
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
  if (kSanitized) return;   // a refusal tries every change: the sanitizer build checks the first three kinds
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
    const size_t At = IndexOf(Lines, "[QUARN][PreMem] ERROR: Pre-DID reset timeout failure causes VORN non-functional flow");
    Lines.erase(Lines.begin() + At);
    EXPECT_EQ(RefusedAt(Lines), At + 1);
  }
}

TEST(ExplainCommand, StoryScenarioFileAndExitStatus) {
  const auto Dir = std::filesystem::temp_directory_path();
  const auto LogPath = Dir / "quarn-emu-explain.log";
  const auto ScenarioPath = Dir / "quarn-emu-explained.toml";
  std::ofstream(LogPath, std::ios::binary) << BuiltinConsole("watchdog-refused");
  ExplainOptions Options;
  Options.Log = LogPath.string();
  Options.Emit = ScenarioPath.string();
  std::ostringstream Out, Err;
  EXPECT_EQ(ExplainLog(Options, Out, Err), kExitOk) << Err.str();
  EXPECT_NE(Out.str().find("Road: QUARN firmware, pre-DID reset disabled, watchdog request failed"), std::string::npos)
      << Out.str();
  const LoadedScenario Loaded = LoadScenarioFile(ScenarioPath.string());
  EXPECT_EQ(Loaded.Settings.Name, "quarn-emu-explained");

  Options.Json = true;
  std::ostringstream JsonOut;
  EXPECT_EQ(ExplainLog(Options, JsonOut, Err), kExitOk);
  const nlohmann::json J = nlohmann::json::parse(JsonOut.str());
  EXPECT_EQ(J["reproduced"], true);
  EXPECT_EQ(J["impossible"], nullptr);

  std::ofstream(LogPath, std::ios::binary) << "[QUARN][PreMem] QuarnPeiPreMemEntryPoint called.\r\n"
                                              "[QUARN][PreMem] Pre-DID reset has been executed successfully\r\n";
  std::ostringstream Refused;
  EXPECT_EQ(ExplainLog(Options, Refused, Err), kExitMismatch);
  const nlohmann::json R = nlohmann::json::parse(Refused.str());
  EXPECT_EQ(R["impossible"]["line"], 2);

  Options.Log = (Dir / "quarn-emu-no-such.log").string();
  EXPECT_EQ(ExplainLog(Options, Out, Err), kExitBadInput);
  std::filesystem::remove(LogPath);
  std::filesystem::remove(ScenarioPath);
}
