// The emulated QUARN firmware behind DRUX_PPI, called the way the module calls it: the
// model answers, scripted overrides, the capacity rule, refusals, the record of each
// exchange, GetVornStatus, and the pre-DID reset over virtual time.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "Library/VornFixture.h"

using namespace quarn;
using emu::VornDevice;
using test::VornBoard;
using test::Words;

namespace {

/// A message buffer with guard bytes on both sides, to catch writes past the capacity.
struct GuardedBuffer {
  static constexpr uint8_t kGuard = 0x5A;
  std::array<uint8_t, 16 + 64 + 16> Bytes;
  GuardedBuffer() { Bytes.fill(kGuard); }
  uint8_t *Data() { return Bytes.data() + 16; }
  void Put(const std::vector<uint8_t> &Request) { std::copy(Request.begin(), Request.end(), Data()); }
  std::vector<uint8_t> Get(size_t Length) { return {Data(), Data() + Length}; }
  /// TRUE when nothing outside [0, Length) of the message area changed.
  bool UntouchedOutside(size_t Length, const std::vector<uint8_t> &Original) {
    for (size_t I = 0; I < 16; I++) {
      if (Bytes[I] != kGuard || Bytes[16 + 64 + I] != kGuard) return false;
    }
    for (size_t I = Length; I < 64; I++) {
      const uint8_t Was = I < Original.size() ? Original[I] : kGuard;
      if (Data()[I] != Was) return false;
    }
    return true;
  }
};

struct Sent {
  EFI_STATUS Status;
  uint32_t Length;
  std::vector<uint8_t> Response;
};

/// Sends Request through the installed PPI with Capacity, as a module caller would.
Sent Send(VornBoard &V, uint8_t Client, const std::vector<uint8_t> &Request, uint32_t Capacity,
          uint32_t RequestLength = ~0u) {
  GuardedBuffer Buffer;
  Buffer.Put(Request);
  uint32_t Length = Capacity;
  const EFI_STATUS Status = V.E.Firmware().Ppi()->SendWithAck(
      0, Buffer.Data(), RequestLength == ~0u ? uint32_t(Request.size()) : RequestLength, &Length, 0, Client);
  const size_t Written = EFI_ERROR(Status) ? 0 : std::min<size_t>(Length, Capacity);
  EXPECT_TRUE(Buffer.UntouchedOutside(std::min<size_t>(Capacity, 64), Request)) << "wrote past the capacity";
  return {Status, Length, Buffer.Get(std::max(Written, Request.size()))};
}

std::vector<uint8_t> Prefix(const std::vector<uint8_t> &Bytes, size_t Length) {
  return {Bytes.begin(), Bytes.begin() + std::min(Length, Bytes.size())};
}

const std::vector<uint8_t> kTypeRequest = Words({0x000011F0});
const std::vector<uint8_t> kResetRequest = Words({0x00000005, 0, 0});
const std::vector<uint8_t> kWatchdogRequest = {0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0x04};

uint32_t Fs1(VornBoard &V) { return V.E.Vorn().Read(VornDevice::Register::Fs1); }

void AdvanceTo(VornBoard &V, uint64_t Ns) { V.E.GetBoard().Clock().AdvanceTo(Ns); }

}  // namespace

// --- the model's answers --------------------------------------------------------------------

TEST(QuarnFirmwareModel, TypeQueryAnswersTheHeaderWithIsResponseAndTheTypeWord) {
  emu::Scenario S;
  S.FwType = 2;
  S.FwSubType = 0xA5;
  VornBoard V{S};
  const Sent R = Send(V, 7, kTypeRequest, 8);
  EXPECT_EQ(R.Status, EFI_SUCCESS);
  EXPECT_EQ(R.Length, 8u);
  EXPECT_EQ(Prefix(R.Response, 8), Words({0x000091F0, 2u | (0xA5u << 3)}));
}

