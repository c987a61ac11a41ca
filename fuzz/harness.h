// The fuzz targets, by name, so that tests can feed them chosen inputs; each
// returns 0 and aborts on a broken invariant, which a fuzzer reports as a
// finding.  They drive korvex through the test support's memory file system.
#ifndef KORVEX_FUZZ_HARNESS_H_
#define KORVEX_FUZZ_HARNESS_H_

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

namespace korvex {
namespace fuzz {

int CatalogTarget(const uint8_t* data, size_t size);
int FetchTarget(const uint8_t* data, size_t size);
int PluginTarget(const uint8_t* data, size_t size);
int CompareTarget(const uint8_t* data, size_t size);

inline void Require(bool ok, const char* what) {
  if (ok) return;
  fprintf(stderr, "invariant broken: %s\n", what);
  abort();
}

}  // namespace fuzz
}  // namespace korvex

#endif  // KORVEX_FUZZ_HARNESS_H_
