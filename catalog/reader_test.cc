#include "catalog/reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalog/coding.h"
#include "catalog/crc32.h"
#include "catalog/format.h"
#include "tests/catalog_bytes.h"
#include "tests/testutil.h"

namespace korvex {
namespace {

using test::Header;
using test::Le;
using test::Store;
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
}

TEST_F(ReaderTest, LongPathsAndDeepNestingHaveNoFixedLimit) {
  TreeBytes t;
  std::string expected = "\\";
  for (int i = 0; i < 200; ++i) {
    std::string name = "level" + std::to_string(i);
    t.Dir(name);
    expected += name + "\\";
  }
  t.File(std::string(250, 'f'), 0x20, 1);
  for (int i = 0; i <= 200; ++i) t.End();
  ASSERT_TRUE(LoadBytes(Header(t.bytes, true) + t.bytes));
  std::vector<std::string> paths = Walk();
  ASSERT_EQ(201u, paths.size());
  EXPECT_EQ(expected + std::string(250, 'f'), paths.back());
  EXPECT_GT(paths.back().size(), 1500u);
}

TEST_F(ReaderTest, RefusesDamagedCatalogs) {
  std::string good = test::ReadFile("tests/vectors/worked-example.dir");
  std::vector<std::pair<const char*, std::string>> bad;
  bad.push_back({"short header", good.substr(0, 15)});
  bad.push_back({"short tree", good.substr(0, 39)});
  std::string magic = good;
  magic[7] = 1;
  bad.push_back({"magic", magic});
  std::string tree = good;
  tree[20] ^= 1;
  bad.push_back({"tree byte", tree});
  // Well-formed CRC, but the records run past the end or miss the root's end.
  TreeBytes open;
  open.Dir("D").File("A", 0x20, 1).End();
  bad.push_back({"missing root end", Header(open.bytes, true) + open.bytes});
  std::string cut = TreeBytes().File("A", 0x20, 1).bytes.substr(0, 10);
  bad.push_back({"record past the end", Header(cut, true) + cut});
  bad.push_back({"tree length 0", Header("", true)});
  std::string noNul = "ABC";
  bad.push_back({"name without end", Header(noNul, true) + noNul});
  std::string huge = good;
  EncodeFixed32(reinterpret_cast<unsigned char*>(&huge[12]), 0xFFFFFFFFu);
  bad.push_back({"tree longer than the file", huge});
  for (const auto& c : bad) {
    EXPECT_FALSE(LoadBytes(c.second)) << c.first;
  }
  EXPECT_FALSE(reader.Load(dir / "missing.dir"));
}

class FetchTest : public ReaderTest {
 protected:
  // A catalog whose stored files are the given contents, in order; file i is
  // at stored index i.
  std::string Catalog(const std::vector<std::string>& contents) {
    TreeBytes t;
    std::string table, records;
    uint32_t offset = 4 * static_cast<uint32_t>(contents.size());
    for (size_t i = 0; i < contents.size(); ++i) {
      t.File("F" + std::to_string(i), 0x28, static_cast<uint32_t>(contents[i].size()));
      table += Le(offset);
      records += Le(static_cast<uint32_t>(contents[i].size())) + contents[i];
      offset += 4 + static_cast<uint32_t>(contents[i].size());
    }
    t.End();
    return Header(t.bytes, true) + t.bytes + Store(table + records);
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

TEST_F(FetchTest, FailsOutsideTheDataAreaOrWithoutAStore) {
  std::string out;
  EXPECT_FALSE(Fetch(test::ReadFile("tests/vectors/empty-root.dir") , -1, false, &out));
  TreeBytes t;
  t.File("A", 0x28, 3).End();
  std::string head = Header(t.bytes, true) + t.bytes;
  EXPECT_FALSE(Fetch(head, 0, false, &out));                              // no store
  EXPECT_FALSE(Fetch(head + Store(Le(100) + Le(3) + "abc"), 0, true, &out));   // offset outside
  EXPECT_FALSE(Fetch(head + Store(Le(4) + Le(300) + "abc"), 0, false, &out));  // size outside
  EXPECT_FALSE(Fetch(head + Store(""), 0, false, &out));                  // slot outside
  std::string marker = head + Store(Le(4) + Le(3) + "abc");
  marker[head.size() + 8] = 4;
  EXPECT_FALSE(Fetch(marker, 0, false, &out));
  EXPECT_TRUE(Fetch(head + Store(Le(4) + Le(3) + "abc"), 0, true, &out));
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
