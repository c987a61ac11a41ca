#include "catalog/crc32.h"

#include <assert.h>

#include "catalog/crc32_internal.h"

namespace korvex {
namespace crc32 {
namespace {

// table[k][b] is the register after byte b followed by k zero bytes.
struct Tables {
  uint32_t table[16][256];
};

constexpr Tables MakeTables() {
  Tables t{};
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t c = b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
    t.table[0][b] = c;
  }
  for (int k = 1; k < 16; ++k) {
    for (uint32_t b = 0; b < 256; ++b) {
      uint32_t prev = t.table[k - 1][b];
      t.table[k][b] = (prev >> 8) ^ t.table[0][prev & 0xFF];
    }
  }
  return t;
}

constexpr Tables kTables = MakeTables();

// Little-endian whatever the host order; compilers make this one load.
inline uint32_t Load32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

Kernel KernelFor(Level level) {
  return level == Level::kPortable ? UpdatePortable : FoldingKernel(level);
}

}  // namespace

uint32_t UpdatePortable(uint32_t reg, const unsigned char* p, size_t n) {
  const auto& t = kTables.table;
  for (; n >= 16; p += 16, n -= 16) {
    uint32_t a = reg ^ Load32(p);
    uint32_t b = Load32(p + 4);
    uint32_t c = Load32(p + 8);
    uint32_t d = Load32(p + 12);
    reg = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^
          t[12][a >> 24] ^ t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^
          t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^ t[7][c & 0xFF] ^
          t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
          t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^
          t[0][d >> 24];
  }
  for (; n > 0; ++p, --n) reg = t[0][(reg ^ *p) & 0xFF] ^ (reg >> 8);
  return reg;
}

const char* LevelName(Level level) {
  switch (level) {
    case Level::kPortable:
      return "portable";
    case Level::kPclmul:
      return "pclmul";
    case Level::kVpclmul256:
      return "vpclmul256";
    case Level::kVpclmul512:
      return "vpclmul512";
  }
  return "unknown";
}

bool IsSupported(Level level) { return KernelFor(level) != nullptr; }

Level DefaultLevel() {
  Level best = Level::kPortable;
  for (Level level : kLevels) {
    if (IsSupported(level)) best = level;
  }
  return best;
}

uint32_t Extend(Level level, uint32_t crc, const void* data, size_t length) {
  Kernel kernel = KernelFor(level);
  assert(kernel != nullptr);
  return ~kernel(~crc, static_cast<const unsigned char*>(data), length);
}

}  // namespace crc32
}  // namespace korvex

extern "C" uint32_t KorvexCrc32Extend(uint32_t crc, const void* data, size_t length) {
  // Chosen once; the CPU does not change under a running process.
  static const korvex::crc32::Kernel kernel =
      korvex::crc32::KernelFor(korvex::crc32::DefaultLevel());
  return ~kernel(~crc, static_cast<const unsigned char*>(data), length);
}
