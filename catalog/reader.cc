#include "catalog/reader.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#include "catalog/crc32.h"
#include "catalog/format.h"
#include "platform/env.h"

namespace korvex {

bool CatalogReader::Load(const std::string& fileName) {
  tree_.reset();
  walker_.reset();
  treeLength_ = 0;
  fileName_.clear();
  std::unique_ptr<File> in = env_.OpenRead(fileName);
  if (!in) return false;
  catalogSize_ = in->Size();
  unsigned char bytes[kHeaderSize];
  size_t got = 0;
  CatalogHeader header;
  // A tree block longer than the file is damage, not a reason to allocate.
  if (!in->Read(bytes, kHeaderSize, &got) || !header.DecodeFrom(bytes, got) ||
      !header.FitsIn(catalogSize_)) {
    return false;
  }
  const uint32_t length = header.treeLength;
  std::unique_ptr<unsigned char[]> tree(new (std::nothrow) unsigned char[length == 0 ? 1 : length]);
  if (!tree || !in->Read(tree.get(), length, &got) || got != length ||
      crc32::Value(tree.get(), length) != header.treeCrc ||
      !ValidateTree(tree.get(), length, header.withCrc)) {
    return false;
  }
  fileName_ = fileName;
  header_ = header;
  treeLength_ = length;
  tree_ = std::move(tree);
  walker_.reset(new TreeWalker(tree_.get(), length, header.withCrc));
  Rewind();
  return true;
}

const TreeWalker& CatalogReader::walker() const {
  if (!walker_) {
    // Callers stop after a failed Load; reaching here is a programming error.
    fputs("korvex: catalog reader used without a loaded catalog\n", stderr);
    abort();
  }
  return *walker_;
}

TreeWalker& CatalogReader::walker() {
  return const_cast<TreeWalker&>(static_cast<const CatalogReader*>(this)->walker());
}

void CatalogReader::Rewind() {
  walker().Rewind();
  storedOrdinal_ = -1;
}

const char* CatalogReader::NextEntry() {
  const TreeRecord* record = walker().Next();
  if (record == nullptr) return nullptr;
  if (record->attributes & kAttrStored) ++storedOrdinal_;
  return record->name;
}

void CatalogReader::DecodeEntry(const char* name, EntryInfo* info) const {
  const unsigned char* record = reinterpret_cast<const unsigned char*>(name);
  DecodeRecord(record, Tree() + treeLength_ - record, HasCrc(), info);
}

bool CatalogReader::HasCrc() const {
  walker();
  return header_.withCrc;
}

const unsigned char* CatalogReader::Tree() const {
  walker();
  return tree_.get();
}

}  // namespace korvex
