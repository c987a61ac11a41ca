#include "catalog/block_pipe.h"

#include <system_error>

#include "catalog/format.h"
#include "platform/env.h"

namespace korvex {
namespace {

// A block is read in tens of microseconds: a wait that short is cheaper
// spun than slept, which costs a wake-up through the system each time.  The
// pause lets a virtual machine's host run its own work meanwhile, such as
// the reads of a cold medium the other thread waits for.
const int kSpins = 256;

inline void Pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

}  // namespace

std::unique_ptr<BlockPipe> BlockPipe::Create() {
  Blocks ring = AllocateBlocks(kSlots);
  if (!ring) return nullptr;
  std::unique_ptr<BlockPipe> pipe(new BlockPipe(std::move(ring)));
  try {
    pipe->thread_ = std::thread(&BlockPipe::Work, pipe.get());
  } catch (const std::system_error&) {
    return nullptr;
  }
  return pipe;
}

BlockPipe::~BlockPipe() {
  if (thread_.joinable()) {
    quit_ = true;
    Wake();
    thread_.join();
  }
}

template <class Ready>
void BlockPipe::Await(Ready ready) {
  for (int i = 0; i < kSpins; ++i) {
    if (ready()) return;
    Pause();
  }
  std::unique_lock<std::mutex> lock(mutex_);
  ++sleepers_;
  wake_.wait(lock, ready);
  --sleepers_;
}

// A sleeper counts itself under the lock before it looks at what it waits
// for, so a change made before this look at sleepers_ is never missed.
void BlockPipe::Wake() {
  if (sleepers_ == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  wake_.notify_all();
}

void BlockPipe::Start(File& in, uint64_t count) {
  in_ = &in;
  count_ = count;
  taken_ = 0;
  produced_ = 0;
  released_ = 0;
  cancel_ = false;
  ++started_;
  Wake();
}

bool BlockPipe::Next(const unsigned char** data, size_t* n) {
  const uint64_t i = taken_++;
  released_ = i;
  Wake();
  Await([&] { return produced_ > i || finished_ == started_; });
  if (produced_ <= i) return false;
  const int slot = static_cast<int>(i % kSlots);
  *data = ring_.get() + static_cast<size_t>(slot) * kBlockSize;
  *n = got_[slot];
  return ok_[slot];
}

void BlockPipe::Stop() {
  cancel_ = true;
  Wake();
  Await([&] { return finished_ == started_; });
}

void BlockPipe::Work() {
  for (;;) {
    Await([&] { return quit_ || started_ != finished_; });
    if (quit_) return;
    for (uint64_t k = 0; k < count_; ++k) {
      Await([&] { return cancel_ || k - released_ < kSlots; });
      if (cancel_) break;
      const int slot = static_cast<int>(k % kSlots);
      size_t n = 0;
      ok_[slot] = in_->Read(ring_.get() + static_cast<size_t>(slot) * kBlockSize, kBlockSize, &n);
      got_[slot] = n;
      ++produced_;
      Wake();
      if (!ok_[slot] || n != kBlockSize) break;
    }
    ++finished_;
    Wake();
  }
}

}  // namespace korvex
