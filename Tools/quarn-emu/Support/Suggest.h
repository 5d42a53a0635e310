// "Did you mean": the known name closest to one a user typed, for every message that
// refuses a name (commands, built-in scenarios, scenario keys, status names).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quarn::emu::cli {

/// The number of single-character insertions, deletions, substitutions and swaps of
/// two neighbours that turn A into B.
size_t EditDistance(std::string_view A, std::string_view B);

/// The candidate Word most likely stands for: one that differs from it only in case,
/// else the nearest one within a third of Word's length (at least one edit); "" when
/// none is that near. Of two equally near candidates the first one wins.
std::string ClosestName(std::string_view Word, const std::vector<std::string> &Candidates);

/// "; did you mean NAME?" for the closest candidate, or "" when there is none.
std::string DidYouMean(std::string_view Word, const std::vector<std::string> &Candidates);

}  // namespace quarn::emu::cli
