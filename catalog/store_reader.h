// The content store of a loaded catalog, opened once for any number of
// fetches: the catalog is checked to be the one loaded once, its store CRC
// at most once, and each record is read once.
#ifndef KORVEX_CATALOG_STORE_READER_H_
#define KORVEX_CATALOG_STORE_READER_H_

#include <stdint.h>

#include <memory>
#include <vector>

namespace korvex {

class BlockReader;
class CatalogReader;
class Env;
class File;
class ProgressObserver;

class StoreReader {
 public:
  // holdLimit: a data area of at most this many bytes is kept in memory by
  // the check, so later fetches read nothing more.  The reader must stay
  // loaded while the store is used.
  StoreReader(Env& env, const CatalogReader& reader, uint64_t holdLimit);
  ~StoreReader();

  // The contents of stored file index.  With verify the whole data area is
  // first checked against the store CRC, once for all fetches, reporting its
  // progress.  False when
  // the catalog changed since it was loaded, has no content store, is
  // damaged, or the record lies outside the data area.
  bool Fetch(int32_t index, bool verify, ProgressObserver& progress,
             std::vector<unsigned char>* contents);

  // Reads the whole data area through reader, checks it against the store
  // CRC and keeps it, whatever the hold limit.  False when the catalog
  // changed since it was loaded, has no content store, or is damaged.
  bool HoldAll(BlockReader& reader);
  // After HoldAll: the bytes of stored file index, which must be size
  // bytes long; null when its slot or record lies outside the data area or
  // holds another size.  They last as long as the store.
  const unsigned char* HeldContents(int32_t index, uint32_t size);

 private:
  enum class State { kClosed, kOpen, kBroken };
  bool Open();
  bool Verify(BlockReader& reader, ProgressObserver& progress, bool hold);
  // Where the record of stored file index lies: its bytes start at *offset
  // and are *size long, all inside the data area.
  bool Locate(int32_t index, uint64_t* offset, uint64_t* size);
  // n bytes at a position of the data area.
  bool ReadData(uint64_t position, void* out, size_t n);

  Env& env_;
  const CatalogReader& reader_;
  const uint64_t holdLimit_;
  State state_ = State::kClosed;
  bool verified_ = false;
  std::unique_ptr<File> file_;
  uint32_t storeCrc_ = 0;
  uint64_t dataStart_ = 0;
  uint64_t dataLength_ = 0;
  std::vector<unsigned char> held_;  // the data area, when the check kept it
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_STORE_READER_H_
