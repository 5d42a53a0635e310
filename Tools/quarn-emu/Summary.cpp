#include "Summary.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "BoardSummary.h"
#include "Names.h"
#include "ReportJson.h"

namespace quarn::emu::cli {

namespace {

std::string Format(const char *Pattern, auto... Arguments) {
  char Text[512];
  std::snprintf(Text, sizeof Text, Pattern, Arguments...);
  return Text;
}

uint32_t Word(const std::vector<uint8_t> &Data, size_t Offset) {
  uint32_t Value = 0;
  if (Offset + 4 <= Data.size()) std::memcpy(&Value, &Data[Offset], 4);
  return Value;
}

std::string Ms(uint64_t Ns) { return Format("%.3f ms", Milliseconds(Ns)); }

void WriteHobs(std::ostream &Out, const RunReport &R) {
  if (R.VornTypeHob) {
    Out << Format("VORN type HOB  vorn_type %u (%s), fw_type %u, fw_sub_type %u\n", R.VornTypeHob->VornType,
                  VornTypeName(R.VornTypeHob->VornType).c_str(), R.VornTypeHob->FwType, R.VornTypeHob->FwSubType);
  } else {
    Out << "VORN type HOB  none\n";
  }
  if (R.InfoHob) {
    Out << Format("info HOB       flow %u, feature set 0x%08X, features 2 0x%08X, pwr opt boot %u, cores2disable %u\n",
                  R.InfoHob->Flow, R.InfoHob->FeatureSet, R.InfoHob->FeatureSet2, R.InfoHob->PwrOptBoot,
                  R.InfoHob->Cores2Disable);
  } else {
    Out << "info HOB       none\n";
  }
  if (R.StaticPointerTable) {
    Out << Format("pointer table  at 0x%08X", R.StaticPointerTable->Address);
    bool Any = false;
    for (size_t Slot = 0; Slot < R.StaticPointerTable->Slots.size(); Slot++) {
      if (R.StaticPointerTable->Slots[Slot] == 0) continue;
      Out << (Any ? ", " : "; ") << Format("slot %zu = 0x%llX", Slot, (unsigned long long)R.StaticPointerTable->Slots[Slot]);
      Any = true;
    }
    Out << (Any ? "\n" : "; every slot empty\n");
  } else {
    Out << "pointer table  none\n";
  }
  if (R.CpuAndRevision) {
    Out << Format("CPU record     cpu_type %u, stepping %u\n", R.CpuAndRevision->CpuType, R.CpuAndRevision->Stepping);
  } else {
    Out << "CPU record     none\n";
  }
  const std::vector<bool> OnTable = Mm7PointsToTable(R);
  size_t Pointing = 0;
  for (bool On : OnTable) Pointing += On ? 1 : 0;
  Out << Format("MM7            %zu of %zu processors hold the table's address\n", Pointing, OnTable.size());
}

void WriteRecords(std::ostream &Out, const RunReport &R) {
  if (R.StatusCodes.empty()) {
    Out << "records        none\n";
    return;
  }
  Out << "records\n";
  for (size_t Index = 0; Index < R.StatusCodes.size(); Index++) {
    Out << Format("  %zu. ", Index + 1) << DescribeStatusCode(R.StatusCodes[Index]) << "\n";
  }
}

void WriteExchange(std::ostream &Out, const RunReport &R) {
  if (R.Messages.empty()) {
    Out << "firmware       no messages\n";
    return;
  }
  Out << "firmware exchange\n";
  Out << Format("  %-3s %11s  %-6s %-14s %-26s %-22s %s\n", "#", "time", "client", "kind", "request", "result",
                "response");
  for (size_t Index = 0; Index < R.Messages.size(); Index++) {
    const MessageExchange &M = R.Messages[Index];
    std::string Request = HexString(M.Request);
    if (Request.size() > 24) Request = Request.substr(0, 22) + "..";
    std::string Response = EFI_ERROR(M.Result) ? "-" : HexString(M.Response);
    if (Response.size() > 40) Response = Response.substr(0, 38) + "..";
    Out << Format("  %-3zu %11s  0x%02X   %-14s %-26s %-22s %s (%u bytes)\n", Index + 1, Ms(M.TimeNs).c_str(),
                  M.Client, M.Kind.c_str(), Request.c_str(), StatusName(M.Result).c_str(), Response.c_str(),
                  M.ResponseLength);
  }
}

}  // namespace

std::string DescribeStatusCode(const StatusCodeRecord &Code) {
  const std::vector<uint8_t> &Data = Code.Data;
  constexpr size_t kRecord = 20;  // the EFI_STATUS_CODE_DATA header
  const uint32_t EntryType = Word(Data, kRecord);
  if (EntryType == 16 && Data.size() >= kRecord + 38) {
    return Format("state record: VORNFS1 0x%08X, VORNFS2 0x%08X, fn1 0x%08X, fn4 0x%08X, fn6 0x%08X",
                  Word(Data, kRecord + 18), Word(Data, kRecord + 22), Word(Data, kRecord + 26),
                  Word(Data, kRecord + 30), Word(Data, kRecord + 34));
  }
  if (EntryType == 17 && Data.size() >= kRecord + 42) {
    return Format("reset record: VORNFS1 0x%08X, VORNFS2 0x%08X, reset detail 0x%08X", Word(Data, kRecord + 18),
                  Word(Data, kRecord + 22), Word(Data, kRecord + 26));
  }
  return Format("status code type 0x%08X value 0x%08X: ", Code.Type, Code.Value) + HexString(Data);
}

void WriteSummary(std::ostream &Out, const RunReport &R, const std::string &Description) {
  Out << "---- " << R.Scenario;
  if (!Description.empty()) Out << ": " << Description;
  Out << "\n";
  if (R.Outcome == "returned" && R.Status) {
    Out << Format("returned       %s (0x%08X) after %s of virtual time\n", StatusName(*R.Status).c_str(), *R.Status,
                  Ms(R.ElapsedNs).c_str());
  } else {
    Out << "outcome:       " << R.Outcome << " after " << Ms(R.ElapsedNs) << " of virtual time: " << R.Where << "\n";
  }
  WriteBoardSummary(Out, R);
  WriteHobs(Out, R);
  WriteRecords(Out, R);
  if (!R.Asserts.empty()) {
    Out << "asserts\n";
    for (const std::string &Line : R.Asserts) Out << "  " << Line << "\n";
  }
  WriteExchange(Out, R);
  WriteOutputsSummary(Out, R);
  // The parts cover the whole run: the entry point and, when it returned, the
  // notifications after it. Say so, with both figures, so that they add up.
  const uint64_t TotalNs = R.WaitNs + R.SerialNs + R.FirmwareNs + R.OtherNs;
  Out << "time           " << Ms(TotalNs) << " in all";
  if (R.Outcome == "returned" && TotalNs >= R.ElapsedNs) {
    Out << " (entry point " << Ms(R.ElapsedNs) << ", notifications after it returned " << Ms(TotalNs - R.ElapsedNs)
        << ")";
  }
  Out << ": wait " << Ms(R.WaitNs) << ", serial " << Ms(R.SerialNs) << ", firmware " << Ms(R.FirmwareNs) << ", other "
      << Ms(R.OtherNs) << "\n";
}

void WriteTrace(std::ostream &Out, const RunReport &R) {
  Out << "---- trace: " << R.Trace.size() << " entries\n";
  for (const TraceEntry &T : R.Trace) {
    std::string What = T.Device;
    if (T.Kind == "call") {
      const std::string Ppi = PpiName(T.Value);
      if (!Ppi.empty()) What += " " + Ppi;
    }
    Out << Format("%14.6f ms  %-12s 0x%08llX  0x%08llX  ", Milliseconds(T.TimeNs), T.Kind.c_str(),
                  (unsigned long long)T.Address, (unsigned long long)T.Value)
        << What << "\n";
  }
}

}  // namespace quarn::emu::cli
