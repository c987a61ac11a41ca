// Damaged catalogs.  Every truncation and single-byte change of a small and a
// nested catalog goes through the fuzz targets, which hold the invariants:
// as it is, its CRCs must catch the damage; resealed, every reader must cope
// with it.  Then the malformed shapes, a row each, with what every reader
// makes of them.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "catalog/reader.h"
#include "fuzz/harness.h"
#include "plugin/browser.h"
#include "tests/support/catalog_bytes.h"
#include "tests/support/memory_env.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

void Feed(const std::string& bytes) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
  fuzz::CatalogTarget(p, bytes.size());
  fuzz::FetchTarget(p, bytes.size());
  fuzz::PluginTarget(p, bytes.size());
}

// Every cut, and every change of a byte to the values values(position) gives.
template <typename Values>
void Sweep(const std::string& original, Values values) {
  for (size_t n = 0; n < original.size(); ++n) Feed(original.substr(0, n));
  for (size_t pos = 0; pos < original.size(); ++pos) {
    for (unsigned char now : values(pos, static_cast<unsigned char>(original[pos]))) {
      std::string bytes = original;
      bytes[pos] = static_cast<char>(now);
      Feed(bytes);
    }
  }
}

std::vector<unsigned char> FourChanges(unsigned char b) {
  return {static_cast<unsigned char>(b ^ 0xFF), 0x00, static_cast<unsigned char>(b ^ 0x10),
          static_cast<unsigned char>(b ^ 0x80)};
}

TEST(Corruption, WorkedExample) {
  const std::string original = test::ReadFile("tests/vectors/worked-example.dir");
  const size_t treeEnd = kHeaderSize + test::Inspect(original).treeLength;
  // Every value of every byte that shapes the records.
  Sweep(original, [&](size_t pos, unsigned char b) {
    std::vector<unsigned char> all(256);
    for (int v = 0; v < 256; ++v) all[v] = static_cast<unsigned char>(v);
    return pos < kTreeLengthOffset || pos >= treeEnd ? FourChanges(b) : all;
  });
}

// Made by the create command over a tree in memory: three levels, shared
// and empty stored records, unstored files.
TEST(Corruption, NestedCatalog) {
  const std::string nested = test::ReadFile("tests/vectors/nested.dir");
  const size_t treeEnd = kHeaderSize + test::Inspect(nested).treeLength;
  ASSERT_GE(nested.size(), 3000u);
  Sweep(nested, [&](size_t pos, unsigned char b) {
    return pos < treeEnd ? FourChanges(b) : std::vector<unsigned char>{uint8_t(b ^ 0xFF)};
  });
}

// The plug-in's walk after a first look of 17 bytes: items and the last
// result, or -1 when it does not open.
std::pair<size_t, int32_t> Browse(test::MemoryEnv& env, const std::string& bytes) {
  CatalogBrowser browser(env);
  if (bytes.size() < 17 ||
      !browser.Recognise(reinterpret_cast<const unsigned char*>(bytes.data()), 17) ||
      !browser.Open("m.dir")) {
    return {0, -1};
  }
  KorvexpFindData item;
  size_t items = 0;
  int32_t result;
  while ((result = browser.Next(&item)) == KORVEXP_ITEM_WRITTEN) ++items;
  return {items, result};
}

// The malformed shapes of tests/vectors/malformed/readers.table, a row each
// with what every reader makes of them.
TEST(MalformedCatalog, EachReader) {
  const std::string out = std::string("out") + kPathSeparator;
  std::istringstream table(test::ReadFile("tests/vectors/malformed/readers.table"));
  int rows = 0;
  for (std::string line; std::getline(table, line);) {
    std::istringstream row(line);
    std::string name, wanted;
    int loads, extract, last;
    size_t items;
    if (line[0] == '#' || !(row >> name >> loads >> extract >> items >> last >> wanted)) continue;
    SCOPED_TRACE(name);
    ++rows;
    const std::string catalog = test::ReadFile("tests/vectors/" + name);
    test::MemoryEnv env;
    env.AddFile("m.dir", catalog);
    env.AddDir("out");
    CatalogReader reader(env);
    EXPECT_EQ(loads, reader.Load("m.dir"));
    while (const EntryInfo* e = wanted == "*" ? reader.NextRecord() : nullptr) {
      if (e->attributes & kAttrStored) wanted = reader.CurrentPath().substr(1);
    }
    const test::RunResult list = test::RunWith(env, {"l", "m.dir"});
    EXPECT_EQ(loads ? 0 : 3, list.code) << list.out;
    EXPECT_EQ(loads, list.out != " Cmd::List\nFile loading error!\n");
    for (const char* mode : {"/overwrite", "/fast"}) {
      const test::RunResult e = test::RunWith(env, {"e", mode, "m.dir", wanted, out});
      EXPECT_EQ(extract, e.code) << mode << ": " << e.out;
      const std::string* written = env.Contents(out + wanted.substr(wanted.rfind('\\') + 1));
      EXPECT_EQ(extract == 0, written != nullptr && *written == "abc") << mode;
    }
    EXPECT_EQ(std::make_pair(items, last), Browse(env, catalog));
    Feed(catalog);
  }
  EXPECT_EQ(34, rows);
}

}  // namespace
}  // namespace korvex
