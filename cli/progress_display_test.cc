#include "cli/progress_display.h"

#include <gtest/gtest.h>


namespace korvex {

TEST(Progress, PercentageIsTruncatedIn64Bits) {
  EXPECT_EQ(0, Percentage(0, 0));
  EXPECT_EQ(33, Percentage(1, 3));
  EXPECT_EQ(99, Percentage(999, 1000));
  EXPECT_EQ(100, Percentage(1000, 1000));
  EXPECT_EQ(50, Percentage(1ull << 40, 1ull << 41));
}

}  // namespace korvex
