// The human view of a run: the console as the first UART received it, an optional
// trace, then a compact summary.
#pragma once

#include <ostream>
#include <string>

#include "Emulator/Report.h"

namespace quarn::emu::cli {

/// The compact summary: returned status, HOBs, records, the firmware exchange as a
/// table, virtual time split into waits, serial output and the rest.
void WriteSummary(std::ostream &Out, const RunReport &Report, const std::string &Description);

/// The decoded fields of an error-log record carried by a status code ("state record:
/// VORNFS1 0x... ..."), or a hex dump when it is no record of this module.
std::string DescribeStatusCode(const StatusCodeRecord &Code);

}  // namespace quarn::emu::cli
