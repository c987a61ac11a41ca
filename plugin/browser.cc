#include "plugin/browser.h"

#include <string.h>

#include <algorithm>
#include <new>

#include "catalog/catalog_format.h"
#include "catalog/crc32.h"
#include "catalog/format.h"
#include "platform/env.h"

namespace korvex {
namespace {

// 100 ns units from 1601 to 1970.
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

void SetFileTime(KorvexpFileTime* out, uint32_t seconds) {
  uint64_t ticks = static_cast<uint64_t>(seconds) * 10000000u + kUnixEpochAsFileTime;
  out->dwLowDateTime = static_cast<uint32_t>(ticks);
  out->dwHighDateTime = static_cast<uint32_t>(ticks >> 32);
}

}  // namespace

bool CatalogBrowser::Recognise(const unsigned char* bytes, uint32_t length) {
  CatalogHeader header;
  if (length <= kHeaderSize || !header.DecodeFrom(bytes, length)) return false;
  const uint32_t treeLength = header.treeLength;
  // Only the part in hand is held now: the header alone cannot say whether
  // a large tree length is real, the file size can (Open).
  uint32_t part = std::min(length - kHeaderSize, treeLength);
  std::unique_ptr<unsigned char[]> tree(new (std::nothrow) unsigned char[part]);
  if (tree == nullptr) {
    Drop();
    return false;
  }
  memcpy(tree.get(), bytes + kHeaderSize, part);
  tree_ = std::move(tree);
  held_ = part;
  treeCrc_ = header.treeCrc;
  crcFlag_ = header.withCrc ? 1 : 0;
  treeLength_ = treeLength;
  firstLook_ = length;
  stage_ = Stage::kRecognised;
  return true;
}

bool CatalogBrowser::Open(const char* fileName) {
  if (stage_ == Stage::kIdle) return false;
  if ((held_ < treeLength_ && !ReadRest(fileName)) ||
      crc32::Value(tree_.get(), treeLength_) != treeCrc_) {
    Drop();
    return false;
  }
  cursor_.reset(new RecordCursor(tree_.get(), treeLength_, crcFlag_ != 0));
  levelStart_[0] = 0;
  stage_ = Stage::kOpen;
  return true;
}

// The first look ended inside the tree, so it was exactly header plus held_
// bytes long and the rest starts at file offset firstLook_.
bool CatalogBrowser::ReadRest(const char* fileName) {
  std::unique_ptr<File> file = env_.OpenRead(fileName);
  if (file == nullptr) return false;
  uint32_t remaining = treeLength_ - held_;
  if (file->Size() < static_cast<uint64_t>(firstLook_) + remaining) return false;
  std::unique_ptr<unsigned char[]> tree(new (std::nothrow) unsigned char[treeLength_]);
  if (tree == nullptr || !file->Seek(firstLook_)) return false;
  memcpy(tree.get(), tree_.get(), held_);
  for (uint32_t at = held_; at < treeLength_;) {
    size_t want = std::min<uint32_t>(treeLength_ - at, kBlockSize);
    if (!file->ReadExactly(tree.get() + at, want)) return false;
    at += static_cast<uint32_t>(want);
  }
  tree_ = std::move(tree);
  held_ = treeLength_;
  return true;
}

int32_t CatalogBrowser::Next(KorvexpFindData* item) {
  if (stage_ != Stage::kOpen) return KORVEXP_ITEM_MALFORMED;
  int32_t result = Step(item);
  if (result != KORVEXP_ITEM_WRITTEN) stage_ = Stage::kEnded;
  return result;
}

// Checks the whole record, and that its path fits, before writing anything.
int32_t CatalogBrowser::Step(KorvexpFindData* item) {
  RecordCursor& cursor = *cursor_;
  for (; cursor.Valid() && cursor.record().kind == TreeRecord::kEnd; cursor.Next()) {
  }
  if (!cursor.Valid()) {
    const bool clean = cursor.status() == TreeError::kNone && cursor.offset() == treeLength_;
    return clean ? KORVEXP_ITEM_END : KORVEXP_ITEM_MALFORMED;
  }
  const TreeRecord& record = cursor.record();
  const bool isDirectory = record.kind == TreeRecord::kDirectory;
  const size_t depth = cursor.depth() - (isDirectory ? 1 : 0);
  const uint32_t pathLength = levelStart_[depth];
  const size_t n = record.nameLength;
  // The path and the name, then a NUL in cFileName or a '\' in path_.
  if (pathLength + n + 1 > kPathSize) return KORVEXP_ITEM_MALFORMED;
  if (isDirectory && cursor.depth() >= kLevels) return KORVEXP_ITEM_MALFORMED;

  item->dwFileAttributes = record.attributes;
  SetFileTime(&item->ftLastWriteTime, record.time);
  memcpy(item->cFileName, path_, pathLength);
  memcpy(item->cFileName + pathLength, record.name, n);
  item->cFileName[pathLength + n] = '\0';
  item->nFileSizeLow = record.size;
  if (isDirectory) {
    memcpy(path_ + pathLength, record.name, n);
    path_[pathLength + n] = '\\';
    levelStart_[cursor.depth()] = pathLength + static_cast<uint32_t>(n) + 1;
  }
  cursor.Next();
  return KORVEXP_ITEM_WRITTEN;
}

void CatalogBrowser::Close(KorvexpArchiveInfo* info) {
  info->reserved[0] = 0;
  info->reserved[1] = 0;
  info->reserved[2] = 0;
  info->crcFlag = crcFlag_;
  info->reserved4 = 0;
  Drop();
}

void CatalogBrowser::Drop() {
  cursor_.reset();
  tree_.reset();
  held_ = 0;
  stage_ = Stage::kIdle;
}

}  // namespace korvex
