// Reading ahead changes nothing a user sees: over the same tree, with the
// same faults, every mode gives the same exit code, output, titles and
// catalog bytes as no read-ahead at all, in create, verify and restore.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalog/format.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

class ModeEnv : public test::FaultEnv {
 public:
  explicit ModeEnv(ReadAheadMode m) : mode(m) {
    failOpenRead = "locked";
    failReadOf = "failing";
    failReadAfter = 100;
    growFile = "growing";
    growBy = 7;
  }
  ReadAheadMode ReadAheadFor(const std::string&) override { return mode; }
  ReadAheadMode mode;
};

TEST(ReadAhead, SameOutputsAndCatalogsInEveryMode) {
  test::TempDir dir;
  // Many small files (some equal, some empty), block-sized ones, and files
  // that fail to open, fail to read or grow, spread over directories.
  for (int i = 0; i < 300; ++i) {
    std::string name = "d" + std::to_string(i % 7) + "/f" + std::to_string(i) +
                       (i % 3 ? ".TXT" : ".bin");
    dir.Write("src/" + name, std::string(static_cast<size_t>(i * 37 % 3000), char('a' + i % 5)));
  }
  dir.Write("src/d1/block", std::string(kBlockSize, 'b'));
  dir.Write("src/d1/block1", std::string(kBlockSize + 1, 'c'));
  dir.Write("src/d2/locked.TXT", "x");
  dir.Write("src/d3/failing.TXT", std::string(5000, 'f'));
  dir.Write("src/d4/growing.TXT", std::string(500, 'g'));
  // Verify, and the restore of the whole catalog from the medium, read
  // against the catalog of the create before them.
  const std::vector<std::vector<std::string>> rows = {
      {"c"}, {"v"}, {"e", "/overwrite", "/mount=" + dir / "src"}, {"c", "/store=*"},
      {"v", "/times"}, {"c", "/fast", "/store=*.TXT"}, {"c", "/fast"}};
  for (const std::vector<std::string>& options : rows) {
    std::vector<std::string> args = options;
    const bool restore = options[0] == "e";
    args.insert(args.end(), {"--", dir / "cat.dir", restore ? "/" : dir / "src"});
    if (restore) args.push_back(dir / "out");
    ModeEnv offEnv(ReadAheadMode::kOff);
    const test::RunResult off = test::RunWith(offEnv, args);
    const std::string offCatalog = test::ReadFile(dir / "cat.dir");
    const bool reads = options.size() != 2 || options[1] != "/fast";
    EXPECT_EQ(reads, (off.out + off.err).find("failing.TXT") != std::string::npos) << args[1];
    for (ReadAheadMode mode : {ReadAheadMode::kSeeking, ReadAheadMode::kSolid}) {
      ModeEnv env(mode);
      const test::RunResult on = test::RunWith(env, args);
      const std::string what = args[1] + (mode == ReadAheadMode::kSolid ? " solid" : " seeking");
      EXPECT_EQ(off.code, on.code) << what;
      EXPECT_EQ(off.out, on.out) << what;
      EXPECT_EQ(off.err, on.err) << what;
      EXPECT_EQ(off.titles, on.titles) << what;
      EXPECT_EQ(offEnv.opened, env.opened) << what << ": the pass opens the same files in order";
      EXPECT_TRUE(offCatalog == test::ReadFile(dir / "cat.dir")) << what;
    }
  }
}

}  // namespace
}  // namespace korvex
