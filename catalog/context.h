// What one command of the process shares across the engine: the options, the
// counters, and the console and operating system it works through.
#ifndef KORVEX_CATALOG_CONTEXT_H_
#define KORVEX_CATALOG_CONTEXT_H_

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

namespace korvex {

class Console;
class Env;

struct CatalogOptions {
  bool crcEnabled = false;
  bool storageEnabled = false;
  // A file is eligible for storage only when its size is strictly below this.
  uint32_t maxStoredSize = 0xFFFFFFFFu;
  std::vector<std::string> storeMasks;  // upper-cased
};

struct ScanTotals {
  int32_t dirCount = 0;  // the scanned root is not counted
  int32_t fileCount = 0;
  int64_t totalBytes = 0;
  int64_t selectedBytes = 0;
  int32_t selectedCount = 0;
  // Progress of the calc or store pass.
  int64_t processedBytes = 0;
  int64_t progressStep = 0;
  int64_t refreshThreshold = 0;
  // Progress of the stored-content fetch.
  uint32_t fetchTotal = 0;
  uint32_t fetchStep = 0;
  uint32_t fetchThreshold = 0;
  uint32_t fetchPosition = 0;
  // Files the pass could not read.
  int32_t unreadableFiles = 0;
  // Scan spinner.
  int spinnerTick = 0;
  int spinnerPhase = 0;
};

struct Context {
  Context(Env& e, Console& c) : env(e), console(c) {}
  Env& env;
  Console& console;
  CatalogOptions options;
  ScanTotals totals;
  // Told of every directory the scan cannot list (its path with the
  // separator, and the system's reason), the root included.
  std::function<void(const std::string& path, const std::string& reason)> unlistedDirectory;
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_CONTEXT_H_
