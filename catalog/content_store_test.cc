#include "catalog/content_store.h"

#include <string.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalog/coding.h"

namespace korvex {
namespace {

// A builder and the next slot it fills.
struct Store {
  bool Reset(uint32_t slots, uint32_t capacity) {
    slot = 0;
    return builder.Reset(slots, capacity);
  }
  // Stores `contents` under `crc` (the builder trusts its caller's) and
  // returns the offset the slot holds.
  uint32_t Add(const std::string& contents, uint32_t crc) {
    const uint32_t size = static_cast<uint32_t>(contents.size());
    unsigned char* dest = builder.Reserve(size);
    if (dest == nullptr) return 0;
    memcpy(dest, contents.data(), size);
    builder.Prepare(size, crc);
    builder.Commit(size, crc);
    return DecodeFixed32(builder.data() + 4 * slot++);
  }
  std::string At(uint32_t offset) const {
    const char* record = reinterpret_cast<const char*>(builder.data()) + offset;
    return std::string(record + 4, DecodeFixed32(builder.data() + offset));
  }

  ContentStoreBuilder builder;
  uint32_t slot = 0;
};

// Records under one CRC are told apart by their bytes at every depth of the
// probe sequence, repeats coming in the opposite order.
TEST(ContentStoreBuilder, ManyRecordsUnderOneCrc) {
  const uint32_t kRecords = 300, kSlots = 4 * 2 * kRecords;
  Store s;
  ASSERT_TRUE(s.Reset(2 * kRecords, kSlots + 8 * kRecords + 8));  // room for one more
  auto bytes = [](uint32_t i) { return std::string(reinterpret_cast<const char*>(&i), 4); };
  for (uint32_t i = 0; i < kRecords; ++i) EXPECT_EQ(kSlots + 8 * i, s.Add(bytes(i), 0xC0FFEE));
  for (uint32_t i = kRecords; i-- > 0;) EXPECT_EQ(kSlots + 8 * i, s.Add(bytes(i), 0xC0FFEE));
  EXPECT_EQ(kSlots + 8 * kRecords, s.builder.used());
}

// Eight slots give an index of 16 entries: over 64 CRCs some runs wrap
// around its end.  A prefix and the empty contents are other records.
TEST(ContentStoreBuilder, EqualBytesAndSizeShareWhereverTheyStandInTheIndex) {
  const std::vector<std::string> records = {"abc", "abd", "abe", "ab", ""};
  const uint32_t kUsed = 8 * 4 + 3 * 7 + 6 + 4;
  for (uint32_t crc = 0; crc < 64; ++crc) {
    Store s;
    ASSERT_TRUE(s.Reset(8, kUsed + 7));
    std::vector<uint32_t> at;
    for (const std::string& r : records) at.push_back(s.Add(r, crc));
    for (size_t i = 0; i < records.size(); ++i) EXPECT_EQ(records[i], s.At(at[i])) << crc;
    EXPECT_EQ(at[2], s.Add("abe", crc));
    EXPECT_EQ(at[4], s.Add("", crc));
    EXPECT_EQ(at[0], s.Add("abc", crc));
    EXPECT_EQ(kUsed, s.builder.used());
  }
}

// After a Reset an index entry left from before would point at these very
// bytes under CRC 1; the slots not filled again are zero; a record never
// runs past the capacity.
TEST(ContentStoreBuilder, ResetForgetsEarlierRecordsAndClearsTheSlots) {
  Store s;
  ASSERT_TRUE(s.Reset(2, 2 * 4 + 2 * 9));
  EXPECT_EQ(8u, s.Add("hello", 1));
  EXPECT_EQ(17u, s.Add("world", 2));
  ASSERT_TRUE(s.Reset(2, 2 * 4 + 2 * 9));
  EXPECT_EQ(8u, s.Add("hello", 9));
  EXPECT_EQ(17u, s.Add("hello", 1));
  ASSERT_TRUE(s.Reset(3, 3 * 4 + 3 * 9));
  EXPECT_EQ(12u, s.Add("world", 2));
  EXPECT_EQ(0u, DecodeFixed32(s.builder.data() + 4) | DecodeFixed32(s.builder.data() + 8));
  EXPECT_EQ(3 * 4u + 4 + 5, s.builder.used());
  EXPECT_EQ(nullptr, s.builder.Reserve(15));  // 18 bytes left: a size word and 14
  EXPECT_NE(nullptr, s.builder.Reserve(14));
}

}  // namespace
}  // namespace korvex
