#include "cli/progress_display.h"

#include <gtest/gtest.h>

#include "tests/testutil.h"

namespace korvex {

TEST(Progress, RefreshWritesFourColumnsAndTitle) {
  test::CaptureConsole console;
  ShowProgress(console, 0, "Calc");
  ShowProgress(console, 42, "Store");
  ShowProgress(console, 100, "Extr");
  ShowProgress(console, 1234, "Check");
  EXPECT_EQ("\b\b\b\b  0%\b\b\b\b 42%\b\b\b\b100%\b\b\b\b1234%", console.out);
  ASSERT_EQ(4u, console.titles.size());
  EXPECT_EQ("{0%}Calc... - KORVEX v3.0m", console.titles[0]);
  EXPECT_EQ("{42%}Store... - KORVEX v3.0m", console.titles[1]);
  EXPECT_EQ("{100%}Extr... - KORVEX v3.0m", console.titles[2]);
}

TEST(Progress, PercentageIsTruncatedIn64Bits) {
  EXPECT_EQ(0, Percentage(0, 0));
  EXPECT_EQ(33, Percentage(1, 3));
  EXPECT_EQ(99, Percentage(999, 1000));
  EXPECT_EQ(100, Percentage(1000, 1000));
  EXPECT_EQ(50, Percentage(1ull << 40, 1ull << 41));
}

}  // namespace korvex
