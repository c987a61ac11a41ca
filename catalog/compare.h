// Compares what a catalog records with what stands now (a scanned medium, or
// a second catalog) and reports every difference to an observer, in path
// order, once the files have been read.
#ifndef KORVEX_CATALOG_COMPARE_H_
#define KORVEX_CATALOG_COMPARE_H_

#include <stdint.h>

#include <string>

#include "catalog/compare_tree.h"
#include "catalog/progress.h"

namespace korvex {

class Env;

enum class DiffKind { kChanged, kMissing, kNew, kMoved, kUnreadable, kTouched, kUnsafe };
const int kDiffKinds = 7;

struct Difference {
  // What the details in parentheses tell.
  enum class Detail { kNone, kKind, kSize, kCrc, kTime, kBelow };
  DiffKind kind;
  Detail detail = Detail::kNone;
  std::string path;     // catalog form without the leading backslash; a directory ends in '\'
  std::string newPath;  // moved: where the file stands now
  // kKind: whether a directory stands now; kSize, kCrc, kTime: the values
  // now and in the catalog; kBelow and kKind: entries below the directory.
  bool nowDirectory = false;
  uint64_t now = 0;
  uint64_t expected = 0;
  uint32_t below = 0;
};

// The reading is reported as bytes done of the total announced, failed
// files counted whole.
class CompareObserver : public ProgressObserver {
 public:
  // Before the first read: the bytes that will be read.
  virtual void ReadStarting(uint64_t total) = 0;
  // After the last read, before the first difference.
  virtual void ReadFinished() = 0;
  virtual void Found(const Difference& difference) = 0;
};

struct CompareOptions {
  bool crcs = true;    // compare CRC-32s and pair moved files, where both sides have them
  bool times = false;  // report files whose time alone differs
};

struct CompareCounts {
  uint64_t kinds[kDiffKinds] = {};
  uint64_t matched = 0;    // files equal on both sides
  uint64_t bytesRead = 0;
  uint64_t differences() const;
};

// Where the files of the present side are read: its root directory, without
// a trailing separator.
struct Medium {
  Env& env;
  std::string root;
};

// Compares expected (a catalog) with present.  With a medium, the present
// side's CRC-32s come from reading its files; without one, from its records.
// False, having reported nothing, when the read buffer cannot be allocated.
bool CompareTrees(const CompareTree& expected, const CompareTree& present, const Medium* medium,
                  const CompareOptions& options, CompareObserver& observer,
                  CompareCounts* counts);

}  // namespace korvex

#endif  // KORVEX_CATALOG_COMPARE_H_
