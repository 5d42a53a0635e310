#include "ScenarioLoader.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "BuiltinScenarios.h"
#include "ScenarioTables.h"
#include "TableReader.h"
#include "Tools/quarn-emu/Support/Suggest.h"

namespace quarn::emu::cli {

namespace {

/// The bytes of the file at Path; Ok tells whether it could be opened.
std::string ReadFile(const std::string &Path, bool &Ok) {
  std::ifstream In(Path, std::ios::binary);
  Ok = static_cast<bool>(In);
  std::ostringstream Text;
  Text << In.rdbuf();
  return Text.str();
}

/// The text of Node's value as the file Text wrote it ("" when it spans lines).
std::string Written(std::string_view Text, const toml::node &Node) {
  const toml::source_region &Where = Node.source();
  if (Where.begin.line != Where.end.line || Where.end.column <= Where.begin.column) return {};
  size_t At = 0;
  for (toml::source_index Line = 1; Line < Where.begin.line && At != std::string_view::npos; Line++) {
    At = Text.find('\n', At);
    if (At != std::string_view::npos) At++;
  }
  if (At == std::string_view::npos || At + Where.end.column - 1 > Text.size()) return {};
  return std::string(Text.substr(At + Where.begin.column - 1, Where.end.column - Where.begin.column));
}

/// Error with the value of its key written as the file Text wrote it: a check of the
/// memory map or the layout names a number as 0x%08X, the file may have written
/// 0x800800 or 8390656.
ScenarioError AsWritten(const ScenarioError &Error, const toml::table &Root, std::string_view Text) {
  const toml::node *Node = Root.at_path(Error.Key()).node();
  if (Node == nullptr || !Node->is_integer()) return Error;
  const std::string Literal = Written(Text, *Node);
  if (Literal.empty()) return Error;
  const auto Value = static_cast<unsigned long long>(Node->as_integer()->get());
  std::string Message = Error.Text();
  for (const char *Form : {"0x%08llX", "0x%llX"}) {
    char Shown[24];
    std::snprintf(Shown, sizeof Shown, Form, Value);
    const size_t At = Message.find(Shown);
    if (At == std::string::npos) continue;
    Message.replace(At, std::strlen(Shown), Literal);
    return ScenarioError(Error.Source(), Error.Line(), Error.Key(), Message);
  }
  return Error;
}

}  // namespace

ScenarioError::ScenarioError(std::string Source, unsigned Line, std::string Key, std::string Text)
    : std::runtime_error(Source + (Line ? ":" + std::to_string(Line) : std::string()) + ": " +
                         (Key.empty() ? std::string() : Key + ": ") + Text),
      Source_(std::move(Source)),
      Line_(Line),
      Key_(std::move(Key)),
      Text_(std::move(Text)) {}

LoadedScenario LoadScenarioText(std::string_view Text, const std::string &Source) {
  toml::table Root;
  try {
    Root = toml::parse(Text, Source);
  } catch (const toml::parse_error &Error) {
    throw ScenarioError(Source, static_cast<unsigned>(Error.source().begin.line), "",
                        "not TOML: " + std::string(Error.description()));
  }

  using namespace loader;
  LoadedScenario L;
  L.Source = Source;
  Scenario &S = L.Settings;
  TableReader T(Root, "", Source, 1);
  S.Name.clear();
  T.String("name", S.Name);
  T.String("description", S.Description);
  if (auto Boot = T.Table("boot")) ReadBoot(*Boot, S);
  if (auto Cpu = T.Table("cpu")) ReadCpu(*Cpu, S);
  if (auto Cmos = T.Table("cmos")) ReadCmos(*Cmos, S);
  if (auto Policy = T.Table("policy")) ReadPolicy(*Policy, S);
  if (auto Vorn = T.Table("vorn")) ReadVorn(*Vorn, S);
  if (auto Drux = T.Table("drux")) ReadDrux(*Drux, S);
  if (auto Pei = T.Table("pei")) ReadPei(*Pei, L);
  std::map<std::string, unsigned> MemoryLines;
  if (auto Memory = T.Table("memory")) ReadMemory(*Memory, S, MemoryLines);
  std::map<std::string, unsigned> BoardLines;
  if (auto Board = T.Table("board")) ReadBoard(*Board, S, BoardLines);
  if (auto Uart = T.Table("uart1")) ReadUart(*Uart, S.Uart1);
  if (auto Uart = T.Table("uart2")) ReadUart(*Uart, S.Uart2);
  if (auto SuperIo = T.Table("superio")) ReadSuperIo(*SuperIo, S);
  if (auto Chipset = T.Table("chipset")) ReadChipset(*Chipset, S);
  if (auto Run = T.Table("run")) ReadRun(*Run, S);
  if (auto Fault = T.Table("fault")) ReadFault(*Fault, L);
  if (const toml::node *Expect = T.Take("expect")) {
    T.ExpectType(*Expect, "expect", toml::node_type::table);
    ReadExpect(*Expect->as_table(), Source, T.Line(), L);
  }
  T.Finish();
  try {
    CheckMemory(S, Source, MemoryLines);
    CheckBoard(S, Source, BoardLines);
  } catch (const ScenarioError &Error) {
    throw AsWritten(Error, Root, Text);
  }

  if (S.Name.empty()) {
    // A file without a name is called after itself.
    S.Name = std::filesystem::path(Source).stem().string();
  }
  return L;
}

LoadedScenario LoadScenarioFile(const std::string &Path) {
  bool Ok = false;
  const std::string Text = ReadFile(Path, Ok);
  if (!Ok) throw ScenarioError(Path, 0, "", "cannot be read");
  return LoadScenarioText(Text, Path);
}

LoadedScenario LoadBuiltinScenario(const BuiltinScenario &Builtin) {
  return LoadScenarioText(Builtin.Text, "Scenarios/" + Builtin.Name + ".toml");
}

LoadedScenario ResolveScenario(const std::string &Argument) {
  if (Argument == "-") {
    std::ostringstream Text;
    Text << std::cin.rdbuf();
    if (std::cin.bad()) throw ScenarioError("<stdin>", 0, "", "cannot be read");
    LoadedScenario Loaded = LoadScenarioText(Text.str(), "<stdin>");
    if (Loaded.Settings.Name == "<stdin>") Loaded.Settings.Name = "stdin";
    return Loaded;
  }
  std::error_code Error;
  const std::filesystem::file_status Status = std::filesystem::status(Argument, Error);
  const bool Exists = std::filesystem::exists(Status);
  // A bare name (no directory, no .toml) is a built-in scenario and nothing else: a stray
  // file of that name in the working directory never stands in for it.
  if (IsBareScenarioName(Argument)) {
    if (const BuiltinScenario *Builtin = FindBuiltinScenario(Argument)) return LoadBuiltinScenario(*Builtin);
    const std::string Hint = Exists ? " (a file needs a path or the .toml suffix: ./" + Argument + ")"
                                    : DidYouMean(Argument, BuiltinScenarioNames()) + " (quarn-emu list shows them)";
    throw ScenarioError(Argument, 0, "", "no built-in scenario of that name" + Hint);
  }
  // Anything else names a file; anything that can be read is one: a regular file, a pipe
  // from process substitution, a device.
  if (Exists && !std::filesystem::is_directory(Status)) return LoadScenarioFile(Argument);
  if (Exists) throw ScenarioError(Argument, 0, "", "is a directory, not a scenario file");
  throw ScenarioError(Argument, 0, "", "no such file");
}

bool IsBareScenarioName(const std::string &Argument) {
  const std::string Suffix = ".toml";
  const bool Toml =
      Argument.size() >= Suffix.size() && Argument.compare(Argument.size() - Suffix.size(), Suffix.size(), Suffix) == 0;
  return Argument != "-" && Argument.find('/') == std::string::npos && !Toml;
}

}  // namespace quarn::emu::cli