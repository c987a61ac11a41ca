// Reads the blocks of one file on a thread of its own into a small ring of
// buffers, so that the caller computes the CRC of one block while the next
// ones are being read: over files in the page cache the copy and the CRC
// then take the time of the slower of the two, not of both.
#ifndef KORVEX_CATALOG_BLOCK_PIPE_H_
#define KORVEX_CATALOG_BLOCK_PIPE_H_

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "catalog/block_reader.h"

namespace korvex {

class File;

class BlockPipe {
 public:
  // Null when the buffers or the thread cannot be had.
  static std::unique_ptr<BlockPipe> Create();
  ~BlockPipe();
  BlockPipe(const BlockPipe&) = delete;
  BlockPipe& operator=(const BlockPipe&) = delete;

  // Starts reading count blocks of kBlockSize bytes from in, which stays
  // open until Stop().  The reading ends early after a failed or short read.
  void Start(File& in, uint64_t count);
  // Waits for the next block, in order; the one before it is free again.
  // False when its read failed.
  bool Next(const unsigned char** data, size_t* n);
  // Returns once the thread no longer touches the file.
  void Stop();

 private:
  explicit BlockPipe(Blocks ring) : ring_(std::move(ring)) {}
  template <class Ready>
  void Await(Ready ready);
  void Wake();
  void Work();

  static const int kSlots = 4;
  const Blocks ring_;
  size_t got_[kSlots] = {};
  bool ok_[kSlots] = {};
  // Set by the caller before a start, read by the thread after it.
  File* in_ = nullptr;
  uint64_t count_ = 0;
  uint64_t taken_ = 0;  // the caller's

  std::atomic<uint64_t> started_{0};   // files handed over
  std::atomic<uint64_t> finished_{0};  // files the thread is done with
  std::atomic<uint64_t> produced_{0};  // blocks read of the current file
  std::atomic<uint64_t> released_{0};  // blocks the caller is done with
  std::atomic<bool> cancel_{false};
  std::atomic<bool> quit_{false};
  std::atomic<int> sleepers_{0};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_BLOCK_PIPE_H_
