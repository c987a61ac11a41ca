#include "catalog/serializer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "catalog/block_reader.h"
#include "catalog/coding.h"
#include "catalog/content_store.h"
#include "catalog/format.h"
#include "catalog/progress.h"
#include "catalog/tree.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

// A real tree scanned and passed over as the create command does, storing
// the files that match `mask`; what the command prints is in the case files.
struct Pass {
  explicit Pass(const std::string& mask) : ctx(env, progress), reader(BlockReader::Create()) {
    ctx.options.storageEnabled = true;
    ctx.options.storeMasks = {mask};
  }
  void Run() {
    ASSERT_TRUE(root.Scan(ctx, dir.path()));
    const int64_t capacity = ctx.totals.selectedBytes + 8 * ctx.totals.selectedCount;
    ASSERT_TRUE(store.Reset(ctx.totals.selectedCount, static_cast<uint32_t>(capacity)));
    CalcPass({env, *reader, progress, static_cast<uint64_t>(ctx.totals.totalBytes)}, root,
             dir.path(), &store);
  }
  std::string Tree(bool withCrc) {
    std::string out(TreeSize(root) - (withCrc ? 0 : 4 * ctx.totals.fileCount), '\xEE');
    unsigned char* p = reinterpret_cast<unsigned char*>(&out[0]);
    EXPECT_EQ(p + out.size(), WriteTree(root, withCrc, p));
    return out;
  }

  test::TempDir dir;
  test::FaultEnv env;
  ProgressObserver progress;
  ScanContext ctx;
  DirNode root;
  ContentStoreBuilder store;
  std::unique_ptr<BlockReader> reader;
};

TEST(Serializer, WritesTheWorkedExampleTreeWithOrWithoutCrc) {
  Pass p("*");
  p.dir.Write("A", "abc", 1000000000u);
  p.dir.MakeDir("D");
  p.Run();
  p.root.subdirectories[0]->time = 1000000000u;  // a directory's birth cannot be set
  std::string tree = test::ReadFile("tests/vectors/worked-example.dir").substr(kHeaderSize, 24);
  EXPECT_EQ(tree, p.Tree(true));
  EXPECT_EQ(tree.substr(0, 11) + tree.substr(15), p.Tree(false));
}

#ifndef _WIN32
// A link is cataloged as an empty file and never opened: its record is the
// empty one.
TEST(Serializer, LinkSharesTheEmptyRecord) {
  Pass p("*.TXT");
  p.dir.Write("a.txt", "");
  std::filesystem::create_symlink("a.txt", p.dir / "b.txt");
  p.Run();
  EXPECT_EQ(0x0C, p.root.files[1].attributes);
  EXPECT_EQ(DecodeFixed32(p.store.data()), DecodeFixed32(p.store.data() + 4));
  EXPECT_EQ(2 * 4u + 4, p.store.used());
  EXPECT_EQ(std::vector<std::string>{p.dir / "a.txt"}, p.env.opened);
}
#endif

}  // namespace
}  // namespace korvex
