// The process exit codes: one table for every command.
#ifndef KORVEX_CLI_EXIT_CODE_H_
#define KORVEX_CLI_EXIT_CODE_H_

#include <string>

namespace korvex {

struct Context;

enum ExitCode : int {
  kExitSuccess = 0,
  kExitUsage = 1,          // unknown command word or option
  kExitNamesMissing = 2,   // not all names specified
  kExitFailed = 3,         // cannot load, not found, a check or read failed
  kExitCannotWrite = 4,    // catalog, target or console output not written
  kExitDiffers = 5,        // the medium or catalog differs; nothing found
};

// Ends a command: writes line and a newline, puts the saved title back and
// returns code.
int Finish(Context& ctx, const std::string& line, ExitCode code);

}  // namespace korvex

#endif  // KORVEX_CLI_EXIT_CODE_H_
