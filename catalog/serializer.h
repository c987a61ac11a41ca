// Measures, passes over and serializes a scanned tree.  Every operation
// visits a directory's files in order, then its subdirectories, each whole
// before the next.
#ifndef KORVEX_CATALOG_SERIALIZER_H_
#define KORVEX_CATALOG_SERIALIZER_H_

#include <stdint.h>

#include <string>

namespace korvex {

class ContentStoreBuilder;
class DirNode;
class ReuseSource;
struct Context;

// Length of the tree block with a CRC field in every file record.
uint64_t TreeSize(const DirNode& root);

// The one pass over the files, given the source directory without a trailing
// separator.  The calc pass reads every file for its CRC-32; the store pass
// reads only the files with the stored flag.  Both copy flagged files into
// `store` (null when storage is off), clear the flag of files that cannot be
// read, report those on standard error, show progress, and convert names to
// the OEM code page.  `readBuffer` holds kBlockSize bytes.  A file `reuse`
// (null for create) knows is not read: it takes the CRC-32 and contents given.
void CalcPass(Context& ctx, DirNode& root, const std::string& source,
              ContentStoreBuilder* store, unsigned char* readBuffer,
              ReuseSource* reuse = nullptr);
void StorePass(Context& ctx, DirNode& root, const std::string& source,
               ContentStoreBuilder* store, unsigned char* readBuffer,
               ReuseSource* reuse = nullptr);

// Writes the tree block at cursor and returns the position after it.
unsigned char* WriteTree(const DirNode& root, bool withCrc, unsigned char* cursor);

}  // namespace korvex

#endif  // KORVEX_CATALOG_SERIALIZER_H_
