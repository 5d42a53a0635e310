// The format engine: the format language byte for byte, truncation, and the checks a
// call must pass before anything is formatted.
#include <gtest/gtest.h>

#include <Library/BasePrintLib/PrintLibInternal.h>
extern "C" {
#include <PiPei.h>
#include <Library/PrintLib.h>
}

#include <cstring>
#include <string>
#include <vector>

#include "ConsoleFixture.h"

using namespace quarn;

namespace {

class PrintLibTest : public testing::Test {
 protected:
  PrintLibTest() : E(test::ConsoleReady()) { E.Activate(); }

  /// Formats into a 256-byte buffer; checks that the result is the text's length.
  template <typename... Args>
  std::string Print(const char *Format, Args... Arguments) {
    char Buffer[256];
    std::memset(Buffer, 0x5A, sizeof Buffer);
    const UINTN Length = AsciiSPrint(Buffer, sizeof Buffer, Format, Arguments...);
    EXPECT_EQ(Length, std::strlen(Buffer)) << "for the format " << Format;
    return std::string(Buffer);
  }

  std::vector<std::string> Asserts() { return E.Snapshot().Asserts; }

  emu::Emulator E;
};

TEST_F(PrintLibTest, EdgeCaseTableOfTheFormatLanguage) {
  EXPECT_EQ(Print("%a %a called.\n", "[QUARN][PreMem]", "Entry"), "[QUARN][PreMem] Entry called.\r\n");
  EXPECT_EQ(Print("0x%08x", 0x1A2B), "0x00001A2B");
  EXPECT_EQ(Print("%x", -1), "FFFFFFFF");
  EXPECT_EQ(Print("%d", -1), "-1");
  EXPECT_EQ(Print("%,d", 1234567), "1,234,567");
  EXPECT_EQ(Print("%+d", 5), "+5");
  EXPECT_EQ(Print("%5d", 42), "   42");
  EXPECT_EQ(Print("%-5d|", 42), "42   |");
  EXPECT_EQ(Print("%05d", 42), "00042");
  EXPECT_EQ(Print("%+05d", 42), "+0042");
  EXPECT_EQ(Print("%r", 0x80000012u), "Time out");
  EXPECT_EQ(Print("%r", 0x00000006u), "00000006");
  EXPECT_EQ(Print("%r", 0x80000000u), "80000000");
  EXPECT_EQ(Print("%p", reinterpret_cast<void *>(0x1000)), "1000");
  EXPECT_EQ(Print("%a", static_cast<const char *>(nullptr)), "<null string>");
  EXPECT_EQ(Print("%.3a", "abcdef"), "abc");
  EXPECT_EQ(Print("%c", 0x41), "A");
  EXPECT_EQ(Print("%c", 0), " ");
  EXPECT_EQ(Print("%%"), "%");
  EXPECT_EQ(Print("%5%"), "    %");
  EXPECT_EQ(Print("%i"), "i");
  EXPECT_EQ(Print("text ending in a lone %"), "text ending in a lone ");
  EXPECT_TRUE(Asserts().empty());
}

TEST_F(PrintLibTest, LineFeedsBecomeCrLfWhateverFollows) {
  EXPECT_EQ(Print("\n"), "\r\n");
  EXPECT_EQ(Print("a\n\rb"), "a\r\nb");
  EXPECT_EQ(Print("a\r\nb"), "a\r\nb");
  EXPECT_EQ(Print("a\rb"), "a\rb");
  EXPECT_EQ(Print("\n\n"), "\r\n\r\n");
  EXPECT_EQ(Print("\r\r\n"), "\r\r\n");
  // Inside a directive a line feed or carriage return renders as in the main loop.
  EXPECT_EQ(Print("%\n\rx"), "\r\nx");
  EXPECT_EQ(Print("%\rx"), "\rx");
  EXPECT_EQ(Print("%\r\nx"), "\r\nx");
  EXPECT_EQ(Print("%\r\n\nx"), "\r\n\r\nx");
}

TEST_F(PrintLibTest, DecimalNumbers) {
  EXPECT_EQ(Print("%d", 0), "0");
  EXPECT_EQ(Print("%d", INT32_MIN), "-2147483648");
  EXPECT_EQ(Print("%u", -1), "4294967295");
  EXPECT_EQ(Print("%+u", 7), "7");  // the sign prefix is dropped for u
  EXPECT_EQ(Print("% d", 5), " 5");
  EXPECT_EQ(Print("% d", 1234567), " 1234567");  // the blank does not group
  EXPECT_EQ(Print("%-d|", 1234567), "1234567|");
  EXPECT_EQ(Print("%+ d", 5), "+5");  // the sign prefix wins over the blank
  EXPECT_EQ(Print("% d", -5), "-5");
  EXPECT_EQ(Print("%05d", -42), "-0042");
  EXPECT_EQ(Print("%-05d|", 42), "42   |");  // left-justified numbers are not zero-filled
  EXPECT_EQ(Print("%ld", -1234567890123ll), "-1234567890123");
  EXPECT_EQ(Print("%Ld", INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(Print("%lu", UINT64_MAX), "18446744073709551615");
  EXPECT_EQ(Print("%d|%d", 1, 2), "1|2");
}

TEST_F(PrintLibTest, CommaGrouping) {
  EXPECT_EQ(Print("%,d", 0), "0");
  EXPECT_EQ(Print("%,d", 999), "999");
  EXPECT_EQ(Print("%,d", 1000), "1,000");
  EXPECT_EQ(Print("%,d", -1234), "-1,234");
  EXPECT_EQ(Print("%,ld", 1234567890123ll), "1,234,567,890,123");
  EXPECT_EQ(Print("%,lu", UINT64_MAX), "18,446,744,073,709,551,615");
  EXPECT_EQ(Print("%,10d|", 12345), "    12,345|");
  EXPECT_EQ(Print("%,010d", 12345), "    12,345");  // grouping drops the zero prefix
  EXPECT_EQ(Print("%,.8d", 12345), "12,345");       // and sets the precision to 1
  EXPECT_EQ(Print("%,x", 0x123456), "123456");      // no grouping in hexadecimal
}

TEST_F(PrintLibTest, HexadecimalIsUpperCase) {
  EXPECT_EQ(Print("%x", 0xabcdef), "ABCDEF");
  EXPECT_EQ(Print("%X", 0x1a), "1A");
  EXPECT_EQ(Print("%8X", 0x1a), "0000001A");  // X zero-fills to the width
  EXPECT_EQ(Print("%8x", 0x1a), "      1A");
  EXPECT_EQ(Print("%-8X|", 0x1a), "1A      |");
  EXPECT_EQ(Print("%lx", 0x123456789ABCDEF0ull), "123456789ABCDEF0");
  EXPECT_EQ(Print("%016lX", 0xFFull), "00000000000000FF");
  EXPECT_EQ(Print("%8p", reinterpret_cast<void *>(0xBEEF)), "0000BEEF");
  // p drops blank, sign and 64-bit flags: one 32-bit argument, then the next one.
  EXPECT_EQ(Print("%+ lp %d", reinterpret_cast<void *>(0xAB), 7), "AB 7");
}

TEST_F(PrintLibTest, WidthsPrecisionsAndStar) {
  EXPECT_EQ(Print("%.5d", 42), "00042");
  EXPECT_EQ(Print("%8.3d|", 42), "     042|");
  EXPECT_EQ(Print("%-8.3d|", 42), "042     |");
  EXPECT_EQ(Print("%.0d", 0), "");
  EXPECT_EQ(Print("[%5.0d]", 0), "[     ]");
  EXPECT_EQ(Print("%.0d", 3), "3");
  EXPECT_EQ(Print("%*d|", 6, 42), "    42|");
  EXPECT_EQ(Print("%-*d|", 6, 42), "42    |");
  EXPECT_EQ(Print("%.*d", 4, 7), "0007");
  EXPECT_EQ(Print("%*.*d", 6, 3, 7), "   007");
  EXPECT_EQ(Print("%.*a", 2, "abc"), "ab");
  EXPECT_EQ(Print("%5a|", "ab"), "   ab|");
  EXPECT_EQ(Print("%-5a|", "ab"), "ab   |");
  EXPECT_EQ(Print("%.5a|", "ab"), "   ab|");  // a precision above the text pads with blanks
  EXPECT_EQ(Print("%8.2a|", "abcdef"), "      ab|");
  EXPECT_EQ(Print("%3r|", 0u), "Success|");  // a width below the text changes nothing
  EXPECT_EQ(Print("%10r|", 0x80000003u), "Unsupported|");
  EXPECT_EQ(Print("%12r|", 0x80000003u), " Unsupported|");
}

TEST_F(PrintLibTest, StringsAndCharacters) {
  EXPECT_EQ(Print("%s", u"wide"), "wide");
  EXPECT_EQ(Print("%S", u"Wide"), "Wide");
  EXPECT_EQ(Print("%.2s", u"wide"), "wi");
  EXPECT_EQ(Print("%s", static_cast<const char16_t *>(nullptr)), "<null string>");
  EXPECT_EQ(Print("%s", u"\u0141x"), "Ax");  // one byte per character: the low byte
  EXPECT_EQ(Print("%c", 0x141), "A");
  EXPECT_EQ(Print("%c", 0x1C1), "\xC1");  // all eight bits of the low byte
  EXPECT_EQ(Print("%3c|", 'z'), "  z|");
  EXPECT_EQ(Print("%a", ""), "");
  EXPECT_EQ(Print("[%5a]", ""), "[     ]");
}

TEST_F(PrintLibTest, EveryNamedStatusAndTheRest) {
  const std::vector<std::pair<uint32_t, std::string>> Names = {{0x00000000, "Success"},
                                                               {0x00000001, "Warning Unknown Glyph"},
                                                               {0x00000002, "Warning Delete Failure"},
                                                               {0x00000003, "Warning Write Failure"},
                                                               {0x00000004, "Warning Buffer Too Small"},
                                                               {0x00000005, "Warning Stale Data"},
                                                               {0x80000001, "Load Error"},
                                                               {0x80000002, "Invalid Parameter"},
                                                               {0x80000003, "Unsupported"},
                                                               {0x80000004, "Bad Buffer Size"},
                                                               {0x80000005, "Buffer Too Small"},
                                                               {0x80000006, "Not Ready"},
                                                               {0x80000007, "Device Error"},
                                                               {0x80000008, "Write Protected"},
                                                               {0x80000009, "Out of Resources"},
                                                               {0x8000000A, "Volume Corrupt"},
                                                               {0x8000000B, "Volume Full"},
                                                               {0x8000000C, "No Media"},
                                                               {0x8000000D, "Media changed"},
                                                               {0x8000000E, "Not Found"},
                                                               {0x8000000F, "Access Denied"},
                                                               {0x80000010, "No Response"},
                                                               {0x80000011, "No mapping"},
                                                               {0x80000012, "Time out"},
                                                               {0x80000013, "Not started"},
                                                               {0x80000014, "Already started"},
                                                               {0x80000015, "Aborted"},
                                                               {0x80000016, "ICMP Error"},
                                                               {0x80000017, "TFTP Error"},
                                                               {0x80000018, "Protocol Error"},
                                                               {0x80000019, "Incompatible Version"},
                                                               {0x8000001A, "Security Violation"},
                                                               {0x8000001B, "CRC Error"},
                                                               {0x8000001C, "End of Media"},
                                                               {0x8000001D, "Reserved (29)"},
                                                               {0x8000001E, "Reserved (30)"},
                                                               {0x8000001F, "End of File"},
                                                               {0x80000020, "Invalid Language"},
                                                               {0x80000021, "Compromised Data"}};
  ASSERT_EQ(Names.size(), 39u);
  for (const auto &[Status, Name] : Names) {
    EXPECT_EQ(Print("%r", Status), Name) << std::hex << Status;
  }
  EXPECT_EQ(Print("%r", 0x80000022u), "80000022");
  EXPECT_EQ(Print("%r", 0xA0000002u), "A0000002");
  EXPECT_EQ(Print("%r", 0x00000006u), "00000006");
  EXPECT_EQ(Print("(%r) %d", 0x1234u, 9), "(00001234) 9");  // the nested rendering keeps the argument list
}

TEST_F(PrintLibTest, GuidsAtAnyAlignment) {
  const EFI_GUID Guid = {0xF894643D, 0xC449, 0x42D1, {0x8E, 0xA8, 0x85, 0xBD, 0xD8, 0xC6, 0x5B, 0xDE}};
  EXPECT_EQ(Print("%g", &Guid), "F894643D-C449-42D1-8EA8-85BDD8C65BDE");
  uint8_t Bytes[sizeof(EFI_GUID) + 1];
  std::memcpy(Bytes + 1, &Guid, sizeof Guid);
  EXPECT_EQ(Print("%g", Bytes + 1), "F894643D-C449-42D1-8EA8-85BDD8C65BDE");
  const EFI_GUID Small = {0x1, 0x2, 0x3, {0, 1, 2, 3, 4, 5, 6, 7}};
  EXPECT_EQ(Print("<%g> %d", &Small, 5), "<00000001-0002-0003-0001-020304050607> 5");
  EXPECT_EQ(Print("%g", static_cast<const EFI_GUID *>(nullptr)), "<null guid>");
  EXPECT_EQ(Print("%40g|", &Guid), "    F894643D-C449-42D1-8EA8-85BDD8C65BDE|");
}

TEST_F(PrintLibTest, TimesAsMonthDayYearHourMinute) {
  // Year (16 bits), Month, Day, Hour, Minute, then the rest of the record.
  const uint8_t Time[16] = {0xE8, 0x07, 3, 7, 9, 5, 59, 0};
  EXPECT_EQ(Print("%t", Time), "03/07/2024  09:05");
  uint8_t Unaligned[17] = {};
  std::memcpy(Unaligned + 1, Time, sizeof Time);
  EXPECT_EQ(Print("%t", Unaligned + 1), "03/07/2024  09:05");
  EXPECT_EQ(Print("%t", static_cast<const void *>(nullptr)), "<null time>");
  const uint8_t Odd[8] = {0xFF, 0xFF, 255, 255, 255, 255};
  EXPECT_EQ(Print("%t", Odd), "255/255/65535  255:255");
}

TEST_F(PrintLibTest, OutputIsCutAtBufferSizeMinusOneAndAlwaysTerminated) {
  const std::string Long(300, 'x');
  char Buffer[260];
  std::memset(Buffer, 0x5A, sizeof Buffer);
  EXPECT_EQ(AsciiSPrint(Buffer, 256, "%a", Long.c_str()), 255u);
  EXPECT_EQ(std::string(Buffer), std::string(255, 'x'));
  EXPECT_EQ(Buffer[256], 0x5A);  // nothing beyond the buffer

  std::memset(Buffer, 0x5A, sizeof Buffer);
  EXPECT_EQ(AsciiSPrint(Buffer, 256, Long.c_str()), 255u);
  EXPECT_EQ(Buffer[255], '\0');

  std::memset(Buffer, 0x5A, sizeof Buffer);
  EXPECT_EQ(AsciiSPrint(Buffer, 4, "%d", 123456), 3u);
  EXPECT_STREQ(Buffer, "123");
  EXPECT_EQ(Buffer[4], 0x5A);

  EXPECT_EQ(AsciiSPrint(Buffer, 4, "ab\n"), 3u);  // the CR fits, the LF does not
  EXPECT_STREQ(Buffer, "ab\r");
  EXPECT_EQ(AsciiSPrint(Buffer, 1, "abc"), 0u);
  EXPECT_STREQ(Buffer, "");
  EXPECT_EQ(AsciiSPrint(Buffer, 8, "%2000d", 1), 7u);  // a pad wider than the buffer is cut
  EXPECT_STREQ(Buffer, "       ");
  EXPECT_EQ(AsciiSPrint(Buffer, 8, "%*d", 0x7FFFFFFF, 1), 7u);
  EXPECT_EQ(AsciiSPrint(Buffer, 8, "%.*a", 0x7FFFFFFF, "ab"), 7u);
  EXPECT_TRUE(Asserts().empty());
}

TEST_F(PrintLibTest, RefusedCallsAssertAndProduceNothing) {
  char Buffer[16];
  std::memset(Buffer, 0x5A, sizeof Buffer);
  EXPECT_EQ(AsciiSPrint(nullptr, 16, "x"), 0u);
  EXPECT_EQ(AsciiSPrint(Buffer, 16, nullptr), 0u);
  EXPECT_EQ(AsciiSPrint(Buffer, 1000001, "x"), 0u);
  const std::string Huge(1000001, 'f');
  EXPECT_EQ(AsciiSPrint(Buffer, 16, Huge.c_str()), 0u);
  EXPECT_EQ(Buffer[0], 0x5A);  // a refused call writes nothing

  const std::vector<std::string> Expected = {
      "ASSERT [QuarnPeiPreMem] Library/BasePrintLib/PrintLibInternal(572): (Buffer != ((void *) 0))",
      "ASSERT [QuarnPeiPreMem] Library/BasePrintLib/PrintLibInternal(580): (Format != ((void *) 0))",
      "ASSERT [QuarnPeiPreMem] Library/BasePrintLib/PrintLibInternal(594): "
      "(BufferSize <= (_gPcd_FixedAtBuild_PcdMaximumAsciiStringLength))",
      "ASSERT [QuarnPeiPreMem] Library/BasePrintLib/PrintLibInternal(611): "
      "(AsciiStrnLenS (Format, (_gPcd_FixedAtBuild_PcdMaximumAsciiStringLength) + 1) <= "
      "(_gPcd_FixedAtBuild_PcdMaximumAsciiStringLength))"};
  EXPECT_EQ(Asserts(), Expected);
}

TEST_F(PrintLibTest, LimitsThemselvesAreAccepted) {
  // A zero-sized buffer is no error, whatever the pointers.
  EXPECT_EQ(AsciiSPrint(nullptr, 0, nullptr), 0u);
  // A format of exactly 1000000 characters and a buffer of exactly 1000000 bytes pass.
  std::string Format(1000000, 'y');
  std::vector<char> Buffer(1000000, 0);
  EXPECT_EQ(AsciiSPrint(Buffer.data(), Buffer.size(), Format.c_str()), 999999u);
  EXPECT_TRUE(Asserts().empty());
}

TEST(PrintLibInternal, FillBufferStopsBeforeTheEnd) {
  char Buffer[8];
  std::memset(Buffer, '.', sizeof Buffer);
  char *End = Buffer + 4;
  EXPECT_EQ(BasePrintLibFillBuffer(Buffer, End, 2, 0x1241, 1), Buffer + 2);  // low byte only
  EXPECT_EQ(std::string(Buffer, 8), "AA......");
  EXPECT_EQ(BasePrintLibFillBuffer(Buffer + 2, End, 100, 'b', 1), End);
  EXPECT_EQ(std::string(Buffer, 8), "AAbb....");
  EXPECT_EQ(BasePrintLibFillBuffer(Buffer, End, 0, 'c', 1), Buffer);
  EXPECT_EQ(BasePrintLibFillBuffer(Buffer, End, -3, 'c', 1), Buffer);
  EXPECT_EQ(BasePrintLibFillBuffer(End, End, 1, 'c', 1), End);
  EXPECT_EQ(std::string(Buffer, 8), "AAbb....");
  // No step forward: nothing written, the position stays.
  EXPECT_EQ(BasePrintLibFillBuffer(Buffer, End, 3, 'd', 0), Buffer);
  EXPECT_EQ(BasePrintLibFillBuffer(Buffer, End, 3, 'd', -1), Buffer);
  EXPECT_EQ(std::string(Buffer, 8), "AAbb....");
}

TEST(PrintLibInternal, ValueToStringWritesDigitsLeastSignificantFirst) {
  char Buffer[kPrintValueBufferSize];
  std::memset(Buffer, '.', sizeof Buffer);
  char *Last = BasePrintLibValueToString(Buffer, 1234, 10);
  EXPECT_EQ(Last, Buffer + 4);
  EXPECT_EQ(Buffer[0], '\0');
  EXPECT_EQ(std::string(Buffer + 1, 4), "4321");

  Last = BasePrintLibValueToString(Buffer, 0, 16);
  EXPECT_EQ(Last, Buffer + 1);
  EXPECT_EQ(Buffer[1], '0');

  Last = BasePrintLibValueToString(Buffer, UINT64_MAX, 16);
  EXPECT_EQ(std::string(Buffer + 1, Last + 1), std::string(16, 'F'));
  Last = BasePrintLibValueToString(Buffer, UINT64_MAX, 10);
  EXPECT_EQ(Last - Buffer, 20);
}

}  // namespace
