// The files of an earlier catalog by catalog path, with the size, time,
// CRC-32 and stored-file index each had: one array of small fixed records
// sorted by path, the paths end to end in one string.
#ifndef KORVEX_CATALOG_REUSE_INDEX_H_
#define KORVEX_CATALOG_REUSE_INDEX_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace korvex {

struct TreeRecord;

class ReuseIndex {
 public:
  struct Entry {
    uint32_t keyOffset;
    uint32_t keyLength;
    uint32_t size;
    uint32_t time;
    uint32_t crc;         // 0 when the catalog has no CRC fields
    int32_t storedIndex;  // -1 when the contents are not stored
  };

  // Walks a tree block as far as its records lie inside it: damage ends
  // the walk, and what was read before it is kept.
  void Build(const unsigned char* tree, size_t length, bool withCrc);

  // The file whose key is given (see AppendKey).  Null when there is none.
  const Entry* Find(const std::string& key) const;

  // Appends one name, OEM code page, of a path's key: each directory as
  // 0x02, its name and 0x00, then the file as 0x01 and its name.  No name
  // holds a NUL, so no two paths share a key; and a tree walked files
  // first, then subdirectories, names in strcmp order, yields its keys
  // in sorted order.
  static void AppendKey(std::string* key, const char* name, size_t length, bool isDir);
  bool hasCrc() const { return hasCrc_; }
  size_t size() const { return entries_.size(); }

 private:
  void Add(const std::string& key, const TreeRecord& record, int32_t storedIndex);
  // Sorted already when the catalog's writer sorted the names as the scan does.
  void Sort();

  std::string keys_;
  std::vector<Entry> entries_;
  bool hasCrc_ = false;
  mutable size_t next_ = 0;  // after the entry found last
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_REUSE_INDEX_H_
