// Measures, passes over and serializes a scanned tree.  Every operation
// visits a directory's files in order, then its subdirectories, each whole
// before the next.
#ifndef KORVEX_CATALOG_SERIALIZER_H_
#define KORVEX_CATALOG_SERIALIZER_H_

#include <stdint.h>

#include <string>

namespace korvex {

class BlockReader;
class ContentStoreBuilder;
class DirNode;
class Env;
class ProgressObserver;
class ReuseSource;

// Length of the tree block with a CRC field in every file record.
uint64_t TreeSize(const DirNode& root);

// What a pass works through.  Progress is reported as bytes done of
// progressTotal.  A file `reuse` knows (null for create) is not read: it
// takes the CRC-32 and contents given, and counts no progress.
struct PassContext {
  Env& env;
  BlockReader& reader;
  ProgressObserver& progress;
  uint64_t progressTotal;
  ReuseSource* reuse = nullptr;
};

// The one pass over the files, given the source directory without a trailing
// separator.  The calc pass reads every file for its CRC-32; the store pass
// reads only the files with the stored flag.  Both copy flagged files into
// `store` (null when storage is off), clear the flag of files that cannot be
// read and report those, report progress, and convert names to the OEM code
// page.  They return how many files could not be read.
int32_t CalcPass(const PassContext& ctx, DirNode& root, const std::string& source,
                 ContentStoreBuilder* store);
int32_t StorePass(const PassContext& ctx, DirNode& root, const std::string& source,
                  ContentStoreBuilder* store);

// Writes the tree block at cursor and returns the position after it.
unsigned char* WriteTree(const DirNode& root, bool withCrc, unsigned char* cursor);

}  // namespace korvex

#endif  // KORVEX_CATALOG_SERIALIZER_H_
