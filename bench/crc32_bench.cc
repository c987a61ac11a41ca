#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "catalog/crc32.h"
#include "catalog/crc32_internal.h"

namespace korvex {
namespace {

void Crc32(benchmark::State& state, crc32::Level level) {
  if (!crc32::IsSupported(level)) {
    state.SkipWithError("not supported on this CPU or build");
    return;
  }
  std::vector<unsigned char> buffer(static_cast<size_t>(state.range(0)));
  for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<unsigned char>(i * 131 + 7);
  uint32_t crc = 0;
  for (auto _ : state) {
    crc = crc32::Extend(level, crc, buffer.data(), buffer.size());
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(buffer.size()));
}

// 256 KiB is the read block of the file passes; the small sizes show the
// cost of starting and finishing a fold.
const int kRegistered = [] {
  for (crc32::Level level : crc32::kLevels) {
    std::string name = std::string("Crc32/") + crc32::LevelName(level);
    benchmark::RegisterBenchmark(name.c_str(), Crc32, level)
        ->Arg(64)
        ->Arg(1024)
        ->Arg(16 * 1024)
        ->Arg(256 * 1024);
  }
  return 0;
}();

}  // namespace
}  // namespace korvex
