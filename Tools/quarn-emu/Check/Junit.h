// quarn-emu check --junit: the results as JUnit XML, for a CI server.
#pragma once

#include <string>
#include <vector>

#include "CheckResults.h"

namespace quarn::emu::cli::check {

/// JUnit XML: one test suite, one test case per scenario; a mismatch is a failure with
/// its lines, a scenario that could not be used an error, one without [expect] skipped.
/// Times are the virtual seconds of each run.
std::string JunitXml(const std::vector<CheckResult> &Results, const Totals &T);

}  // namespace quarn::emu::cli::check
