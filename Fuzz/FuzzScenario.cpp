// Fuzz target: any bytes as a scenario file (scenario files come from other people). The
// loader refuses them with one "FILE:LINE: ..." message, or the scenario it gives is
// written out as --dump-scenario does (which must load again to the same text), run on
// the emulated board with its virtual time cut short, and its [expect] table compared
// with the report as quarn-emu check does. No crash, hang or sanitizer report anywhere.
#include <cstdio>
#include <string>
#include <string_view>

#include "Tools/quarn-emu/Check/Check.h"
#include "Tools/quarn-emu/Report/ReportJson.h"
#include "Tools/quarn-emu/Run/Runner.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"
#include "Tools/quarn-emu/Scenario/ScenarioWriter.h"

namespace {

using namespace quarn::emu::cli;

constexpr const char *kSource = "fuzz.toml";

/// Virtual time a fuzzed scenario may run: enough for every wait of the module (the
/// longest, the reset counter's, is 5000 polls of 1 ms), far below the 24 hours a file
/// may ask for.
constexpr uint64_t kRunBoundMs = 10000;

/// Stops the fuzzer with What (and Detail) on standard error.
[[noreturn]] void Fail(const char *What, const std::string &Detail) {
  std::fprintf(stderr, "FuzzScenario: %s\n%s\n", What, Detail.c_str());
  __builtin_trap();
}

/// True when Text is well-formed UTF-8 (no overlong forms, surrogates or code points past
/// U+10FFFF).
bool IsUtf8(std::string_view Text) {
  for (size_t At = 0; At < Text.size();) {
    const auto Lead = static_cast<unsigned char>(Text[At]);
    const size_t Length = Lead < 0x80           ? 1
                          : (Lead >> 5) == 0x6  ? 2
                          : (Lead >> 4) == 0xE  ? 3
                          : (Lead >> 3) == 0x1E ? 4
                                                : 0;
    if (Length == 0 || At + Length > Text.size()) return false;
    uint32_t Code = Length == 1 ? Lead : Lead & (0x7F >> Length);
    for (size_t I = 1; I < Length; I++) {
      const auto Next = static_cast<unsigned char>(Text[At + I]);
      if ((Next & 0xC0) != 0x80) return false;
      Code = Code << 6 | (Next & 0x3F);
    }
    const uint32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (Code < Least[Length] || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF)) return false;
    At += Length;
  }
  return true;
}

/// Checks that a refusal of Text is one "fuzz.toml:LINE: ..." message whose line is one
/// of the file's (or the line just after its last, where a file that ends too soon is
/// refused), and, for a file in UTF-8, a message in UTF-8 (JSON and JUnit XML carry it).
void CheckRefusal(const ScenarioError &Error, std::string_view Text) {
  const std::string Prefix = std::string(kSource) + ":" + std::to_string(Error.Line()) + ": ";
  if (Error.Line() == 0) Fail("a refusal without a line", Error.what());
  if (std::string_view(Error.what()).substr(0, Prefix.size()) != Prefix) Fail("a refusal not FILE:LINE:", Error.what());
  size_t Lines = 1;
  for (char C : Text) Lines += C == '\n';
  if (Error.Line() > Lines + 1) Fail("a refusal past the file's last line", Error.what());
  if (IsUtf8(Text) && !IsUtf8(Error.what())) Fail("a refusal of a UTF-8 file not in UTF-8", Error.what());
}

/// Checks that the dump of Loaded loads again and dumps to the same text.
void CheckDumpLoadsAgain(const LoadedScenario &Loaded) {
  const std::string Dump = ScenarioToToml(Loaded);
  std::string Again;
  try {
    Again = ScenarioToToml(LoadScenarioText(Dump, "dump.toml"));
  } catch (const ScenarioError &Error) {
    Fail("the dump of a loaded scenario is refused", std::string(Error.what()) + "\n" + Dump);
  }
  if (Again != Dump) Fail("the dump of the dump differs", Dump + "\n----\n" + Again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  const std::string_view Text(reinterpret_cast<const char *>(Data), Size);
  LoadedScenario Loaded;
  try {
    Loaded = LoadScenarioText(Text, kSource);
  } catch (const ScenarioError &Error) {
    CheckRefusal(Error, Text);
    return 0;
  }
  CheckDumpLoadsAgain(Loaded);
  if (Loaded.Settings.TimeLimitMs > kRunBoundMs) Loaded.Settings.TimeLimitMs = kRunBoundMs;
  try {
    const quarn::emu::RunReport Report = RunScenario(Loaded, false);
    (void)CheckReport(Loaded.Expect, ReportToJson(Report, false), Loaded.ExpectLine);
  } catch (const ScenarioError &Error) {
    // A scenario the board cannot be set up for (a preset HOB past the HOB space).
    CheckRefusal(Error, Text);
  }
  return 0;
}
