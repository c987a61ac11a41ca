// Damaged catalogs.  Every truncation and single-byte change of a small and a
// nested catalog goes through the fuzz targets, which reseal the CRCs so the
// damage reaches the code behind them; as they are, the CRCs must catch it.
// Then the hand-made malformed shapes, a row each, with what every reader
// makes of them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalog/format.h"
#include "catalog/progress.h"
#include "catalog/reader.h"
#include "fuzz/harness.h"
#include "plugin/browser.h"
#include "tests/catalog_bytes.h"
#include "tests/testutil.h"

namespace korvex {
namespace {

using fuzz::MemoryEnv;
using fuzz::Outcome;
using fuzz::Run;

const std::string kSep(1, kPathSeparator);

std::string Text(const std::string& seed, size_t size) {
  std::string text;
  for (int line = 0; text.size() < size; ++line) {
    text += seed + " line " + std::to_string(line) + "\n";
  }
  return text.substr(0, size);
}

// Made by the create command over a tree in memory, so it is the same on
// every run: three levels, shared and empty stored records, unstored files.
std::string NestedCatalog() {
  MemoryEnv env;
  const std::string src = "src" + kSep;
  env.AddFile(src + "README.TXT", Text("readme", 800), 1000000001u);
  env.AddFile(src + "COPY.TXT", Text("readme", 800), 1000000002u);
  env.AddFile(src + "EMPTY.TXT", "", 1000000003u);
  env.AddFile(src + "BIG.BIN", Text("big", 2000), 1000000004u);
  env.AddFile(src + "DOCS" + kSep + "INSTALL.NFO", Text("install", 150), 1000000005u);
  env.AddFile(src + "DOCS" + kSep + "NOTES.TXT", Text("notes", 1000), 1000000006u);
  env.AddFile(src + "DOCS" + kSep + "SUB" + kSep + "DEEP.TXT", Text("deep", 600));
  env.AddFile(src + "DOCS" + kSep + "SUB" + kSep + "LEAF" + kSep + "Z.TXT", Text("z", 100));
  env.AddFile(src + "DOCS" + kSep + "SUB" + kSep + "LEAF" + kSep + "ZERO.NFO", "");
  env.AddDir(src + "EMPTY");
  env.AddFile(src + "MEDIA" + kSep + "A.BIN", Text("a", 50));
  env.AddFile(src + "MEDIA" + kSep + "B.BIN", Text("b", 60));
  Outcome made = fuzz::Run(env, {"c", "/store=*.TXT:*.NFO", "nested.dir", "src"});
  EXPECT_EQ(0, made.code) << made.out;
  const std::string* bytes = env.Contents("nested.dir");
  return bytes ? *bytes : std::string();
}

// What the reader and the plug-in's walker make of a catalog as it is.
struct Raw {
  bool loaded = false;
  int stored = 0;   // stored records walked
  int checked = 0;  // of them, fetched with the CRC check
  bool opened = false;
};

Raw ReadRaw(const std::string& bytes) {
  MemoryEnv env;
  env.AddFile("c.dir", bytes);
  Raw r;
  CatalogReader reader(env);
  r.loaded = reader.Load("c.dir");
  ProgressObserver quiet;
  while (const char* name = r.loaded ? reader.NextEntry() : nullptr) {
    EntryInfo info;
    reader.DecodeEntry(name, &info);
    if (!(info.attributes & kAttrStored)) continue;
    ++r.stored;
    std::vector<unsigned char> contents;
    r.checked += reader.FetchStored(true, quiet, &contents);
  }
  CatalogBrowser browser(env);
  const uint32_t look = bytes.size() < 20 ? static_cast<uint32_t>(bytes.size()) : 20;
  r.opened = look > 0 && browser.Recognise(reinterpret_cast<const unsigned char*>(bytes.data()),
                                           look) && browser.Open("c.dir");
  return r;
}

// The fuzz targets' invariants over one variant, resealed by them.
void Feed(const std::string& bytes) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
  fuzz::CatalogTarget(p, bytes.size());
  fuzz::FetchTarget(p, bytes.size());
  fuzz::PluginTarget(p, bytes.size());
}

size_t TreeEnd(const std::string& catalog) {
  return kHeaderSize + fuzz::Inspect(catalog).treeLength;
}

// Shorter than header and tree, a catalog does not load; longer, it loads
// and no stored record passes its check.
void SweepTruncations(const std::string& original) {
  const size_t treeEnd = TreeEnd(original);
  for (size_t n = 0; n < original.size(); ++n) {
    const std::string cut = original.substr(0, n);
    const Raw r = ReadRaw(cut);
    EXPECT_EQ(n >= treeEnd, r.loaded) << "cut to " << n;
    EXPECT_EQ(0, r.checked) << "cut to " << n;
    Feed(cut);
  }
}

// Each byte from `from` on changed to each value of values(byte): in the
// header and tree the tree CRC refuses it (but for the CRC flag), in the
// store the store CRC fails every checked fetch.
template <typename Values>
void SweepChanges(const std::string& original, size_t from, size_t to, Values values) {
  const size_t treeEnd = TreeEnd(original);
  ASSERT_GT(ReadRaw(original).stored, 0);
  for (size_t pos = from; pos < to; ++pos) {
    const unsigned char was = static_cast<unsigned char>(original[pos]);
    for (unsigned char now : values(pos, was)) {
      if (now == was) continue;
      std::string bytes = original;
      bytes[pos] = static_cast<char>(now);
      const Raw r = ReadRaw(bytes);
      const bool flagOnly = pos == kTreeLengthOffset + 3 && (was ^ now) == 0x80;
      if (pos < treeEnd && !flagOnly) {
        EXPECT_FALSE(r.loaded || r.opened) << "byte " << pos << " -> " << int(now);
      } else if (pos >= treeEnd) {
        EXPECT_TRUE(r.loaded && r.opened && r.checked == 0) << "byte " << pos << " -> " << int(now);
      }
      Feed(bytes);
    }
  }
}

std::vector<unsigned char> FourChanges(size_t, unsigned char b) {
  return {static_cast<unsigned char>(b ^ 0xFF), 0x00, static_cast<unsigned char>(b ^ 0x10),
          static_cast<unsigned char>(b ^ 0x80)};
}

TEST(Corruption, WorkedExample) {
  const std::string original = test::ReadFile("tests/vectors/worked-example.dir");
  SweepTruncations(original);
  // Every value of every byte that shapes the records.
  SweepChanges(original, 0, original.size(), [&](size_t pos, unsigned char b) {
    if (pos < kTreeLengthOffset || pos >= TreeEnd(original)) return FourChanges(pos, b);
    std::vector<unsigned char> all;
    for (int v = 0; v < 256; ++v) all.push_back(static_cast<unsigned char>(v));
    return all;
  });
}

TEST(Corruption, NestedCatalog) {
  const std::string nested = NestedCatalog();
  ASSERT_GE(nested.size(), 3000u);
  SweepTruncations(nested);
  const size_t treeEnd = TreeEnd(nested);
  SweepChanges(nested, 0, treeEnd, FourChanges);
  SweepChanges(nested, treeEnd, nested.size(), [](size_t, unsigned char b) {
    return std::vector<unsigned char>{static_cast<unsigned char>(b ^ 0xFF)};
  });
}

// One malformed shape and what each reader makes of it.
struct Malformed {
  const char* what;
  std::string catalog;
  bool loads;          // the reader
  int list;            // exit code of "l"
  int extract;         // exit code of "e" of `wanted`, checked and /fast alike
  size_t items;        // the plug-in: items walked before
  int32_t last;        // the result that ended its walk, -1 when not opened
  std::string wanted = "A";
};

std::string Cat(const std::string& tree, bool withCrc = true) {
  return test::Catalog(tree, withCrc);
}
std::string WithData(const std::string& tree, const std::string& data) {
  return test::Catalog(tree, true, &data);
}

std::vector<Malformed> MalformedCases() {
  using test::Le;
  using test::TreeBytes;
  const int32_t kEnd = KORVEXP_ITEM_END, kBad = KORVEXP_ITEM_MALFORMED;
  const std::string a = TreeBytes().File("A", 0x28, 3, 0x352441C2).bytes;
  const std::string aTree = a + '\0';
  const std::string abc = test::DataArea({"abc"});
  const std::string dir = TreeBytes().Dir("D").bytes;
  auto noCrc = [] {
    TreeBytes t;
    t.withCrc = false;
    return t;
  };
  std::string hugeArea = WithData(aTree, abc);
  hugeArea.replace(kHeaderSize + aTree.size() + 4, 4, Le(0x7FFFFFF0u));
  std::string badMarker = WithData(aTree, abc);
  badMarker[kHeaderSize + aTree.size() + 8] = 0x04;
  std::string treeLonger = test::ReadFile("tests/vectors/worked-example.dir");
  treeLonger.replace(kTreeLengthOffset, 4, Le(0xFFFFFFFFu));
  std::string magic = test::ReadFile("tests/vectors/worked-example.dir");
  magic[7] = 1;

  std::string deep, deepPath;
  for (int depth = 0; depth < 300; ++depth) {
    const std::string name = "LEVEL" + std::to_string(1000 + depth) + "-ABCDEFGHIJKLM";
    deep += TreeBytes().Dir(name).bytes;
    deepPath += name + "\\";
  }
  deep += TreeBytes().File("DEEP.TXT", 0x28, 3, 0x352441C2).bytes + std::string(301, '\0');
  auto nest = [&](int levels) {
    std::string tree;
    for (int i = 0; i < levels; ++i) tree += TreeBytes().Dir("a").bytes;
    return tree + a + std::string(levels + 1, '\0');
  };
  auto nestPath = [](int levels) {
    std::string path;
    for (int i = 0; i < levels; ++i) path += "a\\";
    return path + "A";
  };
  const std::string outer = TreeBytes().Dir(std::string(200, 'd')).bytes;

  std::vector<Malformed> rows = {
      // Sound shapes at the plug-in's limits: only the plug-in stops.
      {"the worked example", test::ReadFile("tests/vectors/worked-example.dir"), true, 0, 0, 2,
       kEnd},
      {"a path of 259 bytes", WithData(TreeBytes().File(std::string(259, 'A'), 0x28, 3,
                                                         0x352441C2).bytes + '\0', abc),
       true, 0, 0, 1, kEnd, std::string(259, 'A')},
      {"a path of 260 bytes", Cat(TreeBytes().File(std::string(260, 'f'), 0x20, 1).End().bytes),
       true, 0, 3, 0, kBad},
      {"a 259-byte path in a directory",
       Cat(outer + TreeBytes().File(std::string(58, 'f'), 0x20, 1).Dir(std::string(58, 'e'))
                       .End().End().End().bytes),
       true, 0, 3, 3, kEnd},
      {"a 260-byte file path in a directory",
       Cat(outer + TreeBytes().File(std::string(59, 'f'), 0x20, 1).End().End().bytes), true, 0,
       3, 1, kBad},
      {"a 260-byte directory path", Cat(outer + TreeBytes().Dir(std::string(59, 'e')).End()
                                                    .End().End().bytes),
       true, 0, 3, 1, kBad},
      // "A" alone would name the top directory "a" and restore all of it.
      {"127 nested directories", WithData(nest(127), abc), true, 0, 0, 128, kEnd,
       nestPath(127)},
      {"128 nested directories", WithData(nest(128), abc), true, 0, 0, 127, kBad,
       nestPath(128)},
      {"300 levels, 7000 bytes of path", WithData(deep, abc), true, 0, 0, 10, kBad,
       deepPath + "DEEP.TXT"},
      {"bytes after the root's end", Cat(std::string(1, '\0') + a), true, 0, 3, 0, kBad},
      {"no CRC fields", Cat(noCrc().File("A", 0x20, 1).Dir("D").File("B", 0x20, 2).End().End()
                                .bytes, false),
       true, 0, 4, 3, kEnd},
      // Records outside the data area: the listings do not look there.
      {"no content store", Cat(aTree), true, 0, 3, 1, kEnd},
      {"no slot for the record", WithData(aTree, ""), true, 0, 3, 1, kEnd},
      {"slot beyond the data area", WithData(aTree, Le(100) + Le(3) + "abc"), true, 0, 3, 1, kEnd},
      {"slot near 4 GiB", WithData(aTree, Le(0xFFFFFFFEu) + Le(3) + "abc"), true, 0, 3, 1, kEnd},
      {"size past the data area", WithData(aTree, Le(4) + Le(1000) + "abc"), true, 0, 3, 1, kEnd},
      {"size near 4 GiB", WithData(aTree, Le(4) + Le(0xFFFFFFFFu) + "abc"), true, 0, 3, 1, kEnd},
      {"size word cut off", WithData(aTree, Le(4) + "ab"), true, 0, 3, 1, kEnd},
      {"data area past the end of the file", hugeArea, true, 0, 3, 1, kEnd},
      {"marker byte not 3", badMarker, true, 0, 3, 1, kEnd},
      // Refused by every reader.
      {"a header cut short", magic.substr(0, 15), false, 3, 3, 0, -1},
      {"another magic", magic, false, 3, 3, 0, -1},
      {"a tree longer than the file", treeLonger, false, 3, 3, 0, -1},
      {"tree length 0", Cat(""), false, 3, 3, 0, -1},
      {"tree length 0 with a store", WithData("", abc), false, 3, 3, 0, kBad},
      {"a name without its terminator", Cat("ABC"), false, 3, 3, 0, kBad},
      {"a name without its attribute byte", Cat(std::string("A\0", 2)), false, 3, 3, 0, kBad},
      {"a file record cut in its time", Cat(a.substr(0, 5)), false, 3, 3, 0, kBad},
      {"a file record cut in its CRC", Cat(a.substr(0, 12)), false, 3, 3, 0, kBad},
      {"a file without the root's end", Cat(a), false, 3, 3, 1, kBad},
      {"a file record without its CRC field", Cat(noCrc().File("A", 0x20, 3).End().bytes), false, 3,
       3, 0, kBad},
      {"a directory never closed", Cat(dir, false), false, 3, 3, 1, kBad},
      {"a directory closed, the root not", Cat(dir + '\0', false), false, 3, 3, 1, kBad},
      {"a directory record cut in its time", Cat(dir.substr(0, 5) + '\0', false), false, 3, 3, 0,
       kBad},
  };
  return rows;
}

// The plug-in's walk after a first look of 17 bytes: items and the last
// result, or -1 when it does not open.
std::pair<size_t, int32_t> Browse(MemoryEnv& env, const std::string& bytes) {
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

TEST(MalformedCatalog, EachReader) {
  for (const Malformed& c : MalformedCases()) {
    SCOPED_TRACE(c.what);
    MemoryEnv env;
    env.AddFile("m.dir", c.catalog);
    env.AddDir("out");
    CatalogReader reader(env);
    EXPECT_EQ(c.loads, reader.Load("m.dir"));
    const Outcome list = fuzz::Run(env, {"l", "m.dir"});
    EXPECT_EQ(c.list, list.code) << list.out;
    if (!c.loads) {
      EXPECT_EQ(" Cmd::List\nFile loading error!\n", list.out);
    }
    for (const char* mode : {"/overwrite", "/fast"}) {
      const Outcome e = fuzz::Run(env, {"e", mode, "m.dir", c.wanted, "out" + kSep});
      EXPECT_EQ(c.extract, e.code) << mode << ": " << e.out;
      const std::string* written = env.Contents("out" + kSep + c.wanted.substr(
                                                    c.wanted.rfind('\\') + 1));
      EXPECT_EQ(c.extract == 0, written != nullptr && *written == "abc") << mode;
    }
    EXPECT_EQ(std::make_pair(c.items, c.last), Browse(env, c.catalog));
    Feed(c.catalog);
  }
}

}  // namespace
}  // namespace korvex
