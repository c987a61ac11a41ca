// A tree in the form the comparison walks: every directory's entries side by
// side, sorted by name as strcmp sorts, whatever order its source gave them.
#ifndef KORVEX_CATALOG_COMPARE_TREE_H_
#define KORVEX_CATALOG_COMPARE_TREE_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <vector>

#include "catalog/tree.h"

namespace korvex {

class CatalogReader;
class Env;

class CompareTree {
 public:
  struct Entry {
    const char* name;    // catalog code page
    const char* fsName;  // as the file system spells it (same as name in a catalog)
    uint64_t size;       // a catalog holds the low 32 bits only
    uint32_t parent;     // index of the directory holding it; the root's is 0
    uint32_t firstChild = 0;  // into Children()
    uint32_t childCount = 0;
    uint32_t below = 0;  // entries anywhere below a directory
    uint32_t time;
    uint32_t crc;        // 0 unless the source holds CRC-32s
    uint8_t attributes;
    // False: a file never opened, read as empty (links, devices), or a
    // directory of the medium that could not be listed.
    bool readable;
    bool isDir() const { return (attributes & 0x10) != 0; }
  };

  // The records of a loaded catalog; names stay in the reader's tree block,
  // which must outlive the tree.
  static std::unique_ptr<CompareTree> FromCatalog(const CatalogReader& reader);
  // A scanned medium.  Names are converted to the catalog's code page with
  // env, as create converts them; fsName stays in the DirNode's names.
  static std::unique_ptr<CompareTree> FromScan(Env& env, const DirNode& root);

  bool hasCrc() const { return hasCrc_; }
  const Entry& entry(uint32_t index) const { return entries_[index]; }
  const Entry& root() const { return entries_[0]; }
  // The sorted entries of directory dir, as indices.
  const uint32_t* Children(const Entry& dir) const { return children_.data() + dir.firstChild; }

 private:
  CompareTree() = default;
  uint32_t Add(uint32_t parent, const Entry& entry);
  // Groups the entries by directory and sorts each directory.
  void Finish();
  void AddScanned(Env& env, const DirNode& dir, uint32_t index);

  bool hasCrc_ = false;
  std::vector<Entry> entries_;    // in the source's order, the root first
  std::vector<uint32_t> children_;
  NamePool names_;                // converted names of a scanned medium
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_COMPARE_TREE_H_
