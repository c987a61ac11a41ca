#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "tests/support/testutil.h"

namespace korvex {
namespace {

using test::RunResult;
using test::RunWith;

class ExtractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("src/A.TXT", "stored text");
    dir.Write("src/DOCS/B.BIN", "medium bytes");
    dir.Write("src/DOCS/EMPTY", "");
    dir.Write("src/DOCS/BLOCK", std::string(262144, 'k'));
    dir.Write("src/\xE4.TXT", "umlaut");
    dir.MakeDir("out");
    ASSERT_EQ(0, Run({"c", "/store=*.TXT", "--", dir / "cd", dir / "src"}).code);
    ASSERT_EQ(0, Run({"c", "/fast", "/store=*.TXT", "--", dir / "nocrc", dir / "src"}).code);
  }

  RunResult Run(std::vector<std::string> args) { return RunWith(env, args); }
  // Runs "e" with options on catalog cd.dir and target directory out/.
  RunResult Extract(std::vector<std::string> options, const std::string& wanted,
                    const std::string& catalog = "cd.dir") {
    std::vector<std::string> args = {"e"};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {"--", dir / catalog, Wanted(wanted), dir / "out/"});
    return Run(args);
  }
  // Only the POSIX build reads '/' in a wanted path as '\'.
  static std::string Wanted(std::string path) {
#ifdef _WIN32
    std::replace(path.begin(), path.end(), '/', '\\');
#endif
    return path;
  }
  // The result line after the "extracting" line's progress characters.
  static std::string Result(const RunResult& r) {
    size_t at = r.out.find_last_of("\b.");
    return r.out.substr(at + 1);
  }
  std::string Mount() { return "/mount=" + dir.path() + "/src/"; }

  test::TempDir dir;
  test::FaultEnv env;
};

TEST_F(ExtractTest, ExtractsStoredContentsInBothModes) {
  RunResult r = Extract({}, "a.txt");
  EXPECT_EQ(0, r.code);
  EXPECT_EQ(" Cmd::Extract\nextracting A.TXT...xxx%\b\b\b\b  0%\b\b\b\bOk (extract: check by CRC32)\n",
            r.out);
  EXPECT_EQ("stored text", test::ReadFile(dir / "out/A.TXT"));
  EXPECT_EQ("{xxx%%}Extr... - KORVEX v3.0m", r.titles[3]);
  EXPECT_EQ("<restore>", r.titles.back());
  RunResult fast = Extract({"/fast", "/overwrite"}, "A.TXT");
  EXPECT_EQ(0, fast.code);
  EXPECT_EQ(" Cmd::Extract\n + fast processing (no CRC integrity check)\n"
            " + overwrite (always write new file)\n"
            "extracting A.TXT...xxx%\b\b\b\bOk (extract: no check/size only, overriden by '/fast')\n",
            fast.out);
}

TEST_F(ExtractTest, ExistingTargetIsCheckedNotReplaced) {
  dir.Write("out/A.TXT", "stored text");
  RunResult same = Extract({}, "A.TXT");
  EXPECT_EQ(0, same.code);
  EXPECT_EQ("extracting A.TXT...xxx%\b\b\b\b  0%\b\b\b\bOk (check: check by CRC32)\n",
            same.out.substr(same.out.find("extracting")));
  EXPECT_EQ("{xxx%%}Check... - KORVEX v3.0m", same.titles[3]);
  dir.Write("out/A.TXT", "STORED TEXT");
  RunResult differs = Extract({}, "A.TXT");
  EXPECT_EQ(3, differs.code);
  EXPECT_EQ("Fail (check: check by CRC32)\n", Result(differs));
  EXPECT_EQ("STORED TEXT", test::ReadFile(dir / "out/A.TXT"));
  EXPECT_EQ("Ok (check: no check/size only, overriden by '/fast')\n",
            Result(Extract({"/fast"}, "A.TXT")));
  dir.Write("out/A.TXT", "short");
  EXPECT_EQ("Fail (check: no check/size only, overriden by '/fast')\n",
            Result(Extract({"/fast"}, "A.TXT")));
  RunResult nocrc = Extract({}, "A.TXT", "nocrc.dir");
  EXPECT_EQ(3, nocrc.code);
  EXPECT_NE(std::string::npos,
            nocrc.out.find("Warning: File has no CRC information, check & mount cannot be checked.\n"));
  EXPECT_EQ("Fail (check: no check/size only, due struct restrictions)\n", Result(nocrc));
  RunResult replaced = Extract({"/overwrite"}, "A.TXT");
  EXPECT_EQ(0, replaced.code);
  EXPECT_EQ("stored text", test::ReadFile(dir / "out/A.TXT"));
}

