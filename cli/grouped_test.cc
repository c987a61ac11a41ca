#include "cli/grouped.h"

#include <gtest/gtest.h>

namespace korvex {

TEST(FormatGrouped, GroupsOfThreeFromTheRight) {
  EXPECT_EQ("0", FormatGrouped(0));
  EXPECT_EQ("0", FormatGrouped(-5));
  EXPECT_EQ("0", FormatGrouped(INT64_MIN));
  EXPECT_EQ("7", FormatGrouped(7));
  EXPECT_EQ("100", FormatGrouped(100));
  EXPECT_EQ("999", FormatGrouped(999));
  EXPECT_EQ("1'000", FormatGrouped(1000));
  EXPECT_EQ("123'456", FormatGrouped(123456));
  EXPECT_EQ("1'234'567", FormatGrouped(1234567));
  EXPECT_EQ("4'294'967'295", FormatGrouped(4294967295LL));
  EXPECT_EQ("9'223'372'036'854'775'807", FormatGrouped(INT64_MAX));
}

}  // namespace korvex
