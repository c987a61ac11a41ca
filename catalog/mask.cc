#include "catalog/mask.h"

#include <string.h>

namespace korvex {

bool MatchMaskAt(const char* name, const char* mask, int namePos, int maskPos) {
  for (;;) {
    if (maskPos < 0) return namePos < 0 || name[namePos] == '\\';
    if (namePos < 0) return false;
    char c = mask[maskPos];
    if (c == '?' || c == name[namePos]) {
      --namePos;
      --maskPos;
      continue;
    }
    if (c != '*') return false;
    for (int k = namePos; k >= -1; --k) {
      if (MatchMaskAt(name, mask, k, maskPos - 1)) return true;
    }
    return false;
  }
}

int CompareMask(const char* name, const char* mask) {
  int namePos = static_cast<int>(strlen(name)) - 1;
  int maskPos = static_cast<int>(strlen(mask)) - 1;
  return MatchMaskAt(name, mask, namePos, maskPos) ? 0 : 1;
}

}  // namespace korvex
