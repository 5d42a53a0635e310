// quarn-emu run --break-on: every kind of event stops the run where the module does that
// thing, at the occurrence asked for; a bad EVENT is refused before anything runs.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "Tools/quarn-emu/Commands.h"
#include "Tools/quarn-emu/Run/BreakOn.h"
#include "Tools/quarn-emu/Run/Runner.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"

using namespace quarn::emu;
using namespace quarn::emu::cli;

namespace {

/// Where a run stopped: the entry that did it, and the console written by then.
struct Stopped {
  bool Stopped = false;
  uint64_t Occurrence = 0;
  TraceEntry Entry;
  std::string ConsoleSoFar;
};

/// Runs the built-in Scenario with the one event Spec watched; the stop records what it
/// saw instead of raising SIGTRAP.
Stopped RunUntil(const std::string &Scenario, const std::string &Spec) {
  std::vector<BreakEvent> Events(1);
  EXPECT_EQ(ParseBreakEvent(Spec, Events[0]), "") << Spec;
  const LoadedScenario Loaded = ResolveScenario(Scenario);
  Emulator E{Loaded.Settings};
  PrepareEmulator(E, Loaded);
  Stopped Seen;
  WatchForBreaks(E.GetBoard(), Events, [&](const BreakEvent &Event, const TraceEntry &Entry) {
    EXPECT_FALSE(Seen.Stopped) << "stopped twice";
    Seen.Stopped = true;
    Seen.Occurrence = Event.Seen;
    Seen.Entry = Entry;
    Seen.ConsoleSoFar = E.Snapshot().Console;
  });
  E.Run();
  return Seen;
}

}  // namespace

TEST(BreakOn, EachKindStopsAtItsEvent) {
  const uint32_t Vornfs1 = uint32_t(BoardLayout{}.PcieBase) + (24u << 15) + 0x40;
  struct Row {
    const char *Scenario;
    const char *Spec;
    const char *Kind;  // of the trace entry that stops the run
    uint64_t Address;
    const char *Device;  // a part of its description
  } const Rows[] = {
      {"pre-did-counter-immediate", "message:pre-did-reset", "call", 0, "SendWithAck client 0x07 pre-did-reset"},
      {"pre-did-counter-immediate", "message:0x07", "call", 0, "SendWithAck client 0x07 type"},
      {"pre-did-counter-immediate", "message:0x07/pre-did-reset", "call", 0, "client 0x07 pre-did-reset"},
      {"default", "message:clock", "call", 0, "SendWithAck client"},
      {"default", "io-write:0x3F8", "io-write8", 0x3F8, "UART"},
      {"default", "io-read:0x508", "io-read32", 0x508, "timer"},
      {"default", "mmio-read:0x800C0040", "mmio-read32", 0x800C0040, ""},
      {"default", "pci-read:0:18.0:40", "mmio-read32", Vornfs1, ""},
      {"default", "pci-read:0:18.0:43", "mmio-read32", Vornfs1, ""},  // a byte of the register read
      {"default", "console:QuarnPeiPreMemEntryPoint called", "console-line", 0x3F8, "QuarnPeiPreMemEntryPoint called."},
      {"state-wait-timeout", "record", "call", 0, "ReportStatusCode"},
      {"state-wait-timeout", "record:0x20000#2", "call", 0, "ReportStatusCode"},
      {"default", "call:GetBootMode", "call", 0, "GetBootMode"},
      {"default", "call:LocatePpi#3", "call", 0, "LocatePpi"},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(std::string(R.Scenario) + " " + R.Spec);
    const Stopped S = RunUntil(R.Scenario, R.Spec);
    ASSERT_TRUE(S.Stopped);
    EXPECT_EQ(S.Entry.Kind, R.Kind);
    if (R.Address != 0) EXPECT_EQ(S.Entry.Address, R.Address);
    EXPECT_NE(S.Entry.Device.find(R.Device), std::string::npos) << S.Entry.Device;
  }
  // The register just past one read (0:18.0:40 is, 0:18.0:44 never is): no stop.
  EXPECT_FALSE(RunUntil("default", "pci-read:0:18.0:44").Stopped);
}

