// korvex v and korvex d on real trees: one row per kind of difference.
#include <gtest/gtest.h>

#include <stdio.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "catalog/crc32.h"
#include "tests/support/testutil.h"
#include "tests/support/catalog_bytes.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
using test::RunResult;
using test::TempDir;

const std::string kBig(300000, 'x');  // crosses a block boundary

// The medium every row starts from; its catalog is made before the change.
void MakeMedium(const TempDir& dir) {
  dir.Write("m/A.TXT", "alpha");
  dir.Write("m/DOCS/README.TXT", "read me");
  dir.Write("m/DOCS/OLD.TXT", "old text");
  dir.Write("m/DOCS/EMPTY", "");
  dir.Write("m/PICS/P1.BIN", "p1");
  dir.Write("m/PICS/SUB/P2.BIN", "p2");
  dir.Write("m/TWIN/T1.DAT", "twin");
  dir.Write("m/TWIN/T2.DAT", "twin");
  dir.Write("m/X.BIN", kBig);
}

std::string Hex(const std::string& contents) {
  char text[16];
  snprintf(text, sizeof text, "%08X", crc32::Value(contents.data(), contents.size()));
  return text;
}

// The medium's records, directories first and every list reversed: another
// writer's order.  Hostile directories and files come first.
std::string ReorderedCatalog(const std::vector<std::string>& hostileDirs = {},
                             const std::vector<std::string>& hostileFiles = {}) {
  test::TreeBytes t;
  auto file = [&](const std::string& name, const std::string& contents) {
    t.File(name, 0x20, static_cast<uint32_t>(contents.size()),
           crc32::Value(contents.data(), contents.size()), 1000000000u);
  };
  for (const std::string& name : hostileDirs) t.Dir(name).File("SECRET", 0x20, 4).End();
  for (const std::string& name : hostileFiles) file(name, "1234");
  t.Dir("TWIN");
  file("T2.DAT", "twin");
  file("T1.DAT", "twin");
  t.End().Dir("PICS").Dir("SUB");
  file("P2.BIN", "p2");
  t.End();
  file("P1.BIN", "p1");
  t.End().Dir("DOCS");
  file("README.TXT", "read me");
  file("OLD.TXT", "old text");
  file("EMPTY", "");
  t.End();
  file("X.BIN", kBig);
  file("A.TXT", "alpha");
  t.End();
  return test::Catalog(t.bytes, true);
}

