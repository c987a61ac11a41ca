#include "catalog/tree_walker.h"

namespace korvex {

void TreeWalker::Rewind() {
  cursor_.SeekToFirst();
  started_ = false;
  nameMissing_ = false;
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
    nameMissing_ = false;
    return nullptr;
  }
  const TreeRecord& record = cursor_.record();
  nameMissing_ = record.kind == TreeRecord::kFile;
  if (record.kind == TreeRecord::kDirectory) {
    path_.resize(levels_.back());
    path_.append(record.name, record.nameLength);
    path_.push_back('\\');
    levels_.push_back(path_.size());
  }
  return &record;
}

const std::string& TreeWalker::path() const {
  if (nameMissing_) {
    nameMissing_ = false;
    const TreeRecord& record = cursor_.record();
    path_.resize(levels_.back());
    path_.append(record.name, record.nameLength);
  }
  return path_;
}

}  // namespace korvex
