// The entries of one directory, gathered before any is handed on, so that a
// directory whose listing fails part way gives none rather than some.
#ifndef KORVEX_PLATFORM_DIR_LISTING_H_
#define KORVEX_PLATFORM_DIR_LISTING_H_

#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/env.h"

namespace korvex {

class DirListing {
 public:
  // Keeps a copy of name; entry.name is ignored.
  void Add(const DirEntry& entry, const char* name) {
    entries_.push_back(entry);
    nameAt_.push_back(names_.size());
    names_.append(name, strlen(name) + 1);
  }
  void VisitAll(const std::function<void(const DirEntry&)>& visit) {
    for (size_t i = 0; i < entries_.size(); ++i) {
      entries_[i].name = names_.data() + nameAt_[i];
      visit(entries_[i]);
    }
  }

 private:
  std::vector<DirEntry> entries_;
  std::vector<size_t> nameAt_;
  std::string names_;  // every name with its terminator
};

}  // namespace korvex

#endif  // KORVEX_PLATFORM_DIR_LISTING_H_
