#include "catalog/store_reader.h"

#include <string.h>

#include <new>

#include "catalog/block_reader.h"
#include "catalog/catalog_format.h"
#include "catalog/coding.h"
#include "catalog/format.h"
#include "catalog/progress.h"
#include "catalog/reader.h"
#include "platform/env.h"

namespace korvex {

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

bool StoreReader::Verify(BlockReader& reader, ProgressObserver& progress, bool hold) {
  if (!file_->Seek(dataStart_)) return false;
  std::vector<unsigned char> held;
  try {
    if (hold) held.reserve(dataLength_);
  } catch (const std::bad_alloc&) {
    return false;
  }
  ReadResult read = reader.ReadExactly(*file_, dataLength_, [&](const Block& block) {
    progress.BytesDone(block.offset, dataLength_);
    if (hold) held.insert(held.end(), block.data, block.data + block.size);
    return true;
  });
  if (!read.ok() || read.crc != storeCrc_) return false;
  held_.swap(held);
  verified_ = true;
  return true;
}

bool StoreReader::HoldAll(BlockReader& reader) {
  if (state_ == State::kClosed) Open();
  if (state_ != State::kOpen) return false;
  ProgressObserver quiet;
  if (!Verify(reader, quiet, true)) {
    state_ = State::kBroken;
    return false;
  }
  file_.reset();  // everything is in memory now
  return true;
}

bool StoreReader::ReadData(uint64_t position, void* out, size_t n) {
  if (verified_ && held_.size() == dataLength_) {
    memcpy(out, held_.data() + position, n);
    return true;
  }
  return file_->Seek(dataStart_ + position) && file_->ReadExactly(out, n);
}

bool StoreReader::Locate(int32_t index, uint64_t* offset, uint64_t* size) {
  const uint64_t slot = 4 * uint64_t(index);
  unsigned char bytes[4];
  if (slot + 4 > dataLength_ || !ReadData(slot, bytes, 4)) return false;
  *offset = DecodeFixed32(bytes);
  if (*offset + 4 > dataLength_ || !ReadData(*offset, bytes, 4)) return false;
  *size = DecodeFixed32(bytes);
  *offset += 4;
  return *offset + *size <= dataLength_;
}

bool StoreReader::Fetch(int32_t index, bool verify, ProgressObserver& progress,
                        std::vector<unsigned char>* contents) {
  if (state_ == State::kClosed) Open();
  if (state_ != State::kOpen || index < 0) return false;
  if (verify && !verified_) {
    std::unique_ptr<BlockReader> reader = BlockReader::Create();
    if (!reader || !Verify(*reader, progress, dataLength_ <= holdLimit_)) {
      state_ = State::kBroken;  // damage found once stays found
      return false;
    }
  }
  uint64_t offset = 0;
  uint64_t size = 0;
  if (!Locate(index, &offset, &size)) return false;
  std::vector<unsigned char> result(static_cast<size_t>(size));
  if (size > 0 && !ReadData(offset, result.data(), result.size())) return false;
  contents->swap(result);
  return true;
}

const unsigned char* StoreReader::HeldContents(int32_t index, uint32_t size) {
  uint64_t offset = 0;
  uint64_t length = 0;
  if (!verified_ || held_.size() != dataLength_ || index < 0 ||
      !Locate(index, &offset, &length) || length != size) {
    return nullptr;
  }
  return held_.data() + offset;
}

}  // namespace korvex
