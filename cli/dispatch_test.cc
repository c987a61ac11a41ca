#include <gtest/gtest.h>

#include "cli/cli_test_util.h"

namespace korvex {
namespace {

using test::RunArgs;
using test::RunResult;

const char kInit[] = "Init... - KORVEX v3.0m";

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

TEST(Dispatch, UnknownCommandWordsFailWithUsageAndKeepTheInitTitle) {
  for (const char* word : {"create", "C", "", "x", "cc", "L"}) {
    RunResult r = RunArgs({word, "a.dir"});
    EXPECT_EQ(1, r.code) << word;
    EXPECT_EQ("", r.out) << word;
    EXPECT_NE(std::string::npos, r.err.find("Usage:")) << word;
    EXPECT_EQ((std::vector<std::string>{"<save>", kInit}), r.titles) << word;
  }
}

TEST(Dispatch, BannerIsOneLineOnStandardError) {
  RunResult r = RunArgs({"l"});
  size_t eol = r.err.find('\n');
  ASSERT_NE(std::string::npos, eol);
  EXPECT_EQ(r.err.size(), eol + 1);
  EXPECT_TRUE(StartsWith(r.err, "KORVEX v3.0"));
}

struct BadArgsCase {
  std::vector<std::string> args;
  int code;
  std::string out;
  const char* commandTitle;
};

TEST(Dispatch, BadOptionsAndMissingNamesRestoreTheSavedTitle) {
  const BadArgsCase cases[] = {
      {{"c"}, 2, " Cmd::Create\nNot all names specified.\n", "Scan... - KORVEX v3.0m"},
      {{"c", "/fast"}, 2,
       " Cmd::Create\n + CRC32 calculation overriden (dir will not contains CRC32 "
       "information)\nNot all names specified.\n",
       "Scan... - KORVEX v3.0m"},
      {{"c", "/FAST", "x"}, 1, " Cmd::Create\nUnknown parameter: /FAST\n",
       "Scan... - KORVEX v3.0m"},
      {{"c", "/store", "x"}, 1, " Cmd::Create\nUnknown parameter: /store\n",
       "Scan... - KORVEX v3.0m"},
      {{"l"}, 2, " Cmd::List\nNot all names specified.\n", "List... - KORVEX v3.0m"},
      {{"l", "/fast"}, 2,
       " Cmd::List\n + fast processing (brief info only)\nNot all names specified.\n",
       "List... - KORVEX v3.0m"},
      {{"l", "/FAST", "x.dir"}, 1, " Cmd::List\nUnknown parameter: /FAST\n",
       "List... - KORVEX v3.0m"},
      {{"e"}, 2, " Cmd::Extract\nNot all names specified.\n", "Extract... - KORVEX v3.0m"},
      {{"e", "x.dir"}, 2, " Cmd::Extract\nNot all names specified.\n",
       "Extract... - KORVEX v3.0m"},
      {{"e", "/mount=", "/overwrite", "x.dir"}, 2,
       " Cmd::Extract\n + mounting ()\n + overwrite (always write new file)\n"
       "Not all names specified.\n",
       "Extract... - KORVEX v3.0m"},
      {{"e", "/fast", "/mountx", "x.dir", "p"}, 1,
       " Cmd::Extract\n + fast processing (no CRC integrity check)\n"
       "Unknown parameter: /mountx\n",
       "Extract... - KORVEX v3.0m"},
  };
  for (const BadArgsCase& c : cases) {
    RunResult r = RunArgs(c.args);
    EXPECT_EQ(c.code, r.code) << c.args[0];
    EXPECT_EQ(c.out, r.out);
    EXPECT_EQ((std::vector<std::string>{"<save>", kInit, c.commandTitle, "<restore>"}),
              r.titles);
  }
}

}  // namespace
}  // namespace korvex
