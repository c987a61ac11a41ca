#include "cli/grouped.h"

namespace korvex {

std::string FormatGrouped(int64_t value) {
  if (value <= 0) return "0";
  char text[32];
  char* p = text + sizeof text;
  int digits = 0;
  while (value > 0) {
    if (digits > 0 && digits % 3 == 0) *--p = '\'';
    *--p = static_cast<char>('0' + value % 10);
    value /= 10;
    ++digits;
  }
  return std::string(p, text + sizeof text);
}

}  // namespace korvex
