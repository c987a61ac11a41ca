#include "catalog/read_ahead.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "catalog/progress.h"
#include "catalog/tree.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

// Records the hints, given in the caller's thread.
struct HintEnv : public EnvWrapper {
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
    for (const FileNode& f : in.files) if (name.back() == f.name()[0]) return &f;
    return nullptr;
  }

  test::TempDir dir;
  HintEnv env;
  ProgressObserver progress;
  ScanContext ctx;
  DirNode root;
};

// One row a line of catalog/testdata/read_ahead.txt, which says how.
TEST_F(ReadAheadTest, HintsFollowThePassWithinTheLimits) {
  std::ifstream data("catalog/testdata/read_ahead.txt");
  ASSERT_TRUE(data.is_open());
  for (std::string line; std::getline(data, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    ReadAhead::Limits limits{0, 0, 0};
    std::string source, step;
    in >> limits.files >> limits.bytes >> source;
    std::istringstream names(source);
    ReadAhead::Source fed = [&](ReadAhead::Upcoming* out) {
      std::string name;
      if (!std::getline(names, name, ',')) return false;
      *out = {File(name), dir / name, File(name)->size};
      return true;
    };
    const uint64_t least = source == "tree20" ? 20 : 0;
    ReadAhead::Source tree = ReadAhead::TreeFiles(
        root, dir.path(), [least](const FileNode& f) { return f.size >= least; });
    ReadAhead ahead(env, source.compare(0, 4, "tree") == 0 ? tree : fed, limits);
    while (in >> step) {
      env.hints.clear();
      ahead.Reading(File(step.substr(0, step.find('='))));
      std::string hints;
      for (const std::string& h : env.hints) hints += (hints.empty() ? "" : ",") + h;
      EXPECT_EQ(step.substr(step.find('=') + 1), hints) << line;
    }
  }
}

}  // namespace
}  // namespace korvex
