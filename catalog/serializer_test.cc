#include "catalog/serializer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "catalog/coding.h"
#include "catalog/content_store.h"
#include "catalog/block_reader.h"
#include "catalog/crc32.h"
#include "catalog/format.h"
#include "catalog/tree.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

// Two different 8-byte contents with one CRC-32.
const std::string kCollisionA("KORVEXab", 8);
const std::string kCollisionB("\x0a\x49\x23\x8d\x44\x58\x61\x62", 8);

class PassTest : public ::testing::Test {
 protected:
  PassTest() : ctx(env, progress), reader(BlockReader::Create()) {}

  // Scans the temporary tree and runs one pass, storing files that match
  // `mask` when it is not empty.
  void ScanAndPass(bool calc, const std::string& mask = "") {
    if (!mask.empty()) {
      ctx.options.storageEnabled = true;
      ctx.options.storeMasks = {mask};
    }
    ASSERT_TRUE(root.Scan(ctx, dir.path()));
    const int64_t capacity = ctx.totals.selectedBytes + 8 * ctx.totals.selectedCount;
    ContentStoreBuilder* s = nullptr;
    if (ctx.options.storageEnabled) {
      ASSERT_TRUE(store.Reset(ctx.totals.selectedCount, static_cast<uint32_t>(capacity)));
      s = &store;
    }
    progress.Stage(calc ? "Calc" : "Store");
    const uint64_t total = static_cast<uint64_t>(calc ? ctx.totals.totalBytes : capacity);
    PassContext pass{env, *reader, progress, total};
    if (calc) {
      CalcPass(pass, root, dir.path(), s);
    } else {
      StorePass(pass, root, dir.path(), s);
    }
  }

  std::string Tree(bool withCrc) {
    std::string out(TreeSize(root) - (withCrc ? 0 : 4 * ctx.totals.fileCount), '\xEE');
    unsigned char* p = reinterpret_cast<unsigned char*>(&out[0]);
    EXPECT_EQ(p + out.size(), WriteTree(root, withCrc, p));
    return out;
  }

  uint32_t Slot(int i) { return DecodeFixed32(store.data() + 4 * i); }
  std::string Record(uint32_t offset) {
    uint32_t size = DecodeFixed32(store.data() + offset);
    return std::string(reinterpret_cast<const char*>(store.data()) + offset + 4, size);
  }

  test::TempDir dir;
  test::FaultEnv env;
  test::ShownProgress progress;
  ScanContext ctx;
  DirNode root;
  ContentStoreBuilder store;
  std::unique_ptr<BlockReader> reader;
};

TEST_F(PassTest, TreeOfOneFileIs16BytesOr12WithoutCrc) {
  dir.Write("A", "abc", 1000000000u);
  ScanAndPass(true);
  EXPECT_EQ(16u, TreeSize(root));
  EXPECT_EQ(std::string("A\0\x20\x00\xca\x9a\x3b\x03\0\0\0\xc2\x41\x24\x35\0", 16), Tree(true));
  EXPECT_EQ(std::string("A\0\x20\x00\xca\x9a\x3b\x03\0\0\0\0", 12), Tree(false));
}

TEST_F(PassTest, TreeOfOneEmptyDirectoryIs9Bytes) {
  dir.MakeDir("D");
  ScanAndPass(true);
  EXPECT_EQ(9u, TreeSize(root));
  std::string tree = Tree(true);
  EXPECT_EQ(std::string("D\0\x10", 3), tree.substr(0, 3));
  EXPECT_EQ(std::string("\0\0", 2), tree.substr(7));
}

TEST_F(PassTest, FilesBeforeSubdirectoriesAtEveryLevel) {
  dir.Write("z", "1");
  dir.Write("S/b", "2");
  dir.Write("S/T/c", "3");
  dir.Write("a", "4");
  ScanAndPass(true);
  std::string tree = Tree(true);
  std::vector<std::string> names;
  for (size_t i = 0; i < tree.size();) {
    if (tree[i] == 0) {
      names.push_back("<end>");
      ++i;
      continue;
    }
    std::string name(&tree[i]);
    bool isDir = tree[i + name.size() + 1] & 0x10;
    names.push_back(name);
    i += name.size() + (isDir ? 6 : 14);
  }
  EXPECT_EQ((std::vector<std::string>{"a", "z", "S", "b", "T", "c", "<end>", "<end>", "<end>"}),
            names);
}

