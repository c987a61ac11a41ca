#include "catalog/reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalog/coding.h"
#include "catalog/crc32.h"
#include "catalog/format.h"
#include "tests/support/catalog_bytes.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

using test::Header;
using test::Le;
using test::TreeBytes;

class ReaderTest : public ::testing::Test {
 protected:
  ReaderTest() : reader(env) {}

  std::string Put(const std::string& catalog) { return dir.Write("c.dir", catalog); }
  bool LoadBytes(const std::string& catalog) { return reader.Load(Put(catalog)); }

  std::vector<std::string> Walk() {
    std::vector<std::string> paths;
    while (reader.NextEntry()) paths.push_back(reader.CurrentPath());
    return paths;
  }

  test::TempDir dir;
  test::FaultEnv env;
  CatalogReader reader;
  test::ShownProgress progress;
};

TEST_F(ReaderTest, WorkedExampleWalksAndDecodes) {
  ASSERT_TRUE(reader.Load("tests/vectors/worked-example.dir"));
  EXPECT_TRUE(reader.HasCrc());
  EXPECT_EQ(60u, reader.CatalogSize());
  EXPECT_EQ(24u, reader.TreeLength());
  const char* name = reader.NextEntry();
  ASSERT_NE(nullptr, name);
  EXPECT_EQ("\\A", reader.CurrentPath());
  EXPECT_EQ(0, reader.StoredOrdinal());
  EntryInfo info;
  reader.DecodeEntry(name, &info);
  EXPECT_STREQ("A", info.name);
  EXPECT_EQ(0x28, info.attributes);
  EXPECT_EQ(1000000000u, info.time);
  EXPECT_EQ(3u, info.size);
  EXPECT_EQ(0x352441C2u, info.crc);
  name = reader.NextEntry();
  EXPECT_EQ("\\D\\", reader.CurrentPath());
  reader.DecodeEntry(name, &info);
  EXPECT_EQ(0x10, info.attributes);
  EXPECT_EQ(0u, info.size);
  EXPECT_EQ(nullptr, reader.NextEntry());
  reader.Rewind();
  EXPECT_EQ(-1, reader.StoredOrdinal());
  EXPECT_EQ((std::vector<std::string>{"\\A", "\\D\\"}), Walk());
}

TEST_F(ReaderTest, PathsFollowTheNestingAndStoredOrdinalsCountFlaggedRecords) {
  TreeBytes t;
  t.File("S1", 0x28, 1).Dir("DIR").Dir("SUB").File("A.TXT", 0x28, 1).File("U", 0x20, 1).End()
      .File("B.TXT", 0x28, 1).End().End();
  ASSERT_TRUE(LoadBytes(Header(t.bytes, true) + t.bytes));
  std::vector<int> ordinals;
  std::vector<std::string> paths;
  while (reader.NextEntry()) {
    paths.push_back(reader.CurrentPath());
    ordinals.push_back(reader.StoredOrdinal());
  }
  EXPECT_EQ((std::vector<std::string>{"\\S1", "\\DIR\\", "\\DIR\\SUB\\", "\\DIR\\SUB\\A.TXT",
                                      "\\DIR\\SUB\\U", "\\DIR\\B.TXT"}),
            paths);
  EXPECT_EQ((std::vector<int>{0, 0, 0, 1, 1, 2}), ordinals);
}

TEST_F(ReaderTest, RecordsWithoutCrcFieldsAreSteppedOver) {
  TreeBytes t;
  t.withCrc = false;
  t.File("A", 0x20, 5).File("B", 0x20, 6).End();
  ASSERT_TRUE(LoadBytes(Header(t.bytes, false) + t.bytes));
  EXPECT_FALSE(reader.HasCrc());
  const char* a = reader.NextEntry();
  const char* b = reader.NextEntry();
  ASSERT_NE(nullptr, b);
  EntryInfo info;
  reader.DecodeEntry(b, &info);
  EXPECT_EQ(6u, info.size);
  EXPECT_EQ(0u, info.crc);
  reader.DecodeEntry(a, &info);
  EXPECT_EQ(5u, info.size);
  EXPECT_EQ(nullptr, reader.NextEntry());
}

