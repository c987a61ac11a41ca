#include "catalog/reuse_index.h"

#include <algorithm>
#include <string_view>

#include "catalog/catalog_format.h"
#include "catalog/format.h"

namespace korvex {
namespace {

// Longer keys are left out: no file-system path of the scanning side is
// that long, and a hostile catalog must not make the index huge.
const size_t kMaxKey = 4096;

}  // namespace

void ReuseIndex::Build(const unsigned char* tree, size_t length, bool withCrc) {
  keys_.clear();
  entries_.clear();
  next_ = 0;
  hasCrc_ = withCrc;
  std::string key;
  std::vector<size_t> open;  // the key's length before each open directory
  int32_t stored = -1;       // the content store's ordinal of the last stored record
  // No record takes fewer bytes; reserving spares copies, not memory.
  entries_.reserve(length / (1 + kFileRecordExtra));
  RecordCursor cursor(tree, length, withCrc);
  for (cursor.SeekToFirst(); cursor.Valid(); cursor.Next()) {
    const TreeRecord& record = cursor.record();
    if (record.kind == TreeRecord::kEnd) {
      if (open.empty()) continue;
      key.resize(open.back());
      open.pop_back();
      continue;
    }
    if (record.attributes & kAttrStored) ++stored;
    if (record.kind == TreeRecord::kDirectory) {
      open.push_back(key.size());
      AppendKey(&key, record.name, record.nameLength, true);
      continue;
    }
    const size_t base = key.size();
    AppendKey(&key, record.name, record.nameLength, false);
    Add(key, record, (record.attributes & kAttrStored) ? stored : -1);
    key.resize(base);
  }
  Sort();
}

void ReuseIndex::Add(const std::string& key, const TreeRecord& record, int32_t storedIndex) {
  if (key.size() > kMaxKey || keys_.size() + key.size() > UINT32_MAX) return;
  entries_.push_back(Entry{static_cast<uint32_t>(keys_.size()), static_cast<uint32_t>(key.size()),
                           record.size, record.time, record.crc, storedIndex});
  keys_ += key;
}

void ReuseIndex::Sort() {
  const char* keys = keys_.data();
  auto less = [keys](const Entry& a, const Entry& b) {
    return std::string_view(keys + a.keyOffset, a.keyLength) <
           std::string_view(keys + b.keyOffset, b.keyLength);
  };
  if (!std::is_sorted(entries_.begin(), entries_.end(), less)) {
    std::sort(entries_.begin(), entries_.end(), less);
  }
}

void ReuseIndex::AppendKey(std::string* key, const char* name, size_t length, bool isDir) {
  key->push_back(isDir ? '\x02' : '\x01');
  key->append(name, length);
  if (isDir) key->push_back('\0');
}

const ReuseIndex::Entry* ReuseIndex::Find(const std::string& key) const {
  const char* keys = keys_.data();
  const std::string_view wanted(key);
  auto keyOf = [keys](const Entry& e) { return std::string_view(keys + e.keyOffset, e.keyLength); };
  // A tree's files are asked for mostly in the order of their keys.
  if (next_ < entries_.size() && keyOf(entries_[next_]) == wanted) return &entries_[next_++];
  auto at = std::lower_bound(entries_.begin(), entries_.end(), wanted,
                             [&keyOf](const Entry& e, std::string_view k) { return keyOf(e) < k; });
  if (at == entries_.end() || keyOf(*at) != wanted) return nullptr;
  next_ = static_cast<size_t>(at - entries_.begin()) + 1;
  return &*at;
}

}  // namespace korvex