TEST_F(ExtractTest, UnreadableTargetFailsTheCheck) {
  dir.Write("out/A.TXT", "stored text");
  env.failReadOf = "out/A.TXT";
  RunResult r = Extract({}, "A.TXT");
  EXPECT_EQ(3, r.code);
  EXPECT_EQ("Fail (check: cannot read target)\n", Result(r));
}

TEST_F(ExtractTest, MountCopiesAndVerifies) {
  RunResult r = Extract({Mount()}, "docs/b.bin");
  EXPECT_EQ(0, r.code);
  EXPECT_EQ("extracting DOCS\\B.BIN......%\b\b\b\b  0%\b\b\b\bOk (mount: check by CRC32)\n",
            r.out.substr(r.out.find("extracting")));
  EXPECT_EQ("medium bytes", test::ReadFile(dir / "out/B.BIN"));
  RunResult empty = Extract({Mount()}, "DOCS\\EMPTY");
  EXPECT_EQ("extracting DOCS\\EMPTY......%\b\b\b\bOk (mount: check by CRC32)\n",
            empty.out.substr(empty.out.find("extracting")));
  RunResult block = Extract({Mount()}, "DOCS/BLOCK");
  EXPECT_EQ("...%\b\b\b\b  0%\b\b\b\b100%\b\b\b\bOk (mount: check by CRC32)\n",
            block.out.substr(block.out.find("...%")));
  EXPECT_EQ(262144u, test::ReadFile(dir / "out/BLOCK").size());
  EXPECT_EQ("Ok (mount: no check/size only, overriden by '/fast')\n",
            Result(Extract({Mount(), "/fast", "/overwrite"}, "DOCS/B.BIN")));
  EXPECT_EQ("Ok (mount: no check/size only, due struct restrictions)\n",
            Result(Extract({Mount(), "/overwrite"}, "DOCS/B.BIN", "nocrc.dir")));
}

TEST_F(ExtractTest, MountFailures) {
  RunResult none = Extract({"/mount="}, "DOCS/B.BIN");
  EXPECT_EQ(4, none.code);
  EXPECT_NE(std::string::npos, none.out.find(" + mounting ()\n"));
  EXPECT_EQ("Fail (mount: unspecified)\n", Result(none));
  EXPECT_EQ(4, Extract({}, "DOCS/B.BIN").code);
  RunResult missing = Extract({"/mount=" + dir.path() + "/nowhere/"}, "DOCS/B.BIN");
  EXPECT_EQ(3, missing.code);
  EXPECT_EQ("Fail (mount: unable find file)\n", Result(missing));
  dir.Write("src/DOCS/B.BIN", "other length");
  dir.Write("src/DOCS/B.BIN", "longer than before");
  RunResult size = Extract({Mount()}, "DOCS/B.BIN");
  EXPECT_EQ(3, size.code);
  EXPECT_EQ("Fail (mount: size mismatched)\n", Result(size));
  dir.Write("src/DOCS/B.BIN", "MEDIUM BYTES");
  RunResult crc = Extract({Mount()}, "DOCS/B.BIN");
  EXPECT_EQ(3, crc.code);
  EXPECT_EQ("Fail (mount: check by CRC32)\n", Result(crc));
  EXPECT_FALSE(test::Exists(dir / "out/B.BIN"));
  env.failWriteAfter = 0;
  dir.Write("src/DOCS/B.BIN", "medium bytes");
  RunResult write = Extract({Mount()}, "DOCS/B.BIN");
  EXPECT_EQ(4, write.code);
  EXPECT_EQ("Fail (mount: cannot write target)\n", Result(write));
  env.failWriteAfter = -1;
  env.failReadOf = std::string("src/DOCS") + kPathSeparator + "B.BIN";
  RunResult read = Extract({Mount(), "/overwrite"}, "DOCS/B.BIN");
  EXPECT_EQ(4, read.code);
  EXPECT_EQ("Fail (mount: cannot read data)\n", Result(read));
}

