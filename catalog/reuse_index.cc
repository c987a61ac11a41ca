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
  reader.Rewind();
  while (const char* name = reader.NextEntry()) {
    EntryInfo info;
    reader.DecodeEntry(name, &info);
    const bool isDir = (info.attributes & kAttrDirectory) != 0;
    const size_t n = strlen(name);
    const size_t parentPath = reader.CurrentPath().size() - n - (isDir ? 1 : 0);
    while (!open.empty() && open.back().first > parentPath) open.pop_back();
    key.resize(open.empty() ? 0 : open.back().second);
    if (!open.empty()) key.push_back('\0');
    key.append(name, n);
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
  std::sort(entries_.begin(), entries_.end(), [keys](const Entry& a, const Entry& b) {
    return std::string_view(keys + a.keyOffset, a.keyLength) <
           std::string_view(keys + b.keyOffset, b.keyLength);
  });
}

const ReuseIndex::Entry* ReuseIndex::Find(const std::string& key) const {
  const char* keys = keys_.data();
  const std::string_view wanted(key);
  auto at = std::lower_bound(entries_.begin(), entries_.end(), wanted,
                             [keys](const Entry& e, std::string_view k) {
                               return std::string_view(keys + e.keyOffset, e.keyLength) < k;
                             });
  if (at == entries_.end() || std::string_view(keys + at->keyOffset, at->keyLength) != wanted) {
    return nullptr;
  }
  return &*at;
}

}  // namespace korvex
