#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "catalog/coding.h"
#include "catalog/crc32.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

using test::RunArgs;
using test::RunResult;

const char kWorked[] = "tests/vectors/worked-example.dir";

std::string Footer(const std::string& info, int dirs, int files, const std::string& bytes,
                   int stored, const std::string& storedBytes) {
  return "-----\nFile info:  \n  integrity check: Ok  CRC32: " + info + "\nTotal listed: \n\tdirs: " +
         std::to_string(dirs) + ",\tfiles: " + std::to_string(files) + ",\tbytes: " + bytes +
         "\nStore listed: \n\tfiles: " + std::to_string(stored) + ",\tbytes: " + storedBytes + "\n";
}

TEST(List, WorkedExampleLineForLine) {
  RunResult r = RunArgs({"l", kWorked});
  EXPECT_EQ(0, r.code);
  EXPECT_EQ(" Cmd::List\n"
            "Attr Size       Name\n"
            "T*           3 A\n"
            "*D       <DIR> D\\\n" +
                Footer("yes  size: 60  storage: 20", 1, 1, "3", 1, "3"),
            r.out);
  EXPECT_EQ((std::vector<std::string>{"<save>", "Init... - KORVEX v3.0m", "List... - KORVEX v3.0m"}),
            r.titles);
}

TEST(List, BriefFormsPrintPathsOnly) {
  RunResult all = RunArgs({"l", "/fast", kWorked});
  EXPECT_EQ(" Cmd::List\n + fast processing (brief info only)\nA\nD\\\n", all.out);
  RunResult masked = RunArgs({"l", "/fast", kWorked, "a*"});
  EXPECT_EQ(" Cmd::List\n + fast processing (brief info only)\nA\n", masked.out);
  RunResult none = RunArgs({"l", "/fast", kWorked, "D*"});
  EXPECT_EQ(" Cmd::List\n + fast processing (brief info only)\n", none.out);
}

// Every load failure keeps its message and gives its reason, in l and e alike.
TEST(List, LoadErrorsAreFailuresWithAReason) {
  test::TempDir dir;
  const std::string worked = test::ReadFile(kWorked);
  std::string badCrc = worked;
  badCrc[17] ^= 1;
  // A well-sealed tree whose end-of-directory byte is missing.
  std::string damaged = worked.substr(0, worked.size() - 21) + "A" + worked.substr(worked.size() - 20);
  EncodeFixed32(reinterpret_cast<unsigned char*>(&damaged[8]),
                crc32::Value(reinterpret_cast<const unsigned char*>(&damaged[16]), 24));
  struct Case {
    std::string name;
    std::string reason;
  };
  const Case cases[] = {
      {dir / "missing.dir", test::SystemText("No such file or directory")},
      {dir.MakeDir("folder.dir"), test::SystemText("Is a directory")},
      {dir.Write("empty.dir", ""), "not a catalog"},
      {dir.Write("text.dir", "just some text, not a catalog"), "not a catalog"},
      {dir.Write("short.dir", worked.substr(0, 12)), "truncated"},
      {dir.Write("cut.dir", worked.substr(0, 30)), "truncated"},
      {dir.Write("crc.dir", badCrc), "tree checksum mismatch"},
      {dir.Write("damaged.dir", damaged), "damaged tree block"},
      {dir.Write("locked.dir", worked), test::FaultEnv::kInjected},
  };
  for (const Case& c : cases) {
    for (const char* command : {"l", "e"}) {
      test::FaultEnv env;
      env.failOpenRead = "locked.dir";
      RunResult r = test::RunWith(env, {command, "--", c.name, "A"});
      EXPECT_EQ(3, r.code) << c.name;
      EXPECT_NE(std::string::npos, r.out.find("\nFile loading error!\n")) << c.name;
      EXPECT_NE(std::string::npos, r.err.find("\nkorvex: " + c.name + ": " + c.reason))
          << c.name << ": " << r.err;
    }
  }
  RunResult r = RunArgs({"l", "--", dir / "missing.dir"});
  EXPECT_EQ(" Cmd::List\nFile loading error!\n", r.out);
  EXPECT_EQ("List... - KORVEX v3.0m", r.titles.back());
}

// A catalog named without ".dir", as the create command allows.
TEST(List, NameWithoutDirFindsTheCatalog) {
  test::TempDir dir;
  dir.Write("cats/doc.dir", test::ReadFile(kWorked));
  dir.Write("cats/both", "not a catalog");
  dir.Write("cats/both.dir", test::ReadFile(kWorked));
  struct Case {
    std::string given;
    int code;
  };
  const Case cases[] = {
      {dir / "cats/doc", 0},
      {dir / "cats/doc.dir", 0},
      {dir / "cats/both", 3},  // the name that exists is the one used
      {dir / "cats/none", 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.code, RunArgs({"l", "--", c.given}).code) << c.given;
    RunResult e = RunArgs({"e", "/overwrite", "--", c.given, "A", dir.path() + "/"});
    EXPECT_EQ(c.code, e.code) << c.given << e.out;
  }
  EXPECT_EQ("abc", test::ReadFile(dir / "A"));
}

