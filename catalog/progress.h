// The progress display: a percentage on the console line and in the title.
#ifndef KORVEX_CATALOG_PROGRESS_H_
#define KORVEX_CATALOG_PROGRESS_H_

#include <stdint.h>

#include <string>

namespace korvex {

class Console;

extern const char kTitleSuffix[];  // "... - KORVEX v3.0m"

// The title of a stage, for example "Scan" gives "Scan... - KORVEX v3.0m".
std::string StageTitle(const char* stage);

// Writes four backspaces, the percentage right-aligned in three columns and
// "%", flushes, and sets the title "{<percent>%}<verb>... - KORVEX v3.0m".
void ShowProgress(Console& console, int64_t percent, const char* verb);

// count * 100 / total in 64 bits; 0 when total is 0.
int64_t Percentage(uint64_t count, uint64_t total);

}  // namespace korvex

#endif  // KORVEX_CATALOG_PROGRESS_H_
