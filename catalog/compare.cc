#include "catalog/compare.h"

#include <string.h>

#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "catalog/block_reader.h"
#include "catalog/format.h"
#include "catalog/read_ahead.h"
#include "platform/env.h"
#include "platform/paths.h"

namespace korvex {
namespace {

const uint32_t kNone = 0xFFFFFFFFu;
using Entry = CompareTree::Entry;

// What an entry turned out to be, before and after the files are read.
enum class State : uint8_t {
  kSame,  // a file on both sides with the same size
  kChanged,
  kMissing,
  kNew,
  kMoved,
  kUnreadable,
  kTouched,
  kUnsafe,
};

struct Item {
  State state;
  bool reported;  // false: a file under a missing or new directory, or one paired away
  uint32_t old;   // in the expected tree, or kNone
  uint32_t now;   // in the present tree, or kNone
  bool needsCrc = false;
  bool readFailed = false;
  uint32_t crcNow = 0;
  uint32_t partner = kNone;  // moved: the new item it pairs with
};

class Comparison {
 public:
  Comparison(const CompareTree& expected, const CompareTree& present, const Medium* medium,
             const CompareOptions& options, CompareObserver& observer, CompareCounts& counts)
      : expected_(expected),
        present_(present),
        medium_(medium),
        options_(options),
        crcs_(options.crcs && expected.hasCrc() && (medium != nullptr || present.hasCrc())),
        observer_(observer),
        counts_(counts) {}

  bool Run() {
    std::unique_ptr<BlockReader> reader;
    if (medium_ != nullptr) {
      reader = BlockReader::Create();
      if (!reader) return false;
    }
    Merge();
    MarkNewCandidates();
    ReadAll(reader.get());
    observer_.ReadFinished();
    Settle();
    PairMoves();
    Report();
    return true;
  }

 private:
  void Add(State state, uint32_t old, uint32_t now, bool reported = true) {
    items_.push_back(Item{state, reported, old, now});
  }

  // Walks both trees at once, directory by directory, in name order.
  void Merge() {
    struct Frame {
      uint32_t old, now, i, j;
    };
    std::vector<Frame> stack{{0, 0, 0, 0}};
    while (!stack.empty()) {
      Frame& f = stack.back();
      const Entry& od = expected_.entry(f.old);
      const Entry& nd = present_.entry(f.now);
      uint32_t a = f.i < od.childCount ? expected_.Children(od)[f.i] : kNone;
      uint32_t b = f.j < nd.childCount ? present_.Children(nd)[f.j] : kNone;
      if (a == kNone && b == kNone) {
        stack.pop_back();
        continue;
      }
      int c = a == kNone   ? 1
              : b == kNone ? -1
                           : strcmp(expected_.entry(a).name, present_.entry(b).name);
      if (c < 0) {
        f.i++;
        OnlyOnOneSide(expected_, State::kMissing, a);
      } else if (c > 0) {
        f.j++;
        OnlyOnOneSide(present_, State::kNew, b);
      } else {
        f.i++;
        f.j++;
        if (Pair(a, b)) stack.push_back(Frame{a, b, 0, 0});
      }
    }
  }

  void OnlyOnOneSide(const CompareTree& tree, State state, uint32_t index) {
    const bool old = state == State::kMissing;
    const Entry& e = tree.entry(index);
    if (UnsafeName(e.name, strlen(e.name))) {
      Add(State::kUnsafe, old ? index : kNone, old ? kNone : index);
      return;
    }
    Add(state, old ? index : kNone, old ? kNone : index);
    if (!e.isDir() || !crcs_) return;
    // The files below, in path order, stand ready to pair as moved; the
    // directory's line tells of them.
    std::vector<std::pair<uint32_t, uint32_t>> open{{index, 0}};  // directory, next child
    while (!open.empty()) {
      const Entry& dir = tree.entry(open.back().first);
      if (open.back().second == dir.childCount) {
        open.pop_back();
        continue;
      }
      const uint32_t kid = tree.Children(dir)[open.back().second++];
      const Entry& e = tree.entry(kid);
      if (UnsafeName(e.name, strlen(e.name))) continue;
      if (e.isDir()) {
        open.emplace_back(kid, 0);
      } else {
        Add(state, old ? kid : kNone, old ? kNone : kid, false);
      }
    }
  }