TEST_F(ExtractTest, ExtractionFailures) {
  env.failCreate = "out/A.TXT";
  RunResult open = Extract({}, "A.TXT");
  EXPECT_EQ(4, open.code);
  EXPECT_EQ("Fail (extract: cannot open target)\n", Result(open));
  env.failCreate.clear();
  env.failWriteAfter = 0;
  RunResult write = Extract({}, "A.TXT");
  EXPECT_EQ(4, write.code);
  EXPECT_EQ("Fail (extract: cannot write target)\n", Result(write));
}

TEST_F(ExtractTest, FindingTheEntry) {
  RunResult notFound = Extract({}, "\\A.TXT");
  EXPECT_EQ(3, notFound.code);
  EXPECT_EQ(" Cmd::Extract\nErr: file '\\A.TXT' has not found in dir\n", notFound.out);
  EXPECT_EQ("Extract... - KORVEX v3.0m", notFound.titles.back());
  RunResult noCrc = Extract({}, "nothing", "nocrc.dir");
  EXPECT_EQ(3, noCrc.code);
  EXPECT_EQ("<restore>", noCrc.titles.back());
  // An option after the first name is a name.
  RunResult option = Run({"e", "--", dir / "cd.dir", "/fast"});
  EXPECT_EQ(3, option.code);
  EXPECT_NE(std::string::npos, option.out.find("fast' has not found in dir\n"));
  EXPECT_EQ(0, Extract({}, "\xE4.txt").code);
  EXPECT_EQ(3, Extract({}, "\xC4.TXT").code);  // bytes above 0x7F are not folded
  RunResult missing = Extract({}, "A.TXT", "missing.dir");
  EXPECT_EQ(3, missing.code);
  EXPECT_EQ(" Cmd::Extract\nFile loading error!\n", missing.out);
}

// A directory named without its separator gets one; other text is a prefix.
TEST_F(ExtractTest, TargetAndMountRootWithoutTheirSeparator) {
  struct Case {
    std::string mountRoot;
    std::string wanted;
    std::string target;
    std::string made;
  };
  const Case cases[] = {
      {"", "A.TXT", dir / "out", "out/A.TXT"},
      {"", "A.TXT", dir / "out/", "out/A.TXT"},
      {"", "A.TXT", dir / "out/pre-", "out/pre-A.TXT"},
      {dir / "src", "DOCS/B.BIN", dir / "out", "out/B.BIN"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"e", "/overwrite"};
    if (!c.mountRoot.empty()) args.push_back("/mount=" + c.mountRoot);
    args.insert(args.end(), {"--", dir / "cd.dir", Wanted(c.wanted), c.target});
    RunResult r = Run(args);
    EXPECT_EQ(0, r.code) << c.target << r.out;
    EXPECT_TRUE(test::Exists(dir / c.made)) << c.made;
    if (!c.mountRoot.empty()) {
      EXPECT_NE(std::string::npos, r.out.find(" + mounting (" + c.mountRoot + ")\n"));
    }
  }
  EXPECT_FALSE(test::Exists(dir / "outA.TXT"));
}

