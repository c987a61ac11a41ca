#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/env.h"
#include "tests/testutil.h"

namespace korvex {
namespace {

TEST(PosixEnv, OpensOnlyRegularFilesAndNeverBlocks) {
  test::TempDir dir;
  Env* env = Env::Default();
  std::string fifo = dir / "fifo";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0666));
  EXPECT_EQ(nullptr, env->OpenRead(fifo));
  EXPECT_EQ(nullptr, env->Create(fifo));
  EXPECT_EQ(nullptr, env->OpenRead(dir.MakeDir("sub")));
  EXPECT_EQ(nullptr, env->OpenRead(dir / "missing"));
  std::unique_ptr<File> file = env->OpenRead(dir.Write("f", "12345"));
  ASSERT_NE(nullptr, file);
  EXPECT_EQ(5u, file->Size());
  char buf[8];
  size_t got = 0;
  EXPECT_TRUE(file->Seek(2));
  EXPECT_TRUE(file->Read(buf, sizeof buf, &got));
  EXPECT_EQ("345", std::string(buf, got));
}

TEST(PosixEnv, CreateNeverWritesThroughASymbolicLink) {
  test::TempDir dir;
  std::string sentinel = dir.Write("sentinel", "keep");
  ASSERT_EQ(0, symlink(sentinel.c_str(), (dir / "link").c_str()));
  EXPECT_EQ(nullptr, Env::Default()->Create(dir / "link"));
  EXPECT_EQ("keep", test::ReadFile(sentinel));
  std::unique_ptr<File> out = Env::Default()->Create(dir / "new");
  ASSERT_NE(nullptr, out);
  EXPECT_TRUE(out->Write("abc", 3));
  EXPECT_TRUE(out->Close());
  EXPECT_EQ("abc", test::ReadFile(dir / "new"));
  EXPECT_TRUE(Env::Default()->Rename(dir / "new", sentinel));
  EXPECT_EQ("abc", test::ReadFile(sentinel));
  EXPECT_TRUE(Env::Default()->Delete(sentinel));
  EXPECT_FALSE(test::Exists(sentinel));
}

}  // namespace
}  // namespace korvex
