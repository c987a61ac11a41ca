// Makes the catalog library of goals.sh through the serializer, the same
// bytes on every run: 1,000 catalogs of 10,000 entries each (10 directories
// of 999 files), names, sizes, times and CRCs from fixed seeds.  About one
// file in a hundred takes its size and CRC from a pool of 50,000, so the
// library holds duplicate groups within and across catalogs.
//
//   korvex_makelibrary DIR    DIR must not exist yet
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "catalog/catalog_file.h"
#include "catalog/catalog_format.h"
#include "catalog/crc32.h"
#include "catalog/format.h"
#include "catalog/progress.h"
#include "catalog/serializer.h"
#include "catalog/tree.h"
#include "platform/env.h"

namespace korvex {
namespace {

uint64_t Mix(uint64_t x) {  // splitmix64's finalizer
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

const int kCatalogs = 1000;
const int kDirs = 10;
const int kFilesPerDir = 999;

std::string Name(uint64_t seed) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789_";
  uint64_t r = Mix(seed);
  std::string name;
  for (int n = 6 + static_cast<int>(r % 11); n > 0; --n) {
    r = Mix(r);
    name += kChars[r % 37];
  }
  return name + ".dat";
}

bool WriteOne(ScanContext& ctx, const std::string& path, int c) {
  DirNode root;
  auto names = std::make_shared<NamePool>();
  for (int d = 0; d < kDirs; ++d) {
    std::string dirName = "DIR" + std::to_string(d);
    DirEntry de{dirName.c_str(), 0x10, 1000000000u, 0, false};
    std::unique_ptr<DirNode> dir(new DirNode(ctx, names, de));
    for (int f = 0; f < kFilesPerDir; ++f) {
      const uint64_t seed = (uint64_t(c) * kDirs + d) * kFilesPerDir + f;
      std::string name = Name(seed);
      const uint64_t r = Mix(seed ^ 0x5EED);
      // One in a hundred from the pool of shared contents.
      const uint64_t content = r % 100 == 0 ? (r >> 8) % 50000 : (r >> 8) + 50000;
      DirEntry fe{name.c_str(), 0x20, static_cast<uint32_t>(1000000000u + (r >> 40)),
                  Mix(content) % 10000000, true};
      dir->files.emplace_back(ctx, *names, fe);
      dir->files.back().crc = static_cast<uint32_t>(Mix(content ^ 0xC8C));
    }
    root.subdirectories.push_back(std::move(dir));
  }
  const uint64_t treeLength = TreeSize(root);
  std::vector<unsigned char> bytes(kHeaderSize + treeLength);
  WriteTree(root, true, bytes.data() + kHeaderSize);
  CatalogHeader header;
  header.treeCrc = crc32::Value(bytes.data() + kHeaderSize, treeLength);
  header.treeLength = static_cast<uint32_t>(treeLength);
  header.withCrc = true;
  header.EncodeTo(bytes.data());
  return WriteCatalogFile(ctx.env, path, bytes.data(), bytes.size(), nullptr, 0);
}

}  // namespace
}  // namespace korvex

int main(int argc, char** argv) {
  using namespace korvex;
  if (argc != 2 || mkdir(argv[1], 0777) != 0) {
    fprintf(stderr, "usage: korvex_makelibrary NEW-DIR\n");
    return 2;
  }
  ProgressObserver quiet;
  ScanContext ctx(*Env::Default(), quiet);
  for (int c = 0; c < kCatalogs; ++c) {
    char name[64];
    snprintf(name, sizeof name, "/disc%04d.dir", c);
    if (!WriteOne(ctx, argv[1] + std::string(name), c)) {
      fprintf(stderr, "korvex_makelibrary: cannot write %s%s\n", argv[1], name);
      return 1;
    }
  }
  return 0;
}
