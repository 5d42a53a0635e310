#include "FaultSweep.h"

extern "C" {
#include <PiPei.h>
#include <Guid/StatusCodeDataTypeId.h>
}
#include <Guid/QuarnInfoHob.h>
#include <Guid/StaticPointerTableHob.h>
#include <Guid/VornTypeHob.h>

#include <cstring>

#include "Emulator/Emulator.h"
#include "Emulator/PeiCore/HobWalk.h"

namespace quarn::emu {

namespace {

bool Contains(const std::string &Text, const char *Part) { return Text.find(Part) != std::string::npos; }

/// A dead loop is a valid end only where the module calls for one: the static pointer
/// table failing its validation.
bool DeadLoopCalledFor(const RunReport &Report) {
  for (const std::string &Line : Report.Asserts) {
    if (Contains(Line, "DoesGuidMatch && DoesSizeMatch") || Contains(Line, "StaticPointerTable != ((void *) 0)") ||
        Contains(Line, "StaticPointerTableHob != ((void *) 0)")) {
      return true;
    }
  }
  return false;
}

void CheckRecords(const RunReport &Report, std::vector<std::string> &Violations) {
  for (size_t Index = 0; Index < Report.StatusCodes.size(); Index++) {
    const StatusCodeRecord &Code = Report.StatusCodes[Index];
    const std::string Where = "status code " + std::to_string(Index) + ": ";
    if (Code.Type != 0x40000002 || Code.Value != 0x00020000 || Code.Instance != 0) {
      Violations.push_back(Where + "unexpected type, value or instance");
    }
    if (Code.Data.size() < sizeof(EFI_STATUS_CODE_DATA)) {
      Violations.push_back(Where + "no extended data");
      continue;
    }
    uint16_t HeaderSize = 0, Size = 0;
    std::memcpy(&HeaderSize, &Code.Data[0], 2);
    std::memcpy(&Size, &Code.Data[2], 2);
    if (HeaderSize != 20 || std::memcmp(&Code.Data[4], &gEfiStatusCodeSpecificDataGuid, 16) != 0) {
      Violations.push_back(Where + "malformed wrapper header");
    }
    if (Size != 38 && Size != 42) {
      Violations.push_back(Where + "record size " + std::to_string(Size));
      continue;
    }
    uint32_t EntryType = 0;
    uint16_t EntrySize = 0;
    std::memcpy(&EntryType, &Code.Data[20], 4);
    std::memcpy(&EntrySize, &Code.Data[24], 2);
    if (!((EntryType == 16 && EntrySize == 38 && Size == 38) || (EntryType == 17 && EntrySize == 42 && Size == 42))) {
      Violations.push_back(Where + "record type/size mismatch");
    }
  }
}

void CheckHobs(Emulator &E, std::vector<std::string> &Violations) {
  for (EFI_HOB_GUID_TYPE *Hob : FindGuidHobs(E.Core(), gVornTypeHobGuid)) {
    if (Hob->Header.HobLength < sizeof(VORN_TYPE_HOB)) continue;  // left by someone else
    const auto *Type = reinterpret_cast<const VORN_TYPE_HOB *>(Hob);
    if (Type->VornType != 1 && Type->VornType != 3 && Type->VornType != 15 && Type->VornType != 255) {
      Violations.push_back("VORN type HOB holds type " + std::to_string(Type->VornType));
    }
  }
  for (EFI_HOB_GUID_TYPE *Hob : FindGuidHobs(E.Core(), gQuarnInfoHobGuid)) {
    if (Hob->Header.HobLength < 24 + sizeof(QUARN_INFO_HOB)) continue;
    QUARN_INFO_HOB Info;
    std::memcpy(&Info, reinterpret_cast<uint8_t *>(Hob) + 24, sizeof Info);
    const QUARN_INFO_HOB Expected{0, 0, QUARN_FLOW_NON_FUNCTIONAL, 0, 0, {}};
    if (std::memcmp(&Info, &Expected, sizeof Info) != 0)
      Violations.push_back("info HOB is not the non-functional record");
    break;  // only the first one is the module's
  }
  auto Tables = FindGuidHobs(E.Core(), gStaticPointerTableHobGuid);
  if (Tables.size() > 1) Violations.push_back("more than one static pointer table HOB");
  for (EFI_HOB_GUID_TYPE *Hob : Tables) {
    if (Hob->Header.HobLength != STATIC_POINTER_TABLE_HOB_LENGTH) Violations.push_back("table HOB of wrong length");
  }
}

}  // namespace

std::vector<std::string> CheckRunInvariants(const RunReport &Report, Emulator *After) {
  std::vector<std::string> Violations;
  if (Report.Outcome == "hang") Violations.push_back("the run hung: " + Report.Where);
  if (Report.Outcome == "dead-loop" && !DeadLoopCalledFor(Report)) {
    Violations.push_back("a dead loop nothing calls for: " + Report.Where);
  }
  if (Report.Outcome == "returned" && Report.Status && *Report.Status != EFI_SUCCESS &&
      *Report.Status != EFI_UNSUPPORTED) {
    Violations.push_back("entry point returned " + StatusName(*Report.Status));
  }
  CheckRecords(Report, Violations);
  if (After != nullptr) CheckHobs(*After, Violations);
  return Violations;
}

FaultSweepResult SweepFaults(const Scenario &S, uint64_t Stride,
                             const std::function<void(uint64_t Done, uint64_t Total)> &Progress,
                             const PrepareRun &Prepare) {
  FaultSweepResult Result;
  Result.Scenario = S.Name;
  {
    Emulator Clean{S};
    if (Prepare) Prepare(Clean);
    const RunReport Report = Clean.Run();
    Result.Points = Clean.GetBoard().Faults().Total();
    Result.CleanViolations = CheckRunInvariants(Report, &Clean);
    if (Report.Outcome == "dead-loop" && Result.CleanViolations.empty()) {
      Result.CleanViolations.push_back("the run does not return: " + Report.Where);
    }
  }
  if (Stride == 0) Stride = 1;
  for (uint64_t Point = 1; Point <= Result.Points; Point += Stride) {
    Emulator E{S};
    if (Prepare) Prepare(E);
    E.GetBoard().Faults().FailCall("*", Point);
    RunReport Report = E.Run();
    FaultOutcome Outcome;
    Outcome.Point = Point;
    if (Report.Fault) {
      Outcome.Call = Report.Fault->Call;
      Outcome.Nth = Report.Fault->Nth;
      Outcome.TimeNs = Report.Fault->TimeNs;
      Outcome.Answer = StatusName(static_cast<EFI_STATUS>(Report.Fault->Status));
    }
    Outcome.Outcome = Report.Outcome;
    if (Report.Status) Outcome.Status = StatusName(*Report.Status);
    Outcome.Violations = CheckRunInvariants(Report, &E);
    Result.Runs.push_back(std::move(Outcome));
    if (Progress) Progress(Point, Result.Points);
    if (Result.Points - Point < Stride) break;  // the next point lies past the last one (or would wrap)
  }
  return Result;
}

}  // namespace quarn::emu