class ListTree : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("src/readme.txt", "top");
    dir.Write("src/a.bin", "bb");
    dir.Write("src/SUB/readme.txt", "inner");
    dir.Write("src/SUB/x.nfo", "nfo!");
    dir.MakeDir("src/SUB/DEEP");
    test::RunResult r = RunArgs({"c", "/store=*.TXT", "--", dir / "t", dir / "src"});
    ASSERT_EQ(0, r.code);
  }
  std::string Body(const std::string& mask) {
    RunResult r = RunArgs({"l", "--", dir / "t.dir", mask});
    EXPECT_EQ(0, r.code);
    size_t start = r.out.find("Name\n") + 5;
    return r.out.substr(start, r.out.find("-----") - start);
  }
  test::TempDir dir;
};

TEST_F(ListTree, MasksMatchTheWholeCatalogPath) {
  const std::string everything =
      "**           2 a.bin\n"
      "T*           3 readme.txt\n"
      "*D       <DIR> SUB\\\n"
      "T*           5 SUB\\readme.txt\n"
      "**           4 SUB\\x.nfo\n"
      "*D       <DIR> SUB\\DEEP\\\n";
  EXPECT_EQ(everything, Body("*"));
  EXPECT_EQ(everything, Body("*.*"));
  EXPECT_EQ("T*           3 readme.txt\nT*           5 SUB\\readme.txt\n", Body("*.txt"));
  EXPECT_EQ("T*           3 readme.txt\nT*           5 SUB\\readme.txt\n", Body("readme.txt"));
  EXPECT_EQ("*D       <DIR> SUB\\\n", Body("SUB\\"));
#ifndef _WIN32  // only the POSIX build reads '/' as '\'
  EXPECT_EQ("*D       <DIR> SUB\\\n", Body("sub/"));
#endif
  EXPECT_EQ("", Body("/fast"));
}

TEST_F(ListTree, FooterCountsWhatWasListed) {
  RunResult r = RunArgs({"l", "--", dir / "t.dir", "*.txt"});
  std::string footer = r.out.substr(r.out.find("-----"));
  EXPECT_NE(std::string::npos, footer.find("\tdirs: 0,\tfiles: 2,\tbytes: 8\n"));
  EXPECT_NE(std::string::npos, footer.find("Store listed: \n\tfiles: 2,\tbytes: 8\n"));
  RunResult brief = RunArgs({"l", "/fast", "--", dir / "t.dir", "readme*"});
  EXPECT_EQ(" Cmd::List\n + fast processing (brief info only)\nREADME.TXT\nSUB\\README.TXT\n",
            brief.out);
}

TEST(List, EmptyRootAndNoCrcFlagAndWideSizes) {
  RunResult empty = RunArgs({"l", "tests/vectors/empty-root.dir"});
  EXPECT_EQ(" Cmd::List\nAttr Size       Name\n" +
                Footer("yes  size: 17  storage: 0", 0, 0, "0", 0, "0"),
            empty.out);
  test::TempDir dir;
  std::string a = dir.Write("src/a", "");
  std::string b = dir.Write("src/b", "");
  std::filesystem::resize_file(a, 1234567);
  std::filesystem::resize_file(b, 4294967295ull);
  ASSERT_EQ(0, RunArgs({"c", "/fast", "--", dir / "w", dir / "src"}).code);
  RunResult r = RunArgs({"l", "--", dir / "w.dir"});
  EXPECT_EQ(" Cmd::List\nAttr Size       Name\n"
            "**   1'234'567 a\n"
            "** 4'294'967'295 b\n" +
                Footer("no  size: 39  storage: 0", 0, 2, "4'296'201'862", 0, "0"),
            r.out);
  RunResult brief = RunArgs({"l", "/fast", "--", dir / "w.dir"});
  EXPECT_EQ(" Cmd::List\n + fast processing (brief info only)\na\nb\n", brief.out);
}

TEST(List, DeepNestingAndLongPathsListCompletely) {
#ifdef _WIN32
  GTEST_SKIP() << "the ANSI file functions stop at MAX_PATH";
#endif
  test::TempDir dir;
  std::string rel = "src";
  for (int i = 0; i < 200; ++i) rel += "/d";
  dir.Write(rel + "/" + std::string(200, 'n'), "x");
  ASSERT_EQ(0, RunArgs({"c", "--", dir / "deep", dir / "src"}).code);
  std::string deepest;
  for (int i = 0; i < 200; ++i) deepest += "d\\";
  deepest += std::string(200, 'n');
  RunResult full = RunArgs({"l", "--", dir / "deep.dir"});
  EXPECT_NE(std::string::npos, full.out.find("           1 " + deepest + "\n"));
  EXPECT_NE(std::string::npos, full.out.find("\tdirs: 200,\tfiles: 1,"));
  RunResult brief = RunArgs({"l", "/fast", "--", dir / "deep.dir"});
  EXPECT_NE(std::string::npos, brief.out.find("\n" + deepest + "\n"));
  RunResult masked = RunArgs({"l", "/fast", "--", dir / "deep.dir", "n*"});
  std::string upper = deepest;
  for (char& c : upper) c = static_cast<char>(toupper(c));
  EXPECT_NE(std::string::npos, masked.out.find("\n" + upper + "\n"));
}

}  // namespace
}  // namespace korvex
