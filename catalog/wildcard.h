// Wildcard masks as shells and find -iname know them: '*' stands for any run
// of bytes, the empty run included, '?' for one byte, and ASCII letters match
// in either case.  A mask holding a separator is matched against a whole
// catalog path (without its leading backslash), and its '*' runs across
// separators; any other mask against an entry's own name.
#ifndef KORVEX_CATALOG_WILDCARD_H_
#define KORVEX_CATALOG_WILDCARD_H_

#include <stddef.h>

#include <string>
#include <vector>

namespace korvex {

class Wildcard {
 public:
  // The mask in the catalog's code page; '/' is read as '\'.
  explicit Wildcard(const std::string& mask);

  bool matchesPath() const { return matchesPath_; }
  // True when text[0..length) matches the whole mask.
  bool Match(const char* text, size_t length) const;
  // The longest run of the mask without a wildcard, folded: every text that
  // matches holds it.
  const std::string& key() const { return key_; }

 private:
  // The mask's runs between stars, ASCII letters upper-cased; n stars give
  // n + 1 runs, empty ones included.
  std::vector<std::string> segments_;
  size_t literals_ = 0;  // bytes that are not '*': no shorter text matches
  bool matchesPath_ = false;
  std::string key_;
};

// Where the mask's key stands in a block of names (a tree block), found a
// whole run of bytes at a time, so that a walk in order matches only the
// names that hold it.
class WildcardScan {
 public:
  WildcardScan(const Wildcard& mask, const unsigned char* end);
  // False when name[0..length), a part of the block ending at `end`, at or
  // after the last name asked about, cannot match.
  bool MayMatch(const char* name, size_t length);
  // True once the key stands nowhere after the last name asked about: no
  // later name can match.
  bool Ended() const { return found_ == end_; }

 private:
  const unsigned char* Next(const unsigned char* from, int which);

  const std::string& key_;
  const unsigned char* end_;
  size_t probe_ = 0;     // the key byte searched for
  bool letter_ = false;  // it has two cases
  // Where the probe byte stands next, in either case, and the whole key;
  // end_ when it does not occur again, null before the first search.
  const unsigned char* at_[2] = {nullptr, nullptr};
  const unsigned char* found_ = nullptr;
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_WILDCARD_H_
