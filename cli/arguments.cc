#include "cli/arguments.h"

#include <string.h>

#include "cli/exit_code.h"

namespace korvex {

const char* Arguments::NextOption() {
  if (ended_) return nullptr;
  if (next_ >= argc_ || argv_[next_][0] != '/') {
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
