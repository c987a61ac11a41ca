#include "cli/arguments.h"

#include <string.h>

#include "cli/context.h"
#include "platform/console.h"

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
  ctx.console.Say(std::string("Unknown parameter: ") + arg + "\n");
  ctx.console.RestoreTitle();
  return 1;
}

int NotAllNames(Context& ctx) {
  ctx.console.Say("Not all names specified.\n");
  ctx.console.RestoreTitle();
  return 2;
}

}  // namespace korvex
