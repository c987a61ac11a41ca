// The in-memory tree of a scanned directory, and the scanner that builds it.
#ifndef KORVEX_CATALOG_TREE_H_
#define KORVEX_CATALOG_TREE_H_

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

namespace korvex {

struct Context;
struct DirEntry;

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
  // Counts the file, turns the spinner and selects the file for storage.
  FileNode(Context& ctx, NamePool& names, const DirEntry& entry);

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
  DirNode(Context& ctx, std::shared_ptr<NamePool> names, const DirEntry& entry);
  virtual ~DirNode() = default;

  // Enumerates parentPath + name + separator, sorts the entries by name as
  // strcmp does, then scans every subdirectory.  False when the directory
  // cannot be listed; it then keeps no entries.
  bool Scan(Context& ctx, const std::string& parentPath);

  std::string name;
  uint32_t time;
  uint8_t attributes;
  std::vector<FileNode> files;
  std::vector<std::unique_ptr<DirNode>> subdirectories;

 private:
  std::shared_ptr<NamePool> names_;  // shared by the whole tree
};

// Upper-cases the ASCII letters a to z in place.
void UpperAscii(std::string* text);

}  // namespace korvex

#endif  // KORVEX_CATALOG_TREE_H_
