// Byte layout of a catalog file (".dir"):
//   header (16) | tree block (T) | [store CRC (4) | D (4) | 0x03 | data area (D)]
// The tree block is the root's contents followed by one 0x00; a directory
// group is its record, its contents and one 0x00.  This header is plain C so
// the plug-in can compile it in on its own.
#ifndef KORVEX_CATALOG_FORMAT_H_
#define KORVEX_CATALOG_FORMAT_H_

#include <stdint.h>

#ifdef __cplusplus
namespace korvex {
#endif

/* "KORVEX" 0x1A 0x00 */
static const unsigned char kCatalogMagic[8] = {'K', 'O', 'R', 'V',
                                               'E', 'X', 0x1A, 0x00};
/* header: magic, tree CRC, tree length (its top bit the CRC flag) */
enum { kMagicSize = 8, kTreeCrcOffset = 8, kTreeLengthOffset = 12, kHeaderSize = 16 };
/* store head: store CRC, data length, marker */
enum { kStoreHeadSize = 9, kStoreMarker = 0x03 };
/* record bytes */
enum { kEndOfDirectory = 0x00, kAttrDirectory = 0x10, kAttrStored = 0x08 };
/* name length + these: name terminator, attribute byte, fields */
enum { kDirRecordExtra = 6, kFileRecordExtra = 10, kFileRecordCrcExtra = 14 };
/* Every file input goes through blocks of this size. */
enum { kBlockSize = 262144 };

static const uint32_t kCrcFlag = 0x80000000u;
static const uint32_t kTreeLengthMask = 0x7FFFFFFFu;

#ifdef __cplusplus
}  // namespace korvex
#endif

#endif /* KORVEX_CATALOG_FORMAT_H_ */
