#include "platform/env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/testutil.h"

namespace korvex {
namespace {

// Sizes and positions past 4 GiB, in the listing and in the file; the drive
// list is listed too.
TEST(WindowsEnv, FileOf4GiBHasItsFullSizeAndPositions) {
  test::TempDir dir;
  Env* env = Env::Default();
  std::filesystem::resize_file(dir.Write("big", ""), (1ull << 32) + 2);
  uint64_t listed = 0;
  EXPECT_TRUE(env->ListDirectory(dir.path() + "\\", [&](const DirEntry& e) { listed = e.size; }));
  EXPECT_EQ((1ull << 32) + 2, listed);
  std::unique_ptr<File> file = env->OpenRead(dir / "big");
  ASSERT_TRUE(file);
  EXPECT_EQ((1ull << 32) + 2, file->Size());
  ASSERT_TRUE(file->Seek(1ull << 32));
  char buffer[8];
  size_t got = 0;
  ASSERT_TRUE(file->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(2u, got);
  int drives = 0;
  EXPECT_TRUE(env->ListDirectory("", [&](const DirEntry&) { ++drives; }));
  EXPECT_GT(drives, 0);
}

// Readers and writers share a file both ways; devices are never opened;
// names go to the OEM code page and back, ASCII kept.
TEST(WindowsEnv, SharingDevicesAndCodePages) {
  test::TempDir dir;
  Env* env = Env::Default();
  const std::string path = dir.Write("data", "0123456789");
  std::unique_ptr<File> reader = env->OpenRead(path);
  ASSERT_TRUE(reader);
  EXPECT_TRUE(env->OpenRead(path));
  std::unique_ptr<File> writer = env->Create(path);
  ASSERT_TRUE(writer && writer->Write("new", 3) && writer->Close());
  EXPECT_TRUE(reader->Close());
  EXPECT_EQ("new", test::ReadFile(path));
  for (const std::string& device : {std::string("NUL"), std::string("CON"), dir / "nul.txt"}) {
    EXPECT_FALSE(env->OpenRead(device)) << device;
    EXPECT_FALSE(env->Create(device)) << device;
  }
  char text[] = "Caf\xE9 Z.TXT";  // e acute in the ANSI code page
  env->AnsiToOem(text);
  EXPECT_EQ(std::string("Caf"), std::string(text, 3));
  EXPECT_NE('\xE9', text[3]);
  EXPECT_EQ(std::string(" Z.TXT"), std::string(text + 4));
  env->OemToAnsi(text);
  EXPECT_EQ(std::string("Caf\xE9 Z.TXT"), text);
}

}  // namespace
}  // namespace korvex
