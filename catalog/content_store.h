// Builds the data area of a catalog's content store: an offset table of one
// slot per selected file, then content records (a 32-bit size and the bytes).
// Identical contents are kept once.
#ifndef KORVEX_CATALOG_CONTENT_STORE_H_
#define KORVEX_CATALOG_CONTENT_STORE_H_

#include <stdint.h>

#include <memory>
#include <unordered_map>
#include <vector>

namespace korvex {

class ContentStoreBuilder {
 public:
  // Allocates room for slotCount slots and capacity bytes in all (slots
  // included).  False when the memory cannot be had.
  bool Reset(uint32_t slotCount, uint32_t capacity);

  // Reserves the next record: fills the next slot with the data cursor's
  // offset and returns where the contents go, with room for `size` bytes.
  // Null when the store has no room for them (a caller's bookkeeping fault).
  unsigned char* Reserve(uint32_t size);

  // The contents of `size` bytes were copied to the reserved place in full.
  // Shares an earlier record with equal bytes, or keeps the new one.
  void Commit(uint32_t size, uint32_t crc);

  // The data area so far: the offset table and the records committed.
  const unsigned char* data() const { return base_.get(); }
  uint32_t used() const { return dataCursor_; }

 private:
  std::unique_ptr<unsigned char[]> base_;
  uint32_t capacity_ = 0;
  uint32_t slotCount_ = 0;
  uint32_t slotsFilled_ = 0;
  uint32_t dataCursor_ = 0;
  // (size, CRC-32) to the offsets of the records that have them; records
  // with equal keys but different bytes are all kept.
  std::unordered_map<uint64_t, std::vector<uint32_t>> index_;
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_CONTENT_STORE_H_
