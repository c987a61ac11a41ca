// Whole hand-made catalogs from the pieces of catalog_bytes.h, for the
// shapes the create command never writes: hostile names, bad lengths,
// records that point anywhere.
#ifndef KORVEX_TESTS_HANDMADE_H_
#define KORVEX_TESTS_HANDMADE_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "tests/catalog_bytes.h"

namespace korvex {
namespace test {

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

#endif  // KORVEX_TESTS_HANDMADE_H_
