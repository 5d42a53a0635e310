#include "Summary.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "BoardSummary.h"
#include "MessageDecode.h"
#include "Names.h"
#include "ReportJson.h"

namespace quarn::emu::cli {

namespace {

/// Bytes of a message or record the default summary shows in hex; --wide shows all.
constexpr size_t kNarrowBytes = 24;
/// Columns a decoded line fills before it goes on in the next line (not with --wide).
constexpr size_t kNarrowColumns = 110;

/// Bytes in hex, cut to kNarrowBytes unless Wide ("..", then the count, shows the cut).
std::string Bytes(const std::vector<uint8_t> &Data, bool Wide) {
  if (Data.empty()) return "(no bytes)";
  if (Wide || Data.size() <= kNarrowBytes) return HexString(Data);
  return HexString({Data.begin(), Data.begin() + kNarrowBytes}) + ".. (" + std::to_string(Data.size()) + " bytes)";
}

/// Text in lines of at most kNarrowColumns (unless Wide), broken after ", "; every line
/// starts with Indent.
std::string Wrapped(const std::string &Text, const std::string &Indent, bool Wide) {
  std::string Out = Indent;
  size_t Column = Indent.size();
  size_t From = 0;
  while (From < Text.size()) {
    size_t End = Text.find(", ", From);
    End = End == std::string::npos ? Text.size() : End + 2;
    const std::string Piece = Text.substr(From, End - From);
    if (!Wide && Column > Indent.size() && Column + Piece.size() > kNarrowColumns) {
      while (!Out.empty() && Out.back() == ' ') Out.pop_back();
      Out += "\n" + Indent;
      Column = Indent.size();
    }
    Out += Piece;
    Column += Piece.size();
    From = End;
  }
  return Out + "\n";
}

/// The decode of a message or record: its fields, then what does not fit the layout and
/// the bytes no field took.
std::string DecodedText(const Decoded &D, bool Wide) {
  std::string Text = FieldsText(D);
  if (!D.Problem.empty()) Text += std::string(Text.empty() ? "" : ", ") + "(" + D.Problem + ")";
  if (!D.Rest.empty()) Text += std::string(Text.empty() ? "" : ", ") + "rest " + Bytes(D.Rest, Wide);
  return Text;
}


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
      Out << (Any ? ", " : "; ")
          << Format("slot %zu = 0x%llX", Slot, (unsigned long long)R.StaticPointerTable->Slots[Slot]);
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

// Each record: its time, type and value by name and in hex, the handler's answer, then
// the record decoded.
void WriteRecords(std::ostream &Out, const RunReport &R, bool Wide) {
  if (R.StatusCodes.empty()) {
    Out << "records        none\n";
    return;
  }
  Out << "records\n";
  const std::string Indent(17, ' ');
  for (size_t Index = 0; Index < R.StatusCodes.size(); Index++) {
    const StatusCodeRecord &Code = R.StatusCodes[Index];
    Out << Format("  %-3s %11s  type %s (0x%08X)\n", (std::to_string(Index + 1) + ".").c_str(), Ms(Code.TimeNs).c_str(),
                  StatusCodeTypeName(Code.Type).c_str(), Code.Type)
        << Indent
        << Format("value %s (0x%08X), instance %u -> %s\n", StatusCodeValueName(Code.Value).c_str(), Code.Value,
                  Code.Instance, StatusName(Code.Answer).c_str())
        << Wrapped(DescribeStatusCode(Code, Wide), Indent, Wide);
  }
}

// Each message: its time, kind, client and result, then both directions, each as bytes
// and decoded field by field.
void WriteExchange(std::ostream &Out, const RunReport &R, bool Wide) {
  if (R.Messages.empty()) {
    Out << "firmware       no messages\n";
    return;
  }
  Out << (Wide ? "firmware exchange\n" : "firmware exchange (run --wide shows every byte)\n");
  const std::string Indent(17, ' ');
  for (size_t Index = 0; Index < R.Messages.size(); Index++) {
    const MessageExchange &M = R.Messages[Index];
    const Decoded Request = DecodeRequest(M);
    Out << Format("  %-3s %11s  %s, client 0x%02X, %u byte%s -> %s", (std::to_string(Index + 1) + ".").c_str(),
                  Ms(M.TimeNs).c_str(), M.Kind.c_str(), M.Client, M.RequestLength, M.RequestLength == 1 ? "" : "s",
                  StatusName(M.Result).c_str());
    if (!EFI_ERROR(M.Result)) Out << Format(", %u bytes back (room for %u)", M.ResponseLength, M.Capacity);
    Out << "\n";
    Out << "      request    " << Bytes(M.Request, Wide) << "\n" << Wrapped(DecodedText(Request, Wide), Indent, Wide);
    if (EFI_ERROR(M.Result)) {
      Out << "      response   none (an error status carries no response)\n";
      continue;
    }
    Out << "      response   " << Bytes(M.Response, Wide) << "\n"
        << Wrapped(DecodedText(DecodeResponse(M), Wide), Indent, Wide);
  }
}

}  // namespace

std::string DescribeStatusCode(const StatusCodeRecord &Code, bool Wide) {
  const Decoded D = DecodeStatusCode(Code);
  return D.Title + ": " + DecodedText(D, Wide);
}

void WriteSummary(std::ostream &Out, const RunReport &R, const std::string &Description, bool Wide) {
  Out << "---- " << R.Scenario;
  if (!Description.empty()) Out << ": " << Description;
  Out << "\n";
  if (R.Outcome == "returned" && R.Status) {
    Out << Format("returned       %s (0x%08X) after %s of virtual time\n", StatusName(*R.Status).c_str(), *R.Status,
                  Ms(R.ElapsedNs).c_str());
  } else {
    Out << "outcome:       " << R.Outcome << " after " << Ms(R.ElapsedNs) << " of virtual time: " << R.Where << "\n";
  }
  if (R.Fault) {
    Out << Format("fault          %s #%llu failed with %s at %s\n", R.Fault->Call.c_str(),
                  static_cast<unsigned long long>(R.Fault->Nth), StatusName(EFI_STATUS(R.Fault->Status)).c_str(),
                  Ms(R.Fault->TimeNs).c_str());
  } else if (R.FaultAsked) {
    const bool Any = R.FaultAsked->Call == "*";
    Out << Format("fault          %s #%llu never failed: the run made %llu %s\n",
                  Any ? "failable call" : R.FaultAsked->Call.c_str(),
                  static_cast<unsigned long long>(R.FaultAsked->Nth),
                  static_cast<unsigned long long>(R.FaultAsked->CallsMade), Any ? "failable calls" : "such calls");
  }
  WriteBoardSummary(Out, R);
  WriteHobs(Out, R);
  WriteRecords(Out, R, Wide);
  if (!R.Asserts.empty()) {
    Out << "asserts\n";
    for (const std::string &Line : R.Asserts) Out << "  " << Line << "\n";
  }
  WriteExchange(Out, R, Wide);
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

}  // namespace quarn::emu::cli
