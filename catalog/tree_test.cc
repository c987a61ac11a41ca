#include "catalog/tree.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <stdio.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalog/progress.h"
#include "cli/progress_display.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

// What the scan lists, selects and counts is in the case files (scan/);
// what a command's output cannot show is here.
struct ScanTest : public ::testing::Test {
  ScanTest() : progress(console), ctx(env, progress) {}

  test::TempDir dir;
  test::FaultEnv env;
  test::CaptureConsole console;
  ConsoleProgress progress;
  ScanContext ctx;
  DirNode root;
};

TEST_F(ScanTest, SpinnerTurnsEvery128FilesAndTemporaryFilesAreAcknowledged) {
  for (int i = 0; i < 300; ++i) dir.Write("f" + std::to_string(i), "");
  env.markTemporary = "f7";
  ASSERT_TRUE(root.Scan(ctx, dir.path()));
  EXPECT_EQ("\b-\b/", console.out);
  EXPECT_EQ(std::vector<std::string>{"Temporary File!!!"}, console.acknowledged);
  // f7's temporary bit is not taken for the stored flag.
  for (const FileNode& f : root.files) EXPECT_EQ(0x20, f.attributes) << f.name();
  // An observer that shows nothing passes temporary files over.
  ProgressObserver quiet;
  ScanContext plain(env, quiet);
  EXPECT_TRUE(DirNode().Scan(plain, dir.path()));
}

// A long name that does not fit the open block gets a block of its own;
// the open block goes on taking the names that fit.
TEST(NamePool, LongNamesLeaveTheOthersAlone) {
  NamePool pool;
  const std::string middle(50000, 'M'), longName(20000, 'L');
  const char* a = pool.Add("a", 1);
  const char* m = pool.Add(middle.c_str(), middle.size());
  const char* b = pool.Add(longName.c_str(), longName.size());
  const char* c = pool.Add("c", 1);
  EXPECT_EQ("a", std::string(a));
  EXPECT_EQ(middle, m);
  EXPECT_EQ(longName, b);
  EXPECT_EQ("c", std::string(c));
}

#ifndef _WIN32  // the Win32 attributes are tested with their Env
// Links and FIFOs are cataloged as empty and never opened; names starting
// with a dot are hidden; names sort as bytes, not as signed chars.
TEST_F(ScanTest, PosixAttributesAndTimes) {
  dir.Write("plain", "1", 1234567890u);
  dir.Write(".hidden", "1");
  chmod(dir.Write("readonly", "1").c_str(), 0444);
  dir.Write("\xC3\xA9t\xC3\xA9", "x");
  ASSERT_EQ(0, symlink("plain", (dir / "link").c_str()));
  ASSERT_EQ(0, mkfifo((dir / "fifo").c_str(), 0600));
  dir.MakeDir(".cache");
  ASSERT_TRUE(root.Scan(ctx, dir.path()));
  std::string listed;
  for (const FileNode& f : root.files) {
    char line[48];
    snprintf(line, sizeof line, " %02X %llu%s\n", f.attributes,
             static_cast<unsigned long long>(f.size), f.readable ? " r" : "");
    listed += f.name() + std::string(line);
  }
  EXPECT_EQ(".hidden 22 1 r\nfifo 04 0\nlink 04 0\nplain 20 1 r\nreadonly 21 1 r\n"
            "\xC3\xA9t\xC3\xA9 20 1 r\n",
            listed);
  EXPECT_EQ(1234567890u, root.files[3].time);
  EXPECT_EQ(0x12, root.subdirectories[0]->attributes);
}
#endif

}  // namespace
}  // namespace korvex
