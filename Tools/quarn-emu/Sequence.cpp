#include "Sequence.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "Names.h"
#include "ReportJson.h"

namespace quarn::emu::cli {

namespace {

/// One arrow or note of the diagram, at a virtual time.
struct Step {
  uint64_t TimeNs;
  int Order;         // among steps of the same time: trace lines first
  std::string Line;  // the Mermaid line
};

/// Mermaid reads ';' and '#' as syntax: keep them out of message texts.
std::string Clean(std::string Text) {
  for (char &C : Text) {
    if (C == ';' || C == '#' || C == '\r' || C == '\n') C = ' ';
  }
  return Text;
}

std::string WithPpi(const std::string &Call, uint64_t Head) {
  const std::string Ppi = PpiName(Head);
  return Ppi.empty() ? Call : Call + "(" + Ppi + ")";
}

std::string Hex(uint64_t Value) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "0x%llX", static_cast<unsigned long long>(Value));
  return Text;
}

/// The diagram line of one trace entry, or "" for entries the diagram leaves out.
std::string TraceStep(const TraceEntry &T, size_t &StatusCodeIndex, size_t &AssertIndex, const RunReport &R) {
  if (T.Kind == "int3") {
    std::string Text = AssertIndex < R.Asserts.size() ? R.Asserts[AssertIndex] : "breakpoint";
    AssertIndex++;
    return "Note over Module: " + Clean(Text);
  }
  if (T.Kind == "notify") return "Core->>Module: " + Clean(T.Device);
  if (T.Kind == "pei-core") return "Note over Core: " + Clean(T.Device);
  if (T.Kind != "call") return {};
  const std::string &Call = T.Device;
  if (Call == "LocatePpi") {
    // Every debug message looks the debug PPI up: that would drown the diagram.
    if (PpiName(T.Value) == "DEBUG_PRINT_PPI") return {};
    return "Module->>Core: " + WithPpi("LocatePpi", T.Value);
  }
  if (Call == "InstallPpi" || Call == "NotifyPpi") return "Module->>Core: " + WithPpi(Call, T.Value);
  if (Call == "CreateHob") {
    const std::string Hob = HobNameForLength(T.Value);
    return "Module->>Core: CreateHob(" + std::to_string(T.Value) + " bytes" + (Hob.empty() ? "" : ", " + Hob) + ")";
  }
  if (Call == "AllocatePool") return "Module->>Core: AllocatePool(" + std::to_string(T.Value) + " bytes)";
  if (Call == "GetBootMode") return "Module->>Core: GetBootMode";
  if (Call == "ReportStatusCode") {
    std::string Text = "Module->>Core: ReportStatusCode(" + Hex(T.Value);
    if (StatusCodeIndex < R.Records.size()) Text += ", " + R.Records[StatusCodeIndex] + " record";
    StatusCodeIndex++;
    return Text + ")";
  }
  if (Call == "StartupAllAPs") return "Module->>Core: StartupAllAPs (MP services: load MM7 on every AP)";
  if (Call.rfind("DRUX_PPI.", 0) == 0 && Call != "DRUX_PPI.SendWithAck") return "Module->>Fw: " + Clean(Call.substr(9));
  // GetHobList, SetMem, the debug PPI's WriteMessage and SendWithAck (drawn from the
  // message list) are left out.
  return {};
}

}  // namespace

std::string SequenceDiagram(const RunReport &R) {
  std::vector<Step> Steps;
  size_t StatusCodeIndex = 0;
  size_t AssertIndex = 0;
  bool Returned = false;
  const std::string Return = R.Status ? "Module-->>Core: returns " + StatusName(*R.Status)
                                      : "Note over Module: stopped by the emulator (" + R.Outcome + ")";

  int Order = 0;
  for (const TraceEntry &T : R.Trace) {
    // The move to permanent memory is the first thing after the entry point returned.
    if (!Returned && T.Kind == "pei-core") {
      Steps.push_back({T.TimeNs, Order++, Return});
      Returned = true;
    }
    const std::string Line = TraceStep(T, StatusCodeIndex, AssertIndex, R);
    if (!Line.empty()) Steps.push_back({T.TimeNs, Order++, Line});
  }
  // Messages sit between the trace lines by time; at the same time the trace comes first.
  std::vector<Step> Messages;
  for (const MessageExchange &M : R.Messages) {
    Messages.push_back({M.TimeNs, 0,
                        "Module->>Fw: SendWithAck " + M.Kind + " (client " + Hex(M.Client) + ", " +
                            std::to_string(M.RequestLength) + " bytes)\n    Fw-->>Module: " + StatusName(M.Result) +
                            (EFI_ERROR(M.Result) ? "" : ", " + std::to_string(M.ResponseLength) + " bytes")});
  }
  std::vector<Step> Merged;
  std::merge(Steps.begin(), Steps.end(), Messages.begin(), Messages.end(), std::back_inserter(Merged),
             [](const Step &A, const Step &B) { return A.TimeNs < B.TimeNs; });
  if (!Returned) Merged.push_back({R.ElapsedNs, Order++, Return});

  std::string Out =
      "sequenceDiagram\n"
      "    participant Core as PEI core\n"
      "    participant Module as QuarnPeiPreMem\n"
      "    participant Fw as QUARN firmware (DRUX_PPI)\n"
      "    Core->>Module: QuarnPeiPreMemEntryPoint\n";
  // Runs of the same line are drawn once with a count.
  for (size_t Index = 0; Index < Merged.size();) {
    size_t Next = Index + 1;
    while (Next < Merged.size() && Merged[Next].Line == Merged[Index].Line) Next++;
    Out += "    " + Merged[Index].Line;
    if (Next - Index > 1) Out += " (" + std::to_string(Next - Index) + " times)";
    Out += "\n";
    Index = Next;
  }
  return Out;
}

}  // namespace quarn::emu::cli
