#include "catalog/tree_walker.h"

namespace korvex {

void TreeWalker::Rewind() {
  cursor_.SeekToFirst();
  started_ = false;
  path_.assign(1, '\\');
  levels_.assign(1, 1);
}

const TreeRecord* TreeWalker::Next() {
  if (started_) cursor_.Next();
  started_ = true;
  while (cursor_.Valid() && cursor_.record().kind == TreeRecord::kEnd) {
    levels_.pop_back();
    cursor_.Next();
  }
  if (!cursor_.Valid()) {
    levels_.clear();
    path_.clear();
    return nullptr;
  }
  const TreeRecord& record = cursor_.record();
  path_.resize(levels_.back());
  path_.append(record.name, record.nameLength);
  if (record.kind == TreeRecord::kDirectory) {
    path_.push_back('\\');
    levels_.push_back(path_.size());
  }
  return &record;
}

}  // namespace korvex
