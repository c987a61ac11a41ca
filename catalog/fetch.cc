#include "catalog/format.h"
#include "catalog/reader.h"
#include "catalog/store_reader.h"
#include "platform/env.h"

namespace korvex {

std::unique_ptr<File> CatalogReader::OpenDataArea(StoreHead* head) const {
  if (!walker_) return nullptr;
  std::unique_ptr<File> in = env_.OpenRead(fileName_);
  if (!in) return nullptr;

  // It must still be the catalog that was loaded.
  unsigned char bytes[kHeaderSize];
  CatalogHeader header;
  if (!in->ReadExactly(bytes, kHeaderSize) || !header.DecodeFrom(bytes, kHeaderSize) ||
      header.treeCrc != header_.treeCrc || header.treeLength != treeLength_) {
    return nullptr;
  }
  const uint64_t storeStart = kHeaderSize + uint64_t{treeLength_};
  if (!in->Seek(storeStart) || !in->ReadExactly(bytes, kStoreHeadSize) ||
      !head->DecodeFrom(bytes, kStoreHeadSize)) {
    return nullptr;
  }
  // A data area that runs past the end of the file is damage; no buffer is
  // sized by what it claims.
  if (storeStart + kStoreHeadSize + head->dataLength > in->Size()) return nullptr;
  return in;
}

bool CatalogReader::FetchStored(bool verify, ProgressObserver& progress,
                                std::vector<unsigned char>* contents) const {
  // One fetch: the data area is streamed past, never held.
  StoreReader store(env_, *this, 0);
  return store.Fetch(storedOrdinal_, verify, progress, contents);
}

}  // namespace korvex