TEST(BreakOn, StopsAtTheOccurrenceAskedForAndBeforeWhatFollows) {
  // The third LocatePpi, not the first; the console line stops before the next one is written.
  const Stopped Third = RunUntil("default", "call:LocatePpi#3");
  const Stopped First = RunUntil("default", "call:LocatePpi");
  ASSERT_TRUE(Third.Stopped && First.Stopped);
  EXPECT_EQ(Third.Occurrence, 3u);
  EXPECT_GT(Third.Entry.TimeNs, First.Entry.TimeNs);

  const Stopped Line = RunUntil("default", "console:Pre-DID reset execution#1");
  ASSERT_TRUE(Line.Stopped);
  EXPECT_EQ(Line.Entry.Device, "[QUARN][PreMem] Pre-DID reset execution");
  ASSERT_GE(Line.ConsoleSoFar.size(), Line.Entry.Device.size() + 2);
  EXPECT_EQ(Line.ConsoleSoFar.substr(Line.ConsoleSoFar.size() - Line.Entry.Device.size() - 2),
            Line.Entry.Device + "\r\n");
  // Never reached: no stop, the run ends as without the watch.
  EXPECT_FALSE(RunUntil("not-quarn-absent", "message:pre-did-reset").Stopped);
  EXPECT_FALSE(RunUntil("default", "call:LocatePpi#100000").Stopped);
}

TEST(BreakOn, ReadsEachKindIntoItsFieldsAtTheEndsOfEachRange) {
  const struct {
    const char *Spec;
    BreakKind Kind;
    const char *Text;
    bool HasNumber;
    uint64_t Number;
    uint32_t PciAddress;
    uint64_t Nth;
  } Rows[] = {
      {"message:pre-did-reset", BreakKind::Message, "pre-did-reset", false, 0, 0, 1},
      {"message:0x07", BreakKind::Message, "", true, 7, 0, 1},
      {"message:7/type", BreakKind::Message, "type", true, 7, 0, 1},
      {"message:0xFF", BreakKind::Message, "", true, 0xFF, 0, 1},
      {"message:0x100", BreakKind::Message, "0x100", false, 0, 0, 1},
      {"io-read:0", BreakKind::IoRead, "", true, 0, 0, 1},
      {"io-read:0xFFFF", BreakKind::IoRead, "", true, 0xFFFF, 0, 1},
      {"io-write:65535", BreakKind::IoWrite, "", true, 0xFFFF, 0, 1},
      {"io-write:0X3f8", BreakKind::IoWrite, "", true, 0x3F8, 0, 1},
      {"io-write:0xaF", BreakKind::IoWrite, "", true, 0xAF, 0, 1},
      {"mmio-read:0xFFFFFFFF", BreakKind::MmioRead, "", true, 0xFFFFFFFF, 0, 1},
      {"mmio-write:4294967295", BreakKind::MmioWrite, "", true, 0xFFFFFFFF, 0, 1},
      {"pci-read:0:18.0:40", BreakKind::PciRead, "", false, 0, (24u << 15) | 0x40, 1},
      {"pci-write:FF:1F.7:FFF", BreakKind::PciWrite, "", false, 0, 0x0FFFFFFF, 1},
      {"console:a:b", BreakKind::Console, "a:b", false, 0, 0, 1},
      {"record", BreakKind::Record, "", false, 0, 0, 1},
      {"record:0x0000000000000001", BreakKind::Record, "", true, 1, 0, 1},
      {"record:0x20000#2", BreakKind::Record, "", true, 0x20000, 0, 2},
      {"record:4294967295", BreakKind::Record, "", true, 0xFFFFFFFF, 0, 1},
      {"call:LocatePpi#4294967295", BreakKind::Call, "LocatePpi", false, 0, 0, 0xFFFFFFFF},
      {"call:A#B#12", BreakKind::Call, "A#B", false, 0, 0, 12},
  };
  for (const auto &Row : Rows) {
    SCOPED_TRACE(Row.Spec);
    BreakEvent Event;
    ASSERT_EQ(ParseBreakEvent(Row.Spec, Event), "");
    EXPECT_EQ(Event.Spec, Row.Spec);
    EXPECT_EQ(static_cast<int>(Event.Kind), static_cast<int>(Row.Kind));
    EXPECT_EQ(Event.Text, Row.Text);
    EXPECT_EQ(Event.HasNumber, Row.HasNumber);
    EXPECT_EQ(Event.Number, Row.Number);
    EXPECT_EQ(Event.PciAddress, Row.PciAddress);
    EXPECT_EQ(Event.Nth, Row.Nth);
  }
  // One past each end, and what is no number.
  const struct {
    const char *Spec;
    const char *Error;
  } Refused[] = {
      {"io-read:65536", "a port from 0 to 0xFFFF"},
      {"io-read:0x", "a port from 0 to 0xFFFF"},
      {"io-read:1a", "a port from 0 to 0xFFFF"},
      {"io-read:0xg", "a port from 0 to 0xFFFF"},
      {"mmio-write:4294967296", "an address from 0 to 0xFFFFFFFF"},
      {"record:0x00000000000000001", "a status code value from 0 to 0xFFFFFFFF"},
      {"record:4294967296", "a status code value from 0 to 0xFFFFFFFF"},
      {"pci-write:100:0.0:0", "a configuration register as B:D.F:OFFSET (hex, e.g. 0:18.0:40)"},
      {"pci-write:0:18.0:40x", "a configuration register as B:D.F:OFFSET (hex, e.g. 0:18.0:40)"},
      {"call:LocatePpi#4294967296", "the occurrence after # is a whole number from 1"},
  };
  for (const auto &Row : Refused) {
    BreakEvent Event;
    EXPECT_EQ(ParseBreakEvent(Row.Spec, Event), Row.Error) << Row.Spec;
  }
}

