#include "catalog/crc32.h"

#include <gtest/gtest.h>

#include <string>

namespace korvex {

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

}  // namespace korvex
