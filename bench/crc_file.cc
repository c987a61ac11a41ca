// Prints the CRC-32 of each file named on the command line, read in blocks
// of 256 KiB as the catalog passes read, in the form "%08x  name".
#include <stdio.h>

#include <memory>
#include <vector>

#include "catalog/crc32.h"

namespace {

struct FileCloser {
  void operator()(FILE* f) const { fclose(f); }
};

bool PrintCrc(const char* path, std::vector<unsigned char>& buffer) {
  std::unique_ptr<FILE, FileCloser> file(fopen(path, "rb"));
  if (!file) return false;
  uint32_t crc = 0;
  size_t got;
  while ((got = fread(buffer.data(), 1, buffer.size(), file.get())) > 0) {
    crc = korvex::crc32::Extend(crc, buffer.data(), got);
  }
  if (ferror(file.get())) return false;
  printf("%08x  %s\n", static_cast<unsigned>(crc), path);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<unsigned char> buffer(256 * 1024);
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    if (!PrintCrc(argv[i], buffer)) {
      fprintf(stderr, "cannot read %s\n", argv[i]);
      status = 1;
    }
  }
  return status;
}
