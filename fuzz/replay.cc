// Runs a fuzz target over saved inputs without libFuzzer, so every build can
// replay the corpora: each argument is an input file or a directory of them.
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (!fs::is_directory(argv[i])) inputs.push_back(argv[i]);
    for (const auto& e : fs::is_directory(argv[i]) ? fs::directory_iterator(argv[i])
                                                   : fs::directory_iterator()) {
      inputs.push_back(e.path());
    }
  }
  std::sort(inputs.begin(), inputs.end());
  for (const fs::path& p : inputs) {
    std::ifstream in(p, std::ios::binary);
    // A copy of exactly the input's size, so reads past it are caught.
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(data.data(), data.size());
  }
  printf("replayed %zu inputs\n", inputs.size());
  return inputs.empty() ? 1 : 0;
}
