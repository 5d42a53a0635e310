#include "BreakOn.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace quarn::emu::cli {

namespace {

struct KindName {
  const char *Name;
  BreakKind Kind;
  bool NeedsArgument;
};

constexpr KindName kKinds[] = {
    {"message", BreakKind::Message, true},      {"io-read", BreakKind::IoRead, true},
    {"io-write", BreakKind::IoWrite, true},     {"mmio-read", BreakKind::MmioRead, true},
    {"mmio-write", BreakKind::MmioWrite, true}, {"pci-read", BreakKind::PciRead, true},
    {"pci-write", BreakKind::PciWrite, true},   {"console", BreakKind::Console, true},
    {"record", BreakKind::Record, false},       {"call", BreakKind::Call, true},
};

constexpr const char *kSendPrefix = "DRUX_PPI.SendWithAck client ";
constexpr const char *kReturnMark = " -> ";

/// A whole unsigned number, hexadecimal with 0x or decimal, up to Limit.
bool ReadNumber(const std::string &Text, uint64_t Limit, uint64_t &Value) {
  if (Text.empty()) return false;
  const bool IsHex = Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X');
  const std::string Digits = IsHex ? Text.substr(2) : Text;
  if (Digits.empty() || Digits.size() > 16) return false;
  uint64_t Result = 0;
  for (const char C : Digits) {
    const int Digit = (C >= '0' && C <= '9')          ? C - '0'
                      : IsHex && C >= 'a' && C <= 'f' ? C - 'a' + 10
                      : IsHex && C >= 'A' && C <= 'F' ? C - 'A' + 10
                                                      : -1;
    if (Digit < 0) return false;
    const uint64_t Base = IsHex ? 16 : 10;
    if (Result > (Limit - uint64_t(Digit)) / Base) return false;
    Result = Result * Base + uint64_t(Digit);
  }
  Value = Result;
  return true;
}

/// B:D.F:OFFSET (hex fields, as the summary writes them) in the window's layout.
bool ReadPciAddress(const std::string &Text, uint32_t &Address) {
  unsigned Bus = 0, Device = 0, Function = 0, Offset = 0;
  char Tail = 0;
  // NOLINTNEXTLINE(cert-err34-c): glibc saturates an overflowing %x at 0xFFFFFFFF, past every bound below
  if (std::sscanf(Text.c_str(), "%x:%x.%x:%x%c", &Bus, &Device, &Function, &Offset, &Tail) != 4) return false;
  if (Bus > 0xFF || Device > 0x1F || Function > 7 || Offset > 0xFFF) return false;
  Address = (Bus << 20) | (Device << 15) | (Function << 12) | Offset;
  return true;
}

bool KindIs(const TraceEntry &Entry, const char *Prefix) { return Entry.Kind.rfind(Prefix, 0) == 0; }

/// The stop no debugger took: say so and end (async-signal-safe: write and _exit only). It
/// runs on its own stack (InstallUntakenBreakHandler): the trap is raised while the module
/// runs on the emulated board's stack, which the sanitizers watch as the board's RAM.
void UntakenBreak(int) {
  static constexpr char kText[] =
      "quarn-emu: stopped at the --break-on event, but no debugger took the stop "
      "(run it as: quarn-emu debug SCENARIO --break-on EVENT)\n";
  [[maybe_unused]] const ssize_t Written = write(STDERR_FILENO, kText, sizeof(kText) - 1);
  _exit(kExitBreakUntaken);
}

/// Reads Argument, what follows the colon, into Event as its kind (Event.Kind) takes it;
/// returns "" or what is wrong with it.
std::string ReadBreakArgument(const std::string &Argument, BreakEvent &Event) {
  switch (Event.Kind) {
    case BreakKind::Message: {
      const size_t Slash = Argument.find('/');
      const std::string First = Argument.substr(0, Slash);
      if (ReadNumber(First, 0xFF, Event.Number)) {
        Event.HasNumber = true;
        Event.Text = Slash == std::string::npos ? "" : Argument.substr(Slash + 1);
        if (Slash != std::string::npos && Event.Text.empty()) return "a message name after the slash";
      } else if (Slash == std::string::npos) {
        Event.Text = Argument;
      } else {
        return "message:CLIENT/NAME takes a client address (0x00 to 0xFF) before the slash";
      }
      return "";
    }
    case BreakKind::IoRead:
    case BreakKind::IoWrite:
      if (!ReadNumber(Argument, 0xFFFF, Event.Number)) return "a port from 0 to 0xFFFF";
      Event.HasNumber = true;
      return "";
    case BreakKind::MmioRead:
    case BreakKind::MmioWrite:
      if (!ReadNumber(Argument, 0xFFFFFFFF, Event.Number)) return "an address from 0 to 0xFFFFFFFF";
      Event.HasNumber = true;
      return "";
    case BreakKind::PciRead:
    case BreakKind::PciWrite:
      if (!ReadPciAddress(Argument, Event.PciAddress))
        return "a configuration register as B:D.F:OFFSET (hex, e.g. 0:18.0:40)";
      return "";
    case BreakKind::Record:
      if (!Argument.empty()) {
        if (!ReadNumber(Argument, 0xFFFFFFFF, Event.Number)) return "a status code value from 0 to 0xFFFFFFFF";
        Event.HasNumber = true;
      }
      return "";
    case BreakKind::Console:
    case BreakKind::Call: Event.Text = Argument; return "";
  }
  return "";
}

}  // namespace

