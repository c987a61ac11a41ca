#include "catalog/context.h"
#include "cli/korvex.h"
#include "platform/console.h"
#include "platform/env.h"

int main(int argc, char** argv) {
  korvex::Context ctx(*korvex::Env::Default(), *korvex::Console::Default());
  int code = korvex::RunKorvex(ctx, argc, argv);
  ctx.console.Flush(korvex::Stream::kOut);
  ctx.console.Flush(korvex::Stream::kErr);
  return code;
}
