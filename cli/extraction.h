// One file restored by the single-file rules: an existing target checked,
// stored contents extracted, or the file copied from the medium and
// verified; one result message.  The directory walk calls it per file.
#ifndef KORVEX_CLI_EXTRACTION_H_
#define KORVEX_CLI_EXTRACTION_H_

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "catalog/reader.h"
#include "cli/exit_code.h"

namespace korvex {

struct Context;
class Env;
class File;
class ProgressObserver;

struct ExtractOptions {
  bool fast = false;
  bool overwrite = false;
  std::string mountRoot;
};

// The path of a file on the medium mounted at root; false for a catalog
// path (without its leading backslash) that could lead outside the root.
bool MountSource(Env& env, const std::string& root, const std::string& catalogPath,
                 std::string* source);

// Gives the stored contents of the entry, reporting the progress of a store
// check; false when the store is damaged.
using FetchContents = std::function<bool(ProgressObserver&, std::vector<unsigned char>*)>;

class Extraction {
 public:
  // catalogPath is without the leading backslash.
  Extraction(Context& ctx, const ExtractOptions& options, bool hasCrc, const EntryInfo& entry,
             std::string catalogPath, std::string target, FetchContents fetch)
      : ctx_(ctx),
        options_(options),
        hasCrc_(hasCrc),
        entry_(entry),
        catalogPath_(std::move(catalogPath)),
        target_(std::move(target)),
        fetch_(std::move(fetch)) {}

  // Writes the result message and returns its exit code.
  int Run();
  // Whether the target was checked rather than written.
  bool checked() const { return checked_; }
  // Bytes written to the target.
  uint64_t written() const { return written_; }

 private:
  int Result(const char* message, ExitCode code, const std::string& reason = std::string(),
             const std::string& path = std::string());
  bool ComputeFileCrc(File& file, uint32_t* result);
  int Check(File& target);
  int ExtractStored();
  int Mount();

  Context& ctx_;
  const ExtractOptions& options_;
  const bool hasCrc_;
  const EntryInfo& entry_;
  const std::string catalogPath_;
  const std::string target_;
  const FetchContents fetch_;
  bool checked_ = false;
  uint64_t written_ = 0;
};

}  // namespace korvex

#endif  // KORVEX_CLI_EXTRACTION_H_
