// The catalog's binary grammar, decoded and encoded in this one place: the
// header, the store head, and the records of the tree block.
#ifndef KORVEX_CATALOG_CATALOG_FORMAT_H_
#define KORVEX_CATALOG_CATALOG_FORMAT_H_

#include <stddef.h>
#include <stdint.h>

#include "catalog/format.h"

namespace korvex {

// The 16 bytes that open every catalog.
struct CatalogHeader {
  uint32_t treeCrc = 0;
  uint32_t treeLength = 0;  // T, without the CRC flag
  bool withCrc = false;     // file records carry a CRC field

  // False when fewer than 16 bytes are given or the magic is wrong.
  bool DecodeFrom(const unsigned char* bytes, size_t n);
  // False when the tree block cannot lie inside a file of fileSize bytes.
  bool FitsIn(uint64_t fileSize) const;
  void EncodeTo(unsigned char out[kHeaderSize]) const;
};

// The 9 bytes between the tree block and the data area.
struct StoreHead {
  uint32_t crc = 0;
  uint32_t dataLength = 0;  // D

  // False when fewer than 9 bytes are given or the marker is wrong.
  bool DecodeFrom(const unsigned char* bytes, size_t n);
  void EncodeTo(unsigned char out[kStoreHeadSize]) const;
};

// One record of a tree block, decoded.
struct TreeRecord {
  enum Kind { kEnd, kDirectory, kFile };
  Kind kind = kEnd;
  const char* name = nullptr;  // inside the block, NUL-terminated, OEM code page
  size_t nameLength = 0;
  uint8_t attributes = 0;      // 0x10 directory, 0x08 stored
  uint32_t time = 0;
  uint32_t size = 0;           // 0 for directories
  uint32_t crc = 0;            // 0 unless the block has CRC fields and this is a file
};

// Decodes the record at p with room bytes left in its block; the length it
// takes, or 0 when it does not lie wholly inside them.
size_t DecodeRecord(const unsigned char* p, size_t room, bool withCrc, TreeRecord* record);

// Bytes the record takes; EncodeRecord writes exactly that many and returns
// the position after them.  An end of directory needs only its kind.
size_t RecordSize(const TreeRecord& record, bool withCrc);
unsigned char* EncodeRecord(const TreeRecord& record, bool withCrc, unsigned char* out);

// Why a cursor stopped short of the root's end.
enum class TreeError {
  kNone,
  kRecordPastEnd,   // a record starts but does not fit in the block
  kRootNotClosed,   // the block ends before the root's end of directory
};

// Steps through a tree block record by record, never reading outside it.
// It yields directories, files and the ends of subdirectories; after the
// root's end it is no longer Valid and status() is kNone.
class RecordCursor {
 public:
  RecordCursor(const unsigned char* block, size_t length, bool withCrc);

  void SeekToFirst();
  bool Valid() const { return valid_; }
  void Next();
  const TreeRecord& record() const { return record_; }
  // Directories open below the root after the current record.
  size_t depth() const { return depth_; }
  // Where the next record begins; after the root's end, the bytes it used.
  size_t offset() const { return offset_; }
  TreeError status() const { return status_; }

 private:
  void Fail(TreeError error);

  const unsigned char* block_;
  size_t length_;
  bool withCrc_;
  size_t offset_ = 0;
  size_t depth_ = 0;
  bool valid_ = false;
  TreeError status_ = TreeError::kNone;
  TreeRecord record_;
};

// True when every record lies complete inside the block and the root's end
// of directory is inside it; bytes after that are ignored.
bool ValidateTree(const unsigned char* tree, size_t length, bool withCrc);

}  // namespace korvex

#endif  // KORVEX_CATALOG_CATALOG_FORMAT_H_
