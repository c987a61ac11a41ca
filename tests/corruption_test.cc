// Damaged catalogs.  Every truncation and single-byte change of a small and a
// nested catalog goes through the fuzz targets, which hold the invariants:
// as it is, its CRCs must catch the damage; resealed, every reader must cope
// with it.  What each reader makes of the malformed shapes of
// tests/vectors/malformed/ is in the case files (tests/cases/malformed/), the
// plug-in's golden output (tools/testdata/malformed.golden) and the fuzz
// corpora.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fuzz/harness.h"
#include "tests/support/catalog_bytes.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

void Feed(const std::string& bytes) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
  fuzz::CatalogTarget(p, bytes.size());
  fuzz::FetchTarget(p, bytes.size());
  fuzz::PluginTarget(p, bytes.size());
}

// Every cut, and every change of a byte to the values values(position) gives.
template <typename Values>
void Sweep(const std::string& original, Values values) {
  for (size_t n = 0; n < original.size(); ++n) Feed(original.substr(0, n));
  for (size_t pos = 0; pos < original.size(); ++pos) {
    for (unsigned char now : values(pos, static_cast<unsigned char>(original[pos]))) {
      std::string bytes = original;
      bytes[pos] = static_cast<char>(now);
      Feed(bytes);
    }
  }
}

std::vector<unsigned char> FourChanges(unsigned char b) {
  return {static_cast<unsigned char>(b ^ 0xFF), 0x00, static_cast<unsigned char>(b ^ 0x10),
          static_cast<unsigned char>(b ^ 0x80)};
}

TEST(Corruption, WorkedExample) {
  const std::string original = test::ReadFile("tests/vectors/worked-example.dir");
  const size_t treeEnd = kHeaderSize + test::Inspect(original).treeLength;
  // Every value of every byte that shapes the records.
  Sweep(original, [&](size_t pos, unsigned char b) {
    std::vector<unsigned char> all(256);
    for (int v = 0; v < 256; ++v) all[v] = static_cast<unsigned char>(v);
    return pos < kTreeLengthOffset || pos >= treeEnd ? FourChanges(b) : all;
  });
}

// Made by the create command over a tree in memory: three levels, shared
// and empty stored records, unstored files.
TEST(Corruption, NestedCatalog) {
  const std::string nested = test::ReadFile("tests/vectors/nested.dir");
  const size_t treeEnd = kHeaderSize + test::Inspect(nested).treeLength;
  ASSERT_GE(nested.size(), 3000u);
  Sweep(nested, [&](size_t pos, unsigned char b) {
    return pos < treeEnd ? FourChanges(b) : std::vector<unsigned char>{uint8_t(b ^ 0xFF)};
  });
}

}  // namespace
}  // namespace korvex
