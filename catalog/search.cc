#include "catalog/search.h"

#include <algorithm>
#include <memory>

#include "catalog/format.h"

namespace korvex {

// One file of the duplicate search: all it keeps between the two walks.
struct CatalogSearch::Record {
  uint32_t size;
  uint32_t crc;
  uint32_t catalog;
  uint32_t entry;  // the record's place in its catalog's walk, from 0
};

// Where the second walk found a copy.
struct CatalogSearch::Copy {
  uint64_t pathOffset = 0;
  uint32_t pathLength = 0;
  uint32_t time = 0;
  uint8_t attributes = 0;
  bool found = false;
};

namespace {

// Grows in fixed chunks, so collecting never holds two copies of everything
// as a doubling vector does; then moves into one exact array chunk by chunk.
template <typename T>
class ChunkedArray {
 public:
  void Add(const T& item) {
    if (used_ == kChunk || chunks_.empty()) {
      chunks_.emplace_back(new T[kChunk]);
      used_ = 0;
    }
    chunks_.back()[used_++] = item;
  }
  void MoveTo(std::vector<T>* out) {
    size_t total = chunks_.empty() ? 0 : (chunks_.size() - 1) * kChunk + used_;
    out->clear();
    out->reserve(total);
    for (size_t c = 0; c < chunks_.size(); ++c) {
      size_t n = c + 1 == chunks_.size() ? used_ : kChunk;
      out->insert(out->end(), chunks_[c].get(), chunks_[c].get() + n);
      chunks_[c].reset();
    }
    chunks_.clear();
  }

 private:
  static const size_t kChunk = 65536;
  std::vector<std::unique_ptr<T[]>> chunks_;
  size_t used_ = 0;
};

struct GroupRef {
  uint32_t start;
  uint32_t count;
  uint64_t Redundant(uint32_t size) const { return uint64_t{count - 1} * size; }
};

// Packs the records that have a twin (sorted by size and CRC) to the front,
// drops the rest, and returns where each group begins.
template <typename R>
std::vector<GroupRef> KeepTwins(std::vector<R>* records) {
  std::vector<GroupRef> groups;
  std::vector<R>& r = *records;
  size_t kept = 0;
  for (size_t k = 0; k < r.size();) {
    size_t end = k + 1;
    while (end < r.size() && r[end].size == r[k].size && r[end].crc == r[k].crc) ++end;
    if (end - k > 1) {
      groups.push_back(GroupRef{static_cast<uint32_t>(kept), static_cast<uint32_t>(end - k)});
      std::copy(r.begin() + k, r.begin() + end, r.begin() + kept);
      kept += end - k;
    }
    k = end;
  }
  r.resize(kept);
  return groups;
}

}  // namespace

bool CatalogSearch::Open(CatalogReader& reader, uint32_t i, bool needCrc,
                         SearchObserver& observer, SearchCounts& counts) {
  LoadFailure failure;
  if (!reader.Load(catalogs_[i], &failure)) {
    observer.LoadFailed(i, failure);
    ++counts.failed;
    return false;
  }
  if (needCrc && !reader.HasCrc()) {
    observer.WithoutCrc(i);
    ++counts.skipped;
    return false;
  }
  ++counts.searched;
  return true;
}

// The cheap tests first; the mask only where the entry could still match.
bool CatalogSearch::Matches(const CatalogReader& reader, const EntryInfo& info,
                            WildcardScan& scan) const {
  const bool isDir = (info.attributes & kAttrDirectory) != 0;
  if (isDir) {
    if (!filter_.dirs || filter_.bySize || filter_.byCrc) return false;
  } else if (info.size < filter_.minSize || info.size > filter_.maxSize ||
             (filter_.byCrc && info.crc != filter_.crc)) {
    return false;
  }
  // Only a mask with a separator needs the path spelt.
  if (!mask_.matchesPath()) {
    return scan.MayMatch(info.name, info.nameLength) && mask_.Match(info.name, info.nameLength);
  }
  const std::string& path = reader.CurrentPath();
  // The path without its leading backslash, and a directory's without its
  // trailing one, so that DOCS\* finds what is below DOCS and not DOCS.
  return mask_.Match(path.data() + 1, path.size() - (isDir ? 2 : 1));
}

SearchCounts CatalogSearch::Find(SearchObserver& observer) {
  SearchCounts counts;
  CatalogReader reader(env_);
  const uint32_t total = static_cast<uint32_t>(catalogs_.size());
  for (uint32_t i = 0; i < total; ++i) {
    observer.Progress(i, total);
    if (!Open(reader, i, filter_.byCrc, observer, counts)) continue;
    SearchHit hit;
    hit.catalog = i;
    hit.hasCrc = reader.HasCrc();
    WildcardScan scan(mask_, reader.Tree() + reader.TreeLength());
    while (const EntryInfo* info = reader.NextRecord()) {
      if (scan.Ended()) break;
      if (!Matches(reader, *info, scan)) continue;
      hit.entry = *info;
      const std::string& path = reader.CurrentPath();
      hit.path = path.data() + 1;
      hit.pathLength = path.size() - 1;
      observer.Hit(hit);
      ++counts.hits;
    }
  }
  return counts;
}

void CatalogSearch::Collect(std::vector<Record>* records, uint64_t minSize,
                            SearchObserver& observer, SearchCounts& counts) {
  static_assert(sizeof(Record) == 16, "a file costs 16 bytes");
  ChunkedArray<Record> files;
  CatalogReader reader(env_);
  const uint32_t total = static_cast<uint32_t>(catalogs_.size());
  for (uint32_t i = 0; i < total; ++i) {
    observer.Progress(i, total);
    if (!Open(reader, i, true, observer, counts)) continue;
    WildcardScan scan(mask_, reader.Tree() + reader.TreeLength());
    uint32_t entry = 0;
    for (const EntryInfo* info; (info = reader.NextRecord()) != nullptr && !scan.Ended(); ++entry) {
      if ((info->attributes & kAttrDirectory) || info->size < minSize) continue;
      if (Matches(reader, *info, scan)) files.Add(Record{info->size, info->crc, i, entry});
    }
  }
  files.MoveTo(records);
}

// Walks again only the catalogs that hold a copy, each once, and keeps the
// copies' paths; copies[k] belongs to records[k].
void CatalogSearch::NameCopies(const std::vector<Record>& records, std::vector<Copy>* copies,
                               std::string* paths, SearchObserver& observer) {
  std::vector<uint32_t> order(records.size());
  for (uint32_t k = 0; k < order.size(); ++k) order[k] = k;
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    const Record& x = records[a];
    const Record& y = records[b];
    return x.catalog != y.catalog ? x.catalog < y.catalog : x.entry < y.entry;
  });
  copies->assign(records.size(), Copy());
  CatalogReader reader(env_);
  SearchCounts ignored;
  for (size_t k = 0; k < order.size();) {
    const uint32_t catalog = records[order[k]].catalog;
    size_t end = k;
    while (end < order.size() && records[order[end]].catalog == catalog) ++end;
    if (Open(reader, catalog, true, observer, ignored)) {
      uint32_t entry = 0;
      for (const EntryInfo* info; k < end && (info = reader.NextRecord()) != nullptr; ++entry) {
        const Record& want = records[order[k]];
        if (want.entry != entry) continue;
        Copy& copy = (*copies)[order[k++]];
        // A catalog rewritten since the first walk may hold something else here.
        if ((info->attributes & kAttrDirectory) || info->size != want.size ||
            info->crc != want.crc) {
          continue;
        }
        const std::string& path = reader.CurrentPath();
        copy = Copy{paths->size(), static_cast<uint32_t>(path.size() - 1), info->time,
                    info->attributes, true};
        paths->append(path, 1, std::string::npos);
      }
    }
    k = end;
  }
}

