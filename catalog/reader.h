// Loads a catalog's tree block, verifies it, and walks it entry by entry.
// The reader keeps no file open; FetchStored opens the catalog again by name.
#ifndef KORVEX_CATALOG_READER_H_
#define KORVEX_CATALOG_READER_H_

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "catalog/store_reader.h"
#include "catalog/tree_walker.h"

namespace korvex {

class Env;
struct Context;

struct EntryInfo {
  const char* name;    // inside the tree block, OEM code page
  uint8_t attributes;  // 0x10 directory, 0x08 stored
  uint32_t time;
  uint32_t size;       // 0 for directories
  uint32_t crc;        // 0 unless the catalog has CRC fields and this is a file
};

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

// The "Extr" progress display of a store check.
StoreReader::Progress StoreCheckProgress(Context& ctx);

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
  // "\DIR\FILE.EXT" after a file, "\DIR\SUB\" after a directory.
  const std::string& CurrentPath() const { return walker().path(); }
  // Where the part after the directories begins in CurrentPath().
  size_t CurrentNameStart() const { return walker().nameStart(); }
  void DecodeEntry(const char* name, EntryInfo* info) const;

  bool HasCrc() const;
  uint64_t CatalogSize() const { return catalogSize_; }
  uint32_t TreeLength() const { return treeLength_; }
  // The tree block as loaded, for walks of one's own.
  const unsigned char* Tree() const;
  int32_t StoredOrdinal() const { return storedOrdinal_; }
  // Directories open below the root after the record NextEntry returned.
  size_t CurrentDepth() const { return walker().depth(); }
  const std::string& FileName() const { return fileName_; }
  uint32_t TreeCrc() const { return treeCrc_; }

  // The contents of the stored file NextEntry returned last.  With
  // ctx.options.crcEnabled the whole data area is read and checked against
  // the store CRC, with the "Extr" progress display.  False when the catalog
  // changed since Load, has no content store, is damaged, or the record lies
  // outside the data area.
  bool FetchStored(Context& ctx, std::vector<unsigned char>* contents) const;

 private:
  const TreeWalker& walker() const;
  TreeWalker& walker();

  Env& env_;
  std::string fileName_;
  uint64_t catalogSize_ = 0;
  uint32_t treeCrc_ = 0;
  uint32_t treeLengthWord_ = 0;
  uint32_t treeLength_ = 0;
  int32_t storedOrdinal_ = -1;
  std::unique_ptr<unsigned char[]> tree_;  // 8 header bytes, then the tree block
  std::unique_ptr<TreeWalker> walker_;
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_READER_H_
