// What long work reports while it runs.  The engine never knows how it is
// shown; the base class shows nothing.
#ifndef KORVEX_CATALOG_PROGRESS_H_
#define KORVEX_CATALOG_PROGRESS_H_

#include <stdint.h>

#include <string>

namespace korvex {

class ProgressObserver {
 public:
  virtual ~ProgressObserver() = default;
  // A file entry was scanned.
  virtual void EntryScanned() {}
  // A scanned file is marked temporary; returns once the user has seen it.
  virtual void TemporaryFound() {}
  // done of total bytes of the current stage have been read.
  virtual void BytesDone(uint64_t /*done*/, uint64_t /*total*/) {}
  // A file could not be opened or read in full.
  virtual void ReadError(const std::string& /*path*/) {}
  // A directory below the scanned root could not be listed (path without a
  // final separator).
  virtual void ListError(const std::string& /*path*/) {}
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_PROGRESS_H_
