#include "catalog/catalog_file.h"

#include "catalog/catalog_format.h"
#include "catalog/crc32.h"
#include "platform/env.h"

namespace korvex {

std::string TemporaryCatalogName(const std::string& name) { return name + ".korvex-tmp"; }

bool WriteCatalogFile(Env& env, const std::string& name, const unsigned char* headerAndTree,
                      size_t headerAndTreeSize, const unsigned char* storeData,
                      uint32_t storeSize, std::string* error) {
  std::string ignored;
  std::string& why = error ? *error : ignored;
  std::string temporary = TemporaryCatalogName(name);
  std::unique_ptr<File> out = env.Create(temporary, &why);
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
  if (!ok) why = "write failed";
  // On the disk before it takes the name, so no crash leaves a torn catalog.
  if (ok && !out->Sync()) {
    ok = false;
    why = "sync failed";
  }
  if (!out->Close() && ok) {
    ok = false;
    why = "close failed";
  }
  out.reset();
  ok = ok && env.Rename(temporary, name, &why);
  if (!ok) env.Delete(temporary);
  return ok;
}

}  // namespace korvex
