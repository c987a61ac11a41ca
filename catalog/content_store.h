// Builds the data area of a catalog's content store: an offset table of one
// slot per selected file, then content records (a 32-bit size and the bytes).
// Identical contents are kept once.
#ifndef KORVEX_CATALOG_CONTENT_STORE_H_
#define KORVEX_CATALOG_CONTENT_STORE_H_

#include <stdint.h>

#include <memory>

namespace korvex {

class ContentStoreBuilder {
 public:
  // Allocates room for slotCount slots and capacity bytes in all (slots
  // included), and an index of 16 to 32 bytes a slot.  False when the
  // memory cannot be had.
  bool Reset(uint32_t slotCount, uint32_t capacity);

  // Reserves the next record: fills the next slot with the data cursor's
  // offset and returns where the contents go, with room for `size` bytes.
  // Null when the store has no room for them (a caller's bookkeeping fault).
  unsigned char* Reserve(uint32_t size);

  // Starts fetching what a Commit of (size, crc) will look up first, so that
  // work done in between (closing the file) hides the memory latency.
  void Prepare(uint32_t size, uint32_t crc) const;

  // The contents of `size` bytes were copied to the reserved place in full.
  // Shares an earlier record with equal bytes, or keeps the new one.
  void Commit(uint32_t size, uint32_t crc);

  // The data area so far: the offset table and the records committed.
  const unsigned char* data() const { return base_.get(); }
  uint32_t used() const { return dataCursor_; }

 private:
  // One record of the index; offset 0 marks a free entry (records never
  // start there: the offset table does).
  struct IndexEntry {
    uint32_t crc;
    uint32_t offset;
  };

  uint64_t IndexHome(uint32_t size, uint32_t crc) const;

  std::unique_ptr<unsigned char[]> base_;
  uint32_t capacity_ = 0;
  uint32_t slotCount_ = 0;
  uint32_t slotsFilled_ = 0;
  uint32_t dataCursor_ = 0;
  // The records by (size, CRC-32), open addressing with linear probing.
  // Sized at Reset to at least twice the slots, so it never fills or grows,
  // and one lookup is mostly one cache line.  Records with equal keys but
  // different bytes each have an entry.
  std::unique_ptr<IndexEntry[]> index_;
  uint64_t indexMask_ = 0;
  int indexShift_ = 64;
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_CONTENT_STORE_H_
