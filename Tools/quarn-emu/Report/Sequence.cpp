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
  std::string Line;  // the Mermaid line(s)
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

bool IsSendWithAck(const std::string &Call);

/// The diagram line of one trace entry, or "" for entries the diagram leaves out.
std::string TraceStep(const TraceEntry &T, size_t &StatusCodeIndex, size_t &AssertIndex, const RunReport &R) {
  if (T.Kind == "int3") {
    std::string Text = AssertIndex < R.Asserts.size() ? R.Asserts[AssertIndex] : "breakpoint";
    AssertIndex++;
    return "Note over Module: " + Clean(Text);
  }
  if (T.Kind == "notify") return "Core->>Module: " + Clean(T.Device);
  if (T.Kind == "pei-core") return "Note over Core: " + Clean(T.Device);
  if (T.Kind == "vorn") return "Note over Fw: " + Clean(T.Device);
  if (T.Kind == "fault") {
    // The one call the fault plan failed; Mermaid takes '#' for an entity, so the count is spelt out.
    if (!R.Fault) return "Note over Module,Core: injected fault: " + Clean(T.Device);
    const bool Firmware = R.Fault->Call == "SendWithAck" || R.Fault->Call == "GetVornStatus";
    return std::string("Note over Module,") + (Firmware ? "Fw" : "Core") + ": injected fault: " + R.Fault->Call +
           " call " + std::to_string(R.Fault->Nth) + " fails with " + StatusName(EFI_STATUS(R.Fault->Status));
  }
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
  if (Call.rfind("DRUX_PPI.", 0) == 0 && !IsSendWithAck(Call)) return "Module->>Fw: " + Clean(Call.substr(9));
  // GetHobList, SetMem, the debug PPI's WriteMessage and SendWithAck (drawn from the
  // message list) are left out.
  return {};
}

/// The firmware model's own trace lines around a SendWithAck.
bool IsSendWithAck(const std::string &Call) { return Call.rfind("DRUX_PPI.SendWithAck", 0) == 0; }
bool IsSendStart(const TraceEntry &T) {
  return T.Kind == "call" && T.Device.rfind("DRUX_PPI.SendWithAck client", 0) == 0;
}

std::string MessageSteps(const MessageExchange &M) {
  return "Module->>Fw: SendWithAck " + M.Kind + " (client " + Hex(M.Client) + ", " + std::to_string(M.RequestLength) +
         " bytes)\n    Fw-->>Module: " + StatusName(M.Result) +
         (EFI_ERROR(M.Result) ? "" : ", " + std::to_string(M.ResponseLength) + " bytes");
}

}  // namespace

std::string SequenceDiagram(const RunReport &R) {
  std::vector<Step> Steps;
  size_t StatusCodeIndex = 0;
  size_t AssertIndex = 0;
  bool Returned = false;
  const std::string Return = R.Status ? "Module-->>Core: returns " + StatusName(*R.Status)
                                      : "Note over Module: stopped by the emulator (" + R.Outcome + ")";

  // Where the firmware model traced each SendWithAck, the message takes that place in
  // the trace; otherwise messages go between the trace lines by time (trace first).
  size_t Starts = 0;
  for (const TraceEntry &T : R.Trace) Starts += IsSendStart(T) ? 1 : 0;
  const bool Anchored = Starts == R.Messages.size();
  size_t NextMessage = 0;

  for (const TraceEntry &T : R.Trace) {
    // The move to permanent memory is the first thing after the entry point returned.
    if (!Returned && T.Kind == "pei-core") {
      Steps.push_back({T.TimeNs, Return});
      Returned = true;
    }
    if (Anchored && IsSendStart(T)) {
      Steps.push_back({T.TimeNs, MessageSteps(R.Messages[NextMessage++])});
      continue;
    }
    const std::string Line = TraceStep(T, StatusCodeIndex, AssertIndex, R);
    if (!Line.empty()) Steps.push_back({T.TimeNs, Line});
  }
  std::vector<Step> Merged = Steps;
  if (!Anchored) {
    std::vector<Step> Messages;
    for (const MessageExchange &M : R.Messages) Messages.push_back({M.TimeNs, MessageSteps(M)});
    Merged.clear();
    std::merge(Steps.begin(), Steps.end(), Messages.begin(), Messages.end(), std::back_inserter(Merged),
               [](const Step &A, const Step &B) { return A.TimeNs < B.TimeNs; });
  }
  if (!Returned) Merged.push_back({R.ElapsedNs, Return});

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
