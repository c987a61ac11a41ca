#include "catalog/mask.h"

#include <string.h>

#include <gtest/gtest.h>

#include <string>

namespace korvex {

struct MaskCase {
  const char* name;
  const char* mask;
  int result;
};

TEST(Mask, MatchesFromTheEndBackwards) {
  const MaskCase cases[] = {
      {"README.TXT", "*.TXT", 0},
      {"A.TXT", "*.TXT", 0},
      {".TXT", "*.TXT", 1},  // '*' reached with no byte left
      {"A", "*", 0},
      {"", "*", 1},
      {"A.B", "*.*", 0},
      {"A.", "*.*", 0},
      {"README", "*.*", 1},
      {"A", "A*", 0},
      {"A", "*A*", 1},
      {"DOCS\\README.TXT", "README.TXT", 0},
      {"DOCS\\README.TXT", "EADME.TXT", 1},
      {"X", "?", 0},
      {"DIR\\X", "?", 0},
      {"XY", "?", 1},
      {"A\\B", "A?B", 0},
      {"", "", 0},
      {"SUB\\", "", 0},
      {"A", "", 1},
      {"README.TXT", "readme.txt", 1},
      {"SUB\\", "SUB\\", 0},
      {"SUB\\A.TXT", "SUB\\", 1},
      {"SUB\\", "*", 0},
      {"A*B", "A*B", 0},  // a '*' facing a '*' matches literally
      {"AXB", "A*B", 0},
      {"AB", "A*B", 0},   // "*" may stand for nothing when a byte is left
      {"X\\AB", "*B", 0},
      {"\xE4.TXT", "*.TXT", 0},
  };
  for (const MaskCase& c : cases) {
    EXPECT_EQ(c.result, CompareMask(c.name, c.mask)) << c.name << " vs " << c.mask;
  }
}

TEST(Mask, MatchAtPositions) {
  EXPECT_TRUE(MatchMaskAt("ABC", "AB", 1, 1));
  EXPECT_FALSE(MatchMaskAt("ABC", "AB", 2, 1));
  EXPECT_TRUE(MatchMaskAt("ABC", "", -1, -1));
  EXPECT_FALSE(MatchMaskAt("ABC", "*", -1, 0));
}

}  // namespace korvex

namespace korvex {

// The same answers as the plain backward match, for masks with many stars
// too, and without exponential time.
bool Reference(const char* name, const char* mask, int n, int m) {
  if (m < 0) return n < 0 || name[n] == '\\';
  if (n < 0) return false;
  if (mask[m] == '?' || mask[m] == name[n]) return Reference(name, mask, n - 1, m - 1);
  if (mask[m] != '*') return false;
  for (int k = n; k >= -1; --k) {
    if (Reference(name, mask, k, m - 1)) return true;
  }
  return false;
}

TEST(Mask, ManyStarsGiveTheSameAnswers) {
  const char* names[] = {"", "A", "AB", "A\\B", "ABAB", "X\\ABA", "AA\\BB\\AB", "*A*"};
  const char* masks[] = {"", "*", "**", "*A*", "A**B", "*\\*", "*?*", "**A*B*", "?*?*?", "*A*B*A*"};
  for (const char* name : names) {
    for (const char* mask : masks) {
      bool expected = Reference(name, mask, static_cast<int>(strlen(name)) - 1,
                                static_cast<int>(strlen(mask)) - 1);
      EXPECT_EQ(expected ? 0 : 1, CompareMask(name, mask)) << name << " vs " << mask;
    }
  }
  std::string longName(300, 'A');
  EXPECT_EQ(1, CompareMask(longName.c_str(), "B*A*A*A*A*A*A*A*A*A*A*A*A"));
  EXPECT_EQ(0, CompareMask(longName.c_str(), "A*A*A*A*A*A*A*A*A*A*A*A*A"));
}

}  // namespace korvex
