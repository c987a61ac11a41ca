#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "catalog/catalog_file.h"
#include "catalog/coding.h"
#include "catalog/crc32.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

using test::RunResult;
using test::RunWith;

class CreateTest : public ::testing::Test {
 protected:
  RunResult Create(std::vector<std::string> options, const std::string& catalog,
                   const std::string& source) {
    std::vector<std::string> args = {"c"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("--");
    args.push_back(catalog);
    args.push_back(source);
    return RunWith(env, args);
  }

  test::TempDir dir;
  test::FaultEnv env;
};

TEST_F(CreateTest, EmptySourceGivesTheSmallestCatalog) {
  std::string src = dir.MakeDir("src");
  RunResult r = Create({}, dir / "out", src);
  EXPECT_EQ(0, r.code);
  EXPECT_EQ(" Cmd::Create\nScanning: " + src + "...x\b0 dirs, 0 files.\n"
            "Result size (w/Store): 1 (10) bytes.\n"
            "Calc (Store): 0 (0) bytes...  0% complete!\n"
            "Write " + dir.path() + "/out.dir 17 bytes...Ok\n",
            r.out);
  EXPECT_EQ((std::vector<std::string>{"<save>", "Init... - KORVEX v3.0m", "Scan... - KORVEX v3.0m",
                                      "{0%}Calc... - KORVEX v3.0m", "Saving... - KORVEX v3.0m"}),
            r.titles);
  EXPECT_EQ(test::ReadFile("tests/vectors/empty-root.dir"), test::ReadFile(dir / "out.dir"));
}

TEST_F(CreateTest, EmptySourceWithStorageGivesAnEmptyContentStore) {
  RunResult r = Create({"/store=*"}, dir / "out.dir", dir.MakeDir("empty"));
  EXPECT_EQ(0, r.code);
  EXPECT_NE(std::string::npos, r.out.find("Write " + dir.path() + "/out.dir 26 bytes...Ok\n"));
  EXPECT_EQ(test::ReadFile("tests/vectors/empty-root-store.dir"),
            test::ReadFile(dir / "out.dir"));
}

// A source that cannot be listed never replaces a catalog with an empty one.
TEST_F(CreateTest, UnlistableSourceFailsAndKeepsTheEarlierCatalog) {
  struct Case {
    const char* what;
    std::string source;
    std::string failList;
    std::string reason;
  };
  const Case cases[] = {
      {"missing", dir / "cdrom-typo", "", test::SystemText("No such file or directory")},
      {"a file", dir.Write("file", "x"), "", test::SystemText("Not a directory")},
      {"no permission", dir.MakeDir("locked"), "locked", test::FaultEnv::kInjected},
  };
  for (const Case& c : cases) {
    dir.Write("keep.dir", "earlier catalog");
    env.failList = c.failList;
    RunResult r = Create({}, dir / "keep", c.source);
    EXPECT_EQ(3, r.code) << c.what;
    EXPECT_EQ(" Cmd::Create\nScanning: " + c.source + "...x\b0 dirs, 0 files.\n"
              "Fail (cannot read source: " + c.source + ")\n", r.out) << c.what;
    // Wine words the system's reasons its own way.
    const std::string reason = kPathSeparator == '/' || c.failList.size() ? c.reason + "\n" : "";
    EXPECT_NE(std::string::npos, r.err.find("korvex: " + c.source + ": " + reason))
        << c.what << ": " << r.err;
    EXPECT_EQ("<restore>", r.titles.back()) << c.what;
    EXPECT_EQ("earlier catalog", test::ReadFile(dir / "keep.dir")) << c.what;
    EXPECT_FALSE(test::Exists(TemporaryCatalogName(dir / "keep.dir"))) << c.what;
  }
}

// What could not be read is reported where it is met and counted after "Ok";
// the catalog of the rest is written.
TEST_F(CreateTest, UnreadableFilesAndDirectoriesAreCountedAndFail) {
  dir.Write("src/a.txt", "a");
  dir.Write("src/b.txt", "b");
  dir.Write("src/sub/c.txt", "c");
  dir.Write("src/sub/deeper/d.txt", "d");
  struct Case {
    std::string failOpenRead;
    std::string failList;
    int code;
    std::string errLines;
    std::string summary;
  };
  const std::string src = dir / "src";
  const std::string sep(1, kPathSeparator);
  const Case cases[] = {
      {"", "", 0, "", ""},
      {"a.txt", "", 3, "\nFile read error: " + src + sep + "a.txt\nContinue...xxx%",
       "1 files and 0"},
      {"", "deeper", 3,
       "\nDirectory read error: " + src + sep + "sub" + sep + "deeper\nContinue...x",
       "0 files and 1"},
      {"b.txt", "sub" + sep, 3,
       "\nDirectory read error: " + src + sep + "sub\nContinue...x"
       "\nFile read error: " + src + sep + "b.txt\nContinue...xxx%",
       "1 files and 1"},
  };
  for (const Case& c : cases) {
    env.failOpenRead = c.failOpenRead;
    env.failList = c.failList;
    RunResult r = Create({}, dir / "t", src);
    EXPECT_EQ(c.code, r.code) << c.errLines;
    EXPECT_EQ(c.errLines, r.err.substr(r.err.find('\n') + 1)) << c.errLines;
    const std::string end =
        "...Ok\n" + (c.summary.empty() ? "" : c.summary + " directories could not be read.\n");
    EXPECT_EQ(end, r.out.substr(r.out.rfind("...Ok"))) << c.errLines;
    EXPECT_TRUE(test::Exists(dir / "t.dir"));
  }
}

TEST_F(CreateTest, WorkedExampleByteForByte) {
  dir.Write("src/A", "abc", 1000000000u);
  dir.MakeDir("src/D");
  RunResult r = Create({"/store=A"}, dir / "w.dir", dir / "src");
  ASSERT_EQ(0, r.code);
  std::string got = test::ReadFile(dir / "w.dir");
  ASSERT_EQ(60u, got.size());
  // The directory's time comes from the file system: put the example's in.
  unsigned char* tree = reinterpret_cast<unsigned char*>(&got[16]);
  EXPECT_EQ(crc32::Value(tree, 24), DecodeFixed32(reinterpret_cast<unsigned char*>(&got[8])));
  EncodeFixed32(tree + 18, 1000000000u);
  EncodeFixed32(reinterpret_cast<unsigned char*>(&got[8]), crc32::Value(tree, 24));
  EXPECT_EQ(test::ReadFile("tests/vectors/worked-example.dir"), got);
  EXPECT_EQ(" Cmd::Create\n + contents storage (1 storage masks)\n"
            "Scanning: " + dir.path() + "/src...x\b1 dirs, 1 files.\n"
            "Result size (w/Store): 24 (44) bytes.\n"
            "Calc (Store): 3 (3) bytes...  0%\b\b\b\b100% complete!\n"
            "Write " + dir.path() + "/w.dir 60 bytes...Ok\n",
            r.out);
}

TEST_F(CreateTest, FastCatalogHasNoCrcFieldsAndReadsOnlyStoredFiles) {
  dir.Write("src/a.txt", "0123456789");
  dir.Write("src/b.txt", "0123456789");
  dir.Write("src/c.bin", "zz");
  RunResult r = Create({"/fast", "/store=*.txt"}, dir / "f", dir / "src");
  ASSERT_EQ(0, r.code);
  EXPECT_EQ(" Cmd::Create\n"
            " + CRC32 calculation overriden (dir will not contains CRC32 information)\n"
            " + contents storage (1 storage masks)\n"
            "Scanning: " + dir.path() + "/src...x\b0 dirs, 3 files.\n"
            "Result size: 46 bytes.\n"
            "Storing: 20 bytes...  0%\b\b\b\b 27%\b\b\b\b 55% complete!\n"
            "Write " + dir.path() + "/f.dir 93 bytes...Ok\n",
            r.out);
  EXPECT_EQ((std::vector<std::string>{"<save>", "Init... - KORVEX v3.0m", "Scan... - KORVEX v3.0m",
                                      "{0%}Store... - KORVEX v3.0m", "{27%}Store... - KORVEX v3.0m",
                                      "{55%}Store... - KORVEX v3.0m", "Saving... - KORVEX v3.0m"}),
            r.titles);
  std::string cat = test::ReadFile(dir / "f.dir");
  ASSERT_EQ(93u, cat.size());
  EXPECT_EQ(46u, DecodeFixed32(reinterpret_cast<const unsigned char*>(&cat[12])));
  // Both stored files share one record: D = 2 * 4 + 4 + 10.
  EXPECT_EQ(22u, DecodeFixed32(reinterpret_cast<const unsigned char*>(&cat[16 + 46 + 4])));
  for (const std::string& p : env.opened) EXPECT_EQ(std::string::npos, p.find("c.bin"));
}

TEST_F(CreateTest, FastWithoutStorageReadsNothing) {
  dir.Write("src/a", "x");
  RunResult r = Create({"/fast"}, dir / "f", dir / "src");
  EXPECT_NE(std::string::npos, r.out.find("Result size: 12 bytes.\nStoring: 0 bytes...  0% complete!\n"));
  EXPECT_TRUE(env.opened.empty());
  EXPECT_EQ(28u, test::ReadFile(dir / "f.dir").size());
}

TEST_F(CreateTest, TrailingSeparatorIsStrippedOnce) {
  dir.Write("src/a", "1");
  RunResult r = Create({}, dir / "t", dir / "src" + kPathSeparator);
  EXPECT_NE(std::string::npos, r.out.find("Scanning: " + dir.path() + "/src...x\b0 dirs, 1 files."));
}

TEST_F(CreateTest, SpinnerAndReadErrorsAppearInTheirStreams) {
  for (int i = 0; i < 130; ++i) dir.Write("src/f" + std::to_string(i), "1");
  env.failOpenRead = "f7";
  RunResult r = Create({}, dir / "s", dir / "src");
  EXPECT_NE(std::string::npos, r.out.find("...x\b-\b0 dirs, 130 files.\n"));
  EXPECT_NE(std::string::npos,
            r.err.find("\nFile read error: " + dir.path() + "/src" + kPathSeparator +
                       "f7\nContinue...xxx%"));
  EXPECT_EQ(3, r.code);
}

TEST_F(CreateTest, CatalogInAMissingDirectoryOrOverADirectoryFails) {
  std::string src = dir.MakeDir("src");
  RunResult missing = Create({}, dir / "no/such/dir/x", src);
  EXPECT_EQ(4, missing.code);
  EXPECT_NE(std::string::npos, missing.out.find("17 bytes...Fail (cannot write catalog)\n"));
  EXPECT_NE(std::string::npos,
            missing.err.find("korvex: " + dir.path() + "/no/such/dir/x.dir: " +
                             test::SystemText("No such file or directory")));
  dir.Write("taken.dir/inside", "1");
  RunResult taken = Create({}, dir / "taken.dir", src);
  EXPECT_EQ(4, taken.code);
  EXPECT_NE(std::string::npos, taken.err.find("korvex: " + dir.path() + "/taken.dir: "));
  EXPECT_EQ("1", test::ReadFile(dir / "taken.dir/inside"));
  EXPECT_FALSE(test::Exists(TemporaryCatalogName(dir / "taken.dir")));
}

TEST_F(CreateTest, ContentStoreBeyondItsLengthFieldIsRefusedBeforeThePass) {
  for (const char* name : {"src/a.iso", "src/b.iso"}) {
    std::filesystem::resize_file(dir.Write(name, ""), 3000000000ull);
  }
  dir.Write("keep.dir", "earlier");
  RunResult r = Create({"/store=*.ISO"}, dir / "keep.dir", dir / "src");
  EXPECT_EQ(4, r.code);
  EXPECT_NE(std::string::npos,
            r.out.find("0 dirs, 2 files.\nFail (catalog too large: the content store needs "
                       "6'000'000'016 bytes, at most 4'294'967'295)\n"));
  EXPECT_TRUE(env.opened.empty());
  EXPECT_EQ("earlier", test::ReadFile(dir / "keep.dir"));
}

}  // namespace
}  // namespace korvex
