#include "catalog/catalog_file.h"

#include "catalog/catalog_format.h"
#include "catalog/crc32.h"
#include "platform/env.h"

namespace korvex {

std::string TemporaryCatalogName(const std::string& name) { return name + ".korvex-tmp"; }

bool WriteCatalogFile(Env& env, const std::string& name, const unsigned char* headerAndTree,
                      size_t headerAndTreeSize, const unsigned char* storeData,
                      uint32_t storeSize) {
  std::string temporary = TemporaryCatalogName(name);
  std::unique_ptr<File> out = env.Create(temporary);
  if (!out) return false;
  bool ok = out->Write(headerAndTree, headerAndTreeSize);
  if (ok && storeData != nullptr) {
    StoreHead store;
    store.crc = crc32::Value(storeData, storeSize);
    store.dataLength = storeSize;
    unsigned char head[kStoreHeadSize];
    store.EncodeTo(head);
    ok = out->Write(head, sizeof head) && out->Write(storeData, storeSize);
  }
  // On the disk before it takes the name, so no crash leaves a torn catalog.
  ok = ok && out->Sync();
  ok = out->Close() && ok;
  out.reset();
  ok = ok && env.Rename(temporary, name);
  if (!ok) env.Delete(temporary);
  return ok;
}

}  // namespace korvex
