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

  // Files for which reads(file) is false are never hinted; the pass must
  // read a subset of the rest, in the order of the tree.
  using Predicate = std::function<bool(const FileNode&)>;
  ReadAhead(Env& env, const DirNode& root, const std::string& source, Predicate reads,
            Limits limits);
  // Drops the hints not yet given and joins the threads.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The pass is about to read file: moves the window past it and hints the
  // files after it, up to the limits.
  void Reading(const FileNode& file);

 private:
  // The tree's files in pass order, each with its directory's path.
  class Cursor {
   public:
    Cursor(const DirNode& root, const std::string& source);
    // Null at the end.
    const FileNode* Peek();
    const std::string& DirPath() const { return frames_.back().path; }
    void Skip() { ++frames_.back().file; }

   private:
    struct Frame {
      const DirNode* dir;
      std::string path;
      size_t file;
      size_t sub;
    };
    std::vector<Frame> frames_;
  };

  void Fill();
  void Hint(std::string path, uint64_t length);
  void Work();

  Env& env_;
  Cursor cursor_;
  Predicate reads_;
  const Limits limits_;
  // Hinted files the pass has not reached, and the bytes hinted for them.
  std::deque<std::pair<const FileNode*, uint64_t>> window_;
  uint64_t windowBytes_ = 0;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::pair<std::string, uint64_t>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_READ_AHEAD_H_
