#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "catalog/mask.h"
#include "catalog/wildcard.h"

namespace korvex {
namespace {

// The next field of a row: "" is empty, %XX the byte XX.
std::string Field(std::istream& in) {
  std::string word, out;
  in >> word;
  for (size_t i = 0; i < word.size() && word != "\"\""; i += word[i] == '%' ? 3 : 1) {
    out += word[i] != '%' ? word[i] : static_cast<char>(std::stoul(word.substr(i + 1, 2), 0, 16));
  }
  return out;
}

// One row a line of catalog/testdata/match.txt, which says how.
TEST(Match, KnownAnswers) {
  std::ifstream data("catalog/testdata/match.txt");
  ASSERT_TRUE(data.is_open());
  int rows = 0;
  for (std::string line; std::getline(data, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    std::string kind, expected;
    in >> kind;
    const std::string text = Field(in), pattern = Field(in);
    in >> expected;
    const bool got = kind == "mask"   ? CompareMask(text.c_str(), pattern.c_str()) == 0
                     : kind == "wild" ? Wildcard(pattern).Match(text.data(), text.size())
                                      : Wildcard(pattern).matchesPath();
    EXPECT_EQ(expected == "yes", got) << line;
    if (kind == "wild") {
      // The scan of a block of names never hides a match: two copies, in turn.
      const std::string block = "x" + text + '\0' + text;
      const Wildcard wildcard(pattern);
      WildcardScan scan(wildcard, reinterpret_cast<const unsigned char*>(block.data()) + block.size());
      for (size_t at : {size_t{1}, text.size() + 2}) {
        EXPECT_EQ(got, scan.MayMatch(&block[at], text.size()) && got) << line << " at " << at;
      }
    }
    ++rows;
  }
  EXPECT_GT(rows, 200);
}

}  // namespace
}  // namespace korvex
