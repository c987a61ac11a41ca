// Folding kernels: the message is cut into 128-bit blocks, each block is
// carried forward to the next one with carry-less multiplications by x^D
// mod P(x), and the last block is reduced to 32 bits by Barrett reduction.
//
// A 128-bit register holds a polynomial bit-reflected: bit i is the
// coefficient of x^(127 - i), as a little-endian load of message bytes gives.
// A 64-bit half holds bit j as x^(63 - j).  PCLMULQDQ of two halves a and b
// then gives x * a(x) * b(x); every constant below absorbs that extra x.
//
// Wide vectors are never passed to or returned from an out-of-line function,
// and all loads are unaligned, so nothing depends on the stack alignment the
// platform gives (32-bit Windows guarantees only 4 bytes).
#include "catalog/crc32_internal.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#if defined(__GNUC__) && !defined(__clang__)
// GCC 12 flags the deliberately uninitialised vectors inside its own
// AVX-512 headers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

namespace korvex {
namespace crc32 {

#if defined(__x86_64__) || defined(__i386__)
namespace {

#define KORVEX_PCLMUL "pclmul,sse4.1"
#define KORVEX_VPCLMUL256 KORVEX_PCLMUL ",avx2,vpclmulqdq"
#define KORVEX_VPCLMUL512 KORVEX_VPCLMUL256 ",avx512f"
#define KORVEX_INLINE(isa) __attribute__((target(isa), always_inline)) inline

// Carrying a block forward by `bits` multiplies it by x^bits: its low half
// lo, worth x^64 * lo(x), by x^(bits + 64) and its high half by x^bits, both
// mod P.  Each constant c sits in the low 32 bits of its half, which reads as
// x^32 * c(x), so with the multiplier's extra x:
// c = x^(bits + 31) for the low half and x^(bits - 33) for the high half.
struct FoldPair {
  uint64_t lo;
  uint64_t hi;
};

constexpr FoldPair FoldBy(uint32_t bits) {
  return {XPowMod(bits + 31), XPowMod(bits - 33)};
}

constexpr FoldPair kFold128 = FoldBy(128);
constexpr FoldPair kFold256 = FoldBy(256);
constexpr FoldPair kFold384 = FoldBy(384);
constexpr FoldPair kFold512 = FoldBy(512);
constexpr FoldPair kFold1024 = FoldBy(1024);
constexpr FoldPair kFold2048 = FoldBy(2048);

// Final reduction of a block M(x) to M(x) * x^32 mod P(x), see Reduce().
// These constants sit in the high 32 bits of their halves (read as c(x)
// itself), which keeps the degree bounds that Barrett reduction relies on.
constexpr uint64_t kX95 = uint64_t{XPowMod(95)} << 32;
constexpr uint64_t kX63 = uint64_t{XPowMod(63)} << 32;
// floor(x^64 / P) and P, 33 bits each, read as x^31 times the polynomial.
constexpr uint64_t kMu = BarrettQuotient();
constexpr uint64_t kP = uint64_t{kPolynomial} << 1 | 1;

KORVEX_INLINE(KORVEX_PCLMUL) __m128i Pair128(uint64_t lo, uint64_t hi) {
  return _mm_set_epi64x(static_cast<long long>(hi), static_cast<long long>(lo));
}

KORVEX_INLINE(KORVEX_PCLMUL) __m128i Constant128(FoldPair k) { return Pair128(k.lo, k.hi); }

KORVEX_INLINE(KORVEX_PCLMUL) __m128i Load128(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// x carried forward by the distance k was made for, plus block.
KORVEX_INLINE(KORVEX_PCLMUL) __m128i FoldInto(__m128i x, __m128i k, __m128i block) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00),
                                     _mm_clmulepi64_si128(x, k, 0x11)),
                       block);
}

// The register after the message M(x) whose folded form is x:
// M(x) * x^32 mod P(x).
KORVEX_INLINE(KORVEX_PCLMUL) uint32_t Reduce(__m128i x) {
  const __m128i k = Pair128(kX95, kX63);
  const __m128i barrett = Pair128(kMu, kP);
  // 128 -> 96 bits while multiplying by x^32: x^96 * lo(x) becomes
  // x * lo(x) * (x^95 mod P), of degree < 96, and x^32 * hi(x) is the high
  // half moved to bits 32..95.
  __m128i y = _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00),
                            _mm_slli_si128(_mm_srli_si128(x, 8), 4));
  // 96 -> 64 bits: the part of degree 64..95 (bits 32..63), x^64 * y1(x),
  // becomes x * y1(x) * (x^63 mod P); the high half then holds Z(x), of
  // degree < 64 and congruent to M(x) * x^32.
  __m128i z = _mm_xor_si128(_mm_clmulepi64_si128(y, k, 0x10), y);
  // Barrett: q = floor(Z * mu / x^64) lands in bits 0..31; the low 32
  // coefficients of q * P land in bits 32..63; Z mod P = Zlow + those.
  __m128i q = _mm_clmulepi64_si128(z, barrett, 0x01);
  q = _mm_and_si128(q, _mm_set_epi32(0, 0, 0, -1));
  __m128i qp = _mm_clmulepi64_si128(q, barrett, 0x10);
  return static_cast<uint32_t>(_mm_extract_epi32(qp, 1) ^ _mm_extract_epi32(z, 3));
}

