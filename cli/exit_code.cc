#include "cli/exit_code.h"

#include "cli/context.h"
#include "platform/console.h"

namespace korvex {

int Finish(Context& ctx, const std::string& line, ExitCode code) {
  ctx.console.Say(line + "\n");
  ctx.console.RestoreTitle();
  return code;
}

}  // namespace korvex
