// The catalog a host is browsing: recognised from its first bytes, completed
// and verified from the file, then walked one entry at a time.
#ifndef KORVEX_PLUGIN_BROWSER_H_
#define KORVEX_PLUGIN_BROWSER_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>

#include "catalog/catalog_format.h"
#include "plugin/korvexp.h"

namespace korvex {

class Env;

class CatalogBrowser {
 public:
  explicit CatalogBrowser(Env& env) : env_(env) {}

  // True when bytes start a catalog; it then replaces the one held before.
  // False for anything else, which leaves the state as it was, or when even
  // the first part of the tree cannot be held, which drops the old catalog.
  bool Recognise(const unsigned char* bytes, uint32_t length);

  // Reads the part of the tree the first look missed and checks the tree
  // CRC.  On failure the catalog is dropped.
  bool Open(const char* fileName);

  // One of the KORVEXP_ITEM_* results.  After anything but an item the walk
  // has ended and every further call reports KORVEXP_ITEM_MALFORMED.
  int32_t Next(KorvexpFindData* item);

  // Fills info and drops the catalog.
  void Close(KorvexpArchiveInfo* info);

 private:
  enum class Stage { kIdle, kRecognised, kOpen, kEnded };
  // At most this many directories open at once, counting the root.
  static constexpr size_t kLevels = 128;
  static constexpr uint32_t kPathSize = 260;

  bool ReadRest(const char* fileName);
  int32_t Step(KorvexpFindData* item);
  void Drop();

  Env& env_;
  Stage stage_ = Stage::kIdle;
  uint32_t treeCrc_ = 0;
  uint32_t crcFlag_ = 0;
  uint32_t treeLength_ = 0;
  uint32_t firstLook_ = 0;
  // The tree block; until Open completes it holds only the first held_ bytes.
  std::unique_ptr<unsigned char[]> tree_;
  uint32_t held_ = 0;

  std::unique_ptr<RecordCursor> cursor_;  // on the next record to report
  uint32_t levelStart_[kLevels] = {};     // where each open level's names begin in path_
  char path_[kPathSize] = {};
};

}  // namespace korvex

#endif  // KORVEX_PLUGIN_BROWSER_H_
