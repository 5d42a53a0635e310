// The JSON report of one run: numbers as JSON numbers, byte strings as lower-case hex
// without separators, texts as received (CR LF kept).
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "Emulator/Report.h"

namespace quarn::emu::cli {

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

/// Virtual nanoseconds as milliseconds.
double Milliseconds(uint64_t Ns);

}  // namespace quarn::emu::cli
