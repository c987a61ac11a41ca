// Keeps reads in flight ahead of a pass over a scanned tree: while the pass
// reads one file, the system is asked to start reading the next ones in pass
// order, so a cold medium serves many reads at once instead of one after
// another.  Only hints: the pass still opens and reads every file itself, in
// its order, so what it reads, computes and reports is unchanged.
#ifndef KORVEX_CATALOG_READ_AHEAD_H_
#define KORVEX_CATALOG_READ_AHEAD_H_

#include <stddef.h>
#include <stdint.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/env.h"

namespace korvex {

class DirNode;
class FileNode;

class ReadAhead {
 public:
  // How far ahead of the file being read: files and bytes hinted but not yet
  // reached, and the threads that give the hints (0: the caller's own).
  struct Limits {
    size_t files;
    uint64_t bytes;
    int threads;
  };
  // The limits for a medium; files 0 for kOff.
  static Limits For(ReadAheadMode mode);

  // One file the pass will read, in its order; key names it to Reading().
  struct Upcoming {
    const void* key;
    std::string path;
    uint64_t length;
  };
  // Yields the next file the pass may read, false after the last.  The pass
  // reads a subset of these files, in this order.
  using Source = std::function<bool(Upcoming*)>;
  ReadAhead(Env& env, Source upcoming, Limits limits);
  // Drops the hints not yet given and joins the threads.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The files of a scanned tree in the order of a pass over it (a
  // directory's files, then its subdirectories), keyed by their FileNode;
  // those for which reads(file) is false left out.
  using Predicate = std::function<bool(const FileNode&)>;
  static Source TreeFiles(const DirNode& root, const std::string& source, Predicate reads);

  // The pass is about to read the file named key: moves the window past it
  // and hints the files after it, up to the limits.
  void Reading(const void* key);
  // False when reads ahead are turned off.
  bool enabled() const { return limits_.files > 0; }

 private:
  void Fill();
  // The next file from the source into next_; false at the end.
  bool Pull();
  void Hint(std::string path, uint64_t length);
  void Work();

  Env& env_;
  Source upcoming_;
  const Limits limits_;
  Upcoming next_;  // taken from the source, not yet in the window
  bool haveNext_ = false;
  // Hinted files the pass has not reached, and the bytes hinted for them.
  std::deque<std::pair<const void*, uint64_t>> window_;
  uint64_t windowBytes_ = 0;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::pair<std::string, uint64_t>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_READ_AHEAD_H_
