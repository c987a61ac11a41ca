#include <gtest/gtest.h>

#include <string>

#include "catalog/coding.h"
#include "catalog/crc32.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

// The rest of the create command's behaviour is in tests/cases/create/.
TEST(Create, WorkedExampleByteForByte) {
  test::TempDir dir;
  dir.Write("src/A", "abc", 1000000000u);
  dir.MakeDir("src/D");
  ASSERT_EQ(0, test::RunArgs({"c", "/store=A", "--", dir / "w.dir", dir / "src"}).code);
  std::string got = test::ReadFile(dir / "w.dir");
  ASSERT_EQ(60u, got.size());
  // The directory's time is its creation time on the file system, which no
  // test can set: put the example's in.
  unsigned char* tree = reinterpret_cast<unsigned char*>(&got[16]);
  EXPECT_EQ(crc32::Value(tree, 24), DecodeFixed32(reinterpret_cast<unsigned char*>(&got[8])));
  EncodeFixed32(tree + 18, 1000000000u);
  EncodeFixed32(reinterpret_cast<unsigned char*>(&got[8]), crc32::Value(tree, 24));
  EXPECT_EQ(test::ReadFile("tests/vectors/worked-example.dir"), got);
}

}  // namespace
}  // namespace korvex
