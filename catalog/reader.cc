#include "catalog/reader.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#include "catalog/crc32.h"
#include "catalog/format.h"
#include "platform/env.h"

namespace korvex {

bool CatalogReader::Load(const std::string& fileName, LoadFailure* failure) {
  tree_.reset();
  walker_.reset();
  treeLength_ = 0;
  fileName_.clear();
  LoadFailure ignored;
  LoadFailure& why = failure ? *failure : ignored;
  auto fail = [&](LoadError error) {
    why.error = error;
    return false;
  };
  std::unique_ptr<File> in = env_.OpenRead(fileName, &why.systemText);
  if (!in) return fail(LoadError::kCannotOpen);
  catalogSize_ = in->Size();
  unsigned char bytes[kHeaderSize];
  size_t got = 0;
  if (!in->Read(bytes, kHeaderSize, &got) || got < kMagicSize ||
      memcmp(bytes, kCatalogMagic, kMagicSize) != 0) {
    return fail(LoadError::kNotCatalog);
  }
  CatalogHeader header;
  // A tree block longer than the file is damage, not a reason to allocate.
  if (!header.DecodeFrom(bytes, got) || !header.FitsIn(catalogSize_)) {
    return fail(LoadError::kTruncated);
  }
  const uint32_t length = header.treeLength;
  std::unique_ptr<unsigned char[]> tree(new (std::nothrow) unsigned char[length == 0 ? 1 : length]);
  if (!tree) return fail(LoadError::kOutOfMemory);
  if (!in->ReadExactly(tree.get(), length)) return fail(LoadError::kTruncated);
  if (crc32::Value(tree.get(), length) != header.treeCrc) return fail(LoadError::kTreeChecksum);
  if (!ValidateTree(tree.get(), length, header.withCrc)) return fail(LoadError::kDamagedTree);
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

const EntryInfo* CatalogReader::NextRecord() {
  const TreeRecord* record = walker().Next();
  if (record != nullptr && (record->attributes & kAttrStored)) ++storedOrdinal_;
  return record;
}

const char* CatalogReader::NextEntry() {
  const EntryInfo* record = NextRecord();
  return record == nullptr ? nullptr : record->name;
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
