// Catalogs put together byte by byte, for the shapes the create command
// never writes: hostile names, bad lengths, records that point anywhere.
#ifndef KORVEX_TESTS_HANDMADE_H_
#define KORVEX_TESTS_HANDMADE_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "catalog/coding.h"
#include "catalog/crc32.h"
#include "catalog/format.h"

namespace korvex {
namespace test {

inline std::string Fixed32(uint32_t value) {
  unsigned char bytes[4];
  EncodeFixed32(bytes, value);
  return std::string(reinterpret_cast<char*>(bytes), 4);
}

inline uint32_t Crc(const std::string& bytes) { return crc32::Value(bytes.data(), bytes.size()); }

// A file record; the CRC field only when withCrc.
inline std::string FileRecord(const std::string& name, uint8_t attributes, uint32_t size,
                              uint32_t crc, bool withCrc = true) {
  std::string r = name + '\0' + static_cast<char>(attributes) + Fixed32(1000000000u) +
                  Fixed32(size);
  return withCrc ? r + Fixed32(crc) : r;
}

inline std::string DirRecord(const std::string& name, uint8_t attributes = kAttrDirectory) {
  return name + '\0' + static_cast<char>(attributes) + Fixed32(1000000000u);
}

// Header with a correct tree CRC, the tree as given, and a content store
// with a correct store CRC when data is not null.
inline std::string Catalog(const std::string& tree, bool withCrc,
                           const std::string* data = nullptr) {
  std::string c(reinterpret_cast<const char*>(kCatalogMagic), kMagicSize);
  c += Fixed32(Crc(tree)) +
       Fixed32(static_cast<uint32_t>(tree.size()) | (withCrc ? kCrcFlag : 0)) + tree;
  if (data != nullptr) {
    c += Fixed32(Crc(*data)) + Fixed32(static_cast<uint32_t>(data->size())) +
         static_cast<char>(kStoreMarker) + *data;
  }
  return c;
}

// A data area holding the given contents, one record each, slot i for
// contents i.
inline std::string DataArea(const std::vector<std::string>& contents) {
  std::string slots;
  std::string records;
  uint32_t offset = static_cast<uint32_t>(4 * contents.size());
  for (const std::string& c : contents) {
    slots += Fixed32(offset + static_cast<uint32_t>(records.size()));
    records += Fixed32(static_cast<uint32_t>(c.size())) + c;
  }
  return slots + records;
}

}  // namespace test
}  // namespace korvex

#endif  // KORVEX_TESTS_HANDMADE_H_
