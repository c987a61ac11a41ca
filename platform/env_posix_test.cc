#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/env.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

// Only regular files are opened, without blocking on a FIFO, and nothing is
// written or made through a link: whatever else stands at the name is
// refused and left as it was.  Hints never fail and never block, whatever
// stands at the path; the environment variable turns read-ahead off.
TEST(PosixEnv, OnlyRegularFilesNeverThroughALinkAndHintsNeverBlock) {
  test::TempDir dir;
  Env* env = Env::Default();
  const std::string fifo = dir / "fifo", sentinel = dir.Write("sentinel", "keep");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0666));
  std::string error;
  EXPECT_EQ(nullptr, env->OpenRead(fifo, &error));
  EXPECT_EQ("not a regular file", error);
  EXPECT_EQ(nullptr, env->Create(fifo));
  EXPECT_EQ(nullptr, env->OpenRead(dir.MakeDir("sub"), &error));
  EXPECT_EQ("Is a directory", error);
  ASSERT_EQ(0, symlink(sentinel.c_str(), (dir / "link").c_str()));
  ASSERT_EQ(0, symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()));
  EXPECT_EQ(nullptr, env->Create(dir / "link"));
  EXPECT_EQ("keep", test::ReadFile(sentinel));
  const std::pair<const char*, const char*> refused[] = {
      {"link", "a link stands at the name"}, {"dangling", "a link stands at the name"},
      {"sentinel", "Not a directory"}, {"missing/below", "No such file or directory"}};
  for (const auto& [name, reason] : refused) {
    EXPECT_FALSE(env->MakeDirectory(dir / name, &error)) << name;
    EXPECT_EQ(reason, error) << name;
  }
  EXPECT_FALSE(test::Exists(dir / "nowhere"));
  for (const std::string& path : {sentinel, fifo, dir.path(), dir / "missing", std::string()}) {
    env->WillRead(path, 1 << 20);
  }
  EXPECT_EQ("keep", test::ReadFile(sentinel));
  ASSERT_EQ(0, setenv("KORVEX_READ_AHEAD", "0", 1));
  EXPECT_EQ(ReadAheadMode::kOff, env->ReadAheadFor(dir.path()));
  ASSERT_EQ(0, setenv("KORVEX_READ_AHEAD", "1", 1));
  EXPECT_NE(ReadAheadMode::kOff, env->ReadAheadFor(dir.path()));
  ASSERT_EQ(0, unsetenv("KORVEX_READ_AHEAD"));
  EXPECT_NE(ReadAheadMode::kOff, env->ReadAheadFor(""));
}

// A directory that can be read but not searched lists names it cannot
// examine: the listing fails, naming why, and visits none of them.  Root
// examines anything, so the listing runs in a child as nobody.
TEST(PosixEnv, EntriesThatCannotBeExaminedFailTheListing) {
  test::TempDir dir;
  dir.Write("shut/inside", "x");
  ASSERT_EQ(0, chmod(dir.path().c_str(), 0755) | chmod((dir / "shut").c_str(), 0444));
  const pid_t child = fork();
  if (child == 0) {
    std::string error;
    const bool listed = (geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0)) &&
        Env::Default()->ListDirectory(dir / "shut/", [](const DirEntry&) { _exit(3); }, &error);
    _exit(!listed && error == "Permission denied" ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  EXPECT_EQ(0, status);
}

}  // namespace
}  // namespace korvex
