#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "tests/support/testutil.h"
#include "tests/support/catalog_bytes.h"

namespace korvex {
namespace {

using test::TreeBytes;

// Full-form times are local; the table is written for UTC.
const int kUtc = putenv(const_cast<char*>("TZ=UTC0"));

const uint32_t kAbc = 0x352441C2;  // CRC-32 of "abc"

std::string One() {
  TreeBytes t;
  t.File("README.TXT", 0x20, 3, kAbc, 1000000000).File("a.bin", 0x20, 100, 0x11111111);
  t.Dir("DOCS").File("readme.txt", 0x28, 5, 0x22222222).File("Zlib.h", 0x20, 3, kAbc);
  t.Dir("SUB").File("x.nfo", 0x20, 100, 0x11111111).End().End().End();
  return test::Catalog(t.bytes, true);
}

std::string Two() {
  TreeBytes t;
  t.File("copy.bin", 0x20, 100, 0x11111111).File("other", 0x20, 3, 0x99999999).End();
  return test::Catalog(t.bytes, true);
}

std::string WithoutCrc() {
  TreeBytes t;
  t.withCrc = false;
  t.File("README.TXT", 0x20, 3, 0, 1000000000).End();
  return test::Catalog(t.bytes, false);
}

// Hostile names, and a path of 40 levels of 200 bytes each.
std::string Hostile() {
  TreeBytes t;
  t.File("a b\"c\\", 0x20, 1, 1).File("\x01\xff\xc3\xa9", 0x20, 1, 1);
  for (int i = 0; i < 40; ++i) t.Dir(std::string(200, 'd'));
  t.File("LAST", 0x20, 1, 1);
  for (int i = 0; i < 41; ++i) t.End();
  return test::Catalog(t.bytes, true);
}

class Search : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("lib/one.dir", One());
    dir.Write("lib/sub/two.dir", Two());
    dir.Write("lib/nocrc.DIR", WithoutCrc());
    dir.Write("lib/notes.txt", "not a catalog name");
    dir.Write("bad.dir", "KORVEX but not a catalog");
    dir.Write("hostile.dir", Hostile());
    dir.Write("abc.txt", "abc");
  }
  // {D} in arguments and expected texts stands for the temporary directory.
  std::string Fill(std::string text) const {
    for (size_t at; (at = text.find("{D}")) != std::string::npos;) text.replace(at, 3, dir.path());
    return text;
  }
  test::TempDir dir;
};

struct Row {
  std::vector<std::string> args;
  int code;
  std::string out;  // after " Cmd::Search\n"
  std::string err;  // after the banner line
};

const char kFast[] = " + fast processing (brief info only)\n";
const char kOne[] = "{D}/lib/one.dir";

