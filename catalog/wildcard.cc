#include "catalog/wildcard.h"

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

}  // namespace korvex
