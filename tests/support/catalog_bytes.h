// Catalog bytes for tests and fuzz targets: a little-endian word, and the
// section bounds of damaged catalogs, with their CRCs resealed.
#ifndef KORVEX_TESTS_SUPPORT_CATALOG_BYTES_H_
#define KORVEX_TESTS_SUPPORT_CATALOG_BYTES_H_

#include <stdint.h>

#include <string>

#include "catalog/catalog_format.h"
#include "catalog/coding.h"
#include "catalog/crc32.h"
#include "catalog/format.h"

namespace korvex {
namespace test {

// v as the four little-endian bytes the format stores.
inline std::string Le(uint32_t v) {
  unsigned char b[4];
  EncodeFixed32(b, v);
  return std::string(reinterpret_cast<char*>(b), 4);
}

// Section bounds of a catalog's bytes, as far as they lie inside them; the
// magic is not asked for, so damaged catalogs are laid out too.
struct Layout {
  uint32_t treeLength = 0;  // T, from the header
  bool withCrc = false;
  bool hasTree = false;     // all T tree bytes are there
  bool hasStoreHead = false;
  uint32_t dataLength = 0;  // D, from the store head
  bool hasData = false;     // all D data-area bytes are there
};

inline Layout Inspect(const std::string& catalog) {
  Layout l;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(catalog.data());
  if (catalog.size() < kHeaderSize) return l;
  const uint32_t word = DecodeFixed32(p + kTreeLengthOffset);
  l.treeLength = word & kTreeLengthMask;
  l.withCrc = (word & kCrcFlag) != 0;
  const uint64_t storeStart = kHeaderSize + uint64_t{l.treeLength};
  l.hasTree = storeStart <= catalog.size();
  l.hasStoreHead = storeStart + kStoreHeadSize <= catalog.size();
  if (!l.hasStoreHead) return l;
  l.dataLength = DecodeFixed32(p + storeStart + 4);
  l.hasData = storeStart + kStoreHeadSize + l.dataLength <= catalog.size();
  return l;
}

// Rewrites the tree CRC, and the store CRC, to match the bytes, where the
// section lies wholly inside them.
inline void Seal(std::string* catalog) {
  const Layout l = Inspect(*catalog);
  unsigned char* p = reinterpret_cast<unsigned char*>(&(*catalog)[0]);
  if (l.hasTree) EncodeFixed32(p + kTreeCrcOffset, crc32::Value(p + kHeaderSize, l.treeLength));
  unsigned char* store = p + kHeaderSize + l.treeLength;
  if (l.hasData) EncodeFixed32(store, crc32::Value(store + kStoreHeadSize, l.dataLength));
}

}  // namespace test
}  // namespace korvex

#endif  // KORVEX_TESTS_SUPPORT_CATALOG_BYTES_H_
