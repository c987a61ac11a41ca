// The catalog write of create and update, broken at every step: a failing
// write, close or rename is reported and cleaned up, and a process killed at
// any step leaves the earlier catalog as it was.
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
#include <memory>
#include <string>
#include <vector>

#include "catalog/catalog_file.h"
#include "cli/context.h"
#include "cli/cli_test_util.h"
#include "cli/korvex.h"
#include "platform/console.h"

namespace korvex {
namespace {

using test::RunResult;
using test::RunWith;

// The names in a directory, sorted.
std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct Variant {
  const char* what;
  const char* command;
  std::vector<std::string> options;
};

const Variant kVariants[] = {
    {"with a content store", "c", {"/store=*.TXT"}},
    {"without a content store", "c", {}},
    {"fast, with a content store", "c", {"/fast", "/store=*"}},
    {"update, with a content store", "u", {"/store=*.TXT"}},
    {"update, fast, with a content store", "u", {"/fast", "/store=*"}},
};

class CrashSafeWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("src/A.TXT", "first text");
    dir.Write("src/B.TXT", "second text");
    dir.Write("src/SUB/C.BIN", std::string(5000, 'c'));
    dir.Write("old/ONLY.TXT", "an older tree");
    dir.Write("old/A.TXT", "first text");
    out = dir.MakeDir("out");
    target = out + "/cat.dir";
  }

  std::vector<std::string> Args(const Variant& v, const std::string& source) const {
    std::vector<std::string> args = {v.command};
    args.insert(args.end(), v.options.begin(), v.options.end());
    args.insert(args.end(), {"--", target, source});
    return args;
  }

  // Writes the catalog a later run must not lose, and returns its bytes.
  // Update takes from it what the later tree still holds.
  std::string WriteEarlier(const Variant& v) {
    test::FaultEnv env;
    EXPECT_EQ(0, RunWith(env, Args(v, dir / "old")).code);
    return test::ReadFile(target);
  }

  test::TempDir dir;
  std::string out;
  std::string target;
};

TEST_F(CrashSafeWrite, EveryFailedStepIsReportedAndKeepsTheEarlierCatalog) {
  for (const Variant& v : kVariants) {
    const std::string earlier = WriteEarlier(v);
    ASSERT_FALSE(earlier.empty());
    test::FaultEnv counting;
    ASSERT_EQ(0, RunWith(counting, Args(v, dir / "src")).code);
    const std::string fresh = test::ReadFile(target);
    const int writes = static_cast<int>(counting.writes.size());
    EXPECT_EQ(v.options.empty() ? 1 : 3, writes) << v.what;

    std::vector<std::pair<std::string, std::function<void(test::FaultEnv&)>>> faults = {
        {"create", [](test::FaultEnv& e) { e.failCreate = "cat.dir"; }},
        {"sync", [](test::FaultEnv& e) { e.failSync = true; }},
        {"close", [](test::FaultEnv& e) { e.failClose = true; }},
        {"rename", [](test::FaultEnv& e) { e.failRename = true; }},
    };
    for (int k = 0; k < writes; ++k) {
      faults.push_back({"write " + std::to_string(k), [k](test::FaultEnv& e) {
                          e.failWriteAfter = k;
                        }});
    }
    for (bool withEarlier : {true, false}) {
      for (const auto& fault : faults) {
        const std::string what = std::string(v.what) + ", failing " + fault.first +
                                 (withEarlier ? "" : ", no earlier catalog");
        if (withEarlier) {
          dir.Write("out/cat.dir", earlier);
        } else {
          std::filesystem::remove(target);
        }
        test::FaultEnv faulty;
        fault.second(faulty);
        RunResult r = RunWith(faulty, Args(v, dir / "src"));
        EXPECT_EQ(4, r.code) << what;
        EXPECT_NE(std::string::npos, r.out.find(" bytes...Fail (cannot write catalog)\n")) << what;
        EXPECT_EQ(withEarlier ? std::vector<std::string>{"cat.dir"} : std::vector<std::string>{},
                  Names(out))
            << what;
        if (withEarlier) {
          EXPECT_EQ(earlier, test::ReadFile(target)) << what;
        }
      }
    }
    // The same run without a fault still writes the new catalog whole.
    test::FaultEnv env;
    ASSERT_EQ(0, RunWith(env, Args(v, dir / "src")).code);
    EXPECT_EQ(fresh, test::ReadFile(target)) << v.what;
  }
}

#ifndef _WIN32

// Kills the process at one point of the catalog write: before a write of
// the file, before its close, before the rename or right after it.
class KillingEnv : public test::FaultEnv {
 public:
  explicit KillingEnv(int killAt) : killAt_(killAt) {}

  std::unique_ptr<File> Create(const std::string& path, std::string* error) override {
    std::unique_ptr<File> file = FaultEnv::Create(path, error);
    if (!file) return nullptr;
    return std::unique_ptr<File>(new KillingFile(std::move(file), this));
  }
  bool Rename(const std::string& from, const std::string& to, std::string* error) override {
    Point();
    bool ok = FaultEnv::Rename(from, to, error);
    Point();
    return ok;
  }
  int points() const { return points_; }

 private:
  class KillingFile : public File {
   public:
    KillingFile(std::unique_ptr<File> target, KillingEnv* env)
        : target_(std::move(target)), env_(env) {}
    bool Read(void* buffer, size_t n, size_t* got) override { return target_->Read(buffer, n, got); }
    bool Write(const void* data, size_t n) override {
      env_->Point();
      return target_->Write(data, n);
    }
    bool Seek(uint64_t position) override { return target_->Seek(position); }
    uint64_t Size() override { return target_->Size(); }
    bool Sync() override {
      env_->Point();
      return target_->Sync();
    }
    bool Close() override {
      env_->Point();
      return target_->Close();
    }

