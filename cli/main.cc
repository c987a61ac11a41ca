#include "cli/context.h"
#include "cli/exit_code.h"
#include "cli/korvex.h"
#include "platform/console.h"
#include "platform/env.h"

int main(int argc, char** argv) {
  korvex::Context ctx(*korvex::Env::Default(), *korvex::Console::Default());
  ctx.console.CatchInterrupts();
  int code = korvex::RunKorvex(ctx, argc, argv);
  korvex::Console& console = ctx.console;
  console.Flush(korvex::Stream::kOut);
  console.Flush(korvex::Stream::kErr);
  // Output that was lost (a full disk, a closed pipe) is a failure too.
  if (console.Failed() && code == 0) {
    console.Err("korvex: the output could not be written\n");
    console.Flush(korvex::Stream::kErr);
    code = korvex::kExitCannotWrite;
  }
  return code;
}