TEST_F(PassTest, CalcPassReadsInBlocksAndComputesEveryCrc) {
  std::string exact(kBlockSize, 'e');
  std::string over(kBlockSize + 1, 'o');
  dir.Write("exact", exact);
  dir.Write("over", over);
  ScanAndPass(true);
  // One block, then a byte to see it ends; two blocks.
  EXPECT_EQ(2 + 2, env.readCalls);
  EXPECT_EQ(crc32::Value(exact.data(), exact.size()), root.files[0].crc);
  EXPECT_EQ(crc32::Value(over.data(), over.size()), root.files[1].crc);
  EXPECT_EQ("", progress.console.err);
  // Threshold rule: the first check always shows; then every step.
  EXPECT_EQ("\b\b\b\b 49%\b\b\b\b 99%\b\b\b\b100%", progress.console.out);
}

TEST_F(PassTest, TotalsBelow100RefreshAfterEveryBlock) {
  dir.Write("a", std::string(10, 'a'));
  dir.Write("b", std::string(20, 'b'));
  dir.Write("c", std::string(30, 'c'));
  ScanAndPass(true);
  EXPECT_EQ("\b\b\b\b 16%\b\b\b\b 50%\b\b\b\b100%", progress.console.out);
}

TEST_F(PassTest, EqualContentsShareOneRecordAndCollisionsDoNot) {
  dir.Write("a.txt", "0123456789");
  dir.Write("b.txt", "0123456789");
  dir.Write("c.txt", kCollisionA);
  dir.Write("d.txt", kCollisionB);
  dir.Write("e.txt", kCollisionB);
  dir.Write("f.txt", "");
  dir.Write("g.txt", "");
  ASSERT_EQ(crc32::Value(kCollisionA.data(), 8), crc32::Value(kCollisionB.data(), 8));
  ScanAndPass(true, "*.TXT");
  EXPECT_EQ(7 * 4u, Slot(0));
  EXPECT_EQ(Slot(0), Slot(1));
  EXPECT_EQ("0123456789", Record(Slot(0)));
  EXPECT_EQ(kCollisionA, Record(Slot(2)));
  EXPECT_NE(Slot(2), Slot(3));
  EXPECT_EQ(kCollisionB, Record(Slot(3)));
  EXPECT_EQ(Slot(3), Slot(4));
  EXPECT_EQ("", Record(Slot(5)));
  EXPECT_EQ(Slot(5), Slot(6));
  EXPECT_EQ(7 * 4u + 14 + 12 + 12 + 4, store.used());
  for (const FileNode& f : root.files) EXPECT_EQ(0x28, f.attributes) << f.name();
}

#ifndef _WIN32
// A link is cataloged as an empty file: its record is the empty one.
TEST_F(PassTest, LinkSharesTheEmptyRecord) {
  dir.Write("a.txt", "");
  std::filesystem::create_symlink("a.txt", dir / "b.txt");
  ScanAndPass(true, "*.TXT");
  EXPECT_EQ(Slot(0), Slot(1));
  EXPECT_EQ(2 * 4u + 4, store.used());
}
#endif

TEST_F(PassTest, UnopenableSelectedFileGivesItsSlotToTheNext) {
  dir.Write("a.txt", "aaa");
  dir.Write("b.txt", "bbbb");
  env.failOpenRead = "a.txt";
  ScanAndPass(true, "*.TXT");
  EXPECT_EQ(0x20, root.files[0].attributes);
  EXPECT_EQ(0u, root.files[0].crc);
  EXPECT_EQ(0x28, root.files[1].attributes);
  EXPECT_EQ("bbbb", Record(Slot(0)));
  EXPECT_EQ("\nFile read error: " + dir.path() + kPathSeparator + "a.txt\nContinue...xxx%",
            progress.console.err);
}

