#include "catalog/wildcard.h"

#include <gtest/gtest.h>

#include <string>

namespace korvex {
namespace {

struct Case {
  const char* mask;
  const char* text;
  bool matches;
};

const Case kCases[] = {
    {"*zlib*", "zlib.h", true},           // '*' stands for the empty run too
    {"*ZLIB*", "libzlib", true},
    {"*.txt", "README.TXT", true},        // ASCII letters in either case
    {"*.txt", ".txt", true},
    {"*.*", "README", false},
    {"*", "", true},
    {"", "", true},
    {"", "a", false},
    {"?", "x", true},
    {"?", "xy", false},
    {"a?c", "abc", true},
    {"a?c", "ac", false},
    {"a*b*c", "axxbyyc", true},
    {"a*b*c", "axxbyy", false},
    {"*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},  // no blow-up
    {"README.TXT", "XREADME.TXT", false},  // the whole text, not a suffix
    {"DOCS\\*", "DOCS\\SUB\\A.TXT", true}, // '*' crosses separators
    {"DOCS/*", "DOCS\\A", true},           // '/' is read as '\'
    {"*\\README.TXT", "README.TXT", false},
    {"*\\README.TXT", "A\\B\\readme.txt", true},
    {"\xE9*", "\xC9X", false},            // only ASCII letters fold
    {"\xE9*", "\xE9X", true},
};

TEST(Wildcard, Table) {
  for (const Case& c : kCases) {
    Wildcard w(c.mask);
    EXPECT_EQ(c.matches, w.Match(c.text, std::string(c.text).size()))
        << "mask " << c.mask << " text " << c.text;
  }
}

TEST(Wildcard, PathMasksAreThoseWithASeparator) {
  EXPECT_FALSE(Wildcard("*.TXT").matchesPath());
  EXPECT_TRUE(Wildcard("DOCS\\*").matchesPath());
  EXPECT_TRUE(Wildcard("*/X").matchesPath());
}

}  // namespace
}  // namespace korvex
