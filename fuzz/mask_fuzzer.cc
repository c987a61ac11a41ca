// CompareMask against a table-driven matcher of the same rules: the input
// is a mask, a 0x00, and a name.  Masks stay as short as the command line
// makes them: the matcher's cost still grows with the number of '*'.
#include <string>
#include <vector>

#include "catalog/mask.h"
#include "fuzz/harness.h"

namespace korvex {
namespace fuzz {
namespace {

const size_t kMaxMask = 32;
const int kMaxStars = 8;
const size_t kMaxName = 512;

// match(i, j): mask bytes 0..j match name bytes 0..i, -1 meaning none, by
// the backward rules; filled for growing i and j so no recursion is needed.
class ReferenceMatcher {
 public:
  ReferenceMatcher(const std::string& name, const std::string& mask)
      : name_(name), mask_(mask), width_(name.size() + 1),
        table_(width_ * (mask.size() + 1)) {
    for (int j = -1; j < static_cast<int>(mask.size()); ++j) {
      for (int i = -1; i < static_cast<int>(name.size()); ++i) At(i, j) = Decide(i, j);
    }
  }
  bool Matches() const {
    return At(static_cast<int>(name_.size()) - 1, static_cast<int>(mask_.size()) - 1);
  }

 private:
  bool Decide(int i, int j) const {
    if (j < 0) return i < 0 || name_[i] == '\\';
    if (i < 0) return false;
    char c = mask_[j];
    if (c == '?' || c == name_[i]) return At(i - 1, j - 1);
    if (c != '*') return false;
    for (int k = i; k >= -1; --k) {
      if (At(k, j - 1)) return true;
    }
    return false;
  }
  char& At(int i, int j) { return table_[(j + 1) * width_ + (i + 1)]; }
  char At(int i, int j) const { return table_[(j + 1) * width_ + (i + 1)]; }

  const std::string& name_;
  const std::string& mask_;
  size_t width_;
  std::vector<char> table_;
};

}  // namespace
}  // namespace fuzz
}  // namespace korvex

int korvex::fuzz::MaskTarget(const uint8_t* data, size_t size) {
  using namespace korvex;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  if (split == std::string::npos || split > kMaxMask) return 0;
  const std::string mask = input.substr(0, split);
  std::string name = input.substr(split + 1, kMaxName);
  name = name.substr(0, name.find('\0'));
  int stars = 0;
  for (char c : mask) stars += c == '*';
  if (stars > kMaxStars) return 0;

  const int result = CompareMask(name.c_str(), mask.c_str());
  Require(result == 0 || result == 1, "CompareMask answers 0 or 1");
  Require((result == 0) == ReferenceMatcher(name, mask).Matches(),
          "CompareMask agrees with the reference matcher");
  return 0;
}
