// Two catalogs given as bytes (a 16-bit length, the first, the second), their
// tree CRCs resealed.  When both load, comparing a catalog with itself finds
// nothing but unsafe names; comparing them both ways finds as much each way,
// missing one way being new the other; and d reports exactly what the
// comparison found, with exit code 5 when it found anything.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

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

class Recorder : public CompareObserver {
 public:
  void ReadStarting(uint64_t total) override { Require(total == 0, "catalogs need no reads"); }
  void BytesDone(uint64_t, uint64_t) override { Require(false, "catalogs need no reads"); }
  void ReadFinished() override {}
  void Found(const Difference& d) override {
    Require(!d.path.empty(), "a difference names its path");
    Require((d.kind == DiffKind::kMoved) == !d.newPath.empty(), "only a move has a new path");
    lines.push_back(d);
  }
  std::vector<Difference> lines;
};

CompareCounts Compare(const CompareTree& a, const CompareTree& b, Recorder* recorder) {
  CompareOptions options;
  options.times = true;
  CompareCounts counts;
  Require(CompareTrees(a, b, nullptr, options, *recorder, &counts), "no buffer is needed");
  Require(counts.differences() == recorder->lines.size(), "every difference is counted once");
  Require(counts.bytesRead == 0, "catalogs need no reads");
  return counts;
}

void CheckPair(const CompareTree& a, const CompareTree& b) {
  Recorder self;
  CompareCounts same = Compare(a, a, &self);
  Require(same.differences() == same.kinds[static_cast<int>(DiffKind::kUnsafe)],
          "a catalog differs from itself only by its unsafe names");
  Recorder forward;
  Recorder backward;
  CompareCounts ab = Compare(a, b, &forward);
  CompareCounts ba = Compare(b, a, &backward);
  auto count = [](const CompareCounts& c, DiffKind k) { return c.kinds[static_cast<int>(k)]; };
  Require(count(ab, DiffKind::kMissing) == count(ba, DiffKind::kNew) &&
              count(ab, DiffKind::kNew) == count(ba, DiffKind::kMissing),
          "missing one way is new the other");
  for (DiffKind k : {DiffKind::kChanged, DiffKind::kMoved, DiffKind::kTouched, DiffKind::kUnsafe}) {
    Require(count(ab, k) == count(ba, k), "changes, moves and unsafe names count alike both ways");
  }
  Require(ab.matched == ba.matched, "as many files match both ways");
}

}  // namespace
}  // namespace fuzz
}  // namespace korvex

int korvex::fuzz::CompareTarget(const uint8_t* data, size_t size) {
  using namespace korvex;
  using namespace korvex::fuzz;
  size_t first = size >= 2 ? (data[0] | data[1] << 8) : 0;
  const char* bytes = reinterpret_cast<const char*>(data) + (size >= 2 ? 2 : size);
  const size_t rest = size >= 2 ? size - 2 : 0;
  if (first > rest) first = rest;
  std::string a(bytes, first);
  std::string b(bytes + first, rest - first);
  test::Seal(&a);
  test::Seal(&b);
  test::MemoryEnv env;
  env.AddFile("a.dir", a);
  env.AddFile("b.dir", b);

  CatalogReader readerA(env);
  CatalogReader readerB(env);
  const bool loaded = readerA.Load("a.dir") && readerB.Load("b.dir");
  test::RunResult d = test::RunWith(env, {"d", "/times", "a.dir", "b.dir"});
  if (!loaded) {
    Require(d.code == 3, "a catalog that does not load ends d with exit code 3");
    return 0;
  }
  std::unique_ptr<CompareTree> treeA = CompareTree::FromCatalog(readerA);
  std::unique_ptr<CompareTree> treeB = CompareTree::FromCatalog(readerB);
  CheckPair(*treeA, *treeB);
  Recorder forward;
  CompareCounts counts = Compare(*treeA, *treeB, &forward);
  Require(d.code == (counts.differences() == 0 ? 0 : 5), "d's exit code tells whether they differ");
  const size_t lines = std::count(d.out.begin(), d.out.end(), '\n');
  // The announcement, the option and the summary, and a line per difference
  // (a name may hold a line end).
  Require(lines >= 3 + forward.lines.size(), "d prints a line per difference");
  return 0;
}