TEST_F(Search, OptionsMasksAndFolders) {
  const std::string fast = kFast;
  const std::string one = std::string(kOne) + ": ";
  const std::string two = "{D}/lib/sub/two.dir: ";
  const std::string skipped = "Skipped (no CRC-32): {D}/lib/nocrc.DIR\n";
  const Row rows[] = {
      {{"/fast", "readme.txt", kOne}, 0,
       fast + one + "README.TXT\n" + one + "DOCS\\readme.txt\nHits: 2, catalogs searched: 1\n", ""},
      {{"/fast", "*zlib*", kOne}, 0, fast + one + "DOCS\\Zlib.h\nHits: 1, catalogs searched: 1\n", ""},
      {{"/fast", "?.BIN", kOne}, 0, fast + one + "a.bin\nHits: 1, catalogs searched: 1\n", ""},
      {{"/fast", "DOCS\\*", kOne}, 0,
       fast + one + "DOCS\\readme.txt\n" + one + "DOCS\\Zlib.h\n" + one +
           "DOCS\\SUB\\x.nfo\nHits: 3, catalogs searched: 1\n", ""},
      {{"/fast", "/dirs", "docs/s*", kOne}, 0,
       fast + " + directories too\n" + one + "DOCS\\SUB\\\n" + one +
           "DOCS\\SUB\\x.nfo\nHits: 2, catalogs searched: 1\n", ""},
      {{"/fast", "*/README.TXT", kOne}, 0,
       fast + one + "DOCS\\readme.txt\nHits: 1, catalogs searched: 1\n", ""},
      {{"/fast", "/size=100-", "*", kOne}, 0,
       fast + " + size 100 bytes or more\n" + one + "a.bin\n" + one +
           "DOCS\\SUB\\x.nfo\nHits: 2, catalogs searched: 1\n", ""},
      {{"/fast", "/size=-4", "/dirs", "*", kOne}, 0,
       fast + " + size 4 bytes or less\n + directories too\n" + one + "README.TXT\n" + one +
           "DOCS\\Zlib.h\nHits: 2, catalogs searched: 1\n", ""},
      {{"/fast", "/size=4-5", "*", kOne}, 0,
       fast + " + size 4 to 5 bytes\n" + one + "DOCS\\readme.txt\nHits: 1, catalogs searched: 1\n", ""},
      {{"/fast", "/crc=352441c2", "r*", kOne}, 0,
       fast + " + CRC-32 352441C2\n" + one + "README.TXT\nHits: 1, catalogs searched: 1\n", ""},
      {{"/fast", "*.bin", "{D}/lib"}, 0,
       fast + one + "a.bin\n" + two + "copy.bin\nHits: 2, catalogs searched: 3\n", ""},
      {{"/fast", "/crc=11111111", "*", "{D}/lib/"}, 0,
       fast + " + CRC-32 11111111\n" + skipped + one + "a.bin\n" + one + "DOCS\\SUB\\x.nfo\n" +
           two + "copy.bin\nHits: 3, catalogs searched: 2, without CRC-32: 1\n", ""},
      {{"/fast", "/like={D}/abc.txt", "*", "{D}/lib"}, 0,
       fast + " + like {D}/abc.txt: 3 bytes, CRC-32 352441C2\n" + skipped + one + "README.TXT\n" +
           one + "DOCS\\Zlib.h\nHits: 2, catalogs searched: 2, without CRC-32: 1\n", ""},
      {{"/fast", "readme.txt", "{D}/bad.dir", "{D}/missing.dir", kOne}, 3,
       fast + one + "README.TXT\n" + one +
           "DOCS\\readme.txt\nHits: 2, catalogs searched: 1, not loaded: 2\n",
       "korvex: {D}/bad.dir: not a catalog\nkorvex: {D}/missing.dir: No such file or directory\n"},
      {{"/fast", "nothing*", "{D}/lib"}, 5, fast + "Hits: 0, catalogs searched: 3\n", ""},
      {{"/like={D}/none", "*", kOne}, 3, "Fail (cannot read {D}/none)\n",
       "korvex: {D}/none: cannot open\n"},
      {{"/size=abc", "*", kOne}, 1, "Unknown parameter: /size=abc\n", ""},
      {{"/size=9-1", "*", kOne}, 1, "Unknown parameter: /size=9-1\n", ""},
      {{"/crc=1234567", "*", kOne}, 1, "Unknown parameter: /crc=1234567\n", ""},
      {{"/DUPES", "*", kOne}, 1, "Unknown parameter: /DUPES\n", ""},
      {{"/fast", "*"}, 2, fast + "Not all names specified.\n", ""},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = {"s"};
    for (const std::string& a : row.args) args.push_back(Fill(a));
    test::RunResult r = test::RunArgs(args);
    EXPECT_EQ(row.code, r.code) << args[2];
    EXPECT_EQ(Fill(" Cmd::Search\n" + row.out), r.out) << args[2];
    EXPECT_EQ(Fill(row.err), r.err.substr(r.err.find('\n') + 1)) << args[2];
  }
}

