// The human view of a run: the console as the first UART received it, an optional
// trace, then a compact summary.
#pragma once

#include <ostream>
#include <string>

#include "Emulator/Report.h"

namespace quarn::emu::cli {

/// The compact summary: returned status, HOBs, records, the firmware exchange (each
/// message and record decoded field by field), virtual time split into waits, serial
/// output and the rest. Long byte strings are cut and decoded lines wrapped unless Wide.
void WriteSummary(std::ostream &Out, const RunReport &Report, const std::string &Description, bool Wide = false);

/// The decoded fields of an error-log record carried by a status code ("state record:
/// HeaderSize 20, ..."), or "undecodable: (why), rest <hex>" when it is no record of this
/// module; bytes past the 24th are cut unless Wide.
std::string DescribeStatusCode(const StatusCodeRecord &Code, bool Wide = false);

}  // namespace quarn::emu::cli
