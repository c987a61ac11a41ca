#include "catalog/coding.h"

#include <gtest/gtest.h>

namespace korvex {

TEST(Coding, Fixed32IsLittleEndianAtAnyOffset) {
  unsigned char buf[7] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  EncodeFixed32(buf + 1, 0x04030201u);
  EXPECT_EQ(0xEE, buf[0]);
  EXPECT_EQ(1, buf[1]);
  EXPECT_EQ(2, buf[2]);
  EXPECT_EQ(3, buf[3]);
  EXPECT_EQ(4, buf[4]);
  EXPECT_EQ(0xEE, buf[5]);
  EXPECT_EQ(0x04030201u, DecodeFixed32(buf + 1));
  EncodeFixed32(buf + 3, 0xFFFFFFFFu);
  EXPECT_EQ(0xFFFFFFFFu, DecodeFixed32(buf + 3));
}

}  // namespace korvex
