#include "catalog/catalog_format.h"

#include <string.h>

#include "catalog/coding.h"

namespace korvex {

bool CatalogHeader::DecodeFrom(const unsigned char* bytes, size_t n) {
  if (n < kHeaderSize || memcmp(bytes, kCatalogMagic, kMagicSize) != 0) return false;
  const uint32_t word = DecodeFixed32(bytes + kTreeLengthOffset);
  treeCrc = DecodeFixed32(bytes + kTreeCrcOffset);
  treeLength = word & kTreeLengthMask;
  withCrc = (word & kCrcFlag) != 0;
  return true;
}

bool CatalogHeader::FitsIn(uint64_t fileSize) const {
  return fileSize >= kHeaderSize && treeLength <= fileSize - kHeaderSize;
}

void CatalogHeader::EncodeTo(unsigned char out[kHeaderSize]) const {
  memcpy(out, kCatalogMagic, kMagicSize);
  EncodeFixed32(out + kTreeCrcOffset, treeCrc);
  EncodeFixed32(out + kTreeLengthOffset, treeLength | (withCrc ? kCrcFlag : 0));
}

bool StoreHead::DecodeFrom(const unsigned char* bytes, size_t n) {
  if (n < kStoreHeadSize || bytes[8] != kStoreMarker) return false;
  crc = DecodeFixed32(bytes);
  dataLength = DecodeFixed32(bytes + 4);
  return true;
}

void StoreHead::EncodeTo(unsigned char out[kStoreHeadSize]) const {
  EncodeFixed32(out, crc);
  EncodeFixed32(out + 4, dataLength);
  out[8] = kStoreMarker;
}

size_t DecodeRecord(const unsigned char* p, size_t room, bool withCrc, TreeRecord* record) {
  if (room == 0) return 0;
  *record = TreeRecord();
  if (p[0] == kEndOfDirectory) return 1;
  const void* terminator = memchr(p, 0, room);
  if (terminator == nullptr) return 0;
  const size_t n = static_cast<size_t>(static_cast<const unsigned char*>(terminator) - p);
  if (room < n + 2) return 0;  // the attribute byte
  record->attributes = p[n + 1];
  record->kind = (record->attributes & kAttrDirectory) ? TreeRecord::kDirectory : TreeRecord::kFile;
  record->nameLength = n;
  const size_t used = RecordSize(*record, withCrc);
  if (room < used) return 0;
  record->name = reinterpret_cast<const char*>(p);
  record->time = DecodeFixed32(p + n + 2);
  // A directory record ends after its time.
  if (record->kind == TreeRecord::kFile) {
    record->size = DecodeFixed32(p + n + 6);
    if (withCrc) record->crc = DecodeFixed32(p + n + 10);
  }
  return used;
}

size_t RecordSize(const TreeRecord& record, bool withCrc) {
  switch (record.kind) {
    case TreeRecord::kEnd:
      return 1;
    case TreeRecord::kDirectory:
      return record.nameLength + kDirRecordExtra;
    case TreeRecord::kFile:
      break;
  }
  return record.nameLength + (withCrc ? kFileRecordCrcExtra : kFileRecordExtra);
}

unsigned char* EncodeRecord(const TreeRecord& record, bool withCrc, unsigned char* out) {
  if (record.kind == TreeRecord::kEnd) {
    *out = kEndOfDirectory;
    return out + 1;
  }
  memcpy(out, record.name, record.nameLength);
  out += record.nameLength;
  *out++ = '\0';
  *out++ = record.attributes;
  EncodeFixed32(out, record.time);
  out += 4;
  if (record.kind == TreeRecord::kDirectory) return out;
  EncodeFixed32(out, record.size);
  out += 4;
  if (withCrc) {
    EncodeFixed32(out, record.crc);
    out += 4;
  }
  return out;
}

RecordCursor::RecordCursor(const unsigned char* block, size_t length, bool withCrc)
    : block_(block), length_(length), withCrc_(withCrc) {
  SeekToFirst();
}

void RecordCursor::SeekToFirst() {
  offset_ = 0;
  depth_ = 0;
  status_ = TreeError::kNone;
  valid_ = true;
  Next();
}

void RecordCursor::Next() {
  if (!valid_) return;
  if (offset_ >= length_) return Fail(TreeError::kRootNotClosed);
  const size_t used = DecodeRecord(block_ + offset_, length_ - offset_, withCrc_, &record_);
  if (used == 0) return Fail(TreeError::kRecordPastEnd);
  offset_ += used;
  if (record_.kind == TreeRecord::kDirectory) {
    ++depth_;
  } else if (record_.kind == TreeRecord::kEnd) {
    if (depth_ == 0) {
      valid_ = false;  // the root has closed
      return;
    }
    --depth_;
  }
}

void RecordCursor::Fail(TreeError error) {
  valid_ = false;
  status_ = error;
}

bool ValidateTree(const unsigned char* tree, size_t length, bool withCrc) {
  RecordCursor cursor(tree, length, withCrc);
  while (cursor.Valid()) cursor.Next();
  return cursor.status() == TreeError::kNone;
}

}  // namespace korvex
