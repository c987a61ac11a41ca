#include "catalog/reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalog/format.h"
#include "catalog/progress.h"
#include "tests/support/catalog_bytes.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

// The walk and the fetch are tested through the commands (the case files),
// the malformed catalogs' case files and the fuzz targets.  A header that is not a
// catalog's, or claims more tree than the file holds, is refused before the
// tree is read: no buffer is sized by what it claims.  The fetch opens the
// catalog again by name and refuses another one found there.
TEST(Reader, RefusesBadHeadersBeforeTheTreeAndCatalogsReplacedSinceLoad) {
  test::TempDir dir;
  test::FaultEnv env;
  CatalogReader reader(env);
  const std::string good = test::ReadFile("tests/vectors/worked-example.dir");
  std::string magic = good, longer = good, other = good;
  magic[0] = 'k';
  longer.replace(kTreeLengthOffset, 4, test::Le(0x7FFFFFF0u));
  for (const std::string& bad : {magic, longer}) {
    env.readCalls = 0;
    EXPECT_FALSE(reader.Load(dir.Write("c.dir", bad)));
    EXPECT_EQ(1, env.readCalls);
  }
  ASSERT_TRUE(reader.Load(dir.Write("c.dir", good)));
  reader.NextEntry();
  ProgressObserver progress;
  std::vector<unsigned char> got;
  EXPECT_TRUE(reader.FetchStored(false, progress, &got));
  other[kTreeCrcOffset] ^= 1;
  dir.Write("c.dir", other);
  EXPECT_FALSE(reader.FetchStored(false, progress, &got));
}

}  // namespace
}  // namespace korvex
