#include "catalog/progress.h"

#include <stdio.h>

#include "korvex_version.h"
#include "platform/console.h"

namespace korvex {

const char kTitleSuffix[] = "... - KORVEX v" KORVEX_VERSION;

std::string StageTitle(const char* stage) { return std::string(stage) + kTitleSuffix; }

void ShowProgress(Console& console, int64_t percent, const char* verb) {
  char text[32];
  int n = snprintf(text, sizeof text, "\b\b\b\b%3lld%%", static_cast<long long>(percent));
  console.Write(Stream::kOut, text, static_cast<size_t>(n));
  console.Flush(Stream::kOut);
  console.SetTitle("{" + std::to_string(percent) + "%}" + StageTitle(verb));
}

int64_t Percentage(uint64_t count, uint64_t total) {
  return total == 0 ? 0 : static_cast<int64_t>(count * 100 / total);
}

}  // namespace korvex
