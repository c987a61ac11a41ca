#include "catalog/mask.h"

#include <gtest/gtest.h>

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
