#include "catalog/crc32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "catalog/crc32_internal.h"

namespace korvex {
namespace crc32 {

// Names the level in test output.
void PrintTo(Level level, std::ostream* os) { *os << LevelName(level); }

}  // namespace crc32

namespace {

// The plain one-byte-at-a-time table, built from the bitwise definition.
class ByteTable {
 public:
  ByteTable() {
    for (uint32_t b = 0; b < 256; ++b) {
      uint32_t c = b;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table_[b] = c;
    }
  }
  // Raw register, no inversions.
  uint32_t Update(uint32_t reg, unsigned char byte) const {
    return table_[(reg ^ byte) & 0xFF] ^ (reg >> 8);
  }

 private:
  uint32_t table_[256];
};

std::vector<unsigned char> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<unsigned char> bytes(n);
  for (auto& b : bytes) b = static_cast<unsigned char>(rng());
  return bytes;
}

}  // namespace

TEST(Crc32, KnownVectors) {
  EXPECT_EQ(0u, crc32::Value("", 0));
  EXPECT_EQ(0xCBF43926u, crc32::Value("123456789", 9));
  EXPECT_EQ(0x352441C2u, crc32::Value("abc", 3));
  const unsigned char emptyRoot[1] = {0};
  EXPECT_EQ(0xD202EF8Du, crc32::Value(emptyRoot, 1));
}

TEST(Crc32, WorkedExampleTreeAndStore) {
  const unsigned char tree[24] = {0x41, 0x00, 0x28, 0x00, 0xca, 0x9a, 0x3b, 0x03,
                                  0x00, 0x00, 0x00, 0xc2, 0x41, 0x24, 0x35, 0x44,
                                  0x00, 0x10, 0x00, 0xca, 0x9a, 0x3b, 0x00, 0x00};
  EXPECT_EQ(0xC632EFD6u, crc32::Value(tree, sizeof tree));
  const unsigned char data[11] = {4, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c'};
  EXPECT_EQ(0x20D34023u, crc32::Value(data, sizeof data));
}

TEST(Crc32, SplitEqualsWhole) {
  std::string data;
  for (int i = 0; i < 5000; ++i) data.push_back(static_cast<char>(i * 7 + (i >> 3)));
  uint32_t whole = crc32::Value(data.data(), data.size());
  for (size_t split : {0u, 1u, 15u, 16u, 17u, 63u, 64u, 1000u, 4999u, 5000u}) {
    uint32_t crc = crc32::Extend(0, data.data(), split);
    crc = crc32::Extend(crc, data.data() + split, data.size() - split);
    EXPECT_EQ(whole, crc) << "split at " << split;
  }
}

// The folding constants come from XPowMod; a message that is a single 1 bit
// followed by zeros has the register x^(8 * length - 1) * x^32 mod P.
TEST(Crc32, PowersOfXMatchTheTable) {
  for (size_t length : {1u, 4u, 8u, 12u, 16u, 48u, 64u, 256u, 260u}) {
    std::vector<unsigned char> message(length, 0);
    message[0] = 1;
    uint32_t reg = ~crc32::Extend(crc32::Level::kPortable, ~0u, message.data(), length);
    EXPECT_EQ(crc32::XPowMod(static_cast<uint32_t>(8 * length + 31)), reg)
        << "length " << length;
  }
  // floor(x^64 / P) in the usual 33-bit reflected notation.
  EXPECT_EQ(0x1F7011641u, crc32::BarrettQuotient());
}

class Crc32Level : public ::testing::TestWithParam<crc32::Level> {
 protected:
  void SetUp() override {
    if (!crc32::IsSupported(GetParam())) {
      GTEST_SKIP() << "this CPU or build lacks " << crc32::LevelName(GetParam());
    }
  }
  uint32_t Extend(uint32_t crc, const unsigned char* p, size_t n) const {
    return crc32::Extend(GetParam(), crc, p, n);
  }
};

TEST_P(Crc32Level, CheckValue) {
  EXPECT_EQ(0xCBF43926u, Extend(0, reinterpret_cast<const unsigned char*>("123456789"), 9));
  EXPECT_EQ(0u, Extend(0, nullptr, 0));
  EXPECT_EQ(0x12345678u, Extend(0x12345678u, nullptr, 0));
}

// Every length 0..2100 at every offset 0..63, cut in two at a random place,
// against the byte table run incrementally along the same bytes.
TEST_P(Crc32Level, MatchesByteTableAtEveryLengthAndOffset) {
  constexpr size_t kMaxLength = 2100;
  constexpr size_t kOffsets = 64;
  const std::vector<unsigned char> buffer = RandomBytes(kMaxLength + kOffsets, 1);
  const ByteTable table;
  std::mt19937 rng(2);
  for (size_t offset = 0; offset < kOffsets; ++offset) {
    const unsigned char* p = buffer.data() + offset;
    // A nonzero starting CRC so the inversions and the seed are exercised.
    const uint32_t seed = static_cast<uint32_t>(rng());
    uint32_t reg = ~seed;
    for (size_t length = 0; length <= kMaxLength; ++length) {
      if (length > 0) reg = table.Update(reg, p[length - 1]);
      size_t split = rng() % (length + 1);
      uint32_t crc = Extend(Extend(seed, p, split), p + split, length - split);
      if (crc != ~reg) {
        FAIL() << "offset " << offset << " length " << length << " split " << split;
      }
    }
  }
}

// Long runs through the main loops, whole and in uneven pieces.
TEST_P(Crc32Level, LongBufferAgreesWithPortable) {
  const std::vector<unsigned char> buffer = RandomBytes(256 * 1024 + 77, 3);
  const uint32_t expected =
      crc32::Extend(crc32::Level::kPortable, 0, buffer.data(), buffer.size());
  EXPECT_EQ(expected, Extend(0, buffer.data(), buffer.size()));
  uint32_t crc = 0;
  size_t done = 0;
  for (size_t piece = 1; done < buffer.size(); piece = piece * 3 + 5) {
    size_t n = std::min(piece, buffer.size() - done);
    crc = Extend(crc, buffer.data() + done, n);
    done += n;
  }
  EXPECT_EQ(expected, crc);
}

INSTANTIATE_TEST_SUITE_P(AllLevels, Crc32Level, ::testing::ValuesIn(crc32::kLevels),
                         [](const ::testing::TestParamInfo<crc32::Level>& info) {
                           return std::string(crc32::LevelName(info.param));
                         });

}  // namespace korvex
