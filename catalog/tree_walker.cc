#include "catalog/tree_walker.h"

#include <string.h>

#include "catalog/format.h"

namespace korvex {

bool ValidateTree(const unsigned char* tree, size_t length, bool withCrc) {
  const size_t fileExtra = withCrc ? kFileRecordCrcExtra : kFileRecordExtra;
  size_t pos = 0;
  size_t depth = 0;
  while (pos < length) {
    if (tree[pos] == kEndOfDirectory) {
      ++pos;
      if (depth == 0) return true;
      --depth;
      continue;
    }
    const void* nul = memchr(tree + pos, 0, length - pos);
    if (nul == nullptr) return false;
    size_t n = static_cast<const unsigned char*>(nul) - (tree + pos);
    if (length - pos < n + 2) return false;  // the attribute byte
    bool isDir = tree[pos + n + 1] & kAttrDirectory;
    size_t record = n + (isDir ? size_t{kDirRecordExtra} : fileExtra);
    if (length - pos < record) return false;
    pos += record;
    if (isDir) ++depth;
  }
  return false;
}

void TreeWalker::Rewind() {
  cursor_ = 0;
  path_.assign(1, '\\');
  levels_.assign(1, 1);
}

const char* TreeWalker::Next() {
  if (levels_.empty()) return nullptr;  // the walk has ended
  while (tree_[cursor_] == kEndOfDirectory) {
    levels_.pop_back();
    if (levels_.empty()) {
      path_.clear();
      return nullptr;
    }
    path_.resize(levels_.back());
    ++cursor_;
  }
  const char* name = reinterpret_cast<const char*>(tree_ + cursor_);
  size_t n = strlen(name);
  path_.resize(levels_.back());
  path_.append(name, n);
  attributes_ = tree_[cursor_ + n + 1];
  if (attributes_ & kAttrDirectory) {
    path_.push_back('\\');
    levels_.push_back(path_.size());
    cursor_ += n + kDirRecordExtra;
  } else {
    cursor_ += n + (withCrc_ ? kFileRecordCrcExtra : kFileRecordExtra);
  }
  return name;
}

}  // namespace korvex
