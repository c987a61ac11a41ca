#include "catalog/block_reader.h"

#include <algorithm>
#include <new>
#include <utility>

#include "catalog/block_pipe.h"
#include "catalog/crc32.h"
#include "catalog/format.h"
#include "platform/env.h"

namespace korvex {
namespace {

// Page-aligned: the kernel copies file data into it about a quarter faster
// than into an allocation 16 bytes past a page.
const std::align_val_t kAlignment{4096};
// Smaller files are over before a second thread would pay for its wake-up.
const uint64_t kAheadFrom = 4 * kBlockSize;

}  // namespace

void FreeBlocks::operator()(unsigned char* blocks) const {
  ::operator delete[](blocks, kAlignment);
}

Blocks AllocateBlocks(size_t count) {
  return Blocks(new (kAlignment, std::nothrow) unsigned char[count * kBlockSize]);
}

std::unique_ptr<BlockReader> BlockReader::Create() {
  Blocks buffer = AllocateBlocks(1);
  if (!buffer) return nullptr;
  return std::unique_ptr<BlockReader>(new BlockReader(std::move(buffer)));
}

BlockReader::BlockReader(Blocks buffer) : buffer_(std::move(buffer)) {}

BlockReader::~BlockReader() = default;

BlockPipe* BlockReader::Pipe() {
  if (!pipe_ && !pipeFailed_) {
    pipe_ = BlockPipe::Create();
    pipeFailed_ = !pipe_;
  }
  return pipe_.get();
}

bool BlockReader::Deliver(const unsigned char* data, size_t n, ReadResult* result,
                          const Consumer& consume) {
  result->crc = crc32::Extend(result->crc, data, n);
  const Block block{data, n, result->bytes, result->crc};
  result->bytes += n;
  if (consume(block)) return true;
  result->status = ReadStatus::kStopped;
  return false;
}

ReadResult BlockReader::ReadFile(Env& env, const std::string& path, uint64_t size, bool ahead,
                                 const Consumer& consume) {
  ReadResult result;
  std::unique_ptr<File> in = env.OpenRead(path);
  if (!in) {
    result.status = ReadStatus::kCannotOpen;
    return result;
  }
  BlockPipe* pipe = ahead && size >= kAheadFrom ? Pipe() : nullptr;
  if (pipe != nullptr) pipe->Start(*in, (size + kBlockSize - 1) / kBlockSize);
  while (result.bytes < size) {
    const unsigned char* data = buffer_.get();
    size_t n = 0;
    const bool ok =
        pipe != nullptr ? pipe->Next(&data, &n) : in->Read(buffer_.get(), kBlockSize, &n);
    if (!ok || result.bytes + n > size || (n != kBlockSize && result.bytes + n != size)) {
      result.status = ReadStatus::kReadFailed;
      break;
    }
    if (!Deliver(data, n, &result, consume)) break;
  }
  if (pipe != nullptr) pipe->Stop();
  if (result.ok() && size % kBlockSize == 0) {
    size_t n = 0;
    if (!in->Read(buffer_.get(), 1, &n) || n != 0) result.status = ReadStatus::kReadFailed;
  }
  return result;
}

ReadResult BlockReader::ReadToEnd(File& in, const Consumer& consume) {
  ReadResult result;
  for (;;) {
    size_t n = 0;
    if (!in.Read(buffer_.get(), kBlockSize, &n)) {
      result.status = ReadStatus::kReadFailed;
      return result;
    }
    if (!Deliver(buffer_.get(), n, &result, consume) || n != kBlockSize) return result;
  }
}

ReadResult BlockReader::ReadExactly(File& in, uint64_t length, const Consumer& consume) {
  ReadResult result;
  while (result.bytes < length) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(length - result.bytes, kBlockSize));
    size_t n = 0;
    if (!in.Read(buffer_.get(), want, &n) || n != want) {
      result.status = ReadStatus::kReadFailed;
      return result;
    }
    if (!Deliver(buffer_.get(), n, &result, consume)) return result;
  }
  return result;
}

}  // namespace korvex