// Folds the remaining whole blocks into x and reduces.  n is a multiple of 16.
KORVEX_INLINE(KORVEX_PCLMUL)
uint32_t FinishBlocks(__m128i x, const unsigned char* p, size_t n) {
  const __m128i k128 = Constant128(kFold128);
  for (; n > 0; p += 16, n -= 16) x = FoldInto(x, k128, Load128(p));
  return Reduce(x);
}

// The 128-bit kernel: four interleaved blocks hide the multiplier latency.
// n is a nonzero multiple of 16.
KORVEX_INLINE(KORVEX_PCLMUL)
uint32_t FoldBlocks128(uint32_t reg, const unsigned char* p, size_t n) {
  __m128i x0 = _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
  p += 16;
  n -= 16;
  if (n >= 48) {
    __m128i x1 = Load128(p);
    __m128i x2 = Load128(p + 16);
    __m128i x3 = Load128(p + 32);
    p += 48;
    n -= 48;
    const __m128i k512 = Constant128(kFold512);
    for (; n >= 64; p += 64, n -= 64) {
      x0 = FoldInto(x0, k512, Load128(p));
      x1 = FoldInto(x1, k512, Load128(p + 16));
      x2 = FoldInto(x2, k512, Load128(p + 32));
      x3 = FoldInto(x3, k512, Load128(p + 48));
    }
    const __m128i k128 = Constant128(kFold128);
    x0 = FoldInto(x0, k128, x1);
    x0 = FoldInto(x0, k128, x2);
    x0 = FoldInto(x0, k128, x3);
  }
  return FinishBlocks(x0, p, n);
}

__attribute__((target(KORVEX_PCLMUL)))
uint32_t FoldPclmul(uint32_t reg, const unsigned char* p, size_t n) {
  return FoldBlocks128(reg, p, n);
}

KORVEX_INLINE(KORVEX_VPCLMUL256) __m256i Load256(const unsigned char* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

KORVEX_INLINE(KORVEX_VPCLMUL256) __m256i Constant256(FoldPair k) {
  return _mm256_broadcastsi128_si256(Constant128(k));
}

KORVEX_INLINE(KORVEX_VPCLMUL256)
__m256i FoldInto256(__m256i x, __m256i k, __m256i block) {
  return _mm256_xor_si256(_mm256_xor_si256(_mm256_clmulepi64_epi128(x, k, 0x00),
                                           _mm256_clmulepi64_epi128(x, k, 0x11)),
                          block);
}

// Four 256-bit accumulators, 128 bytes a round.
__attribute__((target(KORVEX_VPCLMUL256)))
uint32_t FoldVpclmul256(uint32_t reg, const unsigned char* p, size_t n) {
  if (n < 128) return FoldBlocks128(reg, p, n);
  __m256i y0 = _mm256_xor_si256(
      Load256(p), _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(reg))));
  __m256i y1 = Load256(p + 32);
  __m256i y2 = Load256(p + 64);
  __m256i y3 = Load256(p + 96);
  p += 128;
  n -= 128;
  const __m256i k1024 = Constant256(kFold1024);
  for (; n >= 128; p += 128, n -= 128) {
    y0 = FoldInto256(y0, k1024, Load256(p));
    y1 = FoldInto256(y1, k1024, Load256(p + 32));
    y2 = FoldInto256(y2, k1024, Load256(p + 64));
    y3 = FoldInto256(y3, k1024, Load256(p + 96));
  }
  const __m256i k256 = Constant256(kFold256);
  y0 = FoldInto256(y0, k256, y1);
  y0 = FoldInto256(y0, k256, y2);
  y0 = FoldInto256(y0, k256, y3);
  for (; n >= 32; p += 32, n -= 32) y0 = FoldInto256(y0, k256, Load256(p));
  // The first 128-bit lane is carried onto the second.
  __m128i x = FoldInto(_mm256_castsi256_si128(y0), Constant128(kFold128),
                       _mm256_extracti128_si256(y0, 1));
  // Clean upper halves before code that may use legacy SSE; optimising
  // compilers add this themselves, unoptimised GCC does not.
  _mm256_zeroupper();
  return FinishBlocks(x, p, n);
}

KORVEX_INLINE(KORVEX_VPCLMUL512) __m512i Load512(const unsigned char* p) {
  return _mm512_loadu_si512(p);
}

KORVEX_INLINE(KORVEX_VPCLMUL512) __m512i Constant512(FoldPair k) {
  return _mm512_broadcast_i32x4(Constant128(k));
}

