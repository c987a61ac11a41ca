// What an update takes from the catalog it replaces instead of reading the
// medium.  A file the pass would read whose catalog path, size and time equal
// an earlier entry's is taken as unchanged: it keeps that entry's CRC-32
// and, when it is to be stored, the earlier stored contents.
#ifndef KORVEX_CATALOG_REUSE_H_
#define KORVEX_CATALOG_REUSE_H_

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

namespace korvex {

class BlockReader;
class CatalogReader;
class DirNode;
class Env;
class FileNode;
class StoreReader;
struct ScanOptions;

struct ReusedFile {
  const FileNode* file;
  uint32_t crc;
  const unsigned char* contents;  // its bytes when it is to be stored, else null
};

class ReuseSource {
 public:
  ReuseSource();
  ~ReuseSource();

  // Pairs the files of root, scanned and not yet passed over, with the
  // catalog `old` has loaded.  CRC-32s are taken only from a catalog that
  // has them and only for the calc pass (`calc`); stored contents only after
  // the whole earlier data area, read through `reader`, matched its store CRC.
  void Build(Env& env, const CatalogReader& old, BlockReader& reader, const DirNode& root,
             const ScanOptions& options, bool calc);

  // Asked for every file in the pass's order (files, then subdirectories,
  // each whole): what to take for it, or null when it must be read.
  const ReusedFile* Next(const FileNode& file);
  // The same question for a cursor of its own that runs ahead of Next, for
  // read-ahead: asked of every file in pass order.
  bool AheadReuses(const FileNode& file);

  uint64_t files() const { return files_.size(); }
  uint64_t bytes() const { return bytes_; }
  uint64_t storedBytes() const { return storedBytes_; }
  // Stored files were wanted from the earlier data area, which failed its
  // check or could not be read: they are read from the medium.
  bool storeDamaged() const { return storeDamaged_; }

 private:
  std::vector<ReusedFile> files_;  // in the pass's order
  size_t next_ = 0;
  size_t ahead_ = 0;
  std::unique_ptr<StoreReader> store_;  // holds the earlier data area
  uint64_t bytes_ = 0;
  uint64_t storedBytes_ = 0;
  bool storeDamaged_ = false;
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_REUSE_H_