  // True when a and b are directories to walk into.
  bool Pair(uint32_t a, uint32_t b) {
    const Entry& x = expected_.entry(a);
    const Entry& y = present_.entry(b);
    if (UnsafeName(x.name, strlen(x.name))) {
      Add(State::kUnsafe, a, b);
    } else if (x.isDir() != y.isDir()) {
      Add(State::kChanged, a, b);
    } else if (x.isDir()) {
      if (y.readable) return true;
      // What lies below a directory that could not be listed is unknown, not missing.
      Add(State::kUnreadable, a, b);
    } else if (static_cast<uint32_t>(x.size) != static_cast<uint32_t>(y.size)) {
      Add(State::kChanged, a, b);
    } else if (crcs_ || (options_.times && x.time != y.time)) {
      Add(State::kSame, a, b);
      items_.back().needsCrc = crcs_;
    } else {
      counts_.matched++;
    }
    return false;
  }

  // A new file is worth its CRC-32 only when a missing file has its size.
  void MarkNewCandidates() {
    if (!crcs_) return;
    std::unordered_set<uint32_t> sizes;
    for (const Item& item : items_) {
      if (item.state != State::kMissing) continue;
      const Entry& e = expected_.entry(item.old);
      if (!e.isDir() && e.size != 0) sizes.insert(static_cast<uint32_t>(e.size));
    }
    for (Item& item : items_) {
      if (item.state != State::kNew) continue;
      const Entry& e = present_.entry(item.now);
      item.needsCrc = !e.isDir() && sizes.count(static_cast<uint32_t>(e.size)) != 0;
    }
  }

  // Whether the file of item is read from the medium.
  bool ReadsFile(const Item& item) const {
    return item.needsCrc && medium_ != nullptr && present_.entry(item.now).readable;
  }

  // The files to read, in the order they are read, for the reads ahead.
  ReadAhead::Source Upcoming() const {
    size_t next = 0;
    return [this, next](ReadAhead::Upcoming* out) mutable {
      while (next < items_.size()) {
        const Item& item = items_[next++];
        if (!ReadsFile(item)) continue;
        *out = {&item, FsPath(item.now), present_.entry(item.now).size};
        return true;
      }
      return false;
    };
  }

  void ReadAll(BlockReader* reader) {
    uint64_t total = 0;
    for (const Item& item : items_) {
      if (ReadsFile(item)) total += present_.entry(item.now).size;
    }
    observer_.ReadStarting(total);
    std::optional<ReadAhead> ahead;
    if (medium_ != nullptr) {
      ahead.emplace(medium_->env, Upcoming(),
                    ReadAhead::For(medium_->env.ReadAheadFor(medium_->root)));
    }
    uint64_t done = 0;
    for (Item& item : items_) {
      if (!item.needsCrc) continue;
      const Entry& e = present_.entry(item.now);
      if (medium_ == nullptr || !e.readable) {
        // Links and devices were cataloged as empty, never opened.
        item.crcNow = medium_ == nullptr ? e.crc : 0;
        continue;
      }
      const uint64_t start = done;
      ahead->Reading(&item);
      // A file that cannot be read, shrank or grew is unreadable.
      auto consume = [&](const Block& block) {
        done += block.size;
        counts_.bytesRead += block.size;
        observer_.BytesDone(done, total);
        return true;
      };
      ReadResult read =
          reader->ReadFile(medium_->env, FsPath(item.now), e.size, ahead->enabled(), consume);
      item.readFailed = !read.ok();
      if (read.ok()) item.crcNow = read.crc;
      if (done != start + e.size) {
        done = start + e.size;
        observer_.BytesDone(done, total);
      }
    }
  }

  // Files on both sides with the same size, once their CRC-32s are known.
  void Settle() {
    for (Item& item : items_) {
      if (item.state != State::kSame) continue;
      const Entry& x = expected_.entry(item.old);
      const Entry& y = present_.entry(item.now);
      if (item.readFailed) {
        item.state = State::kUnreadable;
      } else if (crcs_ && item.crcNow != x.crc) {
        item.state = State::kChanged;
      } else if (options_.times && x.time != y.time) {
        item.state = State::kTouched;
      } else {
        item.reported = false;
        counts_.matched++;
      }
    }
  }

