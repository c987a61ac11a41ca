// Restores a whole directory of a catalog: every file below it by the
// single-file rules, the directories made and given their times.
#ifndef KORVEX_CLI_RESTORE_DIR_H_
#define KORVEX_CLI_RESTORE_DIR_H_

#include <string>

#include "catalog/reader.h"

namespace korvex {

struct Context;
struct ExtractOptions;

// top is the directory record the reader's walk stands on, restored under
// target with its own name; null restores the whole catalog from a rewound
// walk directly into target.  Writes a line per file and a last line of
// counts; returns the exit code.
int RestoreDirectory(Context& ctx, const ExtractOptions& options, CatalogReader& reader,
                     const EntryInfo* top, const std::string& target);

}  // namespace korvex

#endif  // KORVEX_CLI_RESTORE_DIR_H_
