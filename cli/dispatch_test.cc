#include <gtest/gtest.h>

#include "cli/arguments.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

using test::RunArgs;
using test::RunResult;

const char kInit[] = "Init... - KORVEX v3.0m";

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

TEST(Dispatch, UnknownCommandWordsFailWithUsageAndKeepTheInitTitle) {
  for (const char* word : {"create", "C", "", "x", "cc", "L", "--HELP", "-help", "-V", "help"}) {
    RunResult r = RunArgs({word, "a.dir"});
    EXPECT_EQ(1, r.code) << word;
    EXPECT_EQ("", r.out) << word;
    EXPECT_NE(std::string::npos, r.err.find("Usage:")) << word;
    EXPECT_EQ((std::vector<std::string>{"<save>", kInit}), r.titles) << word;
  }
}

// Where paths use '/', an absolute path is a name; "--" still ends options.
TEST(Dispatch, AbsolutePathsAreNames) {
  const bool slashPaths = kPathSeparator == '/';
  struct Case {
    std::vector<std::string> args;  // after the command word
    bool optionFirst;
  };
  const Case cases[] = {
      {{"/tmp/cats/weird.dir"}, !slashPaths},
      {{"//x.dir"}, !slashPaths},
      {{"/x.dir"}, true},
      {{"/fast"}, true},
      {{"/store=*.txt/x"}, true},
      {{"/mount=/media/cd/"}, true},
      {{"/mount=/media/cd"}, true},
      {{"--", "/x.dir"}, false},
      {{"--", "/tmp/cats/weird.dir"}, false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"korvex", "l"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    Arguments parsed(static_cast<int>(argv.size()), argv.data());
    const char* option = parsed.NextOption();
    EXPECT_EQ(c.optionFirst, option != nullptr) << c.args.back();
    if (!c.optionFirst) {
      EXPECT_EQ(c.args.back(), parsed.Name(0));
    }
  }
  EXPECT_NE(std::string::npos, RunArgs({}).err.find("Write -- before a first name"));
}

TEST(Dispatch, BannerIsOneLineOnStandardError) {
  RunResult r = RunArgs({"l"});
  size_t eol = r.err.find('\n');
  ASSERT_NE(std::string::npos, eol);
  EXPECT_EQ(r.err.size(), eol + 1);
  EXPECT_TRUE(StartsWith(r.err, "KORVEX v3.0"));
}

TEST(Dispatch, HelpAndVersionGoToStandardOutputAndSucceed) {
  const struct {
    const char* word;
    const char* firstLine;
  } cases[] = {
      {"--help", "Usage: korvex COMMAND [/OPTION...] NAME...\n"},
      {"-h", "Usage: korvex COMMAND [/OPTION...] NAME...\n"},
      {"--version", "korvex 3.0m\n"},
  };
  for (const auto& c : cases) {
    RunResult r = RunArgs({c.word, "ignored"});
    EXPECT_EQ(0, r.code) << c.word;
    EXPECT_TRUE(StartsWith(r.out, c.firstLine)) << r.out;
    EXPECT_TRUE(StartsWith(r.err, "KORVEX v3.0m")) << c.word;
    EXPECT_EQ(r.err.find('\n') + 1, r.err.size()) << "only the banner on standard error";
    EXPECT_EQ((std::vector<std::string>{"<save>", kInit, "<restore>"}), r.titles) << c.word;
  }
  EXPECT_NE(std::string::npos, RunArgs({"--version"}).out.find("\nCopyright (c) "));
  std::string help = RunArgs({"-h"}).out;
  for (const char* part : {"\nkorvex c ", "\nkorvex l ", "\nkorvex e ", "\nExit codes:\n",
                           "man korvex"}) {
    EXPECT_NE(std::string::npos, help.find(part)) << part;
  }
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
