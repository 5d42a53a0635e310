#include "Junit.h"

#include <cstdint>
#include <utility>

namespace quarn::emu::cli::check {

namespace {

/// Text as XML character data or, InAttribute, an attribute value (line breaks and tabs
/// kept as references there): markup escaped, bytes that are not UTF-8 and characters
/// XML 1.0 forbids replaced by U+FFFD.
std::string XmlText(const std::string &Text, bool InAttribute = false) {
  static const std::string kReplacement = "\xEF\xBF\xBD";
  std::string Out;
  for (size_t At = 0; At < Text.size();) {
    const unsigned char Lead = static_cast<unsigned char>(Text[At]);
    if (Lead < 0x80) {
      switch (Lead) {
        case '&': Out += "&amp;"; break;
        case '<': Out += "&lt;"; break;
        case '>': Out += "&gt;"; break;
        case '"': Out += "&quot;"; break;
        case '\'': Out += "&apos;"; break;
        case '\n': Out += InAttribute ? "&#10;" : "\n"; break;
        case '\r': Out += "&#13;"; break;
        case '\t': Out += InAttribute ? "&#9;" : "\t"; break;
        default: Out += Lead < 0x20 ? kReplacement : std::string(1, static_cast<char>(Lead));
      }
      At++;
      continue;
    }
    const size_t Length = Lead >= 0xF5 ? 0 : Lead >= 0xF0 ? 4 : Lead >= 0xE0 ? 3 : Lead >= 0xC2 ? 2 : 0;
    bool Valid = Length != 0 && At + Length <= Text.size();
    uint32_t Code = Valid ? Lead & (0xFF >> (Length + 1)) : 0;
    for (size_t Index = 1; Valid && Index < Length; Index++) {
      const unsigned char Next = static_cast<unsigned char>(Text[At + Index]);
      Valid = (Next & 0xC0) == 0x80;
      Code = Code << 6 | (Next & 0x3F);
    }
    // Overlong forms, surrogates, U+FFFE and U+FFFF and beyond U+10FFFF are no characters.
    Valid = Valid && !(Length == 3 && Code < 0x800) && !(Length == 4 && (Code < 0x10000 || Code > 0x10FFFF)) &&
            !(Code >= 0xD800 && Code <= 0xDFFF) && Code != 0xFFFE && Code != 0xFFFF;
    Out += Valid ? Text.substr(At, Length) : kReplacement;
    At += Valid ? Length : 1;
  }
  return Out;
}

/// Name="Value" as an attribute, with a blank before it.
std::string Attribute(const std::string &Name, const std::string &Value) {
  return " " + Name + "=\"" + XmlText(Value, true) + "\"";
}

/// One scenario's test case; Strict makes one without expectations a failure.
std::string TestCase(const CheckResult &Row, bool Strict) {
  std::string Xml = "    <testcase" + Attribute("name", Row.Name) + Attribute("classname", "quarn-emu.check") +
                    Attribute("file", Row.Source) + Attribute("time", Fixed(Row.ElapsedMs / 1000, 6));
  std::string Body;
  for (const std::string &Line : Row.Lines) Body += XmlText(Line) + "\n";
  switch (Row.Result) {
    case Verdict::Match: return Xml + "/>\n";
    case Verdict::NoExpectations:
      Xml += Strict ? ">\n      <failure" + Attribute("message", "no expectations (--strict)") +
                          Attribute("type", "no-expectations") + "/>\n"
                    : ">\n      <skipped" + Attribute("message", "no expectations") + "/>\n";
      break;
    case Verdict::Mismatch:
      Xml +=
          ">\n      <failure" +
          Attribute("message", std::to_string(Row.Lines.size()) + " mismatch" + (Row.Lines.size() == 1 ? "" : "es")) +
          Attribute("type", "mismatch") + ">" + Body + "</failure>\n";
      break;
    case Verdict::Error:
      Xml += ">\n      <error" + Attribute("message", Row.Lines.front()) + Attribute("type", "scenario") + ">" + Body +
             "</error>\n";
      break;
  }
  return Xml + "    </testcase>\n";
}

}  // namespace

std::string JunitXml(const std::vector<CheckResult> &Results, const Totals &T, const CheckIdentity &Tool) {
  const size_t Skipped = (T.Strict ? 0 : T[Verdict::NoExpectations]) + T.NotRunScenarios.size();
  const std::string Counts =
      Attribute("tests", std::to_string(Results.size() + T.NotRunScenarios.size())) +
      Attribute("failures", std::to_string(T.Failed())) + Attribute("errors", std::to_string(T[Verdict::Error])) +
      Attribute("skipped", std::to_string(Skipped)) + Attribute("time", Fixed(T.ElapsedMs / 1000, 6));
  std::string Xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" + Attribute("name", "quarn-emu check") +
                    Counts + ">\n  <testsuite" + Attribute("name", "quarn-emu check") + Counts + ">\n";
  Xml += "    <properties>\n";
  for (const auto &[Name, Value] : {std::pair<const char *, const std::string &>{"quarn-emu.version", Tool.Version},
                                    {"quarn-emu.build", Tool.Build},
                                    {"quarn-emu.module", Tool.ModuleFlavour}}) {
    Xml += "      <property" + Attribute("name", Name) + Attribute("value", Value) + "/>\n";
  }
  Xml += "    </properties>\n";
  for (const CheckResult &Row : Results) Xml += TestCase(Row, T.Strict);
  for (const NotRunScenario &Unrun : T.NotRunScenarios) {
    Xml += "    <testcase" + Attribute("name", Unrun.Name) + Attribute("classname", "quarn-emu.check") +
           Attribute("file", Unrun.Source) + ">\n      <skipped" +
           Attribute("message", "not run: -x stopped at the first failure") + "/>\n    </testcase>\n";
  }
  return Xml + "  </testsuite>\n</testsuites>\n";
}

}  // namespace quarn::emu::cli::check