TEST(QuarnFirmwareModel, FeatureSetWatchdogAndClockAnswers) {
  emu::Scenario S;
  S.FeatureSet = 0x11223344;
  S.FeatureSet2 = 0x55667788;
  S.WatchdogStatus = 3;
  S.CloxResponse = 9;
  VornBoard V{S};

  Sent R = Send(V, 0x20, {0x01}, 11);
  EXPECT_EQ(R.Length, 11u);
  EXPECT_EQ(Prefix(R.Response, 11), (std::vector<uint8_t>{0x81, 0, 0, 0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55}));

  R = Send(V, 0x20, kWatchdogRequest, 2);
  EXPECT_EQ(R.Length, 2u);
  EXPECT_EQ(Prefix(R.Response, 2), (std::vector<uint8_t>{0x85, 0x03}));

  std::vector<uint8_t> Clock = Words({0x00050000, 27, 0, 28, 0, 2, 0, 100000000, 0, 0, 0, 0x10});
  R = Send(V, 8, Clock, 48);
  EXPECT_EQ(R.Length, 48u);
  std::vector<uint8_t> Expected = Clock;
  Expected[8] = 9;  // CloxResponse
  EXPECT_EQ(Prefix(R.Response, 48), Expected);

  std::vector<std::string> Kinds;
  for (const auto &X : V.Exchanges()) Kinds.push_back(X.Kind);
  EXPECT_EQ(Kinds, (std::vector<std::string>{"feature-set", "watchdog", "clock"}));
}

TEST(QuarnFirmwareModel, PreDidResetAcceptedOrEchoed) {
  {
    VornBoard V;
    const Sent R = Send(V, 7, kResetRequest, 12);
    EXPECT_EQ(R.Status, EFI_SUCCESS);
    EXPECT_EQ(R.Length, 12u);
    EXPECT_EQ(Prefix(R.Response, 12), Words({0x00008005, 0, 0}));
    EXPECT_TRUE(V.E.Firmware().LastResetNs().has_value());
  }
  {
    emu::Scenario S;
    S.PreDidResetAccept = false;
    VornBoard V{S};
    const std::vector<uint8_t> Request = Words({0xCAFE0005, 0x01020304, 0x05060708});
    const Sent R = Send(V, 7, Request, 12);
    EXPECT_EQ(R.Status, EFI_SUCCESS);
    EXPECT_EQ(Prefix(R.Response, 12), Request);
    EXPECT_FALSE(V.E.Firmware().LastResetNs().has_value());
  }
}

TEST(QuarnFirmwareModel, UnknownClientOrCommandIsUnsupportedWithoutAResponse) {
  VornBoard V;
  const std::vector<std::pair<uint8_t, std::vector<uint8_t>>> Unknown = {
      {7, Words({0x000012F0})},      // type group, other command
      {7, Words({0x00000105})},      // reset group, command 1
      {7, {0xF0, 0x11}},             // too short for a header
      {0x20, {0x02}},                // unknown QUARN command
      {0x20, {}},                    // no command at all
      {8, Words({0x00050000, 26})},  // other clock command
      {0x30, {0x01}},                // no such client
  };
  for (const auto &[Client, Request] : Unknown) {
    const Sent R = Send(V, Client, Request, 16);
    EXPECT_EQ(R.Status, EFI_UNSUPPORTED);
    EXPECT_EQ(R.Length, 16u);  // the length is not written either
    EXPECT_EQ(Prefix(R.Response, Request.size()), Request);
  }
  for (const auto &X : V.Exchanges()) {
    EXPECT_EQ(X.Kind, "unknown");
    EXPECT_TRUE(X.Response.empty());
  }
}

// --- overrides and the capacity rule -------------------------------------------------------

TEST(QuarnFirmwareCapacity, LongerResponseIsCutToTheCapacity) {
  emu::Scenario S;
  S.TypeOverride.Response = std::vector<uint8_t>(40, 0x33);
  VornBoard V{S};
  const Sent R = Send(V, 7, kTypeRequest, 6);
  EXPECT_EQ(R.Status, EFI_SUCCESS);
  EXPECT_EQ(R.Length, 6u);  // the reported length follows what was written
  EXPECT_EQ(Prefix(R.Response, 6), std::vector<uint8_t>(6, 0x33));
  EXPECT_EQ(V.Exchanges().back().Response.size(), 6u);
}