// Each failure with a path and a reason names them on standard error.
TEST_F(ExtractTest, FailuresGiveTheirReasons) {
  struct Case {
    std::vector<std::string> options;
    std::string wanted;
    std::string failCreate;
    std::string result;
    std::string path;
    std::string reason;
  };
  const Case cases[] = {
      {{}, "A.TXT", "out/A.TXT", "Fail (extract: cannot open target)", dir / "out/A.TXT",
       test::FaultEnv::kInjected},
      {{Mount()}, "DOCS/B.BIN", "out/B.BIN", "Fail (mount: cannot write target)",
       dir / "out/B.BIN", test::FaultEnv::kInjected},
      {{"/mount=" + dir.path() + "/nowhere/"}, "DOCS/B.BIN", "", "Fail (mount: unable find file)",
       dir.path() + "/nowhere/DOCS" + kPathSeparator + "B.BIN",
       test::SystemText("No such file or directory")},
  };
  for (const Case& c : cases) {
    env.failCreate = c.failCreate;
    RunResult r = Extract(c.options, c.wanted);
    EXPECT_EQ(c.result + "\n", Result(r));
    EXPECT_NE(std::string::npos, r.err.find("\nkorvex: " + c.path + ": " + c.reason))
        << c.result << ": " << r.err;
  }
}

// Restored files get their catalog time; a check leaves the target alone.
TEST_F(ExtractTest, RestoredFilesGetTheCatalogTime) {
  namespace fs = std::filesystem;
  dir.Write("out/EMPTY", "", 1500000000u);
  struct Case {
    std::vector<std::string> options;
    std::string wanted;
    std::string target;
    bool timed;
  };
  const Case cases[] = {
      {{}, "A.TXT", "out/A.TXT", true},
      {{Mount()}, "DOCS/B.BIN", "out/B.BIN", true},
      {{"/fast", Mount()}, "DOCS/BLOCK", "out/BLOCK", true},
      {{Mount()}, "DOCS/EMPTY", "out/EMPTY", false},  // a check
  };
  for (const Case& c : cases) {
    env.timed.clear();
    RunResult r = Extract(c.options, c.wanted);
    EXPECT_EQ(0, r.code) << c.wanted << r.out;
    EXPECT_EQ(c.timed, !env.timed.empty()) << c.wanted;
    fs::file_time_type expected = fs::last_write_time(c.timed ? dir / "src/A.TXT" : dir / "out/EMPTY");
    EXPECT_EQ(expected, fs::last_write_time(dir / c.target)) << c.wanted;
  }
  EXPECT_NE(fs::last_write_time(dir / "src/A.TXT"), fs::last_write_time(dir / "out/EMPTY"));
}

TEST(CodePages, OnlyCatalogNamesAreConverted) {
  test::TempDir dir;
  test::FaultEnv env;
  env.toyCodePage = true;
  dir.Write("src\xE9/caf\xE9.txt", "coffee");
  dir.Write("src\xE9/caf\xE9.bin", "beans");
  dir.MakeDir("src\xE9/d\xE9");
  dir.MakeDir("out\xE9");
  ASSERT_EQ(0, RunWith(env, {"c", "/store=*.TXT", "--", dir / "x\xE9", dir / "src\xE9"}).code);
  std::string catalog = test::ReadFile(dir / "x\xE9.dir");
  EXPECT_NE(std::string::npos, catalog.find("caf\x82.txt"));
  EXPECT_EQ(std::string::npos, catalog.find("caf\xE9"));
  EXPECT_NE(std::string::npos, catalog.find(std::string("d\x82\0", 3)));
  RunResult listed = RunWith(env, {"l", "/fast", "--", dir / "x\xE9.dir", "caf\xE9.txt"});
  EXPECT_EQ(0, listed.code);
  EXPECT_NE(std::string::npos, listed.out.find("\nCAF\x82.TXT\n"));
  RunResult stored = RunWith(env, {"e", "--", dir / "x\xE9.dir", "caf\xE9.txt", dir / "out\xE9/"});
  EXPECT_EQ(0, stored.code) << stored.out;
  EXPECT_EQ("coffee", test::ReadFile(dir / "out\xE9/caf\xE9.txt"));
  RunResult mounted = RunWith(env, {"e", "/mount=" + dir.path() + "/src\xE9/", "--",
                                    dir / "x\xE9.dir", "caf\xE9.bin", dir / "out\xE9/"});
  EXPECT_EQ(0, mounted.code) << mounted.out;
  EXPECT_EQ("beans", test::ReadFile(dir / "out\xE9/caf\xE9.bin"));
}

}  // namespace
}  // namespace korvex