TEST_F(Search, FullAndJsonLines) {
  const Row rows[] = {
      {{"/dirs", "*", kOne}, 0,
       " + directories too\n"
       "2001-09-09 01:46:40             3 352441C2   {D}/lib/one.dir: README.TXT\n"
       "1970-01-01 00:00:09           100 11111111   {D}/lib/one.dir: a.bin\n"
       "1970-01-01 00:00:07         <DIR>            {D}/lib/one.dir: DOCS\\\n"
       "1970-01-01 00:00:09             5 22222222 T {D}/lib/one.dir: DOCS\\readme.txt\n"
       "1970-01-01 00:00:09             3 352441C2   {D}/lib/one.dir: DOCS\\Zlib.h\n"
       "1970-01-01 00:00:07         <DIR>            {D}/lib/one.dir: DOCS\\SUB\\\n"
       "1970-01-01 00:00:09           100 11111111   {D}/lib/one.dir: DOCS\\SUB\\x.nfo\n"
       "Hits: 7, catalogs searched: 1\n", ""},
      {{"*", "{D}/lib/nocrc.DIR"}, 0,
       "2001-09-09 01:46:40             3            {D}/lib/nocrc.DIR: README.TXT\n"
       "Hits: 1, catalogs searched: 1\n", ""},
      {{"/json", "readme.*", "{D}/lib"}, 0,
       "{\"catalog\":\"{D}/lib/nocrc.DIR\",\"path\":\"README.TXT\",\"kind\":\"file\",\"size\":3,"
       "\"time\":\"2001-09-09T01:46:40Z\",\"seconds\":1000000000,\"crc\":null,\"stored\":false}\n"
       "{\"catalog\":\"{D}/lib/one.dir\",\"path\":\"README.TXT\",\"kind\":\"file\",\"size\":3,"
       "\"time\":\"2001-09-09T01:46:40Z\",\"seconds\":1000000000,\"crc\":\"352441C2\",\"stored\":false}\n"
       "{\"catalog\":\"{D}/lib/one.dir\",\"path\":\"DOCS\\\\readme.txt\",\"kind\":\"file\",\"size\":5,"
       "\"time\":\"1970-01-01T00:00:09Z\",\"seconds\":9,\"crc\":\"22222222\",\"stored\":true}\n",
       " Cmd::Search\n + one JSON object per line\nHits: 3, catalogs searched: 3\n"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = {"s"};
    for (const std::string& a : row.args) args.push_back(Fill(a));
    test::RunResult r = test::RunArgs(args);
    EXPECT_EQ(row.code, r.code) << args[2];
    const bool json = args[1] == "/json";
    EXPECT_EQ(Fill((json ? "" : " Cmd::Search\n") + row.out), r.out) << args[2];
    EXPECT_EQ(Fill(row.err), r.err.substr(r.err.find('\n') + 1)) << args[2];
  }
}

TEST_F(Search, DuplicatesAcrossCatalogs) {
  const std::string one = "  {D}/lib/one.dir: ";
  const std::string head = " Cmd::Search\n + duplicates: same size and CRC-32\n";
  const std::string skipped = "Skipped (no CRC-32): {D}/lib/nocrc.DIR\n";
  const std::string big = "3 copies of 100 bytes, CRC-32 11111111\n" + one + "a.bin\n" + one +
                          "DOCS\\SUB\\x.nfo\n  {D}/lib/sub/two.dir: copy.bin\n";
  const std::string small = "2 copies of 3 bytes, CRC-32 352441C2\n" + one + "README.TXT\n" +
                            one + "DOCS\\Zlib.h\n";
  const Row rows[] = {
      {{"/dupes", "*", "{D}/lib"}, 0,
       head + skipped + big + small +
           "Groups: 2, redundant copies: 3, redundant bytes: 203, catalogs searched: 2, "
           "without CRC-32: 1\n", ""},
      {{"/dupes", "/min=4", "*", "{D}/lib"}, 0,
       head + " + duplicates of 4 bytes or more\n" + skipped + big +
           "Groups: 1, redundant copies: 2, redundant bytes: 200, catalogs searched: 2, "
           "without CRC-32: 1\n", ""},
      {{"/dupes", "*.bin", "{D}/lib/sub/two.dir", "{D}/lib/nocrc.DIR"}, 5,
       head + "Skipped (no CRC-32): {D}/lib/nocrc.DIR\n"
              "Groups: 0, redundant copies: 0, redundant bytes: 0, catalogs searched: 1, "
              "without CRC-32: 1\n", ""},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = {"s"};
    for (const std::string& a : row.args) args.push_back(Fill(a));
    test::RunResult r = test::RunArgs(args);
    EXPECT_EQ(row.code, r.code) << args[2];
    EXPECT_EQ(Fill(row.out), r.out) << args[2];
  }
}

TEST_F(Search, HostileAndLongPaths) {
  test::RunResult json = test::RunArgs({"s", "/json", "*", dir / "hostile.dir"});
  EXPECT_EQ(0, json.code);
  EXPECT_NE(std::string::npos, json.out.find("\"path\":\"a b\\\"c\\\\\""));
  // Control bytes escaped, a stray byte as its surrogate, valid UTF-8 kept.
  EXPECT_NE(std::string::npos, json.out.find("\"path\":\"\\u0001\\udcff\xc3\xa9\""));
  std::string deep;
  for (int i = 0; i < 40; ++i) deep += std::string(200, 'd') + "\\";
  test::RunResult brief = test::RunArgs({"s", "/fast", "*\\last", dir / "hostile.dir"});
  EXPECT_EQ(" Cmd::Search\n" + std::string(kFast) + dir / "hostile.dir" + ": " + deep +
                "LAST\nHits: 1, catalogs searched: 1\n",
            brief.out);
}

}  // namespace
}  // namespace korvex
