// The catalog write of create and update, broken at every step: a failing
// create, write, sync, close or rename is reported and cleaned up, and a
// process killed or interrupted at any step leaves the earlier catalog as it
// was, or the new one whole.
#include <signal.h>
#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "catalog/catalog_file.h"
#include "cli/context.h"
#include "cli/korvex.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

using Names = std::vector<std::string>;

// The names in a directory, sorted.
Names List(const std::string& dir) {
  Names names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct Variant {
  const char* what;
  std::vector<std::string> args;  // the command and its options
  int steps;                      // create, writes, sync, close, rename and after it
};

const Variant kVariants[] = {
    {"with a content store", {"c", "/store=*.TXT"}, 8},
    {"without a content store", {"c"}, 6},
    {"fast, with a content store", {"c", "/fast", "/store=*"}, 8},
    {"update, with a content store", {"u", "/store=*.TXT"}, 8},
    {"update, fast, with a content store", {"u", "/fast", "/store=*"}, 8},
};

class CrashSafeWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("src/A.TXT", "first text");
    dir.Write("src/B.TXT", "second text");
    dir.Write("src/SUB/C.BIN", std::string(5000, 'c'));
    dir.Write("old/ONLY.TXT", "an older tree");
    dir.Write("old/A.TXT", "first text");
  }

  // The run over src with env; first, the earlier catalog of old is written
  // (update takes from it what src still holds) and the fault set.
  test::RunResult Run(const Variant& v, std::function<void(test::FaultEnv&)> fault = nullptr) {
    test::FaultEnv earlier, env;
    EXPECT_EQ(0, test::RunWith(earlier, Args(v, "old")).code);
    if (fault) fault(env);
    return test::RunWith(env, Args(v, "src"));
  }
  std::vector<std::string> Args(const Variant& v, const char* source) const {
    std::vector<std::string> args = v.args;
    args.insert(args.end(), {"--", target, dir / source});
    return args;
  }
  // The catalogs of old and of src, as a run without faults writes them.
  void Expected(const Variant& v) {
    ASSERT_EQ(0, test::RunWith(*Env::Default(), Args(v, "old")).code);
    earlier = test::ReadFile(target);
    ASSERT_EQ(0, Run(v).code) << v.what;
    fresh = test::ReadFile(target);
  }

  test::TempDir dir;
  const std::string out = dir.MakeDir("out");
  const std::string target = out + "/cat.dir";
  std::string earlier, fresh;
};

// A failing step is reported and keeps the earlier catalog; a process killed
// at a step leaves the earlier catalog or the new one, and nothing that
// hinders the next run.
TEST_F(CrashSafeWrite, EveryStepFailedOrKilled) {
#ifndef _WIN32
  // The child must be a fork of this very test, sharing its directory.
  GTEST_FLAG_SET(death_test_style, "fast");
  const std::string temporary =
      std::filesystem::path(TemporaryCatalogName(target)).filename().string();
#endif
  for (const Variant& v : kVariants) {
    Expected(v);
    test::FaultEnv counting;
    ASSERT_EQ(0, test::RunWith(counting, Args(v, "src")).code);
    EXPECT_EQ(v.steps, counting.steps) << v.what;
    for (int n = 0; n < v.steps; ++n) {
      const std::string what = std::string(v.what) + ", step " + std::to_string(n);
      if (n < v.steps - 1) {  // the last step, after the rename, cannot fail
        test::RunResult r = Run(v, [n](test::FaultEnv& e) { e.failStep = n; });
        EXPECT_EQ(4, r.code) << what;
        EXPECT_NE(std::string::npos, r.out.find(" bytes...Fail (cannot write catalog)\n")) << what;
        EXPECT_EQ(Names{"cat.dir"}, List(out)) << what;
        EXPECT_EQ(earlier, test::ReadFile(target)) << what;
      }
#ifndef _WIN32
      dir.Write("out/cat.dir", earlier);
      EXPECT_EXIT(
          {
            test::FaultEnv killing;
            killing.atStep = [n](int step) {
              if (step == n) raise(SIGKILL);
            };
            test::RunWith(killing, Args(v, "src"));
          },
          ::testing::KilledBySignal(SIGKILL), "")
          << what;
      // Killed after the rename, the new catalog is in place; before it,
      // the earlier one, and perhaps the temporary file beside it.
      EXPECT_EQ(n == v.steps - 1 ? fresh : earlier, test::ReadFile(target)) << what;
      for (const std::string& name : List(out)) {
        EXPECT_TRUE(name == "cat.dir" || name == temporary) << what << ": " << name;
      }
      test::FaultEnv env;
      ASSERT_EQ(0, test::RunWith(env, Args(v, "src")).code) << what;
      EXPECT_EQ(fresh, test::ReadFile(target)) << what;
      EXPECT_EQ(Names{"cat.dir"}, List(out)) << what;
#endif
    }
  }
}

#ifndef _WIN32

// The child of the interrupt test: the real console on a raw pseudo-terminal,
// as the program's main has it, and a signal once the temporary catalog has
// been created.
void CreateInterrupted(const std::string& terminal, int signo, std::string catalog,
                       std::string source) {
  int fd = open(terminal.c_str(), O_RDWR);
  struct termios raw;
  tcgetattr(fd, &raw);
  cfmakeraw(&raw);
  tcsetattr(fd, TCSANOW, &raw);
  dup2(fd, 1);
  test::FaultEnv env;
  env.atStep = [signo](int step) {
    if (step == 1) raise(signo);
  };
  Context ctx(env, *Console::Default());
  ctx.console.CatchInterrupts();
  std::string program = "korvex", command = "c", dashes = "--";
  char* argv[] = {&program[0], &command[0], &dashes[0], &catalog[0], &source[0], nullptr};
  RunKorvex(ctx, 5, argv);
}

TEST(Interrupt, PutsTheTitleBackEndsTheLineAndRemovesTheTemporaryCatalog) {
  GTEST_FLAG_SET(death_test_style, "fast");
  for (int signo : {SIGINT, SIGTERM}) {
    test::TempDir dir;
    dir.Write("src/a", "x");
    dir.Write("out/cat.dir", "earlier");
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    EXPECT_EXIT(CreateInterrupted(ptsname(master), signo, dir / "out/cat", dir / "src"),
                ::testing::ExitedWithCode(signo == SIGINT ? 130 : 143), "")
        << signo;
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) shown.append(buffer, n);
    close(master);
    const std::string end = "Write " + dir.path() + "/out/cat.dir 32 bytes...\033[23;0t\n";
    EXPECT_EQ(0u, shown.find("\033[22;0t")) << shown;
    EXPECT_TRUE(shown.size() > end.size() && shown.substr(shown.size() - end.size()) == end)
        << shown;
    EXPECT_EQ(Names{"cat.dir"}, List(dir / "out")) << signo;
    EXPECT_EQ("earlier", test::ReadFile(dir / "out/cat.dir"));
  }
}

#endif  // _WIN32

}  // namespace
}  // namespace korvex
