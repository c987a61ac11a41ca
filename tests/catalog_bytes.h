// Hand-made catalog bytes for tests: tree blocks record by record, headers
// with the right tree CRC, and content stores.
#ifndef KORVEX_TESTS_CATALOG_BYTES_H_
#define KORVEX_TESTS_CATALOG_BYTES_H_

#include <stdint.h>

#include <string>

#include "catalog/coding.h"
#include "catalog/crc32.h"
#include "catalog/format.h"

namespace korvex {
namespace test {

struct TreeBytes {
  bool withCrc = true;
  std::string bytes;
  TreeBytes& Dir(const std::string& name, uint8_t attr = 0x10, uint32_t time = 7) {
    bytes += name;
    bytes += '\0';
    bytes += static_cast<char>(attr);
    Fixed(time);
    return *this;
  }
  TreeBytes& File(const std::string& name, uint8_t attr, uint32_t size, uint32_t crc = 0,
                  uint32_t time = 9) {
    bytes += name;
    bytes += '\0';
    bytes += static_cast<char>(attr);
    Fixed(time);
    Fixed(size);
    if (withCrc) Fixed(crc);
    return *this;
  }
  TreeBytes& End() {
    bytes += '\0';
    return *this;
  }
  void Fixed(uint32_t v) {
    unsigned char b[4];
    EncodeFixed32(b, v);
    bytes.append(reinterpret_cast<char*>(b), 4);
  }
};

inline std::string Header(const std::string& tree, bool withCrc) {
  std::string h(reinterpret_cast<const char*>(kCatalogMagic), 8);
  unsigned char b[8];
  EncodeFixed32(b, crc32::Value(tree.data(), tree.size()));
  EncodeFixed32(b + 4, static_cast<uint32_t>(tree.size()) | (withCrc ? kCrcFlag : 0));
  h.append(reinterpret_cast<char*>(b), 8);
  return h;
}

inline std::string Store(const std::string& data) {
  std::string s;
  unsigned char b[4];
  EncodeFixed32(b, crc32::Value(data.data(), data.size()));
  s.append(reinterpret_cast<char*>(b), 4);
  EncodeFixed32(b, static_cast<uint32_t>(data.size()));
  s.append(reinterpret_cast<char*>(b), 4);
  s += '\x03';
  return s + data;
}

inline std::string Le(uint32_t v) {
  unsigned char b[4];
  EncodeFixed32(b, v);
  return std::string(reinterpret_cast<char*>(b), 4);
}

}  // namespace test
}  // namespace korvex

#endif  // KORVEX_TESTS_CATALOG_BYTES_H_
