// The in-memory tree of a scanned directory, and the scanner that builds it.
#ifndef KORVEX_CATALOG_TREE_H_
#define KORVEX_CATALOG_TREE_H_

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

namespace korvex {

class Env;
class ProgressObserver;
struct DirEntry;

struct ScanOptions {
  bool storageEnabled = false;
  // A file is eligible for storage only when its size is strictly below this.
  uint32_t maxStoredSize = 0xFFFFFFFFu;
  std::vector<std::string> storeMasks;  // upper-cased
};

struct ScanTotals {
  int32_t dirCount = 0;  // the scanned root is not counted
  int32_t fileCount = 0;
  int64_t totalBytes = 0;
  int64_t selectedBytes = 0;
  int32_t selectedCount = 0;
  int32_t unlistedDirs = 0;  // below the root, kept as empty
};

// What one scan works through and what it counts.
struct ScanContext {
  ScanContext(Env& e, ProgressObserver& p) : env(e), progress(p) {}
  Env& env;
  ProgressObserver& progress;
  ScanOptions options;
  ScanTotals totals;
};

// Holds the file names of one tree in large blocks, so that a million short
// names cost their bytes and not a million allocations.
class NamePool {
 public:
  // A modifiable copy of name (with its terminator) that lives as long as
  // the pool.
  char* Add(const char* name, size_t length);

 private:
  static const size_t kBlock = 1 << 16;
  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t used_ = kBlock;
};

class FileNode {
 public:
  // Counts and reports the file and selects it for storage.
  FileNode(ScanContext& ctx, NamePool& names, const DirEntry& entry);

  const char* name() const { return name_; }
  char* mutableName() { return name_; }
  uint32_t nameLength() const { return nameLength_; }
  // The size field keeps the low 32 bits; passes read the whole file.
  uint32_t size32() const { return static_cast<uint32_t>(size); }

  uint64_t size;
  uint32_t time;
  uint32_t crc = 0;
  uint8_t attributes;  // bit 0x08 is the stored flag
  bool readable;       // false: never opened, read as empty

 private:
  uint32_t nameLength_;  // packed beside the flags: 32 bytes a node
  char* name_;           // in the tree's NamePool
};

class DirNode {
 public:
  DirNode();  // the root: empty name, time 0, attributes 0x10
  DirNode(ScanContext& ctx, std::shared_ptr<NamePool> names, const DirEntry& entry);
  virtual ~DirNode() = default;

  // Enumerates parentPath + name + separator, sorts the entries by name as
  // strcmp does, then scans every subdirectory, counting and reporting those
  // that cannot be listed.  False, with *error (when given) saying why, when
  // this directory cannot be listed, or not all of it; it keeps what was.
  bool Scan(ScanContext& ctx, const std::string& parentPath, std::string* error = nullptr);

  std::string name;
  uint32_t time;
  uint8_t attributes;
  bool listed = false;  // set by Scan; false: its entries are not all known
  std::vector<FileNode> files;
  std::vector<std::unique_ptr<DirNode>> subdirectories;

 private:
  std::shared_ptr<NamePool> names_;  // shared by the whole tree
};

// Upper-cases the ASCII letters a to z in place.
void UpperAscii(std::string* text);

}  // namespace korvex

#endif  // KORVEX_CATALOG_TREE_H_
