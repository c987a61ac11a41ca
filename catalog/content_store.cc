#include "catalog/content_store.h"

#include <string.h>

#include <new>

#include "catalog/coding.h"

namespace korvex {

bool ContentStoreBuilder::Reset(uint32_t slotCount, uint32_t capacity) {
  index_.clear();
  slotCount_ = slotCount;
  slotsFilled_ = 0;
  capacity_ = capacity;
  dataCursor_ = 4 * slotCount;
  // Unused slots stay zero rather than holding stale memory.
  base_.reset(new (std::nothrow) unsigned char[capacity == 0 ? 1 : capacity]());
  return base_ != nullptr && dataCursor_ <= capacity;
}

unsigned char* ContentStoreBuilder::Reserve(uint32_t size) {
  if (slotsFilled_ >= slotCount_ || capacity_ - dataCursor_ < 4 ||
      capacity_ - dataCursor_ - 4 < size) {
    return nullptr;
  }
  EncodeFixed32(base_.get() + 4 * slotsFilled_, dataCursor_);
  return base_.get() + dataCursor_ + 4;
}

void ContentStoreBuilder::Commit(uint32_t size, uint32_t crc) {
  unsigned char* slot = base_.get() + 4 * slotsFilled_;
  const unsigned char* fresh = base_.get() + dataCursor_ + 4;
  std::vector<uint32_t>& same = index_[(static_cast<uint64_t>(size) << 32) | crc];
  for (uint32_t offset : same) {
    if (memcmp(base_.get() + offset + 4, fresh, size) == 0) {
      EncodeFixed32(slot, offset);
      ++slotsFilled_;
      return;
    }
  }
  same.push_back(dataCursor_);
  EncodeFixed32(base_.get() + dataCursor_, size);
  dataCursor_ += 4 + size;
  ++slotsFilled_;
}

}  // namespace korvex
