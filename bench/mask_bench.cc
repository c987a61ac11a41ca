#include <benchmark/benchmark.h>

#include <string>

#include "catalog/mask.h"

namespace korvex {
namespace {

// Names as the scanner passes them: upper-cased catalog paths.
const char* const kNames[] = {
    "\\DOCS\\README.TXT",        "\\DOCS\\MANUAL\\CHAPTER01.DOC",
    "\\SETUP.EXE",               "\\DATA\\ARCHIVE\\2001\\BACKUP.ZIP",
    "\\MUSIC\\ALBUM\\TRACK.MP3", "\\FILE_ID.DIZ",
    "\\SRC\\KORVEX\\MAIN.CPP",   "\\A\\VERY\\DEEP\\TREE\\OF\\DIRECTORIES\\NOTES.NFO",
};

void MaskOverNames(benchmark::State& state, const char* mask) {
  for (auto _ : state) {
    int matches = 0;
    for (const char* name : kNames) matches += CompareMask(name, mask) == 0;
    benchmark::DoNotOptimize(matches);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(sizeof kNames / sizeof kNames[0]));
}

BENCHMARK_CAPTURE(MaskOverNames, Extension, "*.TXT");
BENCHMARK_CAPTURE(MaskOverNames, Literal, "FILE_ID.DIZ");
BENCHMARK_CAPTURE(MaskOverNames, Question, "????????.???");
BENCHMARK_CAPTURE(MaskOverNames, TwoStars, "*.*");
BENCHMARK_CAPTURE(MaskOverNames, StarInside, "*\\*.NFO");

// "B*A*A..." against a long run of 'A': matching backwards, every star
// tries every split before the 'B' fails, so the work grows with the name
// length to the power of the number of stars.
void MaskStarsOnLongName(benchmark::State& state) {
  std::string mask = "B";
  for (int64_t i = 0; i < state.range(0); ++i) mask += "*A";
  const std::string name(64, 'A');
  for (auto _ : state) benchmark::DoNotOptimize(CompareMask(name.c_str(), mask.c_str()));
}
BENCHMARK(MaskStarsOnLongName)->DenseRange(1, 4);

}  // namespace
}  // namespace korvex
