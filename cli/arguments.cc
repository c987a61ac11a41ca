#include "cli/arguments.h"

#include <string.h>

#include "cli/exit_code.h"
#include "platform/env.h"

namespace korvex {
namespace {

// Where paths are written with '/', an absolute path begins like an option.
// It is a name when the text before any '=' holds a second '/': no option
// word does ("/fast", "/store=...", "/mount=/media/cd/").
bool IsAbsolutePath(const char* arg) {
  if (kPathSeparator != '/') return false;
  const char* second = strchr(arg + 1, '/');
  const char* equals = strchr(arg, '=');
  return second != nullptr && (equals == nullptr || second < equals);
}

}  // namespace

const char* Arguments::NextOption() {
  if (ended_) return nullptr;
  if (next_ >= argc_ || argv_[next_][0] != '/' || IsAbsolutePath(argv_[next_])) {
    if (next_ < argc_ && strcmp(argv_[next_], "--") == 0) ++next_;
    ended_ = true;
    return nullptr;
  }
  return argv_[next_++];
}

int UnknownParameter(Context& ctx, const char* arg) {
  return Finish(ctx, std::string("Unknown parameter: ") + arg, kExitUsage);
}

int NotAllNames(Context& ctx) { return Finish(ctx, "Not all names specified.", kExitNamesMissing); }

}  // namespace korvex
