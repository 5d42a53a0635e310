#include "ExplainCatalogue.h"

#include <Library/BasePrintLib/StatusNames.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace quarn::emu::cli::explain {

namespace {

constexpr const char *kTag = "[QUARN][PreMem]";
constexpr const char *kTypeFunction = "PeiDruxGetVornType";

/// The longest text one message can put on a line (its buffer holds 256 bytes with the NUL).
constexpr size_t kMaxMessageBytes = 255;

// The messages, in the order the flow reaches them. Formats are the literals of the print
// calls; Arguments the constants passed for each %a / %s (nullptr: the value varies).
// "%a" alone stands for a print whose format is a name the code picks (the VORN type's).
const std::vector<Message> kMessages = {
    // Start-up and the firmware type
    {"entry",
     Level::Info,
     {"%a %a called.\n"},
     {kTag, "QuarnPeiPreMemEntryPoint"},
     "Pei/QuarnPeiPreMem/QuarnPeiPreMem.cpp",
     "the flow starts (the library constructors have run)"},
    {"unknown-cpu",
     Level::Error,
     {"Unknown CPU family 0x%x\n"},
     {},
     "Library/CpuAndRevisionLib/CpuAndRevisionLib.cpp",
     "the processor signature is not in the CPU table"},
    {"status-code-too-large",
     Level::Error,
     {"Status code extended data is too large to be reported!\n"},
     {},
     "Library/PeiReportStatusCodeLib/ReportStatusCodeLib.cpp",
     "a status-code record was too large"},
    {"dwr",
     Level::Info,
     {"DRUX: DWR flow return Disabled type\n"},
     {},
     "Library/VornTypeGetLib/VornTypeGetLib.cpp",
     "DWRSTS bit 15 is set: the DWR flow, the firmware counts as disabled"},
    {"drux-disabled",
     Level::Error,
     {"ERROR: DRUX interface is disabled\n"},
     {},
     "Library/VornTypeGetLib/VornStatus.cpp",
     "VORNFS1 reads all ones: the VORN is absent"},
    {"lumo",
     Level::Info,
     {"DRUX: QUARN Lumo flow return Disabled type\n"},
     {},
     "Library/VornTypeGetLib/VornTypeGetLib.cpp",
     "VORNFS1 FlowMode is 7: the Lumo flow, the firmware counts as disabled"},
    {"type-start",
     Level::Info,
     {"DRUX: %a start\n"},
     {kTypeFunction},
     "Library/VornTypeGetLib/VornTypePeiDruxLib.cpp",
     "the firmware is asked for its type"},
    {"drux-missing",
     Level::Error,
     {"ERROR: DRUX PPI not installed\n"},
     {},
     "Library/VornTypeGetLib/VornTypePeiDruxLib.cpp",
     "DRUX_PPI cannot be located"},
    {"type-wrong-length",
     Level::Error,
     {"DRUX: %a - Response: wrong length = %d\n"},
     {kTypeFunction},
     "Library/VornTypeGetLib/VornTypePeiDruxLib.cpp",
     "the type answer has a correct header but a wrong length"},
    {"type-ok",
     Level::Info,
     {"DRUX: %a() - OK: FwType = %d, FwSubType = %d\n"},
     {kTypeFunction},
     "Library/VornTypeGetLib/VornTypePeiDruxLib.cpp",
     "the firmware answered its type"},
    {"type-dfx",
     Level::Info,
     {"DRUX: %a DFX FW discovered\n"},
     {kTypeFunction},
     "Library/VornTypeGetLib/VornTypePeiDruxLib.cpp",
     "FwType 1 with FwSubType 3: DFX firmware"},
    {"type-tav",
     Level::Info,
     {"DRUX: %a Use VornType QUARN for QUARN-TAV\n"},
     {kTypeFunction},
     "Library/VornTypeGetLib/VornTypePeiDruxLib.cpp",
     "FwType 2: QUARN-TAV, taken as QUARN"},
    {"type-unknown",
     Level::Error,
     {"DRUX: %a() Unknown VORN Type reported by VORN\n"},
     {kTypeFunction},
     "Library/VornTypeGetLib/VornTypePeiDruxLib.cpp",
     "an FwType the module does not know"},
    {"type-status",
     Level::Info,
     {"DRUX: %a Status is %r, returns %d\n"},
     {kTypeFunction},
     "Library/VornTypeGetLib/VornTypePeiDruxLib.cpp",
     "the type query's send status and the type it settled"},
    {"type-line",
     Level::Error,
     {"[DRUX] %s (VornType is ", "%a", ")\n"},
     {"[VORN]", nullptr},
     "Library/VornTypeGetLib/VornTypeGetLib.cpp",
     "the type stored in the new VORN type HOB"},
    {"type-from-hob",
     Level::Info,
     {"DRUX: %a returns %d\n"},
     {"GetVornTypeFromHob"},
     "Library/VornTypeGetLib/VornTypeGetLib.cpp",
     "the type the VORN type HOB holds"},
    {"type-not-recognized",
     Level::Error,
     {"DRUX: VORN type not recognized (VORNFS1: 0x%08X, VORNFS2: 0x%08X)\n"},
     {},
     "Library/VornTypeGetLib/VornTypeGetLib.cpp",
     "the type stays undetermined"},
    {"other-fw",
     Level::Info,
     {"%a Other VORN FW detected.\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/QuarnPeiPreMem.cpp",
     "the firmware is not QUARN"},
    {"non-quarn",
     Level::Error,
     {"%a ERROR: Non QUARN firmware running in VORN\n             (VORNFS1: 0x%08X, VORNFS2: 0x%08X)\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/QuarnPeiPreMem.cpp",
     "the non-functional path, with both status registers"},
    {"info-hob",
     Level::Info,
     {"%a HOB: flow %d, feature set 0x%08X, features 2 0x%08x, pwr opt boot %d, cores2disable %d\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/InfoHob.cpp",
     "the info HOB written on the non-functional path"},
    {"non-functional",
     Level::Error,
     {"%a ERROR: VORN is non functional (flow %d)\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/InfoHob.cpp",
     "the non-functional flow"},
    {"info-hob-missing",
     Level::Error,
     {"%a ERROR: QUARN info HOB has not been registered\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/InfoHob.cpp",
     "no info HOB could be created (HOB space)"},
    // Boot mode, policy, pre-DID reset
    {"boot-mode",
     Level::Error,
     {"%a ERROR: Cannot read boot mode (%r)\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/QuarnPeiPreMem.cpp",
     "GetBootMode failed"},
    {"no-config-block",
     Level::Error,
     {"Could not find the config block.\n"},
     {},
     "Library/VornGetPeiConfigBlock/VornGetPeiConfigBlock.cpp",
     "the policy holds no QUARN pre-memory block"},
    {"config-malformed",
     Level::Error,
     {"QUARN config block is malformed (size %d), ignored.\n"},
     {},
     "Library/VornGetPeiConfigBlock/VornGetPeiConfigBlock.cpp",
     "the pre-memory block is too small"},
    {"pre-did-disabled",
     Level::Info,
     {"%a Pre-DID reset ", "is disabled\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/QuarnPeiPreMem.cpp",
     "no pre-DID reset: S3 resume, no policy block, or the policy switch clear"},
    {"pre-did-execution",
     Level::Info,
     {"%a Pre-DID reset ", "execution\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/QuarnPeiPreMem.cpp",
     "the policy enables the pre-DID reset branch"},
    {"wait-state",
     Level::Info,
     {"%a Wait for VORN Normal or Recovery state\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/PreDidReset.cpp",
     "the module polls VORNFS1 for state 2 or 5"},
    {"wait-state-timeout",
     Level::Error,
     {"%a ERROR: Timeout when waiting for VORN meaningful state\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/PreDidReset.cpp",
     "CurrentState never became 2 or 5 in the budget"},
    {"wait-state-reached",
     Level::Info,
     {"%a Wait for VORN state reaches VORN State = %d\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/PreDidReset.cpp",
     "the state reached"},
    {"recovery",
     Level::Warn,
     {"%a WARNING: VORN is in recovery mode (cause: %d)\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/QuarnPeiPreMem.cpp",
     "recovery with the pre-DID cause: the reset is requested"},
    {"pre-did-execute",
     Level::Warn,
     {"%a WARNING: Execute VORN pre-DID reset\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/PreDidReset.cpp",
     "the pre-DID reset starts"},
    {"pre-did-no-drux",
     Level::Error,
     {"%a ERROR: Cannot locate DRUX PPI (%r)\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/PreDidReset.cpp",
     "DRUX_PPI missing for the reset request"},
    {"pre-did-no-ack",
     Level::Error,
     {"%a Pre-DID reset, no ACK. Continue without reset (%r)\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/PreDidReset.cpp",
     "the reset request got no answer"},
    {"pre-did-not-accepted",
     Level::Error,
     {"%a Pre-DID reset is not accepted by VORN. Continue without reset (%r)\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/PreDidReset.cpp",
     "the firmware refused the reset"},
    {"counter-timeout",
     Level::Error,
     {"%a ERROR: Timeout when waiting for VORN Reset Counter Change\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/PreDidReset.cpp",
     "the reset counter never stepped"},
    {"pre-did-counter",
     Level::Error,
     {"%a ERROR: Pre-DID reset, VORN Reset Counter not changed (%r)\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/PreDidReset.cpp",
     "the reset did not take effect"},
    {"pre-did-done",
     Level::Info,
     {"%a Pre-DID reset has been executed successfully\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/PreDidReset.cpp",
     "the firmware restarted and reached a meaningful state"},
    {"pre-did-finished",
     Level::Info,
     {"%a Pre-DID reset finished successfully, VORN in Normal state\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/QuarnPeiPreMem.cpp",
     "the firmware is in the normal state after the reset"},
    {"pre-did-timeout",
     Level::Error,
     {"%a ERROR: Pre-DID reset timeout failure causes VORN non-functional flow\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/QuarnPeiPreMem.cpp",
     "a wait of the reset timed out"},
    {"pre-did-failure",
     Level::Error,
     {"%a ERROR: Pre-DID reset failure. Continue according to VORN state\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/QuarnPeiPreMem.cpp",
     "the reset failed otherwise"},
    // Watchdog
    {"wd-sending",
     Level::Info,
     {"%a Sending QUARN_CMD_BIOS_UPDATE_WATCHDOG_CONTROL_REQ\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/Watchdog.cpp",
     "the policy enables the BIOS-update watchdog"},
    {"wd-cannot-send",
     Level::Error,
     {"%a ERROR: Cannot send QUARN_CMD_BIOS_UPDATE_WATCHDOG_CONTROL_REQ (%r)\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/Watchdog.cpp",
     "the watchdog request got no answer"},
    {"wd-response-failed",
     Level::Error,
     {"%a ERROR: QUARN_CMD_BIOS_UPDATE_WATCHDOG_CONTROL response failed\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/Watchdog.cpp",
     "the watchdog answer's command byte is not 0x85"},
    {"wd-failed",
     Level::Error,
     {"%a ERROR: BIOS_UPDATE_WATCHDOG_CONTROL failed (status: %d)\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/Watchdog.cpp",
     "the firmware answered the watchdog request with a status"},
    {"wd-success",
     Level::Info,
     {"%a BIOS_UPDATE_WATCHDOG_CONTROL reports success\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/Watchdog.cpp",
     "the watchdog is enabled"},
    // Clock settings
    {"fs-query",
     Level::Info,
     {"[QUARN] %a \n"},
     {"QuarnGetFeatureSet"},
     "Library/QuarnCloxLib/QuarnFeatureSet.cpp",
     "the firmware is asked for its feature set"},
    {"clox-query",
     Level::Info,
     {"[QUARN] %a \n"},
     {"QuarnIsCloxSupported"},
     "Library/QuarnCloxLib/QuarnFeatureSet.cpp",
     "does the firmware support clock control"},
    {"fs-no-drux",
     Level::Error,
     {"[QUARN] %a: Cannot locate DRUX PPI\n"},
     {"QuarnGetFeatureSet"},
     "Library/QuarnCloxLib/QuarnFeatureSet.cpp",
     "DRUX_PPI missing for the feature-set query"},
    {"fs-comm",
     Level::Error,
     {"[QUARN] %a: Communication problem (status: %r)\n"},
     {"QuarnGetFeatureSet"},
     "Library/QuarnCloxLib/QuarnFeatureSet.cpp",
     "the feature-set query got no answer"},
    {"fs-invalid",
     Level::Error,
     {"[QUARN] %a: Invalid response (cmd: 0x%X, len %d)\n"},
     {"QuarnGetFeatureSet"},
     "Library/QuarnCloxLib/QuarnFeatureSet.cpp",
     "the feature-set answer is malformed"},
    {"clox-supported",
     Level::Info,
     {"[QUARN] %a, CloxSupported: %d\n"},
     {"QuarnIsCloxSupported"},
     "Library/QuarnCloxLib/QuarnFeatureSet.cpp",
     "feature set bit 2"},
    {"clox-not-sent",
     Level::Info,
     {"%a[CLOX] CloxSetClockSettings request wasn't sent\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/QuarnPeiPreMem.cpp",
     "no clock control: the clock settings are not sent"},
    {"clox-sending",
     Level::Info,
     {"%a[CLOX] Sending CloxSetClockSettings request\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/QuarnPeiPreMem.cpp",
     "the clock settings are sent"},
    {"ssc",
     Level::Info,
     {"[VORN] PeiDruxSetSSCAlternate(%d)\n"},
     {},
     "Library/QuarnCloxLib/QuarnClockSettings.cpp",
     "spread-spectrum clocking on (1) or off (0)"},
    {"ssc-percentage",
     Level::Info,
     {"[VORN] PeiDruxSetSSCAlternate sets SSC percentage to %d\n"},
     {},
     "Library/QuarnCloxLib/QuarnClockSettings.cpp",
     "the SSC percentage sent"},
    {"clock-start",
     Level::Info,
     {"[CLOX] QuarnSetGetCurrenClockingMode\n"},
     {},
     "Library/QuarnCloxLib/QuarnClockSettings.cpp",
     "the clock request"},
    {"clock-wrong",
     Level::Error,
     {"(CLOX) QuarnSetGetCurrenClockingMode: Wrong response! Header.CloxResponse = 0x%x\n"},
     {},
     "Library/QuarnCloxLib/QuarnClockSettings.cpp",
     "the clock answer carries a wrong command or a non-zero response"},
    {"clock-exit",
     Level::Info,
     {"[CLOX] QuarnSetGetCurrenClockingMode exit status = %r \n"},
     {},
     "Library/QuarnCloxLib/QuarnClockSettings.cpp",
     "the clock request's result"},
    {"ssc-exit",
     Level::Info,
     {"[VORN] PeiDruxSetSSCAlternate exit status = %r \n"},
     {},
     "Library/QuarnCloxLib/QuarnClockSettings.cpp",
     "the clock settings' result"},
    {"clox-unable",
     Level::Error,
     {"%a ERROR: Unable to set clock settings (%r)\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/QuarnPeiPreMem.cpp",
     "the clock settings failed"},
    {"clox-success",
     Level::Info,
     {"%a[CLOX] CloxSetClockSettings: status: Success\n"},
     {kTag},
     "Pei/QuarnPeiPreMem/QuarnPeiPreMem.cpp",
     "the clock settings are done"},
    // After the entry point: permanent memory and MP services
    {"reload-mm7",
     Level::Info,
     {"Reload MM7 with new pointer: %p => %p\n"},
     {},
     "Library/SysHostPointerLib/SysHostPointerLibMm7.cpp",
     "permanent memory: the static pointer table moved",
     0x3},
    {"migration",
     Level::Info,
     {"Migration pointer type %x: %p => %p\n"},
     {},
     "Library/SysHostPointerLib/SysHostPointerLibMm7.cpp",
     "a filled slot of the table moved",
     0x6},
    {"sync-mm7",
     Level::Info,
     {"Sync MM7: %x\n"},
     {},
     "Library/SysHostPointerLib/SysHostPointerLibMm7.cpp",
     "MP services: MM7 loaded on the application processors",
     0x1},
    // Assertions and failed status checks
    {"assert-efi-error",
     Level::Error,
     {"\nASSERT_EFI_ERROR (Status = %r)\n"},
     {},
     "Include/Library/DebugLib.h",
     "a status check failed: the assertion follows"},
    {"assert-return-error",
     Level::Error,
     {"\nASSERT_RETURN_ERROR (Status = %r)\n"},
     {},
     "Include/Library/DebugLib.h",
     "a status check failed: the assertion follows"},
    {"assert",
     Level::Assert,
     {"ASSERT [%a] %a(%d): %a\n"},
     {"QuarnPeiPreMem", nullptr, nullptr},
     "Library/BaseDebugLibSerialPort/DebugLib.cpp",
     "a failed check"},
};

/// The line patterns of one message, built up piece by piece as its formats are read.
class PatternBuilder {
 public:
  /// Builds the patterns of M into Out.
  PatternBuilder(const Message &M, std::vector<LinePattern> &Out) : M_(M), Out_(Out) { Line.Of = &M; }

  /// Adds the literal character C to the line.
  void Literal(char C) {
    if (Line.Pieces.empty() || Line.Pieces.back().IsField) Line.Pieces.push_back(Piece{});
    Line.Pieces.back().Literal += C;
  }

  /// Adds a field of Kind to the line.
  void Field(FieldKind Kind) {
    Line.Pieces.push_back(Piece{true, "", Kind});
    Line.FieldCount++;
  }

  /// Ends the line: a pattern unless it is empty.
  void Close() {
    if (Line.Pieces.empty()) {
      // An empty line (a message that opens with a line feed) is no evidence: other
      // modules print them too. It is not a pattern, and empty lines are not compared.
      Line.LineOfMessage++;
      return;
    }
    Line.Id = Line.LineOfMessage == 0 ? M_.Id : std::string(M_.Id) + "#" + std::to_string(Line.LineOfMessage + 1);
    Out_.push_back(Line);
    Line.Pieces.clear();
    Line.FieldCount = 0;
    Line.LineOfMessage++;
  }

  /// Adds what the conversion %<Spec><Letter> prints: the constant the message passes
  /// for it, or a field.
  void Conversion(char Letter, const std::string &Spec) {
    switch (Letter) {
      case 'a':
      case 's': {
        const char *Value = Argument_ < M_.Arguments.size() ? M_.Arguments[Argument_] : nullptr;
        Argument_++;
        if (Value != nullptr) {
          for (const char *V = Value; *V != '\0'; V++) Literal(*V);
        } else {
          Field(FieldKind::Text);
        }
        break;
      }
      case 'd': Field(FieldKind::Decimal); break;
      case 'x': Field(Spec == "08" ? FieldKind::Hex8Lower : FieldKind::HexLower); break;
      case 'X': Field(Spec == "08" ? FieldKind::Hex8Upper : FieldKind::HexUpper); break;
      case 'r': Field(FieldKind::Status); break;
      case 'p': Field(FieldKind::Pointer); break;
      default:
        Literal('%');
        Literal(Letter);
        break;
    }
  }

  LinePattern Line;

 private:
  const Message &M_;
  std::vector<LinePattern> &Out_;
  size_t Argument_ = 0;
};

/// Renders a message into its line patterns.
void Render(const Message &M, std::vector<LinePattern> &Out) {
  PatternBuilder Builder(M, Out);
  for (const char *Format : M.Formats) {
    for (const char *P = Format; *P != '\0'; P++) {
      if (*P == '\n') {
        Builder.Close();
        continue;
      }
      if (*P != '%') {
        Builder.Literal(*P);
        continue;
      }
      P++;
      std::string Spec;
      while (*P == '0' || std::isdigit(static_cast<unsigned char>(*P))) Spec += *P++;
      // A format that ends in a directive without its letter ("text %"): the format
      // engine prints nothing for it, and the format ends there.
      if (*P == '\0') break;
      Builder.Conversion(*P, Spec);
    }
  }
  if (!Builder.Line.Pieces.empty()) Builder.Close();
}

bool IsHex(char C) { return std::isxdigit(static_cast<unsigned char>(C)) != 0; }

/// Whether C may stand at Index of a field of Kind.
bool FieldChar(FieldKind Kind, char C, size_t Index) {
  switch (Kind) {
    case FieldKind::Decimal: return std::isdigit(static_cast<unsigned char>(C)) || (Index == 0 && C == '-');
    // The format engine prints hex digits in upper case for %x and %X alike: either case is read.
    case FieldKind::HexLower:
    case FieldKind::HexUpper: return IsHex(C);
    case FieldKind::Hex8Lower:
    case FieldKind::Hex8Upper: return Index < 8 && IsHex(C);
    case FieldKind::Pointer: return IsHex(C);
    case FieldKind::Status:
    case FieldKind::Text: return C != '\r' && C != '\n';
  }
  return false;
}

bool FieldComplete(FieldKind Kind, std::string_view Value) {
  if (Value.empty()) return false;
  switch (Kind) {
    case FieldKind::Hex8Lower:
    case FieldKind::Hex8Upper: return Value.size() == 8;
    case FieldKind::Decimal: return Value != "-";
    case FieldKind::Status: return StatusFromText(Value).has_value();
    default: return true;
  }
}

FieldValue ValueOf(FieldKind Kind, std::string_view Text) {
  FieldValue V{std::string(Text), std::nullopt};
  switch (Kind) {
    case FieldKind::Decimal: {
      // Digits past what 64 bits hold leave the field without a number (no %d of the
      // module prints one), as a hex field of more than 16 digits does.
      int64_t Number = 0;
      const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Number);
      if (Error == std::errc() && End == Text.data() + Text.size()) V.Number = static_cast<uint64_t>(Number);
      break;
    }
    case FieldKind::HexLower:
    case FieldKind::HexUpper:
    case FieldKind::Hex8Lower:
    case FieldKind::Hex8Upper:
    case FieldKind::Pointer:
      if (Text.size() <= 16) V.Number = std::stoull(std::string(Text), nullptr, 16);
      break;
    case FieldKind::Status: V.Number = StatusFromText(Text); break;
    case FieldKind::Text: break;
  }
  return V;
}

/// Matches Pieces[Index..] against Text[Position..] to its end, filling Fields.
bool MatchFrom(const std::vector<Piece> &Pieces, size_t Index, std::string_view Text, size_t Position,
               std::vector<FieldValue> &Fields) {
  if (Index == Pieces.size()) return Position == Text.size();
  const Piece &P = Pieces[Index];
  if (!P.IsField) {
    if (Text.compare(Position, P.Literal.size(), P.Literal) != 0) return false;
    return MatchFrom(Pieces, Index + 1, Text, Position + P.Literal.size(), Fields);
  }
  // A field: the longest run of its characters first, then shorter ones.
  size_t End = Position;
  while (End < Text.size() && FieldChar(P.Kind, Text[End], End - Position)) End++;
  for (size_t Stop = End; Stop > Position; Stop--) {
    const std::string_view Value = Text.substr(Position, Stop - Position);
    if (!FieldComplete(P.Kind, Value)) continue;
    Fields.push_back(ValueOf(P.Kind, Value));
    if (MatchFrom(Pieces, Index + 1, Text, Stop, Fields)) return true;
    Fields.pop_back();
  }
  return false;
}

}  // namespace

const std::vector<Message> &Messages() { return kMessages; }

const std::vector<LinePattern> &LinePatterns() {
  static const std::vector<LinePattern> Patterns = [] {
    std::vector<LinePattern> All;
    for (const Message &M : kMessages) Render(M, All);
    return All;
  }();
  return Patterns;
}

std::vector<LinePattern> RenderPatterns(const Message &M) {
  std::vector<LinePattern> Patterns;
  Render(M, Patterns);
  return Patterns;
}

const LinePattern *FindPattern(std::string_view Id) {
  for (const LinePattern &P : LinePatterns()) {
    if (P.Id == Id) return &P;
  }
  return nullptr;
}

std::optional<LineMatch> MatchPattern(const LinePattern &Pattern, std::string_view Text) {
  std::vector<FieldValue> Fields;
  if (!MatchFrom(Pattern.Pieces, 0, Text, 0, Fields)) return std::nullopt;
  return LineMatch{&Pattern, 0, std::move(Fields)};
}

std::optional<LineMatch> MatchLine(std::string_view Line) {
  // The module formats every message into a 256-byte buffer: its text on a line is at
  // most 255 bytes, so only the end of a longer line can hold it. Every pattern opens
  // with literal text: only offsets where that text stands can start one.
  const size_t First = Line.size() > kMaxMessageBytes ? Line.size() - kMaxMessageBytes : 0;
  for (size_t Start = First; Start < Line.size(); Start++) {
    const std::string_view Text = Line.substr(Start);
    for (const LinePattern &Pattern : LinePatterns()) {
      const std::string &Opening = Pattern.Pieces.front().Literal;
      if (Text.compare(0, Opening.size(), Opening) != 0) continue;
      if (std::optional<LineMatch> Match = MatchPattern(Pattern, Text)) {
        Match->Start = Start;
        return Match;
      }
    }
  }
  return std::nullopt;
}

std::string StatusText(uint64_t Status) {
  if (const char *Name = print_lib::StatusName(static_cast<EFI_STATUS>(Status))) return Name;
  char Text[16];
  std::snprintf(Text, sizeof Text, "%08X", static_cast<unsigned>(Status));
  return Text;
}

std::optional<uint64_t> StatusFromText(std::string_view Text) {
  for (const print_lib::STATUS_NAME &Entry : print_lib::kStatusNames) {
    if (Text == Entry.Name) return Entry.Status;
  }
  if (Text.size() == 8 && std::all_of(Text.begin(), Text.end(), IsHex))
    return std::stoull(std::string(Text), nullptr, 16);
  return std::nullopt;
}

const char *LevelName(Level L) {
  switch (L) {
    case Level::Error: return "ERROR";
    case Level::Warn: return "WARN";
    case Level::Info: return "INFO";
    case Level::Assert: return "ASSERT";
  }
  return "?";
}

}  // namespace quarn::emu::cli::explain
