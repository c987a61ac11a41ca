#include "catalog/read_ahead.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "catalog/progress.h"
#include "catalog/tree.h"
#include "tests/testutil.h"

namespace korvex {
namespace {

// Records the hints, given in the caller's thread.
class HintEnv : public EnvWrapper {
 public:
  HintEnv() : EnvWrapper(Env::Default()) {}
  void WillRead(const std::string& path, uint64_t length) override {
    hints.push_back(path.substr(path.rfind('/') + 1) + ":" + std::to_string(length));
  }
  std::vector<std::string> hints;
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
  const FileNode* File(const std::string& name) {
    const DirNode& in = name.size() == 1 ? root : *root.subdirectories[0];
    for (const FileNode& f : in.files) {
      if (name.back() == f.name()[0]) return &f;
    }
    return nullptr;
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
// place but get no hint; a file the pass passes by leaves the window; a
// pass in an order of its own (`fed`) is followed in that order.
TEST_F(ReadAheadTest, HintsFollowThePassWithinTheLimits) {
  using Step = std::pair<std::string, std::vector<std::string>>;  // a file, the hints after it
  struct Row {
    const char* what;
    ReadAhead::Limits limits;
    ReadAhead::Predicate reads;
    std::vector<Step> pass;
    std::vector<std::string> fed = {};  // the order of a pass of its own
  };
  const Row rows[] = {
      {"two files ahead", {2, 1 << 20, 0}, Any,
       {{"a", {"c:30"}}, {"b", {"d:20"}}, {"c", {"e:50"}}, {"sub/d", {}}, {"sub/e", {}}}},
      {"40 bytes ahead, a larger file hinted alone and in part", {64, 40, 0}, Any,
       {{"a", {"c:30"}}, {"c", {"d:20"}}, {"sub/d", {"e:40"}}, {"sub/e", {}}}},
      {"the pass passes files by", {1, 1 << 20, 0}, Any, {{"a", {}}, {"sub/e", {}}}},
      {"only the files the pass reads", {64, 1 << 20, 0}, AtLeast20,
       {{"c", {"d:20", "e:50"}}, {"sub/d", {}}, {"sub/e", {}}}},
      {"off", ReadAhead::For(ReadAheadMode::kOff), Any, {{"a", {}}, {"c", {}}}},
      {"fed", {2, 1 << 20, 0}, nullptr, {{"sub/e", {"a:10", "d:20"}}, {"sub/d", {"c:30"}}},
       {"sub/e", "a", "sub/d", "c"}},
  };
  for (const Row& row : rows) {
    size_t next = 0;
    ReadAhead::Source fed = [&](ReadAhead::Upcoming* out) {
      if (next == row.fed.size()) return false;
      const std::string& name = row.fed[next++];
      *out = {File(name), dir / name, File(name)->size};
      return true;
    };
    ReadAhead ahead(env, row.reads ? ReadAhead::TreeFiles(root, dir.path(), row.reads) : fed,
                    row.limits);
    for (const Step& step : row.pass) {
      env.hints.clear();
      ahead.Reading(File(step.first));
      EXPECT_EQ(step.second, env.hints) << row.what << ", at " << step.first;
    }
  }
}

}  // namespace
}  // namespace korvex
