#include "platform/env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>

#include "tests/support/testutil.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;

uint32_t Now() {
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count());
}

std::map<std::string, DirEntry> List(const std::string& dir) {
  std::map<std::string, DirEntry> entries;
  EXPECT_TRUE(Env::Default()->ListDirectory(dir + "\\", [&](const DirEntry& e) {
    DirEntry copy = e;
    copy.name = nullptr;
    entries[e.name] = copy;
  }));
  return entries;
}

TEST(WindowsEnv, ListsAttributesTimesAndFullSizes) {
  test::TempDir dir;
  dir.Write("plain.txt", "12345", 1234567890u);
  std::string readOnly = dir.Write("readonly.txt", "1");
  fs::permissions(readOnly, fs::perms::owner_write | fs::perms::group_write |
                                fs::perms::others_write, fs::perm_options::remove);
  std::string big = dir.Write("big.bin", "");
  fs::resize_file(big, (1ull << 32) + 10);
  const uint32_t before = Now();
  dir.MakeDir("sub");

  std::map<std::string, DirEntry> e = List(dir.path());
  ASSERT_EQ(4u, e.size());
  EXPECT_EQ(0x20u, e["plain.txt"].attributes);
  EXPECT_EQ(1234567890u, e["plain.txt"].time);
  EXPECT_EQ(5u, e["plain.txt"].size);
  EXPECT_TRUE(e["plain.txt"].readable);
  EXPECT_EQ(0x21u, e["readonly.txt"].attributes);
  EXPECT_EQ((1ull << 32) + 10, e["big.bin"].size);
  EXPECT_EQ(0x10u, e["sub"].attributes & 0x10u);
  EXPECT_FALSE(e["sub"].readable);
  EXPECT_EQ(0u, e["sub"].size);
  // Its creation time; Wine, which has none, gives the earlier of the last
  // modification and the last status change.
  EXPECT_LE(before - 2, e["sub"].time);
  EXPECT_GE(Now() + 2, e["sub"].time);
  fs::permissions(readOnly, fs::perms::owner_write, fs::perm_options::add);
}

TEST(WindowsEnv, ListingFailsOnlyForWhatCannotBeListed) {
  test::TempDir dir;
  auto ignore = [](const DirEntry&) {};
  EXPECT_FALSE(Env::Default()->ListDirectory(dir / "missing\\", ignore));
  int rootEntries = 0;
  EXPECT_TRUE(Env::Default()->ListDirectory("", [&](const DirEntry&) { ++rootEntries; }));
  EXPECT_GT(rootEntries, 0);
  // Drive roots are listed as "X:" plus the separator.
  std::string drive = dir.path().substr(0, 2) + "\\";
  EXPECT_TRUE(Env::Default()->ListDirectory(drive, ignore));
}

TEST(WindowsEnv, FilesReadSeekAndShareWhileOpen) {
  test::TempDir dir;
  std::string path = dir.Write("data", "0123456789");
  Env* env = Env::Default();
  std::unique_ptr<File> reader = env->OpenRead(path);
  ASSERT_TRUE(reader);
  EXPECT_EQ(10u, reader->Size());
  char buffer[16];
  size_t got = 0;
  ASSERT_TRUE(reader->Seek(4));
  ASSERT_TRUE(reader->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ("456789", std::string(buffer, got));
  ASSERT_TRUE(reader->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(0u, got);
  // Readers and writers share the file both ways.
  EXPECT_TRUE(env->OpenRead(path));
  std::unique_ptr<File> writer = env->Create(path);
  ASSERT_TRUE(writer);
  EXPECT_TRUE(writer->Write("new", 3));
  EXPECT_TRUE(writer->Close());
  EXPECT_TRUE(reader->Close());
  EXPECT_EQ("new", test::ReadFile(path));
  EXPECT_FALSE(env->OpenRead(dir / "missing"));
  EXPECT_FALSE(env->Create(dir / "no\\such\\dir"));
}

TEST(WindowsEnv, FileOf4GiBHasItsFullSizeAndPositions) {
  test::TempDir dir;
  std::string path = dir.Write("big", "");
  fs::resize_file(path, (1ull << 32) + 2);
  std::unique_ptr<File> file = Env::Default()->OpenRead(path);
  ASSERT_TRUE(file);
  EXPECT_EQ((1ull << 32) + 2, file->Size());
  ASSERT_TRUE(file->Seek(1ull << 32));
  char buffer[8];
  size_t got = 0;
  ASSERT_TRUE(file->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(2u, got);
}

TEST(WindowsEnv, DevicesAreNeverOpened) {
  test::TempDir dir;
  Env* env = Env::Default();
  for (const std::string& device : {std::string("NUL"), std::string("CON"), dir / "nul.txt"}) {
    EXPECT_FALSE(env->OpenRead(device)) << device;
    EXPECT_FALSE(env->Create(device)) << device;
  }
}

TEST(WindowsEnv, RenameReplacesAndDeleteRemoves) {
  test::TempDir dir;
  std::string from = dir.Write("new.dir", "new");
  std::string to = dir.Write("old.dir", "old");
  Env* env = Env::Default();
  ASSERT_TRUE(env->Rename(from, to));
  EXPECT_EQ("new", test::ReadFile(to));
  EXPECT_FALSE(test::Exists(from));
  EXPECT_TRUE(env->Delete(to));
  EXPECT_FALSE(test::Exists(to));
  EXPECT_FALSE(env->Delete(to));
}

TEST(WindowsEnv, MakeDirectoryMakesOrAcceptsOnlyDirectories) {
  test::TempDir dir;
  Env* env = Env::Default();
  dir.Write("file", "x");
  EXPECT_TRUE(env->MakeDirectory(dir / "new"));
  EXPECT_EQ(PathKind::kDirectory, env->KindOf(dir / "new"));
  EXPECT_TRUE(env->MakeDirectory(dir / "new"));
  EXPECT_FALSE(env->MakeDirectory(dir / "file"));
  EXPECT_FALSE(env->MakeDirectory(dir / "missing/below"));
  // Directories take a time as files do.
  EXPECT_TRUE(env->SetModificationTime(dir / "new", 1000000000u));
}

TEST(WindowsEnv, CodePagesRoundTripAndKeepAscii) {
  char text[] = "Caf\xE9 Z.TXT";  // e acute in the ANSI code page
  Env::Default()->AnsiToOem(text);
  EXPECT_EQ(std::string("Caf"), std::string(text, 3));
  EXPECT_NE('\xE9', text[3]);
  EXPECT_EQ(std::string(" Z.TXT"), std::string(text + 4));
  Env::Default()->OemToAnsi(text);
  EXPECT_EQ(std::string("Caf\xE9 Z.TXT"), text);
}

}  // namespace
}  // namespace korvex
