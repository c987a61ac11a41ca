#include "catalog/read_ahead.h"

#include <algorithm>
#include <memory>
#include <system_error>

#include "catalog/tree.h"

namespace korvex {

ReadAhead::Limits ReadAhead::For(ReadAheadMode mode) {
  switch (mode) {
    case ReadAheadMode::kOff:
      return {0, 0, 0};
    case ReadAheadMode::kSeeking:
      // Small files ahead still save their seeks; fewer bytes keep a large
      // file ahead from drawing the head away from the one being read.
      return {64, 8 << 20, 1};
    case ReadAheadMode::kSolid:
      break;
  }
  // One thread: the hints return at once, a second one measured no faster.
  return {64, 64 << 20, 1};
}

namespace {

// Walks a scanned tree in pass order, each file with its directory's path.
class Cursor {
 public:
  Cursor(const DirNode& root, const std::string& source) {
    frames_.push_back({&root, source + root.name + kPathSeparator, 0, 0});
  }

  // Null at the end.
  const FileNode* Next() {
    while (!frames_.empty()) {
      Frame& top = frames_.back();
      if (top.file < top.dir->files.size()) return &top.dir->files[top.file++];
      if (top.sub < top.dir->subdirectories.size()) {
        const DirNode* sub = top.dir->subdirectories[top.sub++].get();
        std::string path = top.path + sub->name + kPathSeparator;
        frames_.push_back({sub, std::move(path), 0, 0});
        continue;
      }
      frames_.pop_back();
    }
    return nullptr;
  }
  const std::string& DirPath() const { return frames_.back().path; }

 private:
  struct Frame {
    const DirNode* dir;
    std::string path;
    size_t file;
    size_t sub;
  };
  std::vector<Frame> frames_;
};

}  // namespace

ReadAhead::Source ReadAhead::TreeFiles(const DirNode& root, const std::string& source,
                                       Predicate reads) {
  auto cursor = std::make_shared<Cursor>(root, source);
  return [cursor, reads](Upcoming* out) {
    while (const FileNode* file = cursor->Next()) {
      if (!reads(*file)) continue;
      *out = {file, cursor->DirPath() + file->name(), file->size};
      return true;
    }
    return false;
  };
}

ReadAhead::ReadAhead(Env& env, Source upcoming, Limits limits)
    : env_(env), upcoming_(std::move(upcoming)), limits_(limits) {
  if (limits_.files == 0) return;
  for (int i = 0; i < limits_.threads; ++i) {
    try {
      threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      break;  // fewer threads, or hints on the caller's
    }
  }
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    jobs_.clear();
  }
  wake_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void ReadAhead::Reading(const void* key) {
  if (limits_.files == 0) return;
  bool found = false;
  while (!window_.empty() && !found) {
    found = window_.front().first == key;
    windowBytes_ -= window_.front().second;
    window_.pop_front();
  }
  // The pass is beyond every hint: the source catches up with it.
  while (!found && Pull()) {
    haveNext_ = false;
    found = next_.key == key;
  }
  Fill();
}

bool ReadAhead::Pull() {
  if (!haveNext_) haveNext_ = upcoming_(&next_);
  return haveNext_;
}

void ReadAhead::Fill() {
  while (window_.size() < limits_.files && Pull()) {
    const uint64_t length = std::min(next_.length, limits_.bytes);
    if (!window_.empty() && windowBytes_ + length > limits_.bytes) return;
    // Empty files hold a place in the window so that it follows the pass.
    if (length > 0) Hint(std::move(next_.path), length);
    window_.emplace_back(next_.key, length);
    windowBytes_ += length;
    haveNext_ = false;
  }
}

void ReadAhead::Hint(std::string path, uint64_t length) {
  if (threads_.empty()) {
    env_.WillRead(path, length);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.emplace_back(std::move(path), length);
  }
  wake_.notify_one();
}

void ReadAhead::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (stopping_) return;
    std::pair<std::string, uint64_t> job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    env_.WillRead(job.first, job.second);
    lock.lock();
  }
}

}  // namespace korvex