TEST_F(ReaderTest, EmptyRootAndTrailingBytes) {
  ASSERT_TRUE(reader.Load("tests/vectors/empty-root.dir"));
  EXPECT_EQ(nullptr, reader.NextEntry());
  std::string extra = test::ReadFile("tests/vectors/empty-root.dir") + "trailing";
  ASSERT_TRUE(LoadBytes(extra));
  EXPECT_EQ(nullptr, reader.NextEntry());
  EXPECT_FALSE(reader.Load(dir / "missing.dir"));
}

// A header that is not a catalog's, or claims more tree than the file
// holds, is refused before the tree is read.
TEST_F(ReaderTest, BadHeaderStopsAfterOneRead) {
  const std::string good = test::ReadFile("tests/vectors/worked-example.dir");
  std::string magic = good;
  magic[0] = 'k';
  std::string longer = good;
  longer.replace(kTreeLengthOffset, 4, Le(0x7FFFFFF0u));
  for (const std::string& bad : {magic, longer}) {
    env.readCalls = 0;
    EXPECT_FALSE(LoadBytes(bad));
    EXPECT_EQ(1, env.readCalls);
  }
}

class FetchTest : public ReaderTest {
 protected:
  // A catalog whose stored files are the given contents, in order; file i is
  // at stored index i.
  std::string Catalog(const std::vector<std::string>& contents) {
    TreeBytes t;
    for (size_t i = 0; i < contents.size(); ++i) {
      t.File("F" + std::to_string(i), 0x28, static_cast<uint32_t>(contents[i].size()));
    }
    const std::string data = test::DataArea(contents);
    return test::Catalog(t.End().bytes, true, &data);
  }

  // Loads the catalog, walks to stored file `index` and fetches it.
  bool Fetch(const std::string& catalog, int index, bool check, std::string* out) {
    if (!LoadBytes(catalog)) return false;
    for (int i = 0; i <= index; ++i) reader.NextEntry();
    std::vector<unsigned char> got;
    progress.Stage("Extr");
    if (!reader.FetchStored(check, progress, &got)) return false;
    out->assign(got.begin(), got.end());
    return true;
  }
};

TEST_F(FetchTest, BothModesReturnTheContents) {
  std::string big(3 * kBlockSize + 17, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + (i >> 9));
  // The second record starts a few bytes before a block boundary.
  std::string first(kBlockSize - 8 - 4 * 3 - 3, 'x');
  std::string catalog = Catalog({first, big, ""});
  for (bool check : {false, true}) {
    std::string out;
    ASSERT_TRUE(Fetch(catalog, 1, check, &out)) << check;
    EXPECT_EQ(big, out) << check;
    ASSERT_TRUE(Fetch(catalog, 0, check, &out));
    EXPECT_EQ(first, out);
    ASSERT_TRUE(Fetch(catalog, 2, check, &out));
    EXPECT_EQ("", out);
  }
}

TEST_F(FetchTest, CheckingModeShowsProgressAndCatchesAnyDataByte) {
  std::string catalog = Catalog({"abc", "defg"});
  std::string out;
  ASSERT_TRUE(Fetch(catalog, 0, true, &out));
  EXPECT_EQ("\b\b\b\b  0%", progress.console.out);
  EXPECT_EQ("{0%}Extr... - KORVEX v3.0m", progress.console.titles[0]);
  std::string damaged = catalog;
  damaged.back() ^= 0x20;  // inside the other file's contents
  EXPECT_FALSE(Fetch(damaged, 0, true, &out));
  EXPECT_TRUE(Fetch(damaged, 0, false, &out));
  EXPECT_EQ("abc", out);
}

TEST_F(FetchTest, CatalogReplacedSinceLoadIsRefused) {
  std::string catalog = Catalog({"abc"});
  ASSERT_TRUE(LoadBytes(catalog));
  reader.NextEntry();
  Put(Catalog({"abcd"}));
  std::vector<unsigned char> got;
  EXPECT_FALSE(reader.FetchStored(false, progress, &got));
}

}  // namespace
}  // namespace korvex
