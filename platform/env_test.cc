#include "platform/env.h"

#include <time.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "tests/support/testutil.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;

// What both systems' Env do alike, on the real disk.  Directories are timed
// by their creation where the system records it.
TEST(Env, FilesAndDirectoriesAsBothSystemsKeepThem) {
  test::TempDir dir;
  Env* env = Env::Default();
  const std::string path = dir.Write("data", "0123456789");
  std::unique_ptr<File> file = env->OpenRead(path);
  ASSERT_TRUE(file);
  EXPECT_EQ(10u, file->Size());
  char buffer[16];
  size_t got = 0;
  ASSERT_TRUE(file->Seek(4));
  ASSERT_TRUE(file->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ("456789", std::string(buffer, got));
  ASSERT_TRUE(file->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(0u, got);
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(0u, file->Size());  // the system cannot tell the size of a closed file
  EXPECT_FALSE(env->OpenRead(dir / "missing"));
  EXPECT_FALSE(env->Create(dir / "no/such/dir"));
  std::unique_ptr<File> out = env->Create(dir / "new");
  ASSERT_TRUE(out && out->Write("abc", 3) && out->Close());
  EXPECT_TRUE(env->Rename(dir / "new", path));
  EXPECT_EQ("abc", test::ReadFile(path));
  EXPECT_TRUE(env->SetModificationTime(path, 1234567890u));
  const std::string readOnly = dir.Write("readonly", "1");
  fs::permissions(readOnly, fs::perms::owner_write | fs::perms::group_write |
                                fs::perms::others_write, fs::perm_options::remove);
  const uint32_t before = static_cast<uint32_t>(time(nullptr));
  EXPECT_TRUE(env->MakeDirectory(dir / "sub"));
  EXPECT_TRUE(env->MakeDirectory(dir / "sub"));
  EXPECT_FALSE(env->MakeDirectory(path));
  EXPECT_FALSE(env->MakeDirectory(dir / "missing/below"));

  std::map<std::string, DirEntry> e;
  EXPECT_TRUE(env->ListDirectory(dir.path() + kPathSeparator, [&](const DirEntry& entry) {
    e[entry.name] = entry;
  }));
  ASSERT_EQ(3u, e.size());
  EXPECT_EQ(0x20u, e["data"].attributes);
  EXPECT_EQ(1234567890u, e["data"].time);
  EXPECT_EQ(3u, e["data"].size);
  EXPECT_TRUE(e["data"].readable);
  EXPECT_EQ(0x21u, e["readonly"].attributes);
  EXPECT_EQ(0x10u, e["sub"].attributes & 0x10u);
  EXPECT_FALSE(e["sub"].readable);
  EXPECT_EQ(0u, e["sub"].size);
  EXPECT_LE(before - 2, e["sub"].time);
  EXPECT_GE(static_cast<uint32_t>(time(nullptr)) + 2, e["sub"].time);
  EXPECT_FALSE(env->ListDirectory(dir / "missing" + kPathSeparator, [](const DirEntry&) {}));
  EXPECT_TRUE(env->SetModificationTime(dir / "sub", 1000000000u));
  fs::permissions(readOnly, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_TRUE(env->Delete(path));
  EXPECT_FALSE(test::Exists(path));
  EXPECT_FALSE(env->Delete(path));
}

}  // namespace
}  // namespace korvex
