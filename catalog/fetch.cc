#include "catalog/reader.h"
#include "catalog/store_reader.h"

namespace korvex {

bool CatalogReader::FetchStored(bool verify, ProgressObserver& progress,
                                std::vector<unsigned char>* contents) const {
  // One fetch: the data area is streamed past, never held.
  StoreReader store(env_, *this, 0);
  return store.Fetch(storedOrdinal_, verify, progress, contents);
}

}  // namespace korvex
