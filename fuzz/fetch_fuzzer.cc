// A catalog given as bytes.  As it is, a tree CRC that does not match keeps
// the reader and the plug-in from loading it, and a store CRC that does not
// match fails every checked fetch.  Both CRCs resealed, every stored record
// is fetched in both modes and must come back exactly as the bytes locate
// it, or be refused when they do not locate it inside the data area.  What
// the extract command makes of such records is in the case files
// (tests/cases/malformed/).
#include <algorithm>
#include <string>
#include <vector>

#include "catalog/coding.h"
#include "catalog/progress.h"
#include "catalog/reader.h"
#include "fuzz/harness.h"
#include "plugin/browser.h"
#include "tests/support/catalog_bytes.h"
#include "tests/support/memory_env.h"

namespace korvex {
namespace fuzz {
namespace {

const size_t kMaxFetches = 8;

// The contents of stored file `index` found by following the format from
// the raw bytes; false when any step leaves the data area or the bytes.
bool Locate(const std::string& bytes, const test::Layout& l, int32_t index,
            std::string* contents) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const uint64_t start = kHeaderSize + uint64_t{l.treeLength} + kStoreHeadSize;
  const uint64_t end = std::min<uint64_t>(bytes.size(), start + l.dataLength);
  if (!l.hasStoreHead || p[start - 1] != kStoreMarker || start + 4 * (index + 1ull) > end) {
    return false;
  }
  const uint64_t offset = start + DecodeFixed32(p + start + 4 * index);
  if (offset + 4 > end || offset + 4 + DecodeFixed32(p + offset) > end) return false;
  contents->assign(bytes, offset + 4, DecodeFixed32(p + offset));
  return true;
}

// The catalog as given: what a damaged CRC lets through.
void CheckSeals(const std::string& raw) {
  std::string sealed = raw;
  test::Seal(&sealed);
  test::MemoryEnv env;
  env.AddFile("raw.dir", raw);
  CatalogBrowser browser(env);
  const uint32_t look = raw.size() < 20 ? static_cast<uint32_t>(raw.size()) : 20;
  const bool opened = look > 0 &&
                      browser.Recognise(reinterpret_cast<const unsigned char*>(raw.data()), look) &&
                      browser.Open("raw.dir");
  CatalogReader reader(env);
  const bool loaded = reader.Load("raw.dir");
  Require(!(loaded || opened) || raw.compare(kTreeCrcOffset, 4, sealed, kTreeCrcOffset, 4) == 0,
          "a tree that does not match its CRC is refused");
  ProgressObserver quiet;
  std::vector<unsigned char> contents;
  while (const EntryInfo* e = loaded && raw != sealed ? reader.NextRecord() : nullptr) {
    Require(!(e->attributes & kAttrStored) || !reader.FetchStored(true, quiet, &contents),
            "a store that does not match its CRC fails every checked fetch");
  }
}

}  // namespace
}  // namespace fuzz
}  // namespace korvex

int korvex::fuzz::FetchTarget(const uint8_t* data, size_t size) {
  using namespace korvex;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  CheckSeals(bytes);
  test::Seal(&bytes);
  const test::Layout layout = test::Inspect(bytes);
  test::MemoryEnv env;
  env.AddFile("cat.dir", bytes);
  CatalogReader reader(env);
  if (!reader.Load("cat.dir")) return 0;
  ProgressObserver quiet;
  size_t fetched = 0;
  while (const char* name = reader.NextEntry()) {
    EntryInfo info;
    reader.DecodeEntry(name, &info);
    if (!(info.attributes & kAttrStored) || fetched == kMaxFetches) continue;
    ++fetched;
    std::string contents;
    const bool located = Locate(bytes, layout, reader.StoredOrdinal(), &contents);
    bool ok[2];  // checked, direct
    for (int direct = 0; direct < 2; ++direct) {
      std::vector<unsigned char> got;
      ok[direct] = reader.FetchStored(!direct, quiet, &got);
      Require(!ok[direct] || (located && std::string(got.begin(), got.end()) == contents),
              "a fetch returns the located record");
    }
    // Where the data area runs past the file, refusing a direct fetch is
    // also right.
    Require(ok[0] == (located && layout.hasData) && ok[1] >= (located && layout.hasData),
            "a fetch succeeds exactly where the record lies on a sound store");
  }
  return 0;
}