std::string ParseBreakEvent(const std::string &Spec, BreakEvent &Event) {
  Event = BreakEvent{};
  Event.Spec = Spec;
  std::string Body = Spec;
  const size_t Hash = Body.rfind('#');
  if (Hash != std::string::npos) {
    if (!ReadNumber(Body.substr(Hash + 1), UINT32_MAX, Event.Nth) || Event.Nth == 0) {
      return "the occurrence after # is a whole number from 1";
    }
    Body.resize(Hash);
  }
  const size_t Colon = Body.find(':');
  const std::string Kind = Body.substr(0, Colon);
  const std::string Argument = Colon == std::string::npos ? "" : Body.substr(Colon + 1);
  const KindName *Found = nullptr;
  for (const KindName &K : kKinds) {
    if (Kind == K.Name) Found = &K;
  }
  if (Found == nullptr) {
    std::string Names;
    for (const KindName &K : kKinds) Names += std::string(Names.empty() ? "" : ", ") + K.Name;
    return "no event kind \"" + Kind + "\" (kinds: " + Names + ")";
  }
  Event.Kind = Found->Kind;
  if (Found->NeedsArgument && Argument.empty()) return std::string(Found->Name) + " needs an argument after the colon";
  return ReadBreakArgument(Argument, Event);
}

bool IsOccurrence(const BreakEvent &Event, const TraceEntry &Entry, const BoardLayout &Layout) {
  const bool Read = Entry.Kind.find("read") != std::string::npos;
  switch (Event.Kind) {
    case BreakKind::Message: {
      if (Entry.Kind != "call" || Entry.Device.rfind(kSendPrefix, 0) != 0) return false;
      // "DRUX_PPI.SendWithAck client 0x07 pre-did-reset"
      const std::string Rest = Entry.Device.substr(std::strlen(kSendPrefix));
      const size_t Space = Rest.find(' ');
      if (Space == std::string::npos) return false;
      uint64_t Client = 0;
      if (!ReadNumber(Rest.substr(0, Space), 0xFF, Client)) return false;
      if (Event.HasNumber && Client != Event.Number) return false;
      return Event.Text.empty() || Rest.substr(Space + 1) == Event.Text;
    }
    case BreakKind::IoRead:
    case BreakKind::IoWrite:
      return KindIs(Entry, "io-") && Read == (Event.Kind == BreakKind::IoRead) && Entry.Address == Event.Number;
    case BreakKind::MmioRead:
    case BreakKind::MmioWrite:
      return KindIs(Entry, "mmio-") && Read == (Event.Kind == BreakKind::MmioRead) && Entry.Address == Event.Number;
    case BreakKind::PciRead:
    case BreakKind::PciWrite: {
      if (!KindIs(Entry, "mmio-") || Read != (Event.Kind == BreakKind::PciRead)) return false;
      const uint64_t Register = uint64_t(Layout.PcieBase) + Event.PciAddress;
      // An access of any width that touches the register counts.
      const unsigned Width = Entry.Kind.back() == '8' ? 1 : 4;
      return Entry.Address <= Register + 3 && Register < Entry.Address + Width;
    }
    case BreakKind::Console:
      return Entry.Kind == "console-line" && Entry.Address == Layout.Uart1Base &&
             Entry.Device.find(Event.Text) != std::string::npos;
    case BreakKind::Record:
      return Entry.Kind == "call" && Entry.Device == "ReportStatusCode" &&
             (!Event.HasNumber || Entry.Value == Event.Number);
    case BreakKind::Call:
      if (Entry.Kind != "call" || Entry.Device.find(kReturnMark) != std::string::npos) return false;
      return Entry.Device == Event.Text || Entry.Device.rfind(Event.Text + " ", 0) == 0;
  }
  return false;
}

void InstallUntakenBreakHandler() {
  static char Stack[64 * 1024];
  stack_t Alternate{};
  Alternate.ss_sp = Stack;
  Alternate.ss_size = sizeof(Stack);
  sigaltstack(&Alternate, nullptr);
  struct sigaction Action {};
  Action.sa_handler = UntakenBreak;
  Action.sa_flags = SA_ONSTACK;
  sigemptyset(&Action.sa_mask);
  sigaction(SIGTRAP, &Action, nullptr);
}

void StopAtBreak(const BreakEvent &Event, const TraceEntry &Entry) {
  std::cerr << "quarn-emu: --break-on " << Event.Spec << ": occurrence " << Event.Seen << " at "
            << double(Entry.TimeNs) / 1e6 << " ms virtual time: " << Entry.Kind << " " << Entry.Device << std::endl;
  std::raise(SIGTRAP);  // the debugger stops here; "up" reaches the module's frames
}

void WatchForBreaks(Board &B, std::vector<BreakEvent> &Events,
                    std::function<void(const BreakEvent &, const TraceEntry &)> Stop) {
  if (Events.empty()) return;
  if (!Stop) Stop = StopAtBreak;
  B.Watch = [&B, &Events, Stop](const TraceEntry &Entry) {
    for (BreakEvent &Event : Events) {
      if (IsOccurrence(Event, Entry, B.Layout()) && ++Event.Seen == Event.Nth) Stop(Event, Entry);
    }
  };
}

}  // namespace quarn::emu::cli
