#include "catalog/tree.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/testutil.h"

namespace korvex {
namespace {

struct ScanFixture : public ::testing::Test {
  ScanFixture() : ctx(env, progress) {}
  bool ScanRoot() { return root.Scan(ctx, dir.path()); }

  test::TempDir dir;
  test::FaultEnv env;
  test::ShownProgress progress;
  ScanContext ctx;
  DirNode root;
};

std::vector<std::string> FileNames(const DirNode& node) {
  std::vector<std::string> names;
  for (const FileNode& f : node.files) names.push_back(f.name());
  return names;
}

TEST_F(ScanFixture, SortsBytewiseAndCountsWithoutTheRoot) {
#ifdef _WIN32
  GTEST_SKIP() << "b.txt and B.TXT are one file here";
#endif
  dir.Write("b.txt", "bb");
  dir.Write("B.TXT", "B");
  dir.Write("a.txt", "aaa");
  dir.Write(".profile", "");
  dir.Write("\xC3\xA9t\xC3\xA9", "x");
  dir.MakeDir("zeta/inner");
  dir.MakeDir("Alpha");
  ASSERT_TRUE(ScanRoot());
  EXPECT_EQ((std::vector<std::string>{".profile", "B.TXT", "a.txt", "b.txt", "\xC3\xA9t\xC3\xA9"}),
            FileNames(root));
  ASSERT_EQ(2u, root.subdirectories.size());
  EXPECT_EQ("Alpha", root.subdirectories[0]->name);
  EXPECT_EQ("zeta", root.subdirectories[1]->name);
  EXPECT_EQ("inner", root.subdirectories[1]->subdirectories[0]->name);
  EXPECT_EQ(3, ctx.totals.dirCount);
  EXPECT_EQ(5, ctx.totals.fileCount);
  EXPECT_EQ(7, ctx.totals.totalBytes);
  EXPECT_EQ("", progress.console.out);  // no spinner below 128 files
}

#ifndef _WIN32  // POSIX modes and links; the Win32 attributes are tested with their Env
TEST_F(ScanFixture, AttributesAndTimes) {
  dir.Write("plain", "1", 1234567890u);
  dir.Write(".hidden", "1");
  std::string ro = dir.Write("readonly", "1");
  chmod(ro.c_str(), 0444);
  ASSERT_EQ(0, symlink("plain", (dir / "link").c_str()));
  dir.MakeDir("sub");
  ASSERT_TRUE(ScanRoot());
  ASSERT_EQ(4u, root.files.size());
  EXPECT_EQ(".hidden", std::string(root.files[0].name()));
  EXPECT_EQ(0x22, root.files[0].attributes);
  EXPECT_EQ("link", std::string(root.files[1].name()));
  EXPECT_EQ(0x04, root.files[1].attributes);
  EXPECT_EQ(0u, root.files[1].size);
  EXPECT_FALSE(root.files[1].readable);
  EXPECT_EQ(0x20, root.files[2].attributes);
  EXPECT_EQ(1234567890u, root.files[2].time);
  EXPECT_TRUE(root.files[2].readable);
  EXPECT_EQ(0x21, root.files[3].attributes);
  EXPECT_EQ(0x10, root.subdirectories[0]->attributes);
  EXPECT_NE(0u, root.subdirectories[0]->time);
}
#endif

TEST_F(ScanFixture, SpinnerTurnsEvery128Files) {
  for (int i = 0; i < 300; ++i) dir.Write("f" + std::to_string(i), "");
  ASSERT_TRUE(ScanRoot());
  EXPECT_EQ("\b-\b/", progress.console.out);
  EXPECT_EQ(300, ctx.totals.fileCount);
}

TEST_F(ScanFixture, UnlistableDirectoryIsEmptyAndSiblingsGoOn) {
  dir.Write("bad/x", "1");
  dir.Write("good/y", "22");
  env.failList = std::string(1, kPathSeparator) + "bad" + kPathSeparator;
  ASSERT_TRUE(ScanRoot());
  ASSERT_EQ(2u, root.subdirectories.size());
  EXPECT_TRUE(root.subdirectories[0]->files.empty());
  EXPECT_EQ(1u, root.subdirectories[1]->files.size());
  EXPECT_EQ(2, ctx.totals.dirCount);
  EXPECT_EQ(1, ctx.totals.fileCount);
  DirNode missing;
  EXPECT_FALSE(missing.Scan(ctx, dir / "nothing-here"));
}

TEST_F(ScanFixture, SelectsByFirstMatchingMaskAndSizeLimit) {
  ctx.options.storageEnabled = true;
  ctx.options.storeMasks = {"*.TXT", "READ*"};
  ctx.options.maxStoredSize = 1000;
  dir.Write("readme.txt", std::string(10, 'r'));
  dir.Write("big.txt", std::string(1000, 'b'));
  dir.Write("small.txt", std::string(999, 's'));
  dir.Write("empty.txt", "");
  dir.Write("other.dat", "o");
  dir.Write("sub/deep.txt", "d");
  ASSERT_TRUE(ScanRoot());
  // big.txt, empty.txt, other.dat, readme.txt, small.txt
  EXPECT_EQ(0x20, root.files[0].attributes);
  EXPECT_EQ(0x28, root.files[1].attributes);
  EXPECT_EQ(0x20, root.files[2].attributes);
  EXPECT_EQ(0x28, root.files[3].attributes);
  EXPECT_EQ(0x28, root.files[4].attributes);
  EXPECT_EQ(0x28, root.subdirectories[0]->files[0].attributes);
  EXPECT_EQ(4, ctx.totals.selectedCount);
  EXPECT_EQ(10 + 999 + 0 + 1, ctx.totals.selectedBytes);
}

TEST_F(ScanFixture, NoStorageWithoutTheOptionOrWithLimitZero) {
  dir.Write("a.txt", "a");
  ctx.options.storeMasks = {"*"};
  ASSERT_TRUE(ScanRoot());
  EXPECT_EQ(0x20, root.files[0].attributes);
  ctx.options.storageEnabled = true;
  ctx.options.maxStoredSize = 0;
  DirNode again;
  ASSERT_TRUE(again.Scan(ctx, dir.path()));
  EXPECT_EQ(0x20, again.files[0].attributes);
  EXPECT_EQ(0, ctx.totals.selectedCount);
}

TEST_F(ScanFixture, FilesOf4GiBKeepTheLowBitsAndAreNeverSelected) {
  std::string big = dir / "huge.txt";
  std::filesystem::resize_file(dir.Write("huge.txt", ""), (1ull << 32) + 10);
  ctx.options.storageEnabled = true;
  ctx.options.storeMasks = {"*"};
  ASSERT_TRUE(ScanRoot());
  EXPECT_EQ(10u, root.files[0].size32());
  EXPECT_EQ((1ull << 32) + 10, root.files[0].size);
  EXPECT_EQ((1ll << 32) + 10, ctx.totals.totalBytes);
  EXPECT_EQ(0x20, root.files[0].attributes);
  EXPECT_EQ(0, ctx.totals.selectedCount);
}

TEST_F(ScanFixture, TemporaryFilesAreAcknowledgedAndKeepNoStoredFlag) {
  dir.Write("temp.dat", "t");
  dir.Write("temp.txt", "t");
  env.markTemporary = "temp.dat";
  ctx.options.storageEnabled = true;
  ctx.options.storeMasks = {"*.TXT"};
  ASSERT_TRUE(ScanRoot());
  EXPECT_EQ(std::vector<std::string>{"Temporary File!!!"}, progress.console.acknowledged);
  EXPECT_EQ(0x20, root.files[0].attributes);
  EXPECT_EQ(0x28, root.files[1].attributes);
}

TEST(Tree, UpperAsciiOnlyFoldsAToZ) {
  std::string s = "abz{\xE4`AZ";
  UpperAscii(&s);
  EXPECT_EQ("ABZ{\xE4`AZ", s);
}

}  // namespace
}  // namespace korvex
