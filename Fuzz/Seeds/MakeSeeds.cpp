// Writes the seed corpora of the fuzz targets from the built-in scenarios and the docs:
//   FuzzFirmware     - each scenario's settings and the answers its firmware gave
//   FuzzConfigBlock  - each scenario's policy table
//   FuzzHobList      - the HOBs each scenario's run left, as records
//   FuzzFormat       - each distinct message the module printed, as a format
//   FuzzScenario     - each scenario's file, the TOML examples of docs/scenarios.md, the
//                      files of docs/examples/ and the refused files of the tests
//   FuzzExplain      - each scenario's console as the UART received it, and the logs of
//                      docs/examples/ and of the tests
// Usage: make-fuzz-seeds OUTPUT_DIR
extern "C" {
#include <PiPei.h>
#include <Pi/PiHob.h>
}

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Emulator/Emulator.h"
#include "Emulator/PeiCore/HobWalk.h"
#include "Emulator/PeiCore/PolicyPpi.h"
#include "Tools/quarn-emu/Scenario/BuiltinScenarios.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"

namespace fs = std::filesystem;
using namespace quarn::emu;

namespace {

template <typename T>
void Put(std::vector<uint8_t> &Bytes, T Value) {
  const auto *Raw = reinterpret_cast<const uint8_t *>(&Value);
  Bytes.insert(Bytes.end(), Raw, Raw + sizeof Value);
}

void Write(const fs::path &Path, const std::vector<uint8_t> &Bytes) {
  std::ofstream File(Path, std::ios::binary);
  File.write(reinterpret_cast<const char *>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
}

/// Index of Status in the firmware target's status list (its order must match).
uint8_t StatusIndex(EFI_STATUS Status) {
  const EFI_STATUS List[] = {
      EFI_SUCCESS,   EFI_WARN_BUFFER_TOO_SMALL, EFI_WARN_STALE_DATA, EFI_TIMEOUT, EFI_DEVICE_ERROR,
      EFI_NOT_FOUND, EFI_UNSUPPORTED,           EFI_NOT_READY};
  for (uint8_t Index = 0; Index < sizeof List / sizeof List[0]; Index++) {
    if (List[Index] == Status) return Index;
  }
  return 4;
}

std::vector<uint8_t> FirmwareSeed(const Scenario &S, const RunReport &R) {
  std::vector<uint8_t> Bytes;
  uint8_t Switches = 0;
  Switches |= S.PreDidReset ? 1 : 0;
  Switches |= S.SscAlternate ? 2 : 0;
  Switches |= S.BiosUpdateWatchdog ? 4 : 0;
  Switches |= S.PolicyBlock ? 0 : 8;
  Switches |= S.BootMode == BOOT_ON_S3_RESUME ? 16 : 0;
  Switches |= EFI_ERROR(S.GetBootModeStatus) ? 32 : 0;
  Switches |= S.CmosErrorLevel != 0 ? 64 : 0;
  Switches |= (S.DwrSts & 0x8000) ? 128 : 0;
  Put<uint8_t>(Bytes, Switches);
  Put<uint32_t>(Bytes, S.Fs1);
  Put<uint32_t>(Bytes, S.Fs2);
  Put<uint32_t>(Bytes, S.Fn1);
  Put<uint8_t>(Bytes, static_cast<uint8_t>(S.VornStatus));
  Put<uint8_t>(Bytes, StatusIndex(S.VornStatusResult));
  const size_t Changes = std::min<size_t>(S.At.size(), 5);
  Put<uint8_t>(Bytes, static_cast<uint8_t>(Changes));
  for (size_t Index = 0; Index < Changes; Index++) {
    Put<uint16_t>(Bytes, static_cast<uint16_t>(S.At[Index].Ms));
    Put<uint32_t>(Bytes, S.At[Index].Fs1.value_or(S.Fs1));
    Put<uint8_t>(Bytes, S.At[Index].Fs2 ? 1 : 0);
    if (S.At[Index].Fs2) Put<uint32_t>(Bytes, *S.At[Index].Fs2);
  }
  Put<uint8_t>(Bytes, S.CounterAfterMs ? 1 : 0);
  if (S.CounterAfterMs) Put<uint16_t>(Bytes, static_cast<uint16_t>(*S.CounterAfterMs));
  Put<uint8_t>(Bytes, S.StateAfterMs ? 1 : 0);
  if (S.StateAfterMs) Put<uint16_t>(Bytes, static_cast<uint16_t>(*S.StateAfterMs));
  Put<uint8_t>(Bytes, S.PreDidResetAccept ? 1 : 0);
  for (const MessageExchange &X : R.Messages) {
    Put<uint8_t>(Bytes, StatusIndex(X.Result));
    Put<uint8_t>(Bytes, 1);
    Put<uint16_t>(Bytes, static_cast<uint16_t>(X.Response.size()));
    Bytes.insert(Bytes.end(), X.Response.begin(), X.Response.end());
    Put<uint8_t>(Bytes, 1);
    Put<uint32_t>(Bytes, X.ResponseLength);
  }
  return Bytes;
}

std::vector<uint8_t> HobListSeed(Emulator &E, const Scenario &S) {
  std::vector<uint8_t> Bytes;
  Put<uint32_t>(Bytes, S.Fs1);
  Put<uint8_t>(Bytes, (S.DwrSts & 0x8000) ? 1 : 0);
  bool First = true;
  for (EFI_HOB_GENERIC_HEADER *Hob : ListHobs(E.Core())) {
    if (First) {  // the PHIT: the target writes its own
      First = false;
      continue;
    }
    Put<uint16_t>(Bytes, Hob->HobType);
    Put<uint16_t>(Bytes, Hob->HobLength);
    Put<uint8_t>(Bytes, 0xFF);  // keep the HOB's own name
    const auto *Raw = reinterpret_cast<const uint8_t *>(Hob);
    Bytes.insert(Bytes.end(), Raw + 8, Raw + Hob->HobLength);
  }
  return Bytes;
}

std::vector<uint8_t> FormatSeed(const std::string &Format) {
  std::vector<uint8_t> Bytes;
  Put<uint8_t>(Bytes, 0);    // pointer arguments
  Put<uint8_t>(Bytes, 255);  // a 256-byte buffer
  Put<uint16_t>(Bytes, static_cast<uint16_t>(Format.size()));
  Bytes.insert(Bytes.end(), Format.begin(), Format.end());
  return Bytes;
}

void WriteText(const fs::path &Path, const std::string &Text) {
  Write(Path, std::vector<uint8_t>(Text.begin(), Text.end()));
}

std::string ReadText(const fs::path &Path) {
  std::ifstream File(Path, std::ios::binary);
  std::ostringstream Text;
  Text << File.rdbuf();
  return Text.str();
}

/// The bodies of the ```toml blocks of a Markdown text, in order.
std::vector<std::string> TomlBlocks(const std::string &Markdown) {
  std::vector<std::string> Blocks;
  std::istringstream Lines(Markdown);
  std::string Line, Block;
  bool Inside = false;
  while (std::getline(Lines, Line)) {
    if (!Inside && Line == "```toml") {
      Inside = true;
      Block.clear();
    } else if (Inside && Line == "```") {
      Inside = false;
      Blocks.push_back(Block);
    } else if (Inside) {
      Block += Line + "\n";
    }
  }
  return Blocks;
}

/// Copies every file of Dir whose name ends in Suffix into Out, named Prefix and the
/// file's name; returns how many.
unsigned CopyFiles(const fs::path &Dir, const std::string &Suffix, const fs::path &Out, const std::string &Prefix) {
  unsigned Count = 0;
  for (const auto &Entry : fs::directory_iterator(Dir)) {
    const std::string Name = Entry.path().filename().string();
    if (!Entry.is_regular_file() || !Name.ends_with(Suffix)) continue;
    WriteText(Out / (Prefix + Name), ReadText(Entry.path()));
    Count++;
  }
  return Count;
}

/// The seeds of the targets of quarn-emu's own inputs from the documents and the tests
/// of the source tree; returns how many.
unsigned DocumentSeeds(const fs::path &Out) {
  const fs::path Source = QUARN_SOURCE_DIR;
  unsigned Count = 0;
  const std::vector<std::string> Blocks = TomlBlocks(ReadText(Source / "docs" / "scenarios.md"));
  for (size_t Index = 0; Index < Blocks.size(); Index++) {
    WriteText(Out / "FuzzScenario" / ("docs-scenarios-" + std::to_string(Index) + ".toml"), Blocks[Index]);
    Count++;
  }
  Count += CopyFiles(Source / "docs" / "examples", ".toml", Out / "FuzzScenario", "docs-example-");
  Count += CopyFiles(Source / "Test" / "Tools" / "BadScenarios", ".toml", Out / "FuzzScenario", "refused-");
  Count += CopyFiles(Source / "docs" / "examples", ".log", Out / "FuzzExplain", "docs-example-");
  Count += CopyFiles(Source / "Test" / "Tools" / "BadScenarios", ".log", Out / "FuzzExplain", "refused-");
  return Count;
}

}  // namespace

int main(int Argc, char **Argv) {
  if (Argc != 2) {
    std::fprintf(stderr, "usage: make-fuzz-seeds OUTPUT_DIR\n");
    return 2;
  }
  const fs::path Out = Argv[1];
  for (const char *Target :
       {"FuzzFirmware", "FuzzConfigBlock", "FuzzHobList", "FuzzFormat", "FuzzScenario", "FuzzExplain"}) {
    fs::create_directories(Out / Target);
  }
  std::set<std::string> Formats = {"%a %a called.\n",
                                   "0x%08x",
                                   "%x",
                                   "%d",
                                   "%,d",
                                   "%+d",
                                   "%5d",
                                   "%-5d|",
                                   "%05d",
                                   "%+05d",
                                   "%r",
                                   "%p",
                                   "%.3a",
                                   "%c",
                                   "%%",
                                   "%5%",
                                   "%i",
                                   "text %",
                                   "%g",
                                   "%t",
                                   "%*d",
                                   "%.*a",
                                   "%ld",
                                   "%lx",
                                   "% d",
                                   "%s",
                                   "%S",
                                   "%08X-%lu"};
  unsigned Count = 0;
  for (const auto &Builtin : cli::BuiltinScenarios()) {
    cli::LoadedScenario Loaded = cli::LoadScenarioText(Builtin.Text, "Scenarios/" + Builtin.Name + ".toml");
    const Scenario &S = Loaded.Settings;
    PolicyPpi Policy{S};
    const auto *Table = static_cast<const uint8_t *>(Policy.Table());
    Write(Out / "FuzzConfigBlock" / Builtin.Name, std::vector<uint8_t>(Table, Table + Policy.Size()));

    Emulator E{S};
    RunReport R = E.Run();
    Write(Out / "FuzzFirmware" / Builtin.Name, FirmwareSeed(S, R));
    Write(Out / "FuzzHobList" / Builtin.Name, HobListSeed(E, S));
    for (const std::string &Message : R.DebugPpi) Formats.insert(Message);
    WriteText(Out / "FuzzScenario" / ("builtin-" + Builtin.Name + ".toml"), Builtin.Text);
    WriteText(Out / "FuzzExplain" / ("console-" + Builtin.Name + ".log"), R.Console);
    Count++;
  }
  unsigned Index = 0;
  for (const std::string &Format : Formats)
    Write(Out / "FuzzFormat" / ("message-" + std::to_string(Index++)), FormatSeed(Format));
  const unsigned Documents = DocumentSeeds(Out);
  std::printf("seeds from %u built-in scenarios, %zu formats and %u files of the docs and tests in %s\n", Count,
              Formats.size(), Documents, Out.c_str());
  return 0;
}
