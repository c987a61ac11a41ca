#include "catalog/mask.h"

#include <string.h>

#include <vector>

namespace korvex {
namespace {

// Positions (name, mask) already known not to match.  Without it a mask
// with many stars takes time exponential in their number.
class Failures {
 public:
  Failures(int namePos, int maskPos)
      : width_(maskPos + 1), known_(static_cast<size_t>(namePos + 2) * (maskPos + 1)) {}
  bool Known(int namePos, int maskPos) const { return known_[Index(namePos, maskPos)] != 0; }
  void Add(int namePos, int maskPos) { known_[Index(namePos, maskPos)] = 1; }

 private:
  size_t Index(int namePos, int maskPos) const {
    return static_cast<size_t>(namePos + 1) * width_ + static_cast<size_t>(maskPos);
  }
  size_t width_;
  std::vector<unsigned char> known_;
};

bool Match(const char* name, const char* mask, int namePos, int maskPos, Failures* failures) {
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
    // The star stands for nothing first, then for one more byte each try.
    for (int k = namePos; k >= -1; --k) {
      if (failures != nullptr && maskPos > 0 && failures->Known(k, maskPos - 1)) continue;
      if (Match(name, mask, k, maskPos - 1, failures)) return true;
      if (failures != nullptr && maskPos > 0) failures->Add(k, maskPos - 1);
    }
    return false;
  }
}

}  // namespace

bool MatchMaskAt(const char* name, const char* mask, int namePos, int maskPos) {
  int stars = 0;
  for (int i = 0; i <= maskPos; ++i) stars += mask[i] == '*';
  if (stars < 2) return Match(name, mask, namePos, maskPos, nullptr);
  Failures failures(namePos, maskPos);
  return Match(name, mask, namePos, maskPos, &failures);
}

int CompareMask(const char* name, const char* mask) {
  int namePos = static_cast<int>(strlen(name)) - 1;
  int maskPos = static_cast<int>(strlen(mask)) - 1;
  return MatchMaskAt(name, mask, namePos, maskPos) ? 0 : 1;
}

}  // namespace korvex
