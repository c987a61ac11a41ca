// Name masks with '?' and '*', matched from the end of the name backwards.
// A mask accounts for a whole suffix that is the whole name or starts right
// after a backslash.  Bytes compare exactly; callers upper-case both sides.
#ifndef KORVEX_CATALOG_MASK_H_
#define KORVEX_CATALOG_MASK_H_

namespace korvex {

// 0 when name matches mask, 1 otherwise.
int CompareMask(const char* name, const char* mask);

// True when mask bytes 0..maskPos match name bytes 0..namePos; -1 stands
// for the place before the first byte.
bool MatchMaskAt(const char* name, const char* mask, int namePos, int maskPos);

}  // namespace korvex

#endif  // KORVEX_CATALOG_MASK_H_
