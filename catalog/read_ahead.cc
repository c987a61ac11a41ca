#include "catalog/read_ahead.h"

#include <algorithm>
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

ReadAhead::Cursor::Cursor(const DirNode& root, const std::string& source) {
  frames_.push_back({&root, source + root.name + kPathSeparator, 0, 0});
}

const FileNode* ReadAhead::Cursor::Peek() {
  while (!frames_.empty()) {
    Frame& top = frames_.back();
    if (top.file < top.dir->files.size()) return &top.dir->files[top.file];
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

ReadAhead::ReadAhead(Env& env, const DirNode& root, const std::string& source,
                     Predicate reads, Limits limits)
    : env_(env), cursor_(root, source), reads_(std::move(reads)), limits_(limits) {
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

void ReadAhead::Reading(const FileNode& file) {
  if (limits_.files == 0) return;
  bool found = false;
  while (!window_.empty() && !found) {
    found = window_.front().first == &file;
    windowBytes_ -= window_.front().second;
    window_.pop_front();
  }
  if (!found) {
    // The pass is beyond every hint: the cursor catches up with it.
    while (const FileNode* next = cursor_.Peek()) {
      cursor_.Skip();
      if (next == &file) break;
    }
  }
  Fill();
}

void ReadAhead::Fill() {
  while (window_.size() < limits_.files) {
    const FileNode* next = cursor_.Peek();
    if (next == nullptr) return;
    if (!reads_(*next)) {
      cursor_.Skip();
      continue;
    }
    const uint64_t length = std::min(next->size, limits_.bytes);
    if (!window_.empty() && windowBytes_ + length > limits_.bytes) return;
    // Empty files hold a place in the window so that it follows the pass.
    if (length > 0) Hint(cursor_.DirPath() + next->name(), length);
    window_.emplace_back(next, length);
    windowBytes_ += length;
    cursor_.Skip();
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