TEST(QuarnFirmwareCapacity, ScriptedLengthMayExceedTheCapacityButNothingIsWrittenBeyond) {
  emu::Scenario S;
  S.WatchdogOverride.ResponseLength = 500;
  S.WatchdogOverride.Response = std::vector<uint8_t>(30, 0x85);
  VornBoard V{S};
  const Sent R = Send(V, 0x20, kWatchdogRequest, 2);
  EXPECT_EQ(R.Length, 500u);
  EXPECT_EQ(V.Exchanges().back().ResponseLength, 500u);
  EXPECT_EQ(V.Exchanges().back().Response.size(), 2u);
}

TEST(QuarnFirmwareCapacity, ZeroCapacityWritesNothing) {
  VornBoard V;
  const Sent R = Send(V, 0x20, {0x01}, 0);
  EXPECT_EQ(R.Status, EFI_SUCCESS);
  EXPECT_EQ(R.Length, 0u);
  EXPECT_EQ(R.Response[0], 0x01);
}

TEST(QuarnFirmwareCapacity, ErrorResultWritesNeitherResponseNorLength) {
  emu::Scenario S;
  S.FeatureSetOverride.Result = EFI_TIMEOUT;
  S.FeatureSetOverride.Response = std::vector<uint8_t>(11, 0x99);
  VornBoard V{S};
  const Sent R = Send(V, 0x20, {0x01}, 11);
  EXPECT_EQ(R.Status, EFI_TIMEOUT);
  EXPECT_EQ(R.Length, 11u);
  EXPECT_EQ(R.Response[0], 0x01);
  EXPECT_TRUE(V.Exchanges().back().Response.empty());
  EXPECT_EQ(V.Exchanges().back().Result, EFI_TIMEOUT);
}

TEST(QuarnFirmwareCapacity, WarningResultComesWithTheResponse) {
  emu::Scenario S;
  S.WatchdogOverride.Result = EFI_WARN_STALE_DATA;
  VornBoard V{S};
  const Sent R = Send(V, 0x20, kWatchdogRequest, 2);
  EXPECT_EQ(R.Status, EFI_WARN_STALE_DATA);
  EXPECT_EQ(Prefix(R.Response, 2), (std::vector<uint8_t>{0x85, 0x00}));
}

TEST(QuarnFirmwareCapacity, UnusableArgumentsAreRefused) {
  VornBoard V;
  DRUX_PPI *Ppi = V.E.Firmware().Ppi();
  uint8_t Buffer[8] = {0xF0, 0x11};
  uint32_t Length = 8;
  EXPECT_EQ(Ppi->SendWithAck(0, nullptr, 4, &Length, 0, 7), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Ppi->SendWithAck(0, Buffer, 4, nullptr, 0, 7), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Ppi->SendWithAck(1, Buffer, 4, &Length, 0, 7), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Ppi->SendWithAck(0, Buffer, 0x10000, &Length, 0, 7), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Length, 8u);
  EXPECT_EQ(V.Exchanges().size(), 4u);
}

TEST(QuarnFirmwareCapacity, InjectedFaultFailsTheChosenSend) {
  VornBoard V;
  V.E.GetBoard().Faults().FailCall("SendWithAck", 2);
  EXPECT_EQ(Send(V, 7, kTypeRequest, 8).Status, EFI_SUCCESS);
  EXPECT_EQ(Send(V, 7, kTypeRequest, 8).Status, EFI_DEVICE_ERROR);
  EXPECT_EQ(Send(V, 7, kTypeRequest, 8).Status, EFI_SUCCESS);
}

// --- records, time and status -----------------------------------------------------------------