TEST_F(PassTest, ReadFailureAndShrinkCountTheRestAndStoreNothing) {
  dir.Write("a.txt", std::string(600, 'a'));
  dir.Write("b.txt", std::string(400, 'b'));
  env.failReadOf = "a.txt";
  ScanAndPass(true, "*.TXT");
  EXPECT_EQ(0x20, root.files[0].attributes);
  EXPECT_EQ(0u, root.files[0].crc);
  EXPECT_EQ("bbbb", Record(Slot(0)).substr(0, 4));
  EXPECT_EQ(1000u, progress.lastDone);
  EXPECT_EQ("\b\b\b\b 60%\b\b\b\b100%", progress.console.out);
}

TEST_F(PassTest, FileGrownSinceTheScanIsAReadErrorAndNeverOverrunsTheStore) {
  dir.Write("a.txt", "small");
  dir.Write("b.txt", "next");
  env.growFile = "a.txt";
  env.growBy = kBlockSize;  // the first read comes back a full block
  ScanAndPass(true, "*.TXT");
  EXPECT_EQ(0x20, root.files[0].attributes);
  EXPECT_EQ(0u, root.files[0].crc);
  EXPECT_EQ("next", Record(Slot(0)));
  EXPECT_NE(std::string::npos, progress.console.err.find("File read error: "));
  EXPECT_EQ(4 * 2u + 4 + 4, store.used());
}

TEST_F(PassTest, GrowthIsSeenAtABlockBoundaryAndInEmptyFiles) {
  dir.Write("grow-empty.txt", "");
  dir.Write("grow-block.txt", std::string(kBlockSize, 'b'));
  dir.Write("kept.txt", "kept");
  env.growFile = "grow-";
  env.growBy = 1;
  ScanAndPass(true, "*.TXT");
  // grow-block.txt, grow-empty.txt, kept.txt
  EXPECT_EQ(0x20, root.files[0].attributes);
  EXPECT_EQ(0u, root.files[0].crc);
  EXPECT_EQ(0x20, root.files[1].attributes);
  EXPECT_EQ(0x28, root.files[2].attributes);
  EXPECT_EQ("kept", Record(Slot(0)));
  EXPECT_EQ(2u, std::count(progress.console.err.begin(), progress.console.err.end(), '\n') / 2);
}

TEST_F(PassTest, StorePassReadsOnlySelectedFiles) {
  dir.Write("a.txt", "stored");
  dir.Write("b.bin", "not read");
  ScanAndPass(false, "*.TXT");
  ASSERT_EQ(1u, env.opened.size());
  EXPECT_EQ(dir.path() + kPathSeparator + "a.txt", env.opened[0]);
  EXPECT_EQ("stored", Record(Slot(0)));
  EXPECT_EQ(0x28, root.files[0].attributes);
  EXPECT_EQ(0x20, root.files[1].attributes);
  // 6 of 6 + 8 bytes: the last percentage stays below 100.
  EXPECT_EQ("\b\b\b\b 42%", progress.console.out);
}

TEST_F(PassTest, StorePassWithoutStorageOpensNothing) {
  dir.Write("a.txt", "x");
  ScanAndPass(false);
  EXPECT_TRUE(env.opened.empty());
  EXPECT_EQ("", progress.console.out);
}

TEST_F(PassTest, FileOf4GiBIsReadWhole) {
  dir.Write("huge", "");
  env.bigFile = "huge";
  env.bigSize = (1ull << 32) + 3;
  ScanAndPass(true);
  EXPECT_EQ(0x2144DF1Cu, root.files[0].crc);  // CRC-32 of 2^32 + 3 zero bytes
  EXPECT_EQ((1ull << 32) + 3, progress.lastDone);
  EXPECT_EQ(3u, root.files[0].size32());
  EXPECT_EQ("", progress.console.err);
}

}  // namespace
}  // namespace korvex
