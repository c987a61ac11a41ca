// Walks a verified tree block record by record, keeping the current entry's
// catalog path ("\DIR\SUB\FILE.EXT", directories with a trailing backslash).
#ifndef KORVEX_CATALOG_TREE_WALKER_H_
#define KORVEX_CATALOG_TREE_WALKER_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "catalog/catalog_format.h"

namespace korvex {

class TreeWalker {
 public:
  TreeWalker(const unsigned char* tree, size_t length, bool withCrc)
      : cursor_(tree, length, withCrc) {
    Rewind();
  }

  void Rewind();
  // The next directory or file, or null once the root has closed (the path
  // is then empty).
  const TreeRecord* Next();

  // Spelt when asked for: a walk that looks only at names never copies them.
  const std::string& path() const;
  // Where the text after the current directory part begins in path(): a
  // file's own name, or the empty end of a directory's path.
  size_t nameStart() const { return levels_.empty() ? 0 : levels_.back(); }
  // Directories open below the root after the record Next returned.
  size_t depth() const { return cursor_.depth(); }

 private:
  RecordCursor cursor_;
  bool started_ = false;
  mutable bool nameMissing_ = false;  // path_ ends before the current file's name
  mutable std::string path_;
  std::vector<size_t> levels_;  // where each open directory's entries begin in path_
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_TREE_WALKER_H_
