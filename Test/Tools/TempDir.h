// A directory of a test's own, for files a command writes or reads.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

/// A directory of the test's own, removed at its end: runs of the suite side by side never
/// share a file.
class TempDir {
 public:
  TempDir() {
    std::string Template = (std::filesystem::temp_directory_path() / "quarn-emu-test-XXXXXX").string();
    if (mkdtemp(Template.data()) == nullptr) throw std::runtime_error("cannot create a temporary directory");
    Path_ = Template;
  }
  ~TempDir() {
    std::error_code Ignored;
    std::filesystem::remove_all(Path_, Ignored);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  std::filesystem::path Path(const std::string &Name) const { return Path_ / Name; }
  /// Writes Text to the file Name in the directory.
  std::filesystem::path File(const std::string &Name, const std::string &Text) const {
    std::ofstream(Path(Name), std::ios::binary) << Text;
    return Path(Name);
  }

 private:
  std::filesystem::path Path_;
};