KORVEX_INLINE(KORVEX_VPCLMUL512) __m512i Carry512(__m512i x, __m512i k) {
  return _mm512_xor_si512(_mm512_clmulepi64_epi128(x, k, 0x00),
                          _mm512_clmulepi64_epi128(x, k, 0x11));
}

KORVEX_INLINE(KORVEX_VPCLMUL512)
__m512i FoldInto512(__m512i x, __m512i k, __m512i block) {
  // 0x96: three-way exclusive or.
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00),
                                   _mm512_clmulepi64_epi128(x, k, 0x11), block, 0x96);
}

// Four 512-bit accumulators, 256 bytes a round.
__attribute__((target(KORVEX_VPCLMUL512)))
uint32_t FoldVpclmul512(uint32_t reg, const unsigned char* p, size_t n) {
  if (n < 256) return FoldBlocks128(reg, p, n);
  __m512i z0 = _mm512_xor_si512(
      Load512(p), _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(reg))));
  __m512i z1 = Load512(p + 64);
  __m512i z2 = Load512(p + 128);
  __m512i z3 = Load512(p + 192);
  p += 256;
  n -= 256;
  const __m512i k2048 = Constant512(kFold2048);
  for (; n >= 256; p += 256, n -= 256) {
    z0 = FoldInto512(z0, k2048, Load512(p));
    z1 = FoldInto512(z1, k2048, Load512(p + 64));
    z2 = FoldInto512(z2, k2048, Load512(p + 128));
    z3 = FoldInto512(z3, k2048, Load512(p + 192));
  }
  const __m512i k512 = Constant512(kFold512);
  z0 = FoldInto512(z0, k512, z1);
  z0 = FoldInto512(z0, k512, z2);
  z0 = FoldInto512(z0, k512, z3);
  for (; n >= 64; p += 64, n -= 64) z0 = FoldInto512(z0, k512, Load512(p));
  // Lanes 0..2 are carried by 384, 256 and 128 bits onto lane 3; the zero
  // constant for lane 3 leaves room to add it in unchanged.
  __m512i t = Carry512(z0, _mm512_set_epi64(0, 0, kFold128.hi, kFold128.lo, kFold256.hi,
                                           kFold256.lo, kFold384.hi, kFold384.lo));
  __m256i h = _mm256_xor_si256(_mm512_castsi512_si256(t), _mm512_extracti64x4_epi64(t, 1));
  __m128i x = _mm_xor_si128(
      _mm_xor_si128(_mm256_castsi256_si128(h), _mm256_extracti128_si256(h, 1)),
      _mm512_extracti32x4_epi32(z0, 3));
  _mm256_zeroupper();
  return FinishBlocks(x, p, n);
}

// Runs whole blocks through fold and the rest through the tables.
template <Kernel fold>
uint32_t UpdateFolded(uint32_t reg, const unsigned char* p, size_t n) {
  size_t blocks = n & ~size_t{15};
  if (blocks != 0) reg = fold(reg, p, blocks);
  return UpdatePortable(reg, p + blocks, n - blocks);
}

struct CpuFeatures {
  bool pclmul = false;
  bool vpclmul256 = false;
  bool vpclmul512 = false;
};

CpuFeatures DetectCpu() {
  CpuFeatures f;
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return f;
  f.pclmul = (c & bit_PCLMUL) && (c & bit_SSE4_1);
  if (!f.pclmul || !(c & bit_OSXSAVE) || !(c & bit_AVX)) return f;
  // The OS must save the vector state: XMM and YMM, then opmask and ZMM.
  unsigned xcr0, xcr0High;
  __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0High) : "c"(0));
  unsigned b7, c7;
  if (!__get_cpuid_count(7, 0, &a, &b7, &c7, &d)) return f;
  bool ymmState = (xcr0 & 0x06) == 0x06;
  bool zmmState = (xcr0 & 0xE6) == 0xE6;
  bool vpclmul = c7 & bit_VPCLMULQDQ;
  f.vpclmul256 = ymmState && vpclmul && (b7 & bit_AVX2);
  f.vpclmul512 = f.vpclmul256 && zmmState && (b7 & bit_AVX512F);
  return f;
}

}  // namespace

Kernel FoldingKernel(Level level) {
  static const CpuFeatures cpu = DetectCpu();
  switch (level) {
    case Level::kPortable:
      break;
    case Level::kPclmul:
      if (cpu.pclmul) return UpdateFolded<FoldPclmul>;
      break;
    case Level::kVpclmul256:
      if (cpu.vpclmul256) return UpdateFolded<FoldVpclmul256>;
      break;
    case Level::kVpclmul512:
      if (cpu.vpclmul512) return UpdateFolded<FoldVpclmul512>;
      break;
  }
  return nullptr;
}

#else

Kernel FoldingKernel(Level) { return nullptr; }

#endif

}  // namespace crc32
}  // namespace korvex
