#include "catalog/wildcard.h"

#include <string.h>

#include <algorithm>

namespace korvex {
namespace {

struct FoldTable {
  unsigned char upper[256];
  FoldTable() {
    for (int c = 0; c < 256; ++c) {
      upper[c] = static_cast<unsigned char>((c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c);
    }
  }
};
const FoldTable kFold;

// True when the segment (folded, '?' for any byte) matches text at p.
inline bool SegmentAt(const std::string& segment, const unsigned char* p) {
  for (size_t i = 0; i < segment.size(); ++i) {
    const unsigned char m = static_cast<unsigned char>(segment[i]);
    if (m != '?' && m != kFold.upper[p[i]]) return false;
  }
  return true;
}

}  // namespace

Wildcard::Wildcard(const std::string& mask) {
  segments_.emplace_back();
  for (char c : mask) {
    if (c == '/') c = '\\';
    matchesPath_ |= c == '\\';
    if (c == '*') {
      segments_.emplace_back();
      continue;
    }
    segments_.back() += static_cast<char>(kFold.upper[static_cast<unsigned char>(c)]);
    ++literals_;
  }
  for (const std::string& segment : segments_) {
    for (size_t start = 0; start < segment.size();) {
      const size_t stop = std::min(segment.find('?', start), segment.size());
      if (stop - start > key_.size()) key_ = segment.substr(start, stop - start);
      start = stop + 1;
    }
  }
}

// The first segment must stand at the start and the last at the end; each
// one between takes its leftmost place after the one before, which is enough
// when '*' is the only wildcard that spans.
bool Wildcard::Match(const char* text, size_t length) const {
  if (length < literals_) return false;
  const unsigned char* t = reinterpret_cast<const unsigned char*>(text);
  const std::string& first = segments_.front();
  if (segments_.size() == 1) return length == first.size() && SegmentAt(first, t);
  const std::string& last = segments_.back();
  if (!SegmentAt(first, t) || !SegmentAt(last, t + length - last.size())) return false;
  size_t pos = first.size();
  const size_t end = length - last.size();
  for (size_t k = 1; k + 1 < segments_.size(); ++k) {
    const std::string& segment = segments_[k];
    if (segment.empty()) continue;
    const unsigned char lead = static_cast<unsigned char>(segment[0]);
    for (;; ++pos) {
      if (pos + segment.size() > end) return false;
      if ((lead == '?' || kFold.upper[t[pos]] == lead) && SegmentAt(segment, t + pos)) break;
    }
    pos += segment.size();
  }
  return true;
}

WildcardScan::WildcardScan(const Wildcard& mask, const unsigned char* end)
    : key_(mask.key()), end_(end) {
  // A byte that is no letter has one case, so one search finds it.
  for (size_t i = 0; i < key_.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(key_[i]);
    if (c < 'A' || c > 'Z') probe_ = i;
  }
  const unsigned char c = key_.empty() ? 0 : static_cast<unsigned char>(key_[probe_]);
  letter_ = c >= 'A' && c <= 'Z';
}

// The next place at or after `from` where the probe byte stands, as the key
// holds it (0) or in lower case (1).
const unsigned char* WildcardScan::Next(const unsigned char* from, int which) {
  if (static_cast<size_t>(end_ - from) <= probe_) return at_[which] = end_;
  const unsigned char* start = from + probe_;
  if (at_[which] == nullptr || at_[which] < start) {
    unsigned char c = static_cast<unsigned char>(key_[probe_]);
    if (which == 1) c = static_cast<unsigned char>(c - 'A' + 'a');
    const void* hit = memchr(start, c, end_ - start);
    at_[which] = hit != nullptr ? static_cast<const unsigned char*>(hit) : end_;
  }
  return at_[which];
}

bool WildcardScan::MayMatch(const char* text, size_t length) {
  if (key_.empty()) return true;
  const unsigned char* name = reinterpret_cast<const unsigned char*>(text);
  // The key's first place at or after an earlier name; looked for again
  // only once the walk has passed it.
  for (const unsigned char* from = name; found_ == nullptr || found_ < name;) {
    const unsigned char* at = Next(from, 0);
    if (letter_) at = std::min(at, Next(from, 1));
    if (at == end_) {
      found_ = end_;
      break;
    }
    const unsigned char* place = at - probe_;  // at least `from`
    if (static_cast<size_t>(end_ - place) >= key_.size() && SegmentAt(key_, place)) {
      found_ = place;
      break;
    }
    from = place + 1;
  }
  return found_ != end_ && static_cast<size_t>(found_ - name) + key_.size() <= length;
}

}  // namespace korvex
