// The line a check sits on in the package's sources, read from the sources themselves:
// an assertion names the line of its check, so a test takes that line from the file, not
// from a constant that goes stale when the file changes.
#pragma once

#include <string>

namespace quarn::test {

/**
  The 1-based line of the first occurrence of Text in Source (relative to the package,
  extension included) at or after the first line that contains Anchor (empty: from the
  top). Fails the calling test and returns 0 when there is none.
**/
unsigned LineOf(const std::string &Source, const std::string &Text, const std::string &Anchor = "");

/**
  The assertion line of a check, as the debug library prints it after "ASSERT [module] ":
  "Source(N): Description", Source without its extension, N the line of Check (the check
  as written, e.g. "ASSERT (HobList != NULL);") found as LineOf finds it.
**/
std::string CheckLine(const std::string &Source, const std::string &Check, const std::string &Description,
                      const std::string &Anchor = "");

}  // namespace quarn::test
