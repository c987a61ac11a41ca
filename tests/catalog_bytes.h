// Hand-made catalog bytes for tests and fuzz targets, through the format's
// own encoder: tree blocks record by record, headers with the right tree CRC,
// content stores, and whole catalogs in the shapes the create command never
// writes.
#ifndef KORVEX_TESTS_CATALOG_BYTES_H_
#define KORVEX_TESTS_CATALOG_BYTES_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "catalog/catalog_format.h"
#include "catalog/coding.h"
#include "catalog/crc32.h"
#include "catalog/format.h"

namespace korvex {
namespace test {

// Tree blocks record by record, through the format's own encoder.
struct TreeBytes {
  bool withCrc = true;
  std::string bytes;
  TreeBytes& Dir(const std::string& name, uint8_t attr = 0x10, uint32_t time = 7) {
    return Add(Record(TreeRecord::kDirectory, name, attr, time));
  }
  TreeBytes& File(const std::string& name, uint8_t attr, uint32_t size, uint32_t crc = 0,
                  uint32_t time = 9) {
    TreeRecord r = Record(TreeRecord::kFile, name, attr, time);
    r.size = size;
    r.crc = crc;
    return Add(r);
  }
  TreeBytes& End() { return Add(TreeRecord()); }

 private:
  static TreeRecord Record(TreeRecord::Kind kind, const std::string& name, uint8_t attr,
                           uint32_t time) {
    TreeRecord r;
    r.kind = kind;
    r.name = name.c_str();
    r.nameLength = name.size();
    r.attributes = attr;
    r.time = time;
    return r;
  }
  TreeBytes& Add(const TreeRecord& r) {
    const size_t at = bytes.size();
    bytes.resize(at + RecordSize(r, withCrc));
    EncodeRecord(r, withCrc, reinterpret_cast<unsigned char*>(&bytes[at]));
    return *this;
  }
};

inline std::string Header(const std::string& tree, bool withCrc) {
  CatalogHeader h;
  h.treeCrc = crc32::Value(tree.data(), tree.size());
  h.treeLength = static_cast<uint32_t>(tree.size());
  h.withCrc = withCrc;
  unsigned char b[kHeaderSize];
  h.EncodeTo(b);
  return std::string(reinterpret_cast<char*>(b), kHeaderSize);
}

inline std::string Store(const std::string& data) {
  StoreHead head;
  head.crc = crc32::Value(data.data(), data.size());
  head.dataLength = static_cast<uint32_t>(data.size());
  unsigned char b[kStoreHeadSize];
  head.EncodeTo(b);
  return std::string(reinterpret_cast<char*>(b), kStoreHeadSize) + data;
}
inline std::string Le(uint32_t v) {
  unsigned char b[4];
  EncodeFixed32(b, v);
  return std::string(reinterpret_cast<char*>(b), 4);
}

// Header with the right tree CRC, the tree as given, and a content store
// with the right store CRC when data is not null.
inline std::string Catalog(const std::string& tree, bool withCrc,
                           const std::string* data = nullptr) {
  return Header(tree, withCrc) + tree + (data ? Store(*data) : std::string());
}

// A data area with one record per contents, slot i for contents i.
inline std::string DataArea(const std::vector<std::string>& contents) {
  std::string slots;
  std::string records;
  const uint32_t first = static_cast<uint32_t>(4 * contents.size());
  for (const std::string& c : contents) {
    slots += Le(first + static_cast<uint32_t>(records.size()));
    records += Le(static_cast<uint32_t>(c.size())) + c;
  }
  return slots + records;
}

}  // namespace test
}  // namespace korvex

#endif  // KORVEX_TESTS_CATALOG_BYTES_H_
