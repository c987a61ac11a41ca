// Why a command failed, for the user: the message on standard output stays
// as it is, and one line "korvex: PATH: reason" follows on standard error.
#ifndef KORVEX_CLI_REASON_H_
#define KORVEX_CLI_REASON_H_

#include <string>

#include "cli/exit_code.h"

namespace korvex {

class CatalogReader;
struct LoadFailure;
struct Context;

// The reason a catalog did not load, as the user reads it.
std::string LoadErrorText(const LoadFailure& failure);

void ReportReason(Context& ctx, const std::string& path, const std::string& reason);

// Ends a command as Finish does, then gives the path and the reason.
int FinishWithReason(Context& ctx, const std::string& line, ExitCode code,
                     const std::string& path, const std::string& reason);

// Loads the catalog that l and e are given: the name as written, or the name
// with ".dir" added when only that exists.  On failure writes "File loading
// error!" and the reason, and returns false.
bool LoadNamedCatalog(Context& ctx, CatalogReader& reader, const std::string& given);

}  // namespace korvex

#endif  // KORVEX_CLI_REASON_H_