struct Case {
  const char* name;
  std::function<void(const TempDir&)> change;  // of the medium, after its catalog
  std::vector<std::string> options;
  int code;
  std::string lines;  // the difference lines
  std::function<void(test::FaultEnv&)> fault = nullptr;
  std::string catalog = "";  // bytes of a catalog made by hand instead of by create
  bool sameForD = true;      // d over the two catalogs gives these lines
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

void Remove(const TempDir& dir, const std::string& path) { fs::remove_all(dir / path); }
void Move(const TempDir& dir, const std::string& from, const std::string& to) {
  fs::create_directories(fs::path(dir / to).parent_path());
  fs::rename(dir / from, dir / to);
}

std::vector<Case> Cases() {
  auto none = [](const TempDir&) {};
  const std::string readme = "changed: DOCS\\README.TXT ";
  return {
      {"Equal", none, {}, 0, ""},
      {"ChangedSize", [](const TempDir& d) { d.Write("m/DOCS/README.TXT", "read me!"); }, {}, 5,
       readme + "(size 8, catalog 7)\n"},
      {"ChangedContents", [](const TempDir& d) { d.Write("m/DOCS/README.TXT", "READ ME"); }, {},
       5, readme + "(CRC-32 " + Hex("READ ME") + ", catalog " + Hex("read me") + ")\n"},
      {"MissingFile", [](const TempDir& d) { Remove(d, "m/DOCS/OLD.TXT"); }, {}, 5,
       "missing: DOCS\\OLD.TXT\n"},
      {"MissingDirectory", [](const TempDir& d) { Remove(d, "m/PICS"); }, {}, 5,
       "missing: PICS\\ (and 3 entries below)\n"},
      {"NewFile", [](const TempDir& d) { d.Write("m/DOCS/NEW.TXT", "brand new"); }, {}, 5,
       "new: DOCS\\NEW.TXT\n"},
      {"NewDirectory",
       [](const TempDir& d) {
         d.Write("m/NEW/A", "a");
         d.MakeDir("m/NEW/B");
       },
       {}, 5, "new: NEW\\ (and 2 entries below)\n"},
      {"MovedFile", [](const TempDir& d) { Move(d, "m/X.BIN", "m/DOCS/X2.BIN"); }, {}, 5,
       "moved: X.BIN -> DOCS\\X2.BIN\n"},
      {"IdenticalFilesPairOneToOne",
       [](const TempDir& d) {
         Move(d, "m/TWIN/T1.DAT", "m/TWIN/U1.DAT");
         Move(d, "m/TWIN/T2.DAT", "m/TWIN/U2.DAT");
       },
       {}, 5, "moved: TWIN\\T1.DAT -> TWIN\\U1.DAT\nmoved: TWIN\\T2.DAT -> TWIN\\U2.DAT\n"},
      {"OneNewCopyForTwoMissing",
       [](const TempDir& d) {
         Remove(d, "m/TWIN");
         d.Write("m/ELSE/T.DAT", "twin");
       },
       {}, 5,
       "new: ELSE\\ (and 1 entry below)\nmissing: TWIN\\ (and 2 entries below)\n"
       "moved: TWIN\\T1.DAT -> ELSE\\T.DAT\n"},
      {"EmptyFilesNeverMove", [](const TempDir& d) { Move(d, "m/DOCS/EMPTY", "m/E2"); }, {}, 5,
       "missing: DOCS\\EMPTY\nnew: E2\n"},
      {"FileReplacedByDirectory",
       [](const TempDir& d) {
         Remove(d, "m/A.TXT");
         d.Write("m/A.TXT/INNER", "i");
       },
       {}, 5, "changed: A.TXT (directory and 1 entry below, catalog file)\n"},
      {"UnreadableFile", none, {}, 5, "unreadable: DOCS\\README.TXT\n",
       [](test::FaultEnv& e) { e.failOpenRead = "README"; }, "", false},
      {"FailedRead", none, {}, 5, "unreadable: X.BIN\n",
       [](test::FaultEnv& e) {
         e.failReadOf = "X.BIN";
         e.failReadAfter = 1000;
       },
       "", false},
      {"TouchedWithoutTimes",
       [](const TempDir& d) { d.Write("m/DOCS/README.TXT", "read me", 1000000001u); }, {}, 0,
       ""},
      {"TouchedWithTimes",
       [](const TempDir& d) { d.Write("m/DOCS/README.TXT", "read me", 1000000001u); },
       {"/times"}, 5,
       "touched: DOCS\\README.TXT (time 2001-09-09 01:46:41, catalog 2001-09-09 01:46:40)\n"},
      {"FastComparesSizesOnly",
       [](const TempDir& d) {
         d.Write("m/DOCS/README.TXT", "READ ME");
         d.Write("m/A.TXT", "alphabet");
         Move(d, "m/X.BIN", "m/Y.BIN");
       },
       {"/fast"}, 5,
       "changed: A.TXT (size 8, catalog 5)\nmissing: X.BIN\nnew: Y.BIN\n", nullptr, "", false},
      {"RecordsOutOfOrder", none, {}, 0, "", nullptr, ReorderedCatalog(), false},
      {"HostileNames", none, {}, 5,
       "unsafe: .\\\nunsafe: ..\\\nunsafe: ../SECRET\nunsafe: ..\\..\\OUT\\\n"
       "unsafe: ..\\..\\SECRET\nunsafe: a/b\\\n",
       nullptr, ReorderedCatalog({".", "..", "..\\..\\OUT", "a/b"}, {"..\\..\\SECRET", "../SECRET"}),
       false},
  };
}

// The difference lines of an output: what follows the reading, before the
// summary.
std::string DifferenceLines(const std::string& out) {
  std::istringstream in(out);
  std::string line;
  std::string lines;
  static const char* const kKinds[] = {"changed: ", "missing: ", "new: ", "moved: ",
                                       "unreadable: ", "touched: ", "unsafe: "};
  while (std::getline(in, line)) {
    for (const char* kind : kKinds) {
      if (line.rfind(kind, 0) == 0) lines += line + "\n";
    }
  }
  return lines;
}

class VerifyTest : public ::testing::TestWithParam<Case> {};

TEST_P(VerifyTest, ReportsTheDifference) {
  const Case& c = GetParam();
  TempDir dir;
  test::FaultEnv env;
  MakeMedium(dir);
  if (c.catalog.empty()) {
    ASSERT_EQ(0, test::RunWith(env, {"c", "--", dir / "old", dir / "m"}).code);
  } else {
    std::ofstream(dir / "old.dir", std::ios::binary) << c.catalog;
    dir.Write("SECRET", "outside the root");
  }
  c.change(dir);
  if (c.fault) c.fault(env);
  std::vector<std::string> args = {"v"};
  args.insert(args.end(), c.options.begin(), c.options.end());
  args.insert(args.end(), {"--", dir / "old.dir", dir / "m"});
  RunResult v = test::RunWith(env, args);
  EXPECT_EQ(c.code, v.code) << v.out;
  EXPECT_EQ(c.lines, DifferenceLines(v.out)) << v.out;
  for (const std::string& path : env.opened) {
    EXPECT_TRUE(path == dir / "old.dir" || path.rfind(dir / "m/", 0) == 0) << path;
  }
  if (!c.sameForD) return;
  ASSERT_EQ(0, test::RunArgs({"c", "--", dir / "new", dir / "m"}).code);
  args[0] = "d";
  args.back() = dir / "new.dir";
  RunResult d = test::RunArgs(args);
  EXPECT_EQ(c.code, d.code);
  EXPECT_EQ(c.lines, DifferenceLines(d.out)) << d.out;
}

INSTANTIATE_TEST_SUITE_P(Rows, VerifyTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

// The whole console text of both commands, and the grammar's failures.
TEST(VerifyOutput, AnnouncesReadsAndSums) {
  TempDir dir;
  dir.Write("m/A.TXT", "alpha");
  dir.Write("m/B.TXT", "beta");
  ASSERT_EQ(0, test::RunArgs({"c", "--", dir / "old", dir / "m"}).code);
  dir.Write("m/B.TXT", "BETA");
  RunResult v = test::RunArgs({"v", "/fast", "/times", "--", dir / "old.dir", dir / "m/"});
  EXPECT_EQ(0, v.code);
  EXPECT_EQ(" Cmd::Verify\n + fast processing (sizes only, no file read)\n + times compared\n"
            "Scanning: " + dir / "m" + "...x\b0 dirs, 2 files.\n"
            "Verify: 0 bytes...  0% complete!\n"
            "Differences: 0 changed, 0 missing, 0 new, 0 moved, 0 unreadable, 0 touched, "
            "0 unsafe; 2 files matched, 0 bytes read.\n",
            v.out);
  RunResult crc = test::RunArgs({"v", "--", dir / "old.dir", dir / "m"});
  EXPECT_EQ(5, crc.code);
  EXPECT_NE(std::string::npos, crc.out.find("Verify: 9 bytes...  0%\b\b\b\b 55%\b\b\b\b100% complete!\n"))
      << crc.out;
  EXPECT_NE(std::string::npos, crc.out.find("; 1 files matched, 9 bytes read.\n"));
  EXPECT_EQ("{100%}Verify... - KORVEX v3.0m", crc.titles.back());
  RunResult d = test::RunArgs({"d", "/times", "--", dir / "old.dir", dir / "old.dir"});
  EXPECT_EQ(0, d.code);
  EXPECT_EQ(" Cmd::Compare\n + times compared\nDifferences: 0 changed, 0 missing, 0 new, "
            "0 moved, 0 unreadable, 0 touched, 0 unsafe; 2 files matched, 0 bytes read.\n",
            d.out);
}

TEST(VerifyOutput, GrammarAndLoadFailures) {
  TempDir dir;
  dir.Write("junk.dir", "not a catalog");
  dir.MakeDir("m");
  ASSERT_EQ(0, test::RunArgs({"c", "--", dir / "ok", dir / "m"}).code);
  struct Row {
    std::vector<std::string> args;
    int code;
    std::string lastLine;
  } rows[] = {
      {{"v"}, 2, "Not all names specified.\n"},
      {{"d", "--", dir / "ok.dir"}, 2, "Not all names specified.\n"},
      {{"v", "/fastx"}, 1, "Unknown parameter: /fastx\n"},
      {{"d", "/fast"}, 1, "Unknown parameter: /fast\n"},
      {{"v", "--", dir / "junk.dir"}, 3, "File loading error!\n"},
      {{"d", "--", dir / "ok.dir", dir / "none.dir"}, 3, "File loading error!\n"},
      {{"v", "--", dir / "ok.dir", dir / "none"}, 3, "Fail (cannot list " + dir / "none" + ")\n"},
  };
  for (const Row& row : rows) {
    RunResult r = test::RunArgs(row.args);
    EXPECT_EQ(row.code, r.code) << row.args[0];
    std::string out = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
    EXPECT_EQ(row.lastLine, out);
  }
}

}  // namespace
}  // namespace korvex
