// Loads a catalog's tree block, verifies it, and walks it entry by entry.
// The reader keeps no file open; FetchStored opens the catalog again by name.
#ifndef KORVEX_CATALOG_READER_H_
#define KORVEX_CATALOG_READER_H_

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "catalog/catalog_format.h"
#include "catalog/tree_walker.h"

namespace korvex {

class Env;
class File;
class ProgressObserver;

// An entry of the walk: its name inside the tree block, attributes, time,
// size (0 for directories) and CRC (0 without CRC fields).
using EntryInfo = TreeRecord;

// Why Load failed.
enum class LoadError {
  kNone,
  kCannotOpen,  // the system's reason is in LoadFailure::systemText
  kNotCatalog,
  kTruncated,
  kTreeChecksum,
  kDamagedTree,
  kOutOfMemory,
};

struct LoadFailure {
  LoadError error = LoadError::kNone;
  std::string systemText;
};

class CatalogReader {
 public:
  explicit CatalogReader(Env& env) : env_(env) {}
  virtual ~CatalogReader() = default;

  // Opens the catalog, checks the magic and the tree CRC and that the tree
  // block is well formed.  False, with nothing loaded, on any failure; then
  // *failure (when given) says why.
  bool Load(const std::string& fileName, LoadFailure* failure = nullptr);

  // The walk; only while a tree block is loaded.
  void Rewind();
  const char* NextEntry();
  // The same step, the record decoded; it lasts until the next step.
  const EntryInfo* NextRecord();
  // "\DIR\FILE.EXT" after a file, "\DIR\SUB\" after a directory.
  const std::string& CurrentPath() const { return walker().path(); }
  // Where the part after the directories begins in CurrentPath().
  size_t CurrentNameStart() const { return walker().nameStart(); }
  // The record whose name NextEntry returned.
  void DecodeEntry(const char* name, EntryInfo* info) const;

  bool HasCrc() const;
  uint64_t CatalogSize() const { return catalogSize_; }
  uint32_t TreeLength() const { return treeLength_; }
  // The tree block as loaded, for walks of one's own.
  const unsigned char* Tree() const;
  int32_t StoredOrdinal() const { return storedOrdinal_; }
  // Directories open below the root after the record NextEntry returned.
  size_t CurrentDepth() const { return walker().depth(); }

  // The contents of the stored file NextEntry returned last.  To verify,
  // the whole data area is read, reporting its progress, and checked
  // against the store CRC.  False when the catalog changed since Load, has
  // no content store, is damaged, or the record lies outside the data area.
  bool FetchStored(bool verify, ProgressObserver& progress,
                   std::vector<unsigned char>* contents) const;
  // The catalog opened again, checked to be the one loaded, with its store
  // head read and the data area inside the file; null otherwise.  The file
  // is left at the start of the data area.
  std::unique_ptr<File> OpenDataArea(StoreHead* head) const;

 private:
  const TreeWalker& walker() const;
  TreeWalker& walker();

  Env& env_;
  std::string fileName_;
  uint64_t catalogSize_ = 0;
  CatalogHeader header_;
  uint32_t treeLength_ = 0;
  int32_t storedOrdinal_ = -1;
  std::unique_ptr<unsigned char[]> tree_;
  std::unique_ptr<TreeWalker> walker_;
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_READER_H_