TEST(BreakOn, RefusesWhatIsNoEvent) {
  const struct {
    const char *Spec;
    const char *Error;
  } Rows[] = {
      {"reset",
       "no event kind \"reset\" (kinds: message, io-read, io-write, mmio-read, mmio-write, pci-read, "
       "pci-write, console, record, call)"},
      {"io-write", "io-write needs an argument after the colon"},
      {"io-write:0x10000", "a port from 0 to 0xFFFF"},
      {"io-write:3F8", "a port from 0 to 0xFFFF"},
      {"mmio-read:0x100000000", "an address from 0 to 0xFFFFFFFF"},
      {"pci-read:0:32.0:40", "a configuration register as B:D.F:OFFSET (hex, e.g. 0:18.0:40)"},
      {"pci-read:0:18.0:1000", "a configuration register as B:D.F:OFFSET (hex, e.g. 0:18.0:40)"},
      {"pci-read:0:18.8:40", "a configuration register as B:D.F:OFFSET (hex, e.g. 0:18.0:40)"},
      {"message:0x07/", "a message name after the slash"},
      {"message:seven/type", "message:CLIENT/NAME takes a client address (0x00 to 0xFF) before the slash"},
      {"call:LocatePpi#0", "the occurrence after # is a whole number from 1"},
      {"call:LocatePpi#x", "the occurrence after # is a whole number from 1"},
      {"record:0x1FFFFFFFF", "a status code value from 0 to 0xFFFFFFFF"},
  };
  for (const auto &Row : Rows) {
    BreakEvent Event;
    EXPECT_EQ(ParseBreakEvent(Row.Spec, Event), Row.Error) << Row.Spec;
  }
  RunOptions Options;
  Options.BreakOn = {"io-write:0x3F8", "nothing"};
  std::ostringstream Out, Err;
  EXPECT_EQ(RunOne(Options, Out, Err), kExitBadInput);
  EXPECT_EQ(Out.str(), "");
  EXPECT_EQ(Err.str(),
            "quarn-emu: --break-on nothing: no event kind \"nothing\" (kinds: message, io-read, io-write, "
            "mmio-read, mmio-write, pci-read, pci-write, console, record, call)\n");
}
