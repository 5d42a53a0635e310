// The JSON report of one run: numbers of up to 32 bits as JSON numbers, values that may
// need 64 bits as "0x..." strings, byte strings as lower-case hex without separators,
// texts as received (CR LF kept).
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Emulator/Report.h"

namespace quarn::emu::cli {

/// The report's "format": 2 since 64-bit values (mm7, the pointer table's slots, the
/// trace's addresses and values) are hex strings and messages and status codes carry
/// their time and decode.
constexpr int kReportFormat = 2;

/// printf into a string, as long as the text needs (nothing is cut).
template <typename... Values>
std::string Format(const char *Pattern, Values... Arguments) {
  const int Length = std::snprintf(nullptr, 0, Pattern, Arguments...);
  if (Length <= 0) return {};
  std::string Text(static_cast<size_t>(Length) + 1, '\0');
  std::snprintf(Text.data(), Text.size(), Pattern, Arguments...);
  Text.resize(static_cast<size_t>(Length));
  return Text;
}

/// Virtual nanoseconds as the summaries show them: "12.345 ms".
std::string Ms(uint64_t Ns);

/// The report as one JSON object; "trace" only when WithTrace.
nlohmann::json ReportToJson(const RunReport &Report, bool WithTrace);

/// Lower-case hex, two digits a byte, no separators.
std::string HexString(const std::vector<uint8_t> &Bytes);

/// Received bytes as a JSON string: bytes above 0x7F become the characters U+0080 to
/// U+00FF, so every byte is kept and the JSON stays valid.
std::string TextFromBytes(const std::string &Bytes);

/// "<kind> <result>" for each message exchanged with the firmware.
std::vector<std::string> ExchangeSummary(const RunReport &Report);

/// For each processor: does its MM7 hold the static pointer table's address?
std::vector<bool> Mm7PointsToTable(const RunReport &Report);

/// A value that may need all 64 bits, as JSON carries it: "0x" and lower-case hex
/// without leading zeros ("0x0", "0x7c040250"), so no JSON reader rounds it.
std::string HexNumber(uint64_t Value);

/// Virtual nanoseconds as milliseconds.
double Milliseconds(uint64_t Ns);

}  // namespace quarn::emu::cli