SearchCounts CatalogSearch::FindDuplicates(uint64_t minSize, SearchObserver& observer) {
  SearchCounts counts;
  std::vector<Record> records;
  Collect(&records, std::max<uint64_t>(minSize, filter_.minSize), observer, counts);
  std::sort(records.begin(), records.end(), [](const Record& x, const Record& y) {
    if (x.size != y.size) return x.size < y.size;
    if (x.crc != y.crc) return x.crc < y.crc;
    return x.catalog != y.catalog ? x.catalog < y.catalog : x.entry < y.entry;
  });
  std::vector<GroupRef> groups = KeepTwins(&records);
  std::stable_sort(groups.begin(), groups.end(), [&](const GroupRef& a, const GroupRef& b) {
    return a.Redundant(records[a.start].size) > b.Redundant(records[b.start].size);
  });
  std::vector<Copy> copies;
  std::string paths;
  NameCopies(records, &copies, &paths, observer);
  for (const GroupRef& g : groups) {
    const Record& first = records[g.start];
    observer.Group(DupeGroup{g.count, first.size, first.crc});
    for (uint32_t k = g.start; k < g.start + g.count; ++k) {
      const Copy& c = copies[k];
      if (!c.found) {
        observer.CopyLost(records[k].catalog);
        continue;
      }
      SearchHit hit{records[k].catalog, paths.data() + c.pathOffset, c.pathLength, EntryInfo(),
                    true};
      hit.entry.kind = TreeRecord::kFile;
      hit.entry.attributes = c.attributes;
      hit.entry.time = c.time;
      hit.entry.size = records[k].size;
      hit.entry.crc = records[k].crc;
      observer.Hit(hit);
    }
    ++counts.groups;
    counts.hits += g.count - 1;
    counts.redundantBytes += g.Redundant(first.size);
  }
  return counts;
}

}  // namespace korvex
