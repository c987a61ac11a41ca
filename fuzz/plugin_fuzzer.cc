// The plug-in's catalog walker in the host's order over a catalog given as
// bytes in memory (tree CRC resealed), with first looks of every short length and
// around the end of the tree: items come out as the catalog reader walks
// them, the walk ends cleanly only on a well-formed tree, and nothing is
// written outside the records the host hands in.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "catalog/catalog_format.h"
#include "catalog/format.h"
#include "catalog/reader.h"
#include "fuzz/harness.h"
#include "plugin/browser.h"
#include "plugin/korvexp.h"
#include "tests/support/catalog_bytes.h"
#include "tests/support/memory_env.h"

namespace korvex {
namespace fuzz {
namespace {

const unsigned char kPattern = 0xA5;
const size_t kPathLimit = 260;  // the host's cFileName, NUL included
const int kLevelLimit = 128;    // directories open at once, the root included

struct Expected {
  std::string name;  // as the plug-in writes it: no leading or trailing '\'
  EntryInfo info;
  bool fits;  // the plug-in's path and nesting limits hold for it
};

std::vector<Expected> ReaderWalk(CatalogReader& reader) {
  std::vector<Expected> items;
  while (const EntryInfo* info = reader.NextRecord()) {
    std::string path = reader.CurrentPath().substr(1);
    const bool isDir = info->attributes & kAttrDirectory;
    if (isDir) path.pop_back();
    // A backslash inside a name makes this count high, never low.
    const long levels = 1 + std::count(path.begin(), path.end(), '\\');
    items.push_back({path, *info, path.size() < kPathLimit && (!isDir || levels < kLevelLimit)});
  }
  return items;
}

bool Untouched(const unsigned char* bytes, size_t n) {
  return std::count(bytes, bytes + n, kPattern) == static_cast<ptrdiff_t>(n);
}

// A host's item record: the find data and some of the host's own after it.
struct HostItem {
  KorvexpFindData find;
  unsigned char trailer[16];
};

void CheckItem(const HostItem& item, const Expected& e) {
  const uint64_t ticks = uint64_t{e.info.time} * 10000000u + 116444736000000000ull;
  Require(item.find.dwFileAttributes == e.info.attributes &&
              item.find.ftLastWriteTime.dwLowDateTime == static_cast<uint32_t>(ticks) &&
              item.find.ftLastWriteTime.dwHighDateTime == static_cast<uint32_t>(ticks >> 32) &&
              item.find.nFileSizeLow == e.info.size,
          "an item's attributes, time and size are the record's");
  Require(memchr(item.find.cFileName, 0, kPathLimit) != nullptr &&
              e.name == item.find.cFileName,
          "an item's name is its catalog path");
  const unsigned char* raw = reinterpret_cast<const unsigned char*>(&item);
  Require(Untouched(raw + offsetof(KorvexpFindData, ftCreationTime), 16) &&
              Untouched(raw + offsetof(KorvexpFindData, nFileSizeHigh), 4) &&
              Untouched(raw + offsetof(KorvexpFindData, dwReserved0), 8) &&
              Untouched(raw + offsetof(KorvexpFindData, cAlternateFileName), 16) &&
              Untouched(item.trailer, sizeof item.trailer),
          "only the four members of an item are written");
}

// One catalog as a host browses it after a first look of `look` bytes.
void Browse(Env& env, const std::string& bytes, uint32_t look, bool loaded, bool wellFormed,
            const std::vector<Expected>& expected) {
  std::vector<unsigned char> first(bytes.begin(), bytes.begin() + look);
  CatalogBrowser browser(env);
  const bool recognised = look > 0 && browser.Recognise(first.data(), look);
  CatalogHeader header;
  const bool isCatalog = look > kHeaderSize && header.DecodeFrom(first.data(), look);
  Require(recognised == isCatalog, "IsArchive recognises exactly the catalogs");
  if (!recognised) return;
  const bool opened = browser.Open("cat.dir");
  if (loaded) Require(opened, "a catalog the reader loads opens");
  if (!opened) return;

  size_t i = 0;
  int32_t result;
  for (;;) {
    HostItem item;
    memset(&item, kPattern, sizeof item);
    result = browser.Next(&item.find);
    if (result != KORVEXP_ITEM_WRITTEN) {
      Require(Untouched(reinterpret_cast<unsigned char*>(&item), sizeof item),
              "a call that writes no item leaves the record alone");
      break;
    }
    Require(i <= bytes.size(), "the walk ends");
    if (loaded) {
      Require(i < expected.size(), "no more items than the reader walks");
      CheckItem(item, expected[i]);
    }
    ++i;
  }
  if (result == KORVEXP_ITEM_END) {
    Require(loaded && wellFormed && i == expected.size(), "only a well-formed tree ends cleanly");
  } else {
    Require(result == KORVEXP_ITEM_MALFORMED, "the walk ends with 0 or 3");
    if (loaded && i < expected.size()) {
      Require(!expected[i].fits, "the walk stops early only where the path limits bite");
    } else if (loaded) {
      Require(!wellFormed, "a well-formed tree ends cleanly");
    }
  }
  HostItem after;
  memset(&after, kPattern, sizeof after);
  Require(browser.Next(&after.find) == KORVEXP_ITEM_MALFORMED, "an ended walk stays ended");

  unsigned char info[sizeof(KorvexpArchiveInfo) + 8];
  memset(info, kPattern, sizeof info);
  browser.Close(reinterpret_cast<KorvexpArchiveInfo*>(info));
  const KorvexpArchiveInfo* written = reinterpret_cast<const KorvexpArchiveInfo*>(info);
  Require(written->reserved[0] == 0 && written->reserved[1] == 0 && written->reserved[2] == 0 &&
              written->reserved4 == 0 &&
              written->crcFlag == ((static_cast<unsigned char>(bytes[15]) & 0x80) ? 1u : 0u),
          "CloseArchive fills the five fields");
  Require(Untouched(info + sizeof(KorvexpArchiveInfo), 8), "CloseArchive writes five fields only");
}

}  // namespace
}  // namespace fuzz
}  // namespace korvex

int korvex::fuzz::PluginTarget(const uint8_t* data, size_t size) {
  using namespace korvex;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  test::Seal(&bytes);
  test::MemoryEnv env;
  env.AddFile("cat.dir", bytes);
  CatalogReader reader(env);
  const bool loaded = reader.Load("cat.dir");
  std::vector<Expected> expected;
  bool wellFormed = false;
  const test::Layout layout = test::Inspect(bytes);
  if (loaded) {
    expected = ReaderWalk(reader);
    // The reader ignores bytes after the root's end, the plug-in does not:
    // the root ends on the last byte when the tree less that byte is cut.
    wellFormed = !ValidateTree(reader.Tree(), layout.treeLength - 1, layout.withCrc);
  }

  std::set<uint32_t> looks;
  for (uint32_t l = 0; l <= size && l <= 40; ++l) looks.insert(l);
  for (uint64_t l = kHeaderSize + uint64_t{layout.treeLength} - 2;
       l <= kHeaderSize + uint64_t{layout.treeLength} + 2; ++l) {
    if (l <= size) looks.insert(static_cast<uint32_t>(l));
  }
  for (uint32_t l = 41; l < size; l += 61) looks.insert(l);
  looks.insert(static_cast<uint32_t>(size));
  for (uint32_t look : looks) Browse(env, bytes, look, loaded, wellFormed, expected);
  return 0;
}
