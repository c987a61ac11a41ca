#include "catalog/reader.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#include "catalog/coding.h"
#include "catalog/crc32.h"
#include "catalog/format.h"
#include "platform/env.h"

namespace korvex {

bool CatalogReader::Fail(const char* reason) {
  fileName_.clear();
  loadError_ = reason;
  return false;
}

bool CatalogReader::Load(const std::string& fileName) {
  tree_.reset();
  walker_.reset();
  treeLength_ = 0;
  fileName_ = fileName;
  loadError_ = "cannot open";
  std::unique_ptr<File> in = env_.OpenRead(fileName);
  if (!in) return false;
  catalogSize_ = in->Size();
  unsigned char header[kHeaderSize];
  size_t got = 0;
  if (!in->Read(header, kHeaderSize, &got)) return Fail("read error");
  if (got < kMagicSize || memcmp(header, kCatalogMagic, kMagicSize) != 0) {
    return Fail("not a catalog");
  }
  const uint32_t word = DecodeFixed32(header + kTreeLengthOffset);
  const uint32_t length = word & kTreeLengthMask;
  // A tree block longer than the file is damage, not a reason to allocate.
  if (got != kHeaderSize || catalogSize_ < kHeaderSize || length > catalogSize_ - kHeaderSize) {
    return Fail("truncated");
  }
  std::unique_ptr<unsigned char[]> tree(new (std::nothrow) unsigned char[8 + size_t{length}]);
  if (!tree) return Fail("out of memory");
  memcpy(tree.get(), header + kTreeCrcOffset, 8);
  const uint32_t crc = DecodeFixed32(header + kTreeCrcOffset);
  if (!in->Read(tree.get() + 8, length, &got)) return Fail("read error");
  if (got != length) return Fail("truncated");
  if (crc32::Value(tree.get() + 8, length) != crc) return Fail("tree checksum mismatch");
  if (!ValidateTree(tree.get() + 8, length, (word & kCrcFlag) != 0)) {
    return Fail("damaged tree block");
  }
  loadError_ = "";
  treeCrc_ = crc;
  treeLengthWord_ = word;
  treeLength_ = length;
  tree_ = std::move(tree);
  walker_.reset(new TreeWalker(tree_.get() + 8, (word & kCrcFlag) != 0));
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
  const char* name = walker().Next();
  if (name != nullptr && (walker().attributes() & kAttrStored)) ++storedOrdinal_;
  return name;
}

void CatalogReader::DecodeEntry(const char* name, EntryInfo* info) const {
  const unsigned char* record = reinterpret_cast<const unsigned char*>(name);
  size_t n = strlen(name);
  info->name = name;
  info->attributes = record[n + 1];
  info->time = DecodeFixed32(record + n + 2);
  bool isDir = info->attributes & kAttrDirectory;
  // A directory record ends after its time: nothing more is read.
  info->size = isDir ? 0 : DecodeFixed32(record + n + 6);
  info->crc = (isDir || !HasCrc()) ? 0 : DecodeFixed32(record + n + 10);
}

bool CatalogReader::HasCrc() const {
  walker();
  return (treeLengthWord_ & kCrcFlag) != 0;
}

const unsigned char* CatalogReader::Tree() const {
  walker();
  return tree_.get() + 8;
}

}  // namespace korvex
