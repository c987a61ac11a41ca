#include "catalog/crc32.h"

namespace {

struct Table {
  uint32_t entry[256];
  Table() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      entry[i] = c;
    }
  }
};

const Table& CrcTable() {
  static const Table table;
  return table;
}

}  // namespace

extern "C" uint32_t KorvexCrc32Extend(uint32_t crc, const void* data,
                                      size_t length) {
  const uint32_t* t = CrcTable().entry;
  const unsigned char* p = static_cast<const unsigned char*>(data);
  uint32_t c = ~crc;
  for (size_t i = 0; i < length; ++i) c = t[(c ^ p[i]) & 0xFF] ^ (c >> 8);
  return ~c;
}
