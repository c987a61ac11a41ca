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
    ++rows;
  }
  EXPECT_GT(rows, 100);
}

}  // namespace
}  // namespace korvex
