// What the board saw, for the summary and the report: the VORN's state at entry and at
// exit and each change of its registers, the halt codes with their time, the error level
// the module printed by and where it took it from, the debug-PPI messages and the
// second UART.
#pragma once

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>

#include "Emulator/Report.h"

namespace quarn::emu::cli {

/// The board block: a warning for each device the board places elsewhere than the module
/// was built for, VORN at entry and exit (registers and their fields), the register
/// changes with time and source, a warning for each scripted change that never took
/// effect, the halt codes, the error level and its source.
void WriteBoardSummary(std::ostream &Out, const RunReport &Report);

/// The outputs beside the console: "(console empty)", the debug-PPI messages (one line
/// when they are the console's text), the second UART when it differs from the first.
void WriteOutputsSummary(std::ostream &Out, const RunReport &Report);

/// Adds "board" and "debug_error_level" to the JSON report; the board's warnings are the
/// moved devices' first, then the scripted changes that never took effect.
void AddBoardJson(nlohmann::json &Json, const RunReport &Report);

/// "state 2 (recovery), recovery cause 4, flow mode 0, reset counter 0, DWR flow off",
/// or what all ones in VORNFS1 mean.
std::string DescribeVornState(const VornRegisterValues &Values);

/// A received text on one line: a final CR LF dropped, other control bytes escaped
/// (\r, \n, \xNN).
std::string PrintableLine(const std::string &Line);

}  // namespace quarn::emu::cli
