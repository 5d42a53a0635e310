// quarn-emu check --junit: the results as JUnit XML, for a CI server.
#pragma once

#include <string>
#include <vector>

#include "CheckResults.h"

namespace quarn::emu::cli::check {

/// JUnit XML: one test suite, its properties saying what made it (Tool), one test case
/// per scenario; a mismatch is a failure with its lines, a scenario that could not be
/// used an error, one without [expect] skipped (a failure with T.Strict), one -x left
/// unrun skipped. Times are the virtual seconds of each run.
std::string JunitXml(const std::vector<CheckResult> &Results, const Totals &T, const CheckIdentity &Tool);

}  // namespace quarn::emu::cli::check
