#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/env.h"
#include "tests/support/testutil.h"

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

// A directory is made or a real one accepted; whatever else stands at the
// name is refused, a link above all, and left as it was.
TEST(PosixEnv, MakeDirectoryNeverGoesThroughALink) {
  test::TempDir dir;
  const std::string elsewhere = dir.MakeDir("elsewhere");
  ASSERT_EQ(0, symlink(elsewhere.c_str(), (dir / "dirlink").c_str()));
  ASSERT_EQ(0, symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()));
  dir.Write("file", "x");
  dir.MakeDir("real");
  struct Case {
    const char* name;
    bool made;
    const char* reason;
  };
  const Case cases[] = {
      {"new", true, ""},
      {"real", true, ""},
      {"file", false, "Not a directory"},
      {"dirlink", false, "a link stands at the name"},
      {"dangling", false, "a link stands at the name"},
      {"missing/below", false, "No such file or directory"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(c.made, Env::Default()->MakeDirectory(dir / c.name, &error)) << c.name;
    EXPECT_EQ(c.reason, error) << c.name;
  }
  struct stat st;
  ASSERT_EQ(0, lstat((dir / "new").c_str(), &st));
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_TRUE(Env::Default()->SetModificationTime(dir / "new", 1000000000u));
  ASSERT_EQ(0, lstat((dir / "new").c_str(), &st));
  EXPECT_EQ(1000000000, st.st_mtime);
  EXPECT_FALSE(test::Exists(dir / "nowhere"));
}

// Hints never fail and never block, whatever stands at the path; the
// environment variable turns read-ahead off.
TEST(PosixEnv, ReadAheadHintsAndTheSwitch) {
  test::TempDir dir;
  const std::string file = dir.Write("f", "data");
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  Env* env = Env::Default();
  for (const std::string& path : {file, fifo, dir.path(), dir / "missing", std::string()}) {
    env->WillRead(path, 1 << 20);
  }
  EXPECT_EQ("data", test::ReadFile(file));
  ASSERT_EQ(0, setenv("KORVEX_READ_AHEAD", "0", 1));
  EXPECT_EQ(ReadAheadMode::kOff, env->ReadAheadFor(dir.path()));
  ASSERT_EQ(0, setenv("KORVEX_READ_AHEAD", "1", 1));
  EXPECT_NE(ReadAheadMode::kOff, env->ReadAheadFor(dir.path()));
  ASSERT_EQ(0, unsetenv("KORVEX_READ_AHEAD"));
  EXPECT_NE(ReadAheadMode::kOff, env->ReadAheadFor(""));
}

}  // namespace
}  // namespace korvex