  // A missing file and a new one of the same size and CRC-32 are one file
  // moved (only new files a missing file's size are candidates, never empty
  // ones or directories).  Pairs are taken one to one, in path order.
  void PairMoves() {
    if (!crcs_) return;
    std::unordered_map<uint64_t, std::vector<uint32_t>> waiting;
    for (size_t i = items_.size(); i-- > 0;) {
      const Item& item = items_[i];
      if (item.state != State::kNew || !item.needsCrc || item.readFailed) continue;
      const Entry& e = present_.entry(item.now);
      waiting[Key(static_cast<uint32_t>(e.size), item.crcNow)].push_back(static_cast<uint32_t>(i));
    }
    for (Item& item : items_) {
      if (item.state != State::kMissing) continue;
      const Entry& e = expected_.entry(item.old);
      auto it = waiting.find(Key(static_cast<uint32_t>(e.size), e.crc));
      if (it == waiting.end() || it->second.empty()) continue;
      item.state = State::kMoved;
      item.reported = true;
      item.partner = it->second.back();
      it->second.pop_back();
      items_[item.partner].reported = false;
    }
  }

  static uint64_t Key(uint32_t size, uint32_t crc) { return uint64_t{size} << 32 | crc; }

  void Report() {
    for (const Item& item : items_) {
      if (!item.reported) continue;
      Difference d = Describe(item);
      counts_.kinds[static_cast<int>(d.kind)]++;
      observer_.Found(d);
    }
  }

  Difference Describe(const Item& item) const;

  // The catalog form of an entry's path: names joined by '\', a directory's
  // ending in one.
  static std::string CatalogPath(const CompareTree& tree, uint32_t index) {
    std::string path = tree.entry(index).isDir() ? "\\" : "";
    for (uint32_t i = index; i != 0; i = tree.entry(i).parent) {
      path.insert(0, tree.entry(i).name);
      if (tree.entry(i).parent != 0) path.insert(0, 1, '\\');
    }
    return path;
  }

  std::string FsPath(uint32_t index) const {
    std::string path;
    for (uint32_t i = index; i != 0; i = present_.entry(i).parent) {
      path.insert(0, present_.entry(i).fsName);
      path.insert(0, 1, kPathSeparator);
    }
    return medium_->root + path;
  }

  const CompareTree& expected_;
  const CompareTree& present_;
  const Medium* medium_;
  const CompareOptions options_;
  const bool crcs_;
  CompareObserver& observer_;
  CompareCounts& counts_;
  std::vector<Item> items_;  // in path order
};

Difference Comparison::Describe(const Item& item) const {
  using Detail = Difference::Detail;
  Difference d;
  const Entry* x = item.old != kNone ? &expected_.entry(item.old) : nullptr;
  const Entry* y = item.now != kNone ? &present_.entry(item.now) : nullptr;
  d.path = x ? CatalogPath(expected_, item.old) : CatalogPath(present_, item.now);
  switch (item.state) {
    case State::kChanged:
      d.kind = DiffKind::kChanged;
      if (x->isDir() != y->isDir()) {
        d.detail = Detail::kKind;
        d.nowDirectory = y->isDir();
        d.below = y->isDir() ? y->below : x->below;
      } else if (static_cast<uint32_t>(x->size) != static_cast<uint32_t>(y->size)) {
        d.detail = Detail::kSize;
        d.now = y->size;
        d.expected = x->size;
      } else {
        d.detail = Detail::kCrc;
        d.now = item.crcNow;
        d.expected = x->crc;
      }
      break;
    case State::kMissing:
    case State::kNew:
      d.kind = x ? DiffKind::kMissing : DiffKind::kNew;
      d.below = (x ? x : y)->below;
      if ((x ? x : y)->isDir()) d.detail = Detail::kBelow;
      break;
    case State::kMoved:
      d.kind = DiffKind::kMoved;
      d.newPath = CatalogPath(present_, items_[item.partner].now);
      break;
    case State::kTouched:
      d.kind = DiffKind::kTouched;
      d.detail = Detail::kTime;
      d.now = y->time;
      d.expected = x->time;
      break;
    case State::kUnreadable:
      d.kind = DiffKind::kUnreadable;
      d.below = x->below;
      if (x->isDir()) d.detail = Detail::kBelow;
      break;
    case State::kUnsafe:
    case State::kSame:
      d.kind = DiffKind::kUnsafe;
      break;
  }
  return d;
}

}  // namespace

uint64_t CompareCounts::differences() const {
  uint64_t sum = 0;
  for (uint64_t k : kinds) sum += k;
  return sum;
}

bool CompareTrees(const CompareTree& expected, const CompareTree& present, const Medium* medium,
                  const CompareOptions& options, CompareObserver& observer,
                  CompareCounts* counts) {
  *counts = CompareCounts();
  return Comparison(expected, present, medium, options, observer, *counts).Run();
}

}  // namespace korvex
