#include "catalog/read_ahead.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "catalog/progress.h"
#include "catalog/tree.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

// Records the hints; slow ones keep a queue waiting.
class HintEnv : public EnvWrapper {
 public:
  HintEnv() : EnvWrapper(Env::Default()) {}
  void WillRead(const std::string& path, uint64_t length) override {
    if (slow) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EnvWrapper::WillRead(path, length);
    std::lock_guard<std::mutex> lock(mutex);
    hints.push_back(path.substr(path.rfind('/') + 1) + ":" + std::to_string(length));
  }
  std::mutex mutex;
  std::vector<std::string> hints;
  bool slow = false;
};

class ReadAheadTest : public ::testing::Test {
 protected:
  ReadAheadTest() : ctx(env, progress) {
    // Pass order: a b c, then sub/d sub/e.
    dir.Write("a", std::string(10, 'a'));
    dir.Write("b", "");
    dir.Write("c", std::string(30, 'c'));
    dir.Write("sub/d", std::string(20, 'd'));
    dir.Write("sub/e", std::string(50, 'e'));
    root.Scan(ctx, dir.path());
  }
  const FileNode& File(const std::string& name) {
    const DirNode& in = name.size() == 1 ? root : *root.subdirectories[0];
    for (const FileNode& f : in.files) {
      if (name.substr(name.size() - 1) == f.name()) return f;
    }
    ADD_FAILURE() << name;
    return in.files[0];
  }

  test::TempDir dir;
  HintEnv env;
  ProgressObserver progress;
  ScanContext ctx;
  DirNode root;
};

bool Any(const FileNode&) { return true; }
bool AtLeast20(const FileNode& f) { return f.size >= 20; }

// The hints given in the caller's thread as the pass reaches each file: the
// window follows the pass and holds to both limits; empty files take a
// place but get no hint; a file the pass passes by leaves the window.
TEST_F(ReadAheadTest, HintsFollowThePassWithinTheLimits) {
  struct Row {
    const char* what;
    ReadAhead::Limits limits;
    ReadAhead::Predicate reads;
    std::vector<std::string> pass;
    std::vector<std::vector<std::string>> hints;  // after each file of the pass
  };
  const Row rows[] = {
      {"two files ahead", {2, 1 << 20, 0}, Any, {"a", "b", "c", "sub/d", "sub/e"},
       {{"c:30"}, {"d:20"}, {"e:50"}, {}, {}}},
      {"40 bytes ahead, a larger file hinted alone and in part", {64, 40, 0}, Any,
       {"a", "c", "sub/d", "sub/e"}, {{"c:30"}, {"d:20"}, {"e:40"}, {}}},
      {"the pass passes files by", {1, 1 << 20, 0}, Any, {"a", "sub/e"}, {{}, {}}},
      {"only the files the pass reads", {64, 1 << 20, 0}, AtLeast20, {"c", "sub/d", "sub/e"},
       {{"d:20", "e:50"}, {}, {}}},
      {"off", ReadAhead::For(ReadAheadMode::kOff), Any, {"a", "c"}, {{}, {}}},
  };
  for (const Row& row : rows) {
    env.hints.clear();
    ReadAhead ahead(env, ReadAhead::TreeFiles(root, dir.path(), row.reads), row.limits);
    for (size_t i = 0; i < row.pass.size(); ++i) {
      env.hints.clear();
      ahead.Reading(&File(row.pass[i]));
      EXPECT_EQ(row.hints[i], env.hints) << row.what << ", at " << row.pass[i];
    }
  }
}

// A pass in an order of its own feeds its files in that order.
TEST_F(ReadAheadTest, HintsFollowAFedOrder) {
  const std::vector<std::string> order = {"sub/e", "a", "sub/d", "c"};
  size_t next = 0;
  ReadAhead::Source fed = [&](ReadAhead::Upcoming* out) {
    if (next == order.size()) return false;
    const std::string& name = order[next++];
    *out = {&File(name), dir / name, File(name).size};
    return true;
  };
  ReadAhead ahead(env, fed, {2, 1 << 20, 0});
  ahead.Reading(&File("sub/e"));
  EXPECT_EQ((std::vector<std::string>{"a:10", "d:20"}), env.hints);
  env.hints.clear();
  ahead.Reading(&File("sub/d"));  // a passed by
  EXPECT_EQ(std::vector<std::string>{"c:30"}, env.hints);
}

#ifdef __linux__
size_t Entries(const char* dirPath) {
  size_t n = 0;
  for (auto& e : std::filesystem::directory_iterator(dirPath)) n += !e.path().empty();
  return n;
}

// A pass that ends with hints still queued leaves no thread and no open
// file behind, whatever the mode.
TEST_F(ReadAheadTest, StoppingEarlyLeavesNothingBehind) {
  env.slow = true;
  for (ReadAheadMode mode : {ReadAheadMode::kSolid, ReadAheadMode::kSeeking}) {
    const size_t threads = Entries("/proc/self/task");
    const size_t files = Entries("/proc/self/fd");
    {
      ReadAhead ahead(env, ReadAhead::TreeFiles(root, dir.path(), Any), ReadAhead::For(mode));
      ahead.Reading(&File("a"));
    }
    EXPECT_EQ(threads, Entries("/proc/self/task"));
    EXPECT_EQ(files, Entries("/proc/self/fd"));
  }
}
#endif

}  // namespace
}  // namespace korvex
