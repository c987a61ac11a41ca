#include "catalog/content_store.h"

#include <string.h>

#include <gtest/gtest.h>

#include <string>

#include "catalog/coding.h"

namespace korvex {
namespace {

// Stores `contents` as the next record under the given CRC (any value: the
// builder trusts its caller's CRC) and returns the offset its slot holds.
uint32_t Add(ContentStoreBuilder& store, uint32_t slot, const std::string& contents,
             uint32_t crc) {
  unsigned char* dest = store.Reserve(static_cast<uint32_t>(contents.size()));
  EXPECT_NE(nullptr, dest);
  if (dest == nullptr) return 0;
  memcpy(dest, contents.data(), contents.size());
  store.Prepare(static_cast<uint32_t>(contents.size()), crc);
  store.Commit(static_cast<uint32_t>(contents.size()), crc);
  return DecodeFixed32(store.data() + 4 * slot);
}

std::string RecordAt(const ContentStoreBuilder& store, uint32_t offset) {
  uint32_t size = DecodeFixed32(store.data() + offset);
  return std::string(reinterpret_cast<const char*>(store.data()) + offset + 4, size);
}

TEST(ContentStoreBuilder, ManyRecordsUnderOneKeyAreToldApartByTheirBytes) {
  const uint32_t kRecords = 300;
  ContentStoreBuilder store;
  ASSERT_TRUE(store.Reset(2 * kRecords, 2 * kRecords * (4 + 4 + 4)));
  uint32_t offsets[kRecords];
  for (uint32_t i = 0; i < kRecords; ++i) {
    std::string bytes(reinterpret_cast<const char*>(&i), 4);
    offsets[i] = Add(store, i, bytes, 0xC0FFEE);
    EXPECT_EQ(4 * 2 * kRecords + 8 * i, offsets[i]);
  }
  // Repeats in the opposite order find their own record at every depth of
  // the probe sequence.
  for (uint32_t k = 0; k < kRecords; ++k) {
    uint32_t i = kRecords - 1 - k;
    std::string bytes(reinterpret_cast<const char*>(&i), 4);
    EXPECT_EQ(offsets[i], Add(store, kRecords + k, bytes, 0xC0FFEE)) << i;
  }
  EXPECT_EQ(4 * 2 * kRecords + 8 * kRecords, store.used());
}

TEST(ContentStoreBuilder, ProbesWrapAroundTheEndOfASmallIndex) {
  // Six slots give an index of 16 entries; over 64 keys some run of three
  // starts near the end.
  for (uint32_t crc = 0; crc < 64; ++crc) {
    ContentStoreBuilder store;
    ASSERT_TRUE(store.Reset(6, 6 * 4 + 6 * (4 + 1)));
    uint32_t a = Add(store, 0, "a", crc);
    uint32_t b = Add(store, 1, "b", crc);
    uint32_t c = Add(store, 2, "c", crc);
    EXPECT_EQ(c, Add(store, 3, "c", crc));
    EXPECT_EQ(b, Add(store, 4, "b", crc));
    EXPECT_EQ(a, Add(store, 5, "a", crc));
    EXPECT_EQ(6 * 4u + 3 * 5, store.used());
  }
}

TEST(ContentStoreBuilder, EqualCrcWithOtherSizeIsNotADuplicate) {
  ContentStoreBuilder store;
  ASSERT_TRUE(store.Reset(4, 4 * 4 + 4 + 3 + 4 + 2 + 4 + 4));
  uint32_t abc = Add(store, 0, "abc", 5);
  uint32_t ab = Add(store, 1, "ab", 5);  // a prefix of the first
  uint32_t empty = Add(store, 2, "", 5);
  EXPECT_NE(abc, ab);
  EXPECT_NE(ab, empty);
  EXPECT_EQ("abc", RecordAt(store, abc));
  EXPECT_EQ("ab", RecordAt(store, ab));
  EXPECT_EQ("", RecordAt(store, empty));
  EXPECT_EQ(empty, Add(store, 3, "", 5));
  EXPECT_EQ(4 * 4u + 7 + 6 + 4, store.used());
}

TEST(ContentStoreBuilder, ResetForgetsEarlierRecordsAndClearsTheSlots) {
  ContentStoreBuilder store;
  const uint32_t kTwoOfFive = 2 * 4 + 2 * (4 + 5);
  ASSERT_TRUE(store.Reset(2, kTwoOfFive));
  EXPECT_EQ(8u, Add(store, 0, "hello", 1));
  EXPECT_EQ(17u, Add(store, 1, "world", 2));
  // The same layout again: an index entry left from before would point at
  // these very bytes under CRC 1.
  ASSERT_TRUE(store.Reset(2, kTwoOfFive));
  EXPECT_EQ(8u, Add(store, 0, "hello", 9));
  EXPECT_EQ(17u, Add(store, 1, "hello", 1));
  ASSERT_TRUE(store.Reset(3, 3 * 4 + 3 * (4 + 5)));
  EXPECT_EQ(12u, Add(store, 0, "world", 2));
  EXPECT_EQ(std::string(8, '\0'), std::string(reinterpret_cast<const char*>(store.data()) + 4, 8));
  EXPECT_EQ(3 * 4u + 4 + 5, store.used());
}

}  // namespace
}  // namespace korvex
