// Searches a library of catalogs, one loaded at a time, for entries that match
// a wildcard and filters; or for files that have the same size and CRC-32
// across all of them.  Results go to an observer; nothing is printed here.
#ifndef KORVEX_CATALOG_SEARCH_H_
#define KORVEX_CATALOG_SEARCH_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "catalog/reader.h"
#include "catalog/wildcard.h"

namespace korvex {

class Env;

struct SearchFilter {
  uint64_t minSize = 0;  // both bounds inclusive
  uint64_t maxSize = UINT64_MAX;
  bool bySize = false;   // a size bound was given: directories never match
  bool byCrc = false;
  uint32_t crc = 0;
  bool dirs = false;     // directories too
};

struct SearchHit {
  uint32_t catalog;     // index into the names searched
  const char* path;     // catalog path without its leading backslash;
  size_t pathLength;    //   a directory's ends in '\'
  EntryInfo entry;      // entry.name is null for duplicate copies
  bool hasCrc;          // the catalog has CRC-32 fields
};

struct DupeGroup {
  uint32_t count;
  uint32_t size;
  uint32_t crc;
};

class SearchObserver {
 public:
  virtual ~SearchObserver() = default;
  virtual void LoadFailed(uint32_t catalog, const LoadFailure& failure) = 0;
  // The catalog has no CRC-32 fields, which the search needs: nothing in it
  // can match.
  virtual void WithoutCrc(uint32_t catalog) = 0;
  // A match; for duplicates, one copy of the group announced last.
  virtual void Hit(const SearchHit& hit) = 0;
  virtual void Group(const DupeGroup&) {}
  // Catalog done of total is about to be searched.
  virtual void Progress(uint32_t /*done*/, uint32_t /*total*/) {}
  // A copy whose catalog changed or vanished between its two walks.
  virtual void CopyLost(uint32_t catalog) = 0;
};

struct SearchCounts {
  uint64_t hits = 0;         // single hits; for duplicates the copies beyond the first
  uint64_t groups = 0;
  uint64_t redundantBytes = 0;
  uint32_t searched = 0;     // catalogs loaded and walked
  uint32_t failed = 0;       // catalogs that could not be loaded
  uint32_t skipped = 0;      // catalogs without the CRC-32 fields a search needed
};

class CatalogSearch {
 public:
  CatalogSearch(Env& env, const std::vector<std::string>& catalogs, const Wildcard& mask,
                const SearchFilter& filter)
      : env_(env), catalogs_(catalogs), mask_(mask), filter_(filter) {}

  // Every matching entry, catalog by catalog in walk order.
  SearchCounts Find(SearchObserver& observer);
  // Groups of matching files of at least minSize bytes with equal size and
  // CRC-32, largest redundant bytes first.  Keeps 16 bytes per file between
  // the first walk and the second, which visits only catalogs holding a copy.
  SearchCounts FindDuplicates(uint64_t minSize, SearchObserver& observer);

 private:
  struct Record;
  struct Copy;
  // Loads catalog i; reports a failure, or a missing CRC when one is needed.
  bool Open(CatalogReader& reader, uint32_t i, bool needCrc, SearchObserver& observer,
            SearchCounts& counts);
  bool Matches(const CatalogReader& reader, const EntryInfo& info, WildcardScan& scan) const;
  void Collect(std::vector<Record>* records, uint64_t minSize, SearchObserver& observer,
               SearchCounts& counts);
  void NameCopies(const std::vector<Record>& records, std::vector<Copy>* copies,
                  std::string* paths, SearchObserver& observer);

  Env& env_;
  const std::vector<std::string>& catalogs_;
  const Wildcard& mask_;
  SearchFilter filter_;
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_SEARCH_H_