TEST(QuarnFirmwareRecord, EachExchangeIsRecordedAndCostsAMillisecond) {
  VornBoard V;
  const uint64_t Start = V.E.GetBoard().NowNs();
  Send(V, 0x20, kWatchdogRequest, 2);
  Send(V, 7, kTypeRequest, 8);
  EXPECT_EQ(V.E.GetBoard().NowNs() - Start, 2 * emu::QuarnFirmware::kSendCostNs);

  ASSERT_EQ(V.Exchanges().size(), 2u);
  const emu::MessageExchange &W = V.Exchanges()[0];
  EXPECT_EQ(W.Client, 0x20);
  EXPECT_EQ(W.Request, kWatchdogRequest);
  EXPECT_EQ(W.RequestLength, 10u);
  EXPECT_EQ(W.Capacity, 2u);
  EXPECT_EQ(W.Result, EFI_SUCCESS);
  EXPECT_EQ(W.Response, (std::vector<uint8_t>{0x85, 0x00}));
  EXPECT_EQ(W.ResponseLength, 2u);
  EXPECT_EQ(W.TimeNs, Start);
  EXPECT_EQ(W.Kind, "watchdog");
  EXPECT_EQ(V.Exchanges()[1].TimeNs, Start + emu::QuarnFirmware::kSendCostNs);
}

TEST(QuarnFirmwareRecord, CallsAreTraced) {
  emu::Scenario S;
  S.Trace = true;
  VornBoard V{S};
  Send(V, 7, kTypeRequest, 8);
  uint32_t Status = 0;
  V.E.Firmware().Ppi()->GetVornStatus(&Status);
  std::string Trace;
  for (const auto &T : V.E.GetBoard().Trace()) Trace += T.Device + "\n";
  EXPECT_NE(Trace.find("DRUX_PPI.SendWithAck client 0x07 type"), std::string::npos);
  EXPECT_NE(Trace.find("DRUX_PPI.GetVornStatus"), std::string::npos);
}

TEST(QuarnFirmwareStatus, GetVornStatusAnswersAsScripted) {
  {
    emu::Scenario S;
    S.VornStatus = 5;
    VornBoard V{S};
    uint32_t Status = 0xFFFF;
    EXPECT_EQ(V.E.Firmware().Ppi()->GetVornStatus(&Status), EFI_SUCCESS);
    EXPECT_EQ(Status, 5u);
    EXPECT_EQ(V.E.Firmware().Ppi()->GetVornStatus(nullptr), EFI_INVALID_PARAMETER);
  }
  {
    emu::Scenario S;
    S.VornStatus = 5;
    S.VornStatusResult = EFI_NOT_READY;
    VornBoard V{S};
    uint32_t Status = 0xFFFF;
    EXPECT_EQ(V.E.Firmware().Ppi()->GetVornStatus(&Status), EFI_NOT_READY);
    EXPECT_EQ(Status, 0xFFFFu);
  }
}

TEST(QuarnFirmwareStatus, UnusedEntriesAnswerUnsupported) {
  VornBoard V;
  DRUX_PPI *Ppi = V.E.Firmware().Ppi();
  uint32_t Length = 0;
  EXPECT_EQ(Ppi->ReadMessage(0, 0, nullptr, &Length), EFI_UNSUPPORTED);
  EXPECT_EQ(Ppi->SendMessage(0, nullptr, 0, 0, 7), EFI_UNSUPPORTED);
  EXPECT_EQ(Ppi->ResetInterface(0), EFI_UNSUPPORTED);
  EXPECT_EQ(Ppi->InitializeInterface(0), EFI_UNSUPPORTED);
}

// --- the pre-DID reset over virtual time ---------------------------------------------------------

TEST(QuarnFirmwareReset, CounterStepsThenStateArrivesAtTheScriptedTimes) {
  emu::Scenario S;
  S.Fs1 = 0x00F00002 | 0x00000400;  // counter 15, recovery, other bits set
  S.CounterAfterMs = 20;
  S.StateAfterMs = 100;
  S.PreDidResetState = 5;
  VornBoard V{S};
  const uint64_t T0 = V.E.GetBoard().NowNs();
  ASSERT_EQ(Send(V, 7, kResetRequest, 12).Status, EFI_SUCCESS);

  EXPECT_EQ(Fs1(V), 0x00F00402u);
  AdvanceTo(V, T0 + 20 * emu::kNsPerMs - 1);
  EXPECT_EQ(Fs1(V), 0x00F00402u);
  AdvanceTo(V, T0 + 20 * emu::kNsPerMs);
  EXPECT_EQ(Fs1(V), 0x00000400u);  // counter 15 -> 0, state 0; other bits kept
  AdvanceTo(V, T0 + 100 * emu::kNsPerMs - 1);
  EXPECT_EQ(Fs1(V), 0x00000400u);
  AdvanceTo(V, T0 + 100 * emu::kNsPerMs);
  EXPECT_EQ(Fs1(V), 0x00000405u);
}

