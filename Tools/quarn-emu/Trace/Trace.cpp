#include "Trace.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>

#include "Tools/quarn-emu/Report/Names.h"
#include "Tools/quarn-emu/Report/ReportJson.h"
#include "Tools/quarn-emu/Support/CommandSupport.h"
#include "Tools/quarn-emu/Support/Suggest.h"

namespace quarn::emu::cli {

namespace {

// Groups first: a name matches its own kind and every kind that begins with it and a
// hyphen ("io" matches io-read8, "pause" matches pause-poll); pci and mm are picked by
// what was reached.
constexpr const char *kGroups[] = {"io", "mmio", "pci", "mm"};
constexpr const char *kKinds[] = {"io-read8",    "io-write8",   "io-read32",    "io-write32", "mmio-read8",
                                  "mmio-write8", "mmio-read32", "mmio-write32", "cpuid",      "sidt",
                                  "read-mm0",    "read-mm7",    "write-mm0",    "write-mm7",  "int3",
                                  "pause",       "pause-poll",  "call",         "notify",     "ap",
                                  "vorn",        "pei-core",    "fault",        "console",    "console2"};

constexpr uint64_t kPciConfigFirst = Board::kPciConfigAddressPort, kPciConfigLast = Board::kPciConfigDataPort + 3;
constexpr uint64_t kNsPerMs = 1000000;

bool StartsWith(const std::string &Text, const std::string &Head) { return Text.rfind(Head, 0) == 0; }
bool IsIo(const std::string &Kind) { return StartsWith(Kind, "io-"); }
bool IsMmio(const std::string &Kind) { return StartsWith(Kind, "mmio-"); }
/// Kinds whose address column holds an I/O port or a physical address.
bool HasAddress(const std::string &Kind) { return IsIo(Kind) || IsMmio(Kind) || StartsWith(Kind, "console"); }

/// The port a console row carries: the base of the UART that sent the bytes.
uint64_t ConsolePort(const BoardLayout &Layout, bool Second) { return Second ? Layout.Uart2Base : Layout.Uart1Base; }

bool NameMatches(const std::string &Name, const std::string &Kind, uint64_t Address, const BoardLayout &Layout) {
  if (Name == "pci") {
    return (IsIo(Kind) && Address >= kPciConfigFirst && Address <= kPciConfigLast) ||
           (IsMmio(Kind) && Address <= UINT32_MAX && Layout.InPcieWindow(uint32_t(Address)));
  }
  if (Name == "mm") return StartsWith(Kind, "read-mm") || StartsWith(Kind, "write-mm");
  return Kind == Name || StartsWith(Kind, Name + "-");
}

/// A whole number as written, hex (0x...) or decimal; false for anything else.
bool ParseNumber(const std::string &Text, uint64_t &Value) {
  const bool Hex = Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X');
  const char *First = Text.data() + (Hex ? 2 : 0);
  const char *Last = Text.data() + Text.size();
  if (First == Last) return false;
  const auto [End, Error] = std::from_chars(First, Last, Value, Hex ? 16 : 10);
  return Error == std::errc() && End == Last;
}

/// Milliseconds with up to six decimals, as nanoseconds; false for anything else.
bool ParseMilliseconds(const std::string &Text, uint64_t &Ns) {
  const size_t Dot = Text.find('.');
  const std::string Whole = Text.substr(0, Dot);
  const std::string Fraction = Dot == std::string::npos ? "" : Text.substr(Dot + 1);
  if (Whole.empty() || (Dot != std::string::npos && Fraction.empty()) || Fraction.size() > 6) return false;
  for (char C : Whole + Fraction) {
    if (C < '0' || C > '9') return false;
  }
  uint64_t Ms = 0, Part = 0;
  if (!ParseNumber(Whole, Ms) || Ms > std::numeric_limits<uint64_t>::max() / kNsPerMs) return false;
  if (!Fraction.empty() && !ParseNumber(Fraction + std::string(6 - Fraction.size(), '0'), Part)) return false;
  Ns = Ms * kNsPerMs + Part;
  return Ns >= Ms * kNsPerMs;  // no wrap past the largest 64-bit number
}

std::string MsText(uint64_t Ns) {
  std::string Text = Format("%llu.%06llu", static_cast<unsigned long long>(Ns / kNsPerMs),
                            static_cast<unsigned long long>(Ns % kNsPerMs));
  while (Text.back() == '0') Text.pop_back();
  if (Text.back() == '.') Text.pop_back();
  return Text;
}

/// One line of the text trace: an entry, or bytes a UART sent one after the other.
struct Row {
  uint64_t TimeNs = 0;
  const TraceEntry *Entry = nullptr;  // null: console bytes
  bool Second = false;                // console bytes of the second UART
  std::string Bytes;
};

/// Received bytes as one quoted line: CR, LF, tab, quote and backslash escaped, other
/// bytes outside printable ASCII as \xHH.
std::string Escaped(const std::string &Bytes) {
  std::string Text = "\"";
  for (unsigned char Byte : Bytes) {
    switch (Byte) {
      case '\r': Text += "\\r"; break;
      case '\n': Text += "\\n"; break;
      case '\t': Text += "\\t"; break;
      case '"': Text += "\\\""; break;
      case '\\': Text += "\\\\"; break;
      default:
        if (Byte < 0x20 || Byte > 0x7E) {
          Text += Format("\\x%02X", Byte);
        } else {
          Text.push_back(static_cast<char>(Byte));
        }
    }
  }
  return Text + "\"";
}

/// Appends the bytes Filter shows of one UART's console, a row per byte, in time order.
void ConsoleRows(const std::string &Console, const std::vector<uint64_t> &LeftNs, bool Second,
                 const TraceFilter &Filter, const BoardLayout &Layout, std::vector<Row> &Rows) {
  const std::string Kind = Second ? "console2" : "console";
  const uint64_t Port = ConsolePort(Layout, Second);
  const size_t Count = std::min(Console.size(), LeftNs.size());
  for (size_t Index = 0; Index < Count; Index++) {
    if (Filter.Shows(Kind, Port, LeftNs[Index], Layout))
      Rows.push_back({LeftNs[Index], nullptr, Second, {Console[Index]}});
  }
}

/// The first four columns of a row: time, kind, address, value.
std::string Columns(uint64_t TimeNs, const std::string &Kind, uint64_t Address, uint64_t Value) {
  return Format("%14.6f ms  %-12s 0x%08llX  0x%08llX  ", Milliseconds(TimeNs), Kind.c_str(),
                static_cast<unsigned long long>(Address), static_cast<unsigned long long>(Value));
}

std::string EntryLine(const TraceEntry &T) {
  std::string What = T.Device;
  if (T.Kind == "call") {
    const std::string Ppi = PpiName(T.Value);
    if (!Ppi.empty()) What += " " + Ppi;
  }
  if (T.Kind == "fault") What += " with " + StatusName(static_cast<EFI_STATUS>(T.Value));
  return Columns(T.TimeNs, T.Kind, T.Address, T.Value) + What;
}

std::string ConsoleLine(const Row &R, const BoardLayout &Layout) {
  return Columns(R.TimeNs, R.Second ? "console2" : "console", ConsolePort(Layout, R.Second), R.Bytes.size()) +
         Escaped(R.Bytes);
}

}  // namespace

bool TraceFilter::Shows(const std::string &Kind, uint64_t Address, uint64_t TimeNs, const BoardLayout &Layout) const {
  if (HasWindow && (TimeNs < FromNs || TimeNs > ToNs)) return false;
  if (HasRange && (!HasAddress(Kind) || Address < Low || Address > High)) return false;
  if (Kinds.empty()) return true;
  return std::any_of(Kinds.begin(), Kinds.end(),
                     [&](const std::string &Name) { return NameMatches(Name, Kind, Address, Layout); });
}

std::string TraceFilter::Describe() const {
  std::vector<std::string> Parts;
  if (!Kinds.empty()) {
    std::string Names;
    for (const std::string &Name : Kinds) Names += (Names.empty() ? "" : ",") + Name;
    Parts.push_back("kind " + Names);
  }
  if (HasRange) {
    Parts.push_back(
        Format("address 0x%llX-0x%llX", static_cast<unsigned long long>(Low), static_cast<unsigned long long>(High)));
  }
  if (HasWindow) Parts.push_back("time " + MsText(FromNs) + "-" + MsText(ToNs) + " ms");
  std::string Text;
  for (const std::string &Part : Parts) Text += (Text.empty() ? "" : "; ") + Part;
  return Text;
}

std::vector<std::string> TraceKindNames() {
  std::vector<std::string> Names(std::begin(kGroups), std::end(kGroups));
  Names.insert(Names.end(), std::begin(kKinds), std::end(kKinds));
  return Names;
}

std::string ParseTraceKinds(const std::vector<std::string> &Arguments, TraceFilter &Filter) {
  const std::vector<std::string> Known = TraceKindNames();
  for (const std::string &Argument : Arguments) {
    size_t Start = 0;
    for (;;) {
      const size_t Comma = Argument.find(',', Start);
      const std::string Name = Argument.substr(Start, Comma == std::string::npos ? std::string::npos : Comma - Start);
      if (std::find(Known.begin(), Known.end(), Name) == Known.end()) {
        std::string List;
        for (const std::string &K : Known) List += (List.empty() ? "" : ", ") + K;
        return "\"" + Name + "\" is no trace kind" + DidYouMean(Name, Known) + " (kinds: " + List + ")";
      }
      if (std::find(Filter.Kinds.begin(), Filter.Kinds.end(), Name) == Filter.Kinds.end()) Filter.Kinds.push_back(Name);
      if (Comma == std::string::npos) break;
      Start = Comma + 1;
    }
  }
  return {};
}

std::string ParseTraceRange(const std::string &Text, TraceFilter &Filter) {
  const std::string Form = " (LO-HI or LO+LEN, each hex 0x... or decimal)";
  const size_t Split = Text.find_first_of("-+");
  if (Split == std::string::npos) return "\"" + Text + "\" is no address range" + Form;
  uint64_t First = 0, Second = 0;
  if (!ParseNumber(Text.substr(0, Split), First) || !ParseNumber(Text.substr(Split + 1), Second)) {
    return "\"" + Text + "\" is no address range" + Form;
  }
  uint64_t Last = Second;
  if (Text[Split] == '+') {
    if (Second == 0) return "\"" + Text + "\" is an empty range" + Form;
    if (Second - 1 > std::numeric_limits<uint64_t>::max() - First)
      return "\"" + Text + "\" runs past 0xFFFFFFFFFFFFFFFF";
    Last = First + (Second - 1);
  } else if (Second < First) {
    return "\"" + Text + "\" ends before it starts" + Form;
  }
  Filter.HasRange = true;
  Filter.Low = First;
  Filter.High = Last;
  return {};
}

std::string ParseTraceWindow(const std::string &Text, TraceFilter &Filter) {
  const std::string Form = " (FROM-TO in virtual milliseconds, e.g. 0-2.5)";
  const size_t Split = Text.find('-');
  uint64_t From = 0, To = 0;
  if (Split == std::string::npos || !ParseMilliseconds(Text.substr(0, Split), From) ||
      !ParseMilliseconds(Text.substr(Split + 1), To)) {
    return "\"" + Text + "\" is no time window" + Form;
  }
  if (To < From) return "\"" + Text + "\" ends before it starts" + Form;
  Filter.HasWindow = true;
  Filter.FromNs = From;
  Filter.ToNs = To;
  return {};
}

std::vector<TraceEntry> FilterTrace(const RunReport &Report, const TraceFilter &Filter) {
  if (!Filter.Any()) return Report.Trace;
  std::vector<TraceEntry> Shown;
  for (const TraceEntry &T : Report.Trace) {
    if (Filter.Shows(T.Kind, T.Address, T.TimeNs, Report.Layout)) Shown.push_back(T);
  }
  return Shown;
}

void WriteTrace(std::ostream &Out, const RunReport &R, const TraceFilter &Filter) {
  std::vector<Row> Entries;
  for (const TraceEntry &T : R.Trace) {
    if (Filter.Shows(T.Kind, T.Address, T.TimeNs, R.Layout)) Entries.push_back({T.TimeNs, &T, false, {}});
  }
  std::vector<Row> Bytes;
  ConsoleRows(R.Console, R.ConsoleLeftNs, false, Filter, R.Layout, Bytes);
  ConsoleRows(R.Console2, R.Console2LeftNs, true, Filter, R.Layout, Bytes);
  std::stable_sort(Bytes.begin(), Bytes.end(), [](const Row &A, const Row &B) { return A.TimeNs < B.TimeNs; });
  // At the same instant the access comes first: a byte leaves after what was done then.
  std::vector<Row> Rows;
  std::merge(Entries.begin(), Entries.end(), Bytes.begin(), Bytes.end(), std::back_inserter(Rows),
             [](const Row &A, const Row &B) { return A.TimeNs < B.TimeNs; });

  // Bytes of one UART with nothing shown between them make one line, up to a line feed.
  std::vector<std::string> Lines;
  size_t ConsoleLines = 0;
  for (size_t Index = 0; Index < Rows.size();) {
    if (Rows[Index].Entry != nullptr) {
      Lines.push_back(EntryLine(*Rows[Index++].Entry));
      continue;
    }
    Row Line = Rows[Index++];
    while (Line.Bytes.back() != '\n' && Index < Rows.size() && Rows[Index].Entry == nullptr &&
           Rows[Index].Second == Line.Second) {
      Line.Bytes += Rows[Index++].Bytes;
    }
    Lines.push_back(ConsoleLine(Line, R.Layout));
    ConsoleLines++;
  }

  Out << "---- trace: ";
  if (Filter.Any()) Out << Entries.size() << " of ";
  Out << Counted(R.Trace.size(), "entry", "entries") << " and "
      << Counted(ConsoleLines, "console line", "console lines");
  if (Filter.Any()) Out << " (" << Filter.Describe() << ")";
  Out << "\n" << Format("%14s     %-12s %-10s  %-10s  %s\n", "time", "kind", "address", "value", "device");
  for (const std::string &Line : Lines) Out << Line << "\n";
}

}  // namespace quarn::emu::cli
