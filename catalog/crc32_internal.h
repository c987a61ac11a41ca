// Internals of the CRC-32: the kernels behind KorvexCrc32Extend, a way to run
// each of them for tests and benchmarks, and the polynomial arithmetic the
// folding constants are derived from.
#ifndef KORVEX_CATALOG_CRC32_INTERNAL_H_
#define KORVEX_CATALOG_CRC32_INTERNAL_H_

#include <stddef.h>
#include <stdint.h>

namespace korvex {
namespace crc32 {

// Kernels from the slowest to the fastest.  All give the same results.
enum class Level {
  kPortable,    // slicing-by-16 tables, any CPU
  kPclmul,      // 128-bit carry-less multiplication folding
  kVpclmul256,  // 256-bit folding (AVX2 + VPCLMULQDQ)
  kVpclmul512,  // 512-bit folding (AVX-512 + VPCLMULQDQ)
};
constexpr Level kLevels[] = {Level::kPortable, Level::kPclmul, Level::kVpclmul256,
                             Level::kVpclmul512};

const char* LevelName(Level level);

// True when this build has the kernel and this CPU can run it.
bool IsSupported(Level level);

// The fastest supported level; KorvexCrc32Extend uses it.
Level DefaultLevel();

// KorvexCrc32Extend through the given kernel.  Requires IsSupported(level).
uint32_t Extend(Level level, uint32_t crc, const void* data, size_t length);

// The kernels work on the raw register: the CRC with the inversions before
// and after left out, so reg = ~crc.
using Kernel = uint32_t (*)(uint32_t reg, const unsigned char* p, size_t n);

uint32_t UpdatePortable(uint32_t reg, const unsigned char* p, size_t n);

// The folding kernel for level, or null when the build or the CPU lacks it.
Kernel FoldingKernel(Level level);

// Polynomials of degree < 32 are held bit-reflected, as the CRC register is:
// bit 31 - i holds the coefficient of x^i.  kPolynomial is P(x) - x^32.
constexpr uint32_t kPolynomial = 0xEDB88320u;

// x^n mod P(x), reflected.
constexpr uint32_t XPowMod(uint32_t n) {
  uint32_t r = 0x80000000u;  // x^0
  for (uint32_t i = 0; i < n; ++i) r = (r & 1) ? (r >> 1) ^ kPolynomial : r >> 1;
  return r;
}

// floor(x^64 / P(x)), 33 coefficients, reflected over 33 bits: bit 32 - i
// holds the coefficient of x^i.
constexpr uint64_t BarrettQuotient() {
  // Long division in normal bit order, where P(x) is 0x104C11DB7.  The
  // dividend x^64 drops out after the first step, leaving 64-bit remainders.
  constexpr uint64_t kNormal = 0x104C11DB7ull;
  uint64_t quotient = uint64_t{1} << 32;
  uint64_t rem = (kNormal ^ (uint64_t{1} << 32)) << 32;
  for (int k = 31; k >= 0; --k) {
    if ((rem >> (k + 32)) & 1) {
      quotient |= uint64_t{1} << k;
      rem ^= kNormal << k;
    }
  }
  uint64_t reflected = 0;
  for (int i = 0; i <= 32; ++i) reflected |= ((quotient >> i) & 1) << (32 - i);
  return reflected;
}

}  // namespace crc32
}  // namespace korvex

#endif  // KORVEX_CATALOG_CRC32_INTERNAL_H_
