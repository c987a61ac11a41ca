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

 private:
  // The mask's runs between stars, ASCII letters upper-cased; n stars give
  // n + 1 runs, empty ones included.
  std::vector<std::string> segments_;
  size_t literals_ = 0;  // bytes that are not '*': no shorter text matches
  bool matchesPath_ = false;
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_WILDCARD_H_
