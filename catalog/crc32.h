// The reflected CRC-32 of zip and Ethernet (polynomial 0xEDB88320), computed
// incrementally: start from 0 and pass the previous result back in.
#ifndef KORVEX_CATALOG_CRC32_H_
#define KORVEX_CATALOG_CRC32_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

uint32_t KorvexCrc32Extend(uint32_t crc, const void* data, size_t length);

#ifdef __cplusplus
}

namespace korvex {
namespace crc32 {

inline uint32_t Extend(uint32_t crc, const void* data, size_t length) {
  return KorvexCrc32Extend(crc, data, length);
}

inline uint32_t Value(const void* data, size_t length) {
  return KorvexCrc32Extend(0, data, length);
}

}  // namespace crc32
}  // namespace korvex
#endif

#endif  // KORVEX_CATALOG_CRC32_H_
