// Fuzz target: a whole emulated boot in which the firmware's every answer (status,
// response bytes, reported length), GetVornStatus, the status registers over time, the
// boot mode and the policy switches come from the input. The run must end, return
// EFI_SUCCESS or EFI_UNSUPPORTED, and leave only well-formed HOBs and records.
#include <cstdio>

#include "Emulator/Emulator.h"
#include "Emulator/FaultSweep.h"
#include "FuzzInput.h"

namespace {

constexpr EFI_STATUS kResults[] = {
    EFI_SUCCESS,   EFI_WARN_BUFFER_TOO_SMALL, EFI_WARN_STALE_DATA, EFI_TIMEOUT, EFI_DEVICE_ERROR,
    EFI_NOT_FOUND, EFI_UNSUPPORTED,           EFI_NOT_READY};

EFI_STATUS PickStatus(quarn::fuzz::FuzzInput &In) {
  return kResults[In.Take<uint8_t>() % (sizeof kResults / sizeof kResults[0])];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  quarn::fuzz::FuzzInput In(Data, Size);
  quarn::emu::Scenario S;
  S.Name = "fuzz";
  S.Uart1.Divisor = S.Uart2.Divisor = 1;
  S.Uart1.Lcr = S.Uart2.Lcr = 3;
  const uint8_t Switches = In.Take<uint8_t>();
  S.PreDidReset = Switches & 1;
  S.SscAlternate = Switches & 2;
  S.BiosUpdateWatchdog = Switches & 4;
  S.PolicyBlock = !(Switches & 8);
  S.BootMode = (Switches & 16) ? BOOT_ON_S3_RESUME : 0;
  S.GetBootModeStatus = (Switches & 32) ? EFI_DEVICE_ERROR : EFI_SUCCESS;
  S.CmosErrorLevel = (Switches & 64) ? 0x80000042 : 0;
  S.DwrSts = (Switches & 128) ? 0x8000 : 0;
  S.Fs1 = In.Take<uint32_t>();
  S.Fs2 = In.Take<uint32_t>();
  S.Fn1 = In.Take<uint32_t>();
  S.VornStatus = In.Take<uint8_t>() % 8;
  S.VornStatusResult = PickStatus(In);
  const unsigned Changes = In.Take<uint8_t>() % 6;
  for (unsigned Index = 0; Index < Changes; Index++) {
    quarn::emu::VornRegisterChange Change;
    Change.Ms = In.Take<uint16_t>() % 7000;
    Change.Fs1 = In.Take<uint32_t>();
    if (In.TakeBool()) Change.Fs2 = In.Take<uint32_t>();
    S.At.push_back(Change);
  }
  S.CounterAfterMs.reset();
  S.StateAfterMs.reset();
  if (In.TakeBool()) S.CounterAfterMs = In.Take<uint16_t>() % 6000;
  if (In.TakeBool()) S.StateAfterMs = In.Take<uint16_t>() % 6000;
  S.PreDidResetAccept = In.TakeBool();
  while (In.Left() > 0 && S.AnswerScript.size() < 16) {
    quarn::emu::MessageOverride Answer;
    Answer.Result = PickStatus(In);
    if (In.TakeBool()) Answer.Response = In.TakeBytes(64);
    if (In.TakeBool()) Answer.ResponseLength = In.Take<uint32_t>() % 80;
    else if (In.Take<uint8_t>() == 0xFF) Answer.ResponseLength = In.Take<uint32_t>();
    S.AnswerScript.push_back(Answer);
  }

  quarn::emu::Emulator E{S};
  const quarn::emu::RunReport Report = E.Run();
  const auto Violations = quarn::emu::CheckRunInvariants(Report, &E);
  if (!Violations.empty()) {
    for (const auto &Violation : Violations) std::fprintf(stderr, "invariant: %s\n", Violation.c_str());
    __builtin_trap();
  }
  return 0;
}
