#include "catalog/store_reader.h"

#include <string.h>

#include <algorithm>
#include <new>

#include "catalog/coding.h"
#include "catalog/crc32.h"
#include "catalog/format.h"
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
  file_ = env_.OpenRead(reader_.FileName());
  if (!file_) return false;
  // It must still be the catalog that was loaded.
  unsigned char header[kHeaderSize];
  if (!ReadExactly(*file_, header, kHeaderSize) ||
      memcmp(header, kCatalogMagic, kMagicSize) != 0 ||
      DecodeFixed32(header + kTreeCrcOffset) != reader_.TreeCrc() ||
      (DecodeFixed32(header + kTreeLengthOffset) & kTreeLengthMask) != reader_.TreeLength()) {
    return false;
  }
  const uint64_t storeStart = kHeaderSize + uint64_t{reader_.TreeLength()};
  unsigned char head[kStoreHeadSize];
  if (!file_->Seek(storeStart) || !ReadExactly(*file_, head, kStoreHeadSize) ||
      head[8] != kStoreMarker) {
    return false;
  }
  storeCrc_ = DecodeFixed32(head);
  dataLength_ = DecodeFixed32(head + 4);
  dataStart_ = storeStart + kStoreHeadSize;
  // A data area that runs past the end of the file is damage; no buffer is
  // sized by what it claims.
  if (dataStart_ + dataLength_ > file_->Size()) return false;
  state_ = State::kOpen;
  return true;
}

bool StoreReader::Verify(const Progress& progress) {
  const bool hold = dataLength_ <= holdLimit_;
  std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[kBlockSize]);
  if (!block || !file_->Seek(dataStart_)) return false;
  std::vector<unsigned char> held;
  if (hold) held.reserve(dataLength_);
  uint32_t crc = 0;
  for (uint64_t done = 0; done < dataLength_;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(dataLength_ - done, kBlockSize));
    if (!ReadExactly(*file_, block.get(), n)) return false;
    crc = crc32::Extend(crc, block.get(), n);
    progress(done, dataLength_);
    if (hold) held.insert(held.end(), block.get(), block.get() + n);
    done += n;
  }
  if (crc != storeCrc_) return false;
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

bool StoreReader::Fetch(int32_t index, bool verify, const Progress& progress,
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
