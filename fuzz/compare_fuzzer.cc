// Two catalogs given as bytes (a 16-bit length, the first, the second), their
// tree CRCs resealed.  When both load, comparing a catalog with itself finds
// nothing but unsafe names; comparing them both ways finds as much each way,
// missing one way being new the other; and d exits 5 exactly when the
// comparison finds something, 3 when a catalog does not load.
#include <memory>
#include <string>

#include "catalog/compare.h"
#include "catalog/compare_tree.h"
#include "catalog/reader.h"
#include "fuzz/harness.h"
#include "tests/support/catalog_bytes.h"
#include "tests/support/memory_env.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace fuzz {
namespace {

class Counter : public CompareObserver {
 public:
  void ReadStarting(uint64_t total) override { Require(total == 0, "catalogs need no reads"); }
  void BytesDone(uint64_t, uint64_t) override { Require(false, "catalogs need no reads"); }
  void ReadFinished() override {}
  void Found(const Difference& d) override {
    Require(!d.path.empty(), "a difference names its path");
    Require((d.kind == DiffKind::kMoved) == !d.newPath.empty(), "only a move has a new path");
    ++found;
  }
  size_t found = 0;
};

CompareCounts Compare(const CompareTree& a, const CompareTree& b) {
  CompareOptions options;
  options.times = true;
  Counter counter;
  CompareCounts counts;
  Require(CompareTrees(a, b, nullptr, options, counter, &counts), "no buffer is needed");
  Require(counts.differences() == counter.found, "every difference is counted once");
  return counts;
}

uint64_t Kind(const CompareCounts& c, DiffKind k) { return c.kinds[static_cast<int>(k)]; }

}  // namespace
}  // namespace fuzz
}  // namespace korvex

int korvex::fuzz::CompareTarget(const uint8_t* data, size_t size) {
  const size_t rest = size >= 2 ? size - 2 : 0;
  const size_t first = size >= 2 ? std::min<size_t>(data[0] | data[1] << 8, rest) : 0;
  const char* bytes = reinterpret_cast<const char*>(data) + (size - rest);
  std::string a(bytes, first), b(bytes + first, rest - first);
  test::Seal(&a);
  test::Seal(&b);
  test::MemoryEnv env;
  env.AddFile("a.dir", a);
  env.AddFile("b.dir", b);
  CatalogReader readerA(env), readerB(env);
  const bool loaded = readerA.Load("a.dir") && readerB.Load("b.dir");
  const test::RunResult d = test::RunWith(env, {"d", "/times", "a.dir", "b.dir"});
  if (!loaded) {
    Require(d.code == 3, "a catalog that does not load ends d with exit code 3");
    return 0;
  }
  std::unique_ptr<CompareTree> treeA = CompareTree::FromCatalog(readerA);
  std::unique_ptr<CompareTree> treeB = CompareTree::FromCatalog(readerB);
  const CompareCounts same = Compare(*treeA, *treeA);
  Require(same.differences() == Kind(same, DiffKind::kUnsafe),
          "a catalog differs from itself only by its unsafe names");
  const CompareCounts ab = Compare(*treeA, *treeB), ba = Compare(*treeB, *treeA);
  Require(Kind(ab, DiffKind::kMissing) == Kind(ba, DiffKind::kNew) &&
              Kind(ab, DiffKind::kNew) == Kind(ba, DiffKind::kMissing),
          "missing one way is new the other");
  for (DiffKind k : {DiffKind::kChanged, DiffKind::kMoved, DiffKind::kTouched, DiffKind::kUnsafe}) {
    Require(Kind(ab, k) == Kind(ba, k), "changes, moves and unsafe names count alike both ways");
  }
  Require(ab.matched == ba.matched, "as many files match both ways");
  Require(d.code == (ab.differences() == 0 ? 0 : 5), "d's exit code tells whether they differ");
  return 0;
}
