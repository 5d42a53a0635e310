// Runs a fuzz target over the files named on the command line (regression inputs and
// seeds), for builds without the fuzzing engine.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size);

int main(int Argc, char **Argv) {
  for (int Index = 1; Index < Argc; Index++) {
    std::ifstream File(Argv[Index], std::ios::binary);
    if (!File) {
      std::fprintf(stderr, "cannot read %s\n", Argv[Index]);
      return 2;
    }
    std::vector<uint8_t> Bytes((std::istreambuf_iterator<char>(File)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(Bytes.data(), Bytes.size());
  }
  std::printf("%d inputs passed\n", Argc - 1);
  return 0;
}
