// Little-endian fixed-width fields, written with shifts so the host's byte
// order and alignment never matter.
#ifndef KORVEX_CATALOG_CODING_H_
#define KORVEX_CATALOG_CODING_H_

#include <stdint.h>

namespace korvex {

inline void EncodeFixed32(unsigned char* dst, uint32_t value) {
  dst[0] = static_cast<unsigned char>(value);
  dst[1] = static_cast<unsigned char>(value >> 8);
  dst[2] = static_cast<unsigned char>(value >> 16);
  dst[3] = static_cast<unsigned char>(value >> 24);
}

inline uint32_t DecodeFixed32(const unsigned char* src) {
  return static_cast<uint32_t>(src[0]) | (static_cast<uint32_t>(src[1]) << 8) |
         (static_cast<uint32_t>(src[2]) << 16) |
         (static_cast<uint32_t>(src[3]) << 24);
}

}  // namespace korvex

#endif  // KORVEX_CATALOG_CODING_H_
