#include "catalog/store_reader.h"

#include <string.h>

#include "catalog/block_reader.h"
#include "catalog/catalog_format.h"
#include "catalog/coding.h"
#include "catalog/format.h"
#include "catalog/progress.h"
#include "catalog/reader.h"
#include "platform/env.h"

namespace korvex {
namespace {

bool ReadExactly(File& in, void* buffer, size_t n) {
  size_t got = 0;
  return in.Read(buffer, n, &got) && got == n;
}

}  // namespace

StoreReader::StoreReader(Env& env, const CatalogReader& reader, uint64_t holdLimit)
    : env_(env), reader_(reader), holdLimit_(holdLimit) {}

StoreReader::~StoreReader() = default;

bool StoreReader::Open() {
  state_ = State::kBroken;
  StoreHead head;
  file_ = reader_.OpenDataArea(&head);
  if (!file_) return false;
  storeCrc_ = head.crc;
  dataLength_ = head.dataLength;
  dataStart_ = kHeaderSize + uint64_t{reader_.TreeLength()} + kStoreHeadSize;
  state_ = State::kOpen;
  return true;
}

bool StoreReader::Verify(ProgressObserver& progress) {
  std::unique_ptr<BlockReader> reader = BlockReader::Create();
  if (!reader || !file_->Seek(dataStart_)) return false;
  const bool hold = dataLength_ <= holdLimit_;
  std::vector<unsigned char> held;
  if (hold) held.reserve(dataLength_);
  ReadResult read = reader->ReadExactly(*file_, dataLength_, [&](const Block& block) {
    progress.BytesDone(block.offset, dataLength_);
    if (hold) held.insert(held.end(), block.data, block.data + block.size);
    return true;
  });
  if (!read.ok() || read.crc != storeCrc_) return false;
  held_.swap(held);
  verified_ = true;
  return true;
}

bool StoreReader::ReadData(uint64_t position, void* out, size_t n) {
  if (verified_ && held_.size() == dataLength_) {
    memcpy(out, held_.data() + position, n);
    return true;
  }
  return file_->Seek(dataStart_ + position) && ReadExactly(*file_, out, n);
}

bool StoreReader::Fetch(int32_t index, bool verify, ProgressObserver& progress,
                        std::vector<unsigned char>* contents) {
  if (state_ == State::kClosed) Open();
  if (state_ != State::kOpen || index < 0) return false;
  if (verify && !verified_ && !Verify(progress)) {
    state_ = State::kBroken;  // damage found once stays found
    return false;
  }
  // The slot and the record must lie inside the data area.
  const uint64_t slot = 4 * uint64_t(index);
  unsigned char bytes[4];
  if (slot + 4 > dataLength_ || !ReadData(slot, bytes, 4)) return false;
  const uint64_t offset = DecodeFixed32(bytes);
  if (offset + 4 > dataLength_ || !ReadData(offset, bytes, 4)) return false;
  const uint64_t size = DecodeFixed32(bytes);
  if (offset + 4 + size > dataLength_) return false;
  std::vector<unsigned char> result(static_cast<size_t>(size));
  if (size > 0 && !ReadData(offset + 4, result.data(), result.size())) return false;
  contents->swap(result);
  return true;
}

}  // namespace korvex
