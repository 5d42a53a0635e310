#include "Suggest.h"

#include <algorithm>
#include <cctype>

namespace quarn::emu::cli {

namespace {

bool EqualIgnoringCase(std::string_view A, std::string_view B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](unsigned char X, unsigned char Y) {
           return std::tolower(X) == std::tolower(Y);
         });
}

}  // namespace

size_t EditDistance(std::string_view A, std::string_view B) {
  // Three rows of the table suffice: a swap looks two rows back.
  std::vector<size_t> Before(B.size() + 1), Previous(B.size() + 1), Row(B.size() + 1);
  for (size_t J = 0; J <= B.size(); J++) Previous[J] = J;
  for (size_t I = 1; I <= A.size(); I++) {
    Row[0] = I;
    for (size_t J = 1; J <= B.size(); J++) {
      const size_t Cost = A[I - 1] == B[J - 1] ? 0 : 1;
      Row[J] = std::min({Previous[J] + 1, Row[J - 1] + 1, Previous[J - 1] + Cost});
      if (I > 1 && J > 1 && A[I - 1] == B[J - 2] && A[I - 2] == B[J - 1]) Row[J] = std::min(Row[J], Before[J - 2] + 1);
    }
    std::swap(Before, Previous);
    std::swap(Previous, Row);
  }
  return Previous[B.size()];
}

std::string ClosestName(std::string_view Word, const std::vector<std::string> &Candidates) {
  for (const std::string &Candidate : Candidates) {
    if (EqualIgnoringCase(Word, Candidate)) return Candidate;
  }
  const size_t Limit = std::max<size_t>(1, Word.size() / 3);
  std::string Best;
  size_t BestDistance = Limit + 1;
  for (const std::string &Candidate : Candidates) {
    const size_t Distance = EditDistance(Word, Candidate);
    if (Distance < BestDistance) {
      Best = Candidate;
      BestDistance = Distance;
    }
  }
  return Best;
}

std::string DidYouMean(std::string_view Word, const std::vector<std::string> &Candidates) {
  const std::string Closest = ClosestName(Word, Candidates);
  return Closest.empty() ? std::string() : "; did you mean " + Closest + "?";
}

}  // namespace quarn::emu::cli
