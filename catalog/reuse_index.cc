#include "catalog/reuse_index.h"

#include <string.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include "catalog/format.h"
#include "catalog/reader.h"

namespace korvex {
namespace {

// Longer keys are left out: no file-system path of the scanning side is
// that long, and a hostile catalog must not make the index huge.
const size_t kMaxKey = 4096;

}  // namespace

void ReuseIndex::Build(CatalogReader& reader) {
  keys_.clear();
  entries_.clear();
  hasCrc_ = reader.HasCrc();
  std::string key;
  // Directories open around the walk: the length of their catalog path and
  // of their key.
  std::vector<std::pair<size_t, size_t>> open;
  // No record takes fewer bytes; reserving spares copies, not memory.
  entries_.reserve(reader.TreeLength() / (1 + kFileRecordExtra));
  reader.Rewind();
  while (const char* name = reader.NextEntry()) {
    EntryInfo info;
    reader.DecodeEntry(name, &info);
    const bool isDir = (info.attributes & kAttrDirectory) != 0;
    const size_t n = strlen(name);
    const size_t parentPath = reader.CurrentPath().size() - n - (isDir ? 1 : 0);
    while (!open.empty() && open.back().first > parentPath) open.pop_back();
    key.resize(open.empty() ? 0 : open.back().second);
    AppendKey(&key, name, n, isDir);
    if (isDir) {
      open.emplace_back(reader.CurrentPath().size(), key.size());
      continue;
    }
    if (key.size() > kMaxKey || keys_.size() + key.size() > UINT32_MAX) continue;
    entries_.push_back(Entry{static_cast<uint32_t>(keys_.size()), static_cast<uint32_t>(key.size()),
                             info.size, info.time, info.crc,
                             (info.attributes & kAttrStored) ? reader.StoredOrdinal() : -1});
    keys_ += key;
  }
  const char* keys = keys_.data();
  auto less = [keys](const Entry& a, const Entry& b) {
    return std::string_view(keys + a.keyOffset, a.keyLength) <
           std::string_view(keys + b.keyOffset, b.keyLength);
  };
  // Sorted already when the catalog's writer sorted the names as the scan does.
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
