// Every file input goes through here: one page-aligned buffer of kBlockSize
// bytes, the running CRC-32, and a consumer that sees each block.  A pass
// may have a large file's blocks read ahead on a second thread.
#ifndef KORVEX_CATALOG_BLOCK_READER_H_
#define KORVEX_CATALOG_BLOCK_READER_H_

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <memory>
#include <string>

namespace korvex {

class BlockPipe;
class Env;
class File;

// Page-aligned room for whole blocks; null when it cannot be had.
struct FreeBlocks {
  void operator()(unsigned char* blocks) const;
};
using Blocks = std::unique_ptr<unsigned char[], FreeBlocks>;
Blocks AllocateBlocks(size_t count);

enum class ReadStatus {
  kOk,
  kCannotOpen,
  kReadFailed,  // a read failed, or the file is not the size it should be
  kStopped,     // the consumer said stop
};

struct ReadResult {
  ReadStatus status = ReadStatus::kOk;
  uint32_t crc = 0;     // of the bytes read
  uint64_t bytes = 0;   // handed to the consumer
  bool ok() const { return status == ReadStatus::kOk; }
};

// One block as read: its bytes, the bytes read before it, and the CRC-32
// of everything read through it.
struct Block {
  const unsigned char* data;
  size_t size;
  uint64_t offset;
  uint32_t crc;
};

class BlockReader {
 public:
  // Returns false to stop the read.
  using Consumer = std::function<bool(const Block&)>;

  // Null when the buffer cannot be had.
  static std::unique_ptr<BlockReader> Create();
  ~BlockReader();

  // Opens path and reads the size bytes a scan found there.  A file that
  // fails, shrinks or grows past size is kReadFailed: the last read ends on
  // its block, so one more byte tells a file that grew.  With ahead, the
  // blocks of a large file are read while the ones before them are consumed.
  ReadResult ReadFile(Env& env, const std::string& path, uint64_t size, bool ahead,
                      const Consumer& consume);
  // From the position to the end of the file; a short block ends it.
  ReadResult ReadToEnd(File& in, const Consumer& consume);
  // Exactly length bytes from the position; fewer is kReadFailed.
  ReadResult ReadExactly(File& in, uint64_t length, const Consumer& consume);

 private:
  explicit BlockReader(Blocks buffer);
  // Extends the CRC and hands on the n bytes at data.
  bool Deliver(const unsigned char* data, size_t n, ReadResult* result, const Consumer& consume);
  // Null when the pipe cannot be had: the file is then read here.
  BlockPipe* Pipe();

  Blocks buffer_;
  std::unique_ptr<BlockPipe> pipe_;
  bool pipeFailed_ = false;
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_BLOCK_READER_H_
