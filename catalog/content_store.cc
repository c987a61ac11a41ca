#include "catalog/content_store.h"

#include <string.h>

#include <new>

#include "catalog/coding.h"

namespace korvex {

bool ContentStoreBuilder::Reset(uint32_t slotCount, uint32_t capacity) {
  slotCount_ = slotCount;
  slotsFilled_ = 0;
  capacity_ = capacity;
  dataCursor_ = 4 * slotCount;
  base_.reset(new (std::nothrow) unsigned char[capacity == 0 ? 1 : capacity]);
  // Unused slots stay zero rather than holding stale memory; the records are
  // written in full before they count, so the rest needs no clearing.
  if (base_ != nullptr && dataCursor_ <= capacity) memset(base_.get(), 0, dataCursor_);
  int bits = 1;
  while ((uint64_t{1} << bits) < 2 * uint64_t{slotCount}) ++bits;
  indexShift_ = 64 - bits;
  indexMask_ = (uint64_t{1} << bits) - 1;
  index_.reset(new (std::nothrow) IndexEntry[indexMask_ + 1]());
  return base_ != nullptr && index_ != nullptr && dataCursor_ <= capacity;
}

unsigned char* ContentStoreBuilder::Reserve(uint32_t size) {
  if (slotsFilled_ >= slotCount_ || capacity_ - dataCursor_ < 4 ||
      capacity_ - dataCursor_ - 4 < size) {
    return nullptr;
  }
  EncodeFixed32(base_.get() + 4 * slotsFilled_, dataCursor_);
  return base_.get() + dataCursor_ + 4;
}

uint64_t ContentStoreBuilder::IndexHome(uint32_t size, uint32_t crc) const {
  return (((uint64_t{size} << 32) | crc) * 0x9E3779B97F4A7C15ull) >> indexShift_;
}

void ContentStoreBuilder::Prepare(uint32_t size, uint32_t crc) const {
  __builtin_prefetch(&index_[IndexHome(size, crc)]);
}

void ContentStoreBuilder::Commit(uint32_t size, uint32_t crc) {
  unsigned char* slot = base_.get() + 4 * slotsFilled_;
  const unsigned char* fresh = base_.get() + dataCursor_ + 4;
  uint64_t at = IndexHome(size, crc);
  for (;; at = (at + 1) & indexMask_) {
    IndexEntry& entry = index_[at];
    if (entry.offset == 0) break;
    if (entry.crc == crc && DecodeFixed32(base_.get() + entry.offset) == size &&
        memcmp(base_.get() + entry.offset + 4, fresh, size) == 0) {
      EncodeFixed32(slot, entry.offset);
      ++slotsFilled_;
      return;
    }
  }
  index_[at] = IndexEntry{crc, dataCursor_};
  EncodeFixed32(base_.get() + dataCursor_, size);
  dataCursor_ += 4 + size;
  ++slotsFilled_;
}

}  // namespace korvex