TEST(QuarnFirmwareReset, BothChangesDueAtOneReadApplyInTheirOrder) {
  emu::Scenario S;
  S.Fs1 = 0x00300002;
  VornBoard V{S};  // counter after 20 ms, state 5 after 100 ms
  const uint64_t T0 = V.E.GetBoard().NowNs();
  Send(V, 7, kResetRequest, 12);
  AdvanceTo(V, T0 + 500 * emu::kNsPerMs);
  EXPECT_EQ(Fs1(V), 0x00400005u);
  // Kept with the time each was due, not that of the read that applied both.
  const std::vector<VornDevice::Change> &Changes = V.E.Vorn().Changes();
  ASSERT_EQ(Changes.size(), 2u);
  EXPECT_EQ(Changes[0].TimeNs, T0 + 20 * emu::kNsPerMs);
  EXPECT_EQ(Changes[0].Previous, 0x00300002u);
  EXPECT_EQ(Changes[0].Value, 0x00400000u);
  EXPECT_EQ(Changes[1].TimeNs, T0 + 100 * emu::kNsPerMs);
  EXPECT_EQ(Changes[1].Previous, 0x00400000u);
  EXPECT_EQ(Changes[1].Value, 0x00400005u);
  EXPECT_EQ(Changes[1].Source, "firmware");
  EXPECT_TRUE(V.E.Vorn().PendingChanges().empty());
}

TEST(QuarnFirmwareReset, OmittedTimesMeanNever) {
  emu::Scenario S;
  S.Fs1 = 0x00100002;
  S.CounterAfterMs = std::nullopt;
  S.StateAfterMs = 50;
  S.PreDidResetState = 2;
  {
    VornBoard V{S};
    const uint64_t T0 = V.E.GetBoard().NowNs();
    Send(V, 7, kResetRequest, 12);
    AdvanceTo(V, T0 + 10000 * emu::kNsPerMs);
    EXPECT_EQ(Fs1(V), 0x00100002u);  // counter never moves
  }

  S.CounterAfterMs = 30;
  S.StateAfterMs = std::nullopt;
  VornBoard W{S};
  const uint64_t T1 = W.E.GetBoard().NowNs();
  Send(W, 7, kResetRequest, 12);
  AdvanceTo(W, T1 + 10000 * emu::kNsPerMs);
  EXPECT_EQ(Fs1(W), 0x00200000u);  // restarted, never reaches a state again
}

TEST(QuarnFirmwareReset, RefusedOrFailedRequestStartsNoReset) {
  {
    emu::Scenario S;
    S.Fs1 = 0x00100002;
    S.PreDidResetAccept = false;
    VornBoard V{S};
    Send(V, 7, kResetRequest, 12);
    AdvanceTo(V, V.E.GetBoard().NowNs() + 1000 * emu::kNsPerMs);
    EXPECT_EQ(Fs1(V), 0x00100002u);
  }
  {
    emu::Scenario S;
    S.Fs1 = 0x00100002;
    S.PreDidResetOverride.Result = EFI_TIMEOUT;
    VornBoard V{S};
    EXPECT_EQ(Send(V, 7, kResetRequest, 12).Status, EFI_TIMEOUT);
    AdvanceTo(V, V.E.GetBoard().NowNs() + 1000 * emu::kNsPerMs);
    EXPECT_EQ(Fs1(V), 0x00100002u);
    EXPECT_FALSE(V.E.Firmware().LastResetNs().has_value());
  }
}
