#include "catalog/file_crc.h"

#include <memory>
#include <new>

#include "catalog/crc32.h"
#include "catalog/format.h"
#include "platform/env.h"

namespace korvex {

bool FileSizeAndCrc(Env& env, const std::string& path, uint64_t* size, uint32_t* crc,
                    const char** reason) {
  std::unique_ptr<File> in = env.OpenRead(path);
  if (!in) {
    *reason = "cannot open";
    return false;
  }
  std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[kBlockSize]);
  if (!block) {
    *reason = "out of memory";
    return false;
  }
  *size = 0;
  *crc = 0;
  for (;;) {
    size_t got = 0;
    if (!in->Read(block.get(), kBlockSize, &got)) {
      *reason = "read error";
      return false;
    }
    if (got == 0) return true;
    *crc = crc32::Extend(*crc, block.get(), got);
    *size += got;
  }
}

}  // namespace korvex
