// Reading ahead changes nothing a user sees: over the same tree, with the
// same faults, every mode gives the same exit code, output, titles and
// catalog bytes as no read-ahead at all, in create, verify and restore.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "catalog/format.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

class ModeEnv : public test::FaultEnv {
 public:
  ModeEnv(ReadAheadMode m, test::TempDir& dir) : mode(m) {
    // Whole again for every run, and cut short after its second block is
    // read, while later ones may be read ahead already.
    const std::string shrinking =
        dir.Write("src/d5/shrinking.bin", std::string(6 * kBlockSize, 's'));
    afterRead = [this, shrinking](const std::string& path) {
      if (path == shrinking && ++shrinkingReads == 2) {
        std::filesystem::resize_file(path, kBlockSize + 10);
      }
    };
    failOpenRead = "locked";
    failReadOf = "failing";
    failReadAfter = 2 * kBlockSize + 100;
    growFile = "growing";
    growBy = 7;
  }
  ReadAheadMode ReadAheadFor(const std::string&) override { return mode; }
  ReadAheadMode mode;
  int shrinkingReads = 0;
};

TEST(ReadAhead, SameOutputsAndCatalogsInEveryMode) {
  test::TempDir dir;
  // Many small files (some equal, some empty), block-sized ones, large ones
  // whose blocks are read ahead, and files that fail to open, fail to read,
  // grow or shrink, spread over directories.
  for (int i = 0; i < 300; ++i) {
    std::string name = "d" + std::to_string(i % 7) + "/f" + std::to_string(i) +
                       (i % 3 ? ".TXT" : ".bin");
    dir.Write("src/" + name, std::string(static_cast<size_t>(i * 37 % 3000), char('a' + i % 5)));
  }
  dir.Write("src/d1/block", std::string(kBlockSize, 'b'));
  dir.Write("src/d1/block1", std::string(kBlockSize + 1, 'c'));
  dir.Write("src/d1/large.bin", std::string(5 * kBlockSize + 17, 'l'));
  dir.Write("src/d2/locked.TXT", "x");
  dir.Write("src/d3/failing.TXT", std::string(5 * kBlockSize, 'f'));
  dir.Write("src/d4/growing.TXT", std::string(500, 'g'));
  dir.Write("src/d4/growing.bin", std::string(4 * kBlockSize, 'G'));
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
    ModeEnv offEnv(ReadAheadMode::kOff, dir);
    const test::RunResult off = test::RunWith(offEnv, args);
    const std::string offCatalog = test::ReadFile(dir / "cat.dir");
    // The faults fire where files are read: /fast reads only those it stores.
    const bool reads = options.size() == 1 || options[1] != "/fast";
    EXPECT_EQ(reads, (off.out + off.err).find("shrinking.bin") != std::string::npos) << args[1];
    for (ReadAheadMode mode : {ReadAheadMode::kSeeking, ReadAheadMode::kSolid}) {
      ModeEnv env(mode, dir);
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
