#include "SourceLines.h"

#include <gtest/gtest.h>

#include <fstream>

namespace quarn::test {

unsigned LineOf(const std::string &Source, const std::string &Text, const std::string &Anchor) {
  std::ifstream File(std::string(QUARN_SOURCE_DIR) + "/" + Source);
  if (!File) {
    ADD_FAILURE() << "cannot read " << Source;
    return 0;
  }
  std::string Line;
  bool Anchored = Anchor.empty();
  for (unsigned Number = 1; std::getline(File, Line); Number++) {
    Anchored = Anchored || Line.find(Anchor) != std::string::npos;
    if (Anchored && Line.find(Text) != std::string::npos) return Number;
  }
  ADD_FAILURE() << Source << ": no line holds \"" << Text << "\""
                << (Anchor.empty() ? std::string() : " after \"" + Anchor + "\"");
  return 0;
}

std::string CheckLine(const std::string &Source, const std::string &Check, const std::string &Description,
                      const std::string &Anchor) {
  const std::string Stem = Source.substr(0, Source.rfind('.'));
  return Stem + "(" + std::to_string(LineOf(Source, Check, Anchor)) + "): " + Description;
}

}  // namespace quarn::test
