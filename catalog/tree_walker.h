// Walks a verified tree block record by record, keeping the current entry's
// catalog path ("\DIR\SUB\FILE.EXT", directories with a trailing backslash).
// The block must have passed ValidateTree, so no step leaves it.
#ifndef KORVEX_CATALOG_TREE_WALKER_H_
#define KORVEX_CATALOG_TREE_WALKER_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace korvex {

// True when every record of the tree block lies complete inside it and the
// root's end-of-directory byte is inside it; bytes after that are ignored.
bool ValidateTree(const unsigned char* tree, size_t length, bool withCrc);

class TreeWalker {
 public:
  TreeWalker(const unsigned char* tree, bool withCrc) : tree_(tree), withCrc_(withCrc) {
    Rewind();
  }

  void Rewind();
  // The next record's name inside the tree block, or null once the root has
  // closed (the path is then empty).
  const char* Next();

  const std::string& path() const { return path_; }
  // Where the text after the current directory part begins in path(): a
  // file's own name, or the empty end of a directory's path.
  size_t nameStart() const { return levels_.empty() ? 0 : levels_.back(); }
  // Directories open below the root after the record Next returned.
  size_t depth() const { return levels_.empty() ? 0 : levels_.size() - 1; }
  // The attribute byte of the record Next returned last.
  uint8_t attributes() const { return attributes_; }

 private:
  const unsigned char* tree_;
  bool withCrc_;
  size_t cursor_ = 0;
  uint8_t attributes_ = 0;
  std::string path_;
  std::vector<size_t> levels_;  // where each open directory's entries begin in path_
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_TREE_WALKER_H_
