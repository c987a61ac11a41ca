#include "catalog/wildcard.h"

namespace korvex {
namespace {

inline unsigned char Fold(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

}  // namespace

Wildcard::Wildcard(const std::string& mask) : mask_(mask) {
  for (char& c : mask_) {
    if (c == '/') c = '\\';
    c = static_cast<char>(Fold(static_cast<unsigned char>(c)));
    matchesPath_ |= c == '\\';
    hasStar_ |= c == '*';
    literals_ += c != '*';
  }
}

// Greedy with one resume point: on a mismatch the last '*' takes one more
// byte.  That is enough for '*' and '?' alone, and it never recurses, so the
// cost is at most the product of the two lengths.
bool Wildcard::Match(const char* text, size_t length) const {
  if (length < literals_ || (!hasStar_ && length != literals_)) return false;
  const unsigned char* t = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* m = reinterpret_cast<const unsigned char*>(mask_.data());
  const size_t n = mask_.size();
  size_t ti = 0;
  size_t mi = 0;
  size_t star = n;  // none yet
  size_t resume = 0;
  while (ti < length) {
    if (mi < n && m[mi] == '*') {
      star = mi++;
      resume = ti;
    } else if (mi < n && (m[mi] == '?' || m[mi] == Fold(t[ti]))) {
      ++mi;
      ++ti;
    } else if (star != n) {
      mi = star + 1;
      ti = ++resume;
    } else {
      return false;
    }
  }
  while (mi < n && m[mi] == '*') ++mi;
  return mi == n;
}

}  // namespace korvex