   private:
    std::unique_ptr<File> target_;
    KillingEnv* env_;
  };

  void Point() {
    if (points_++ == killAt_) raise(SIGKILL);
  }

  const int killAt_;
  int points_ = 0;
};

TEST_F(CrashSafeWrite, KilledAtAnyStepLeavesTheEarlierCatalogWhole) {
  // The child must be a fork of this very test, sharing its directory.
  GTEST_FLAG_SET(death_test_style, "fast");
  for (const Variant& v : kVariants) {
    const std::string earlier = WriteEarlier(v);
    KillingEnv counting(-1);
    ASSERT_EQ(0, RunWith(counting, Args(v, dir / "src")).code);
    const std::string fresh = test::ReadFile(target);
    const int points = counting.points();
    const std::string temporary =
        std::filesystem::path(TemporaryCatalogName(target)).filename().string();
    // Writes, sync, close, rename, and once more after the rename.
    EXPECT_EQ(v.options.empty() ? 5 : 7, points) << v.what;

    for (int n = 0; n < points; ++n) {
      const std::string what = std::string(v.what) + ", killed at point " + std::to_string(n);
      dir.Write("out/cat.dir", earlier);
      EXPECT_EXIT(
          {
            KillingEnv killing(n);
            RunWith(killing, Args(v, dir / "src"));
          },
          ::testing::KilledBySignal(SIGKILL), "")
          << what;
      // Killed after the rename, the new catalog is in place; before it,
      // the earlier one, and perhaps the temporary file beside it.
      EXPECT_EQ(n == points - 1 ? fresh : earlier, test::ReadFile(target)) << what;
      for (const std::string& name : Names(out)) {
        EXPECT_TRUE(name == "cat.dir" || name == temporary) << what << ": " << name;
      }
      // The next run is not hindered by what the killed one left.
      test::FaultEnv env;
      ASSERT_EQ(0, RunWith(env, Args(v, dir / "src")).code) << what;
      EXPECT_EQ(fresh, test::ReadFile(target)) << what;
      EXPECT_EQ(std::vector<std::string>{"cat.dir"}, Names(out)) << what;
    }
  }
}

// Interrupts the process once the temporary catalog has been created.
class InterruptingEnv : public test::FaultEnv {
 public:
  explicit InterruptingEnv(int signo) : signo_(signo) {}
  std::unique_ptr<File> Create(const std::string& path, std::string* error) override {
    std::unique_ptr<File> file = FaultEnv::Create(path, error);
    if (file) raise(signo_);
    return file;
  }

 private:
  const int signo_;
};

// What a terminal shows of the run: the child writes to a raw pseudo-terminal.
class PseudoTerminal {
 public:
  PseudoTerminal() : master_(posix_openpt(O_RDWR | O_NOCTTY)) {
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) slave_ = ptsname(master_);
  }
  ~PseudoTerminal() { close(master_); }
  bool ok() const { return !slave_.empty(); }

  // In the child: standard output goes to the terminal.
  void Attach() const {
    int fd = open(slave_.c_str(), O_RDWR);
    struct termios raw;
    tcgetattr(fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);
    dup2(fd, 1);
  }

  std::string Drain() const {
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = read(master_, buffer, sizeof buffer)) > 0) out.append(buffer, n);
    return out;
  }

 private:
  int master_;
  std::string slave_;
};

// The child: the real console on the terminal, as the program's main has it.
void CreateInterrupted(const PseudoTerminal& terminal, int signo, std::string catalog,
                       std::string source) {
  terminal.Attach();
  InterruptingEnv env(signo);
  Context ctx(env, *Console::Default());
  ctx.console.CatchInterrupts();
  std::string program = "korvex", command = "c", dashes = "--";
  char* argv[] = {&program[0], &command[0], &dashes[0], &catalog[0], &source[0], nullptr};
  RunKorvex(ctx, 5, argv);
}

TEST(Interrupt, PutsTheTitleBackEndsTheLineAndRemovesTheTemporaryCatalog) {
  GTEST_FLAG_SET(death_test_style, "fast");
  struct Case {
    int signo;
    int code;
  };
  for (const Case& c : {Case{SIGINT, 130}, Case{SIGTERM, 143}}) {
    test::TempDir dir;
    dir.Write("src/a", "x");
    dir.Write("out/cat.dir", "earlier");
    PseudoTerminal terminal;
    ASSERT_TRUE(terminal.ok());
    EXPECT_EXIT(CreateInterrupted(terminal, c.signo, dir / "out/cat", dir / "src"),
                ::testing::ExitedWithCode(c.code), "")
        << c.signo;
    const std::string shown = terminal.Drain();
    EXPECT_EQ(0u, shown.find("\033[22;0t")) << shown;
    const std::string end = "Write " + dir.path() + "/out/cat.dir 32 bytes...\033[23;0t\n";
    EXPECT_TRUE(shown.size() > end.size() &&
                shown.compare(shown.size() - end.size(), end.size(), end) == 0)
        << shown;
    EXPECT_EQ(std::vector<std::string>{"cat.dir"}, Names(dir / "out")) << c.signo;
    EXPECT_EQ("earlier", test::ReadFile(dir / "out/cat.dir"));
  }
}

#endif  // _WIN32

}  // namespace
}  // namespace korvex
