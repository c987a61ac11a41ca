#include "catalog/crc32.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "catalog/crc32_internal.h"

namespace korvex {
namespace {

class Crc32Level : public ::testing::TestWithParam<crc32::Level> {};

// Every length 0..2100 at every offset 0..63, cut in two at a random place,
// against the plain one-byte table built from the bitwise definition.
TEST_P(Crc32Level, MatchesTheByteTableAtEveryLengthAndOffset) {
  const crc32::Level level = GetParam();
  if (!crc32::IsSupported(level)) GTEST_SKIP() << "this CPU or build lacks it";
  uint32_t table[256];
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t& c = table[b] = b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  std::mt19937 rng(1);
  std::vector<unsigned char> buffer(2100 + 64);
  for (unsigned char& b : buffer) b = static_cast<unsigned char>(rng());
  for (size_t offset = 0; offset < 64; ++offset) {
    const unsigned char* p = buffer.data() + offset;
    const uint32_t seed = static_cast<uint32_t>(rng());  // the inversions and the seed count
    uint32_t reg = ~seed;
    for (size_t length = 0; length <= 2100; ++length) {
      if (length > 0) reg = table[(reg ^ p[length - 1]) & 0xFF] ^ (reg >> 8);
      const size_t split = rng() % (length + 1);
      const uint32_t crc = crc32::Extend(level, crc32::Extend(level, seed, p, split), p + split,
                                         length - split);
      if (crc != ~reg) FAIL() << "offset " << offset << " length " << length << " split " << split;
    }
  }
  EXPECT_EQ(0xCBF43926u, crc32::Extend(level, 0, "123456789", 9));
  EXPECT_EQ(0x12345678u, crc32::Extend(level, 0x12345678u, nullptr, 0));
}

INSTANTIATE_TEST_SUITE_P(AllLevels, Crc32Level, ::testing::ValuesIn(crc32::kLevels),
                         [](const ::testing::TestParamInfo<crc32::Level>& info) {
                           return std::string(crc32::LevelName(info.param));
                         });

}  // namespace
}  // namespace korvex
