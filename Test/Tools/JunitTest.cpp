// JUnit XML: every text a scenario can carry (a console line, a message from the module,
// a file name) comes out as XML 1.0 a CI server reads: markup escaped, control characters
// and bytes that are not UTF-8 replaced, every UTF-8 character kept.
#include <gtest/gtest.h>

#include <string>

#include "Tools/quarn-emu/Check/Junit.h"

using namespace quarn::emu::cli::check;

namespace {

const std::string R = "\xEF\xBF\xBD";  // U+FFFD, the replacement character

/// The JUnit XML of one scenario that could not be used, with Text as its error.
std::string ErrorXml(const std::string &Text) {
  CheckResult Row;
  Row.Name = "n";
  Row.Source = "n.toml";
  Row.Result = Verdict::Error;
  Row.Lines = {Text};
  Totals T;
  T.Count[static_cast<int>(Verdict::Error)] = 1;
  return JunitXml({Row}, T, {"v", "b", "DEBUG"});
}

}  // namespace

TEST(Junit, EveryTextIsXmlCharacterDataAtEachBoundaryOfUtf8) {
  struct Row {
    const char *Name;
    std::string Text;
    std::string Attribute;  // as the error's message attribute
    std::string Body;       // as the error's character data
  };
  const Row Rows[] = {
      {"markup", "<a href='x'>&\"", "&lt;a href=&apos;x&apos;&gt;&amp;&quot;",
       "&lt;a href=&apos;x&apos;&gt;&amp;&quot;"},
      {"line feed and tab", "a\tb\nc", "a&#9;b&#10;c", "a\tb\nc"},
      {"carriage return", "a\r", "a&#13;", "a&#13;"},
      {"controls", std::string("\x01\x1F \x7F", 4), R + R + " \x7F", R + R + " \x7F"},
      {"NUL", std::string("a\0b", 3), "a" + R + "b", "a" + R + "b"},
      {"a lone continuation byte", "\x80", R, R},
      {"overlong two bytes", "\xC1\xBF", R + R, R + R},
      {"first two-byte", "\xC2\x80", "\xC2\x80", "\xC2\x80"},
      {"last two-byte", "\xDF\xBF", "\xDF\xBF", "\xDF\xBF"},
      {"two bytes, e acute", "caf\xC3\xA9", "caf\xC3\xA9", "caf\xC3\xA9"},
      {"no continuation", "\xC3(", R + "(", R + "("},
      {"overlong three bytes", "\xE0\x9F\xBF", R + R + R, R + R + R},
      {"first three-byte", "\xE0\xA0\x80", "\xE0\xA0\x80", "\xE0\xA0\x80"},
      {"before the surrogates", "\xED\x9F\xBF", "\xED\x9F\xBF", "\xED\x9F\xBF"},
      {"first surrogate", "\xED\xA0\x80", R + R + R, R + R + R},
      {"last surrogate", "\xED\xBF\xBF", R + R + R, R + R + R},
      {"after the surrogates", "\xEE\x80\x80", "\xEE\x80\x80", "\xEE\x80\x80"},
      {"U+FFFD itself", "\xEF\xBF\xBD", R, R},
      {"U+FFFE", "\xEF\xBF\xBE", R + R + R, R + R + R},
      {"U+FFFF", "\xEF\xBF\xBF", R + R + R, R + R + R},
      {"overlong four bytes", "\xF0\x8F\xBF\xBF", R + R + R + R, R + R + R + R},
      {"first four-byte", "\xF0\x90\x80\x80", "\xF0\x90\x80\x80", "\xF0\x90\x80\x80"},
      {"last character", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
      {"past the last character", "\xF4\x90\x80\x80", R + R + R + R, R + R + R + R},
      {"no lead byte", "\xF5\x80\x80\x80", R + R + R + R, R + R + R + R},
      {"cut short at the end", "a\xE2\x82", "a" + R + R, "a" + R + R},
  };
  for (const Row &Case : Rows) {
    SCOPED_TRACE(Case.Name);
    const std::string Xml = ErrorXml(Case.Text);
    const std::string Want =
        "    <testcase name=\"n\" classname=\"quarn-emu.check\" file=\"n.toml\" time=\"0.000000\">\n"
        "      <error message=\"" +
        Case.Attribute + "\" type=\"scenario\">" + Case.Body + "\n</error>\n    </testcase>\n";
    EXPECT_NE(Xml.find(Want), std::string::npos) << Xml;
  }
}
