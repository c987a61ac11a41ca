// The size and CRC-32 of a whole local file, as a catalog would record them.
#ifndef KORVEX_CATALOG_FILE_CRC_H_
#define KORVEX_CATALOG_FILE_CRC_H_

#include <stdint.h>

#include <string>

namespace korvex {

class Env;

// Reads the file once in blocks.  False, with *reason set ("cannot open",
// "read error"), when it cannot be read to its end.
bool FileSizeAndCrc(Env& env, const std::string& path, uint64_t* size, uint32_t* crc,
                    const char** reason);

}  // namespace korvex

#endif  // KORVEX_CATALOG_FILE_CRC_H_
