// Catalog bytes for tests and fuzz targets, through the format's own
// encoder: tree blocks record by record, headers with the right tree CRC,
// content stores, whole catalogs in the shapes the create command never
// writes; and the section bounds of damaged ones, with their CRCs resealed.
#ifndef KORVEX_TESTS_SUPPORT_CATALOG_BYTES_H_
#define KORVEX_TESTS_SUPPORT_CATALOG_BYTES_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "catalog/catalog_format.h"
#include "catalog/coding.h"
#include "catalog/crc32.h"
#include "catalog/format.h"

namespace korvex {
namespace test {

// Tree blocks record by record.
struct TreeBytes {
  bool withCrc = true;
  std::string bytes;
  TreeBytes& Dir(const std::string& name, uint8_t attr = 0x10, uint32_t time = 7) {
    return Add(TreeRecord::kDirectory, name, attr, time, 0, 0);
  }
  TreeBytes& File(const std::string& name, uint8_t attr, uint32_t size, uint32_t crc = 0,
                  uint32_t time = 9) {
    return Add(TreeRecord::kFile, name, attr, time, size, crc);
  }
  TreeBytes& End() { return Add(TreeRecord::kEnd, "", 0, 0, 0, 0); }

 private:
  TreeBytes& Add(TreeRecord::Kind kind, const std::string& name, uint8_t attr, uint32_t time,
                 uint32_t size, uint32_t crc) {
    TreeRecord r;
    r.kind = kind;
    r.name = name.c_str();
    r.nameLength = name.size();
    r.attributes = attr;
    r.time = time;
    r.size = size;
    r.crc = crc;
    const size_t at = bytes.size();
    bytes.resize(at + RecordSize(r, withCrc));
    EncodeRecord(r, withCrc, reinterpret_cast<unsigned char*>(&bytes[at]));
    return *this;
  }
};

inline std::string Le(uint32_t v) {
  unsigned char b[4];
  EncodeFixed32(b, v);
  return std::string(reinterpret_cast<char*>(b), 4);
}

inline std::string Header(const std::string& tree, bool withCrc) {
  CatalogHeader h;
  h.treeCrc = crc32::Value(tree.data(), tree.size());
  h.treeLength = static_cast<uint32_t>(tree.size());
  h.withCrc = withCrc;
  unsigned char b[kHeaderSize];
  h.EncodeTo(b);
  return std::string(reinterpret_cast<char*>(b), kHeaderSize);
}

// Header with the right tree CRC, the tree as given, and a content store
// with the right store CRC when data is not null.
inline std::string Catalog(const std::string& tree, bool withCrc,
                           const std::string* data = nullptr) {
  if (data == nullptr) return Header(tree, withCrc) + tree;
  StoreHead head;
  head.crc = crc32::Value(data->data(), data->size());
  head.dataLength = static_cast<uint32_t>(data->size());
  unsigned char b[kStoreHeadSize];
  head.EncodeTo(b);
  return Header(tree, withCrc) + tree + std::string(reinterpret_cast<char*>(b), kStoreHeadSize) +
         *data;
}

// A data area with one record per contents, slot i for contents i.
inline std::string DataArea(const std::vector<std::string>& contents) {
  std::string slots, records;
  for (const std::string& c : contents) {
    slots += Le(static_cast<uint32_t>(4 * contents.size() + records.size()));
    records += Le(static_cast<uint32_t>(c.size())) + c;
  }
  return slots + records;
}

// Section bounds of a catalog's bytes, as far as they lie inside them; the
// magic is not asked for, so damaged catalogs are laid out too.
struct Layout {
  bool hasHeader = false;   // 16 bytes are there
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
  l.hasHeader = true;
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
