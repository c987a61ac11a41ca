#include <string.h>

#include "catalog/context.h"
#include "catalog/progress.h"
#include "cli/exit_code.h"
#include "cli/korvex.h"
#include "cli/usage.h"
#include "platform/console.h"

namespace korvex {

int RunKorvex(Context& ctx, int argc, char** argv) {
  Console& console = ctx.console;
  console.SaveTitle();
  console.SetTitle(StageTitle("Init"));
  console.Err(kBanner);
  console.Flush(Stream::kErr);
  if (argc < 2) {
    console.Err(kUsage);
    console.Flush(Stream::kErr);
    console.RestoreTitle();
    return 0;
  }
  const char* word = argv[1];
  // Asked for, so on standard output and a success, unlike the usage.
  bool help = strcmp(word, "--help") == 0 || strcmp(word, "-h") == 0;
  if (help || strcmp(word, "--version") == 0) {
    console.Say(help ? kHelp : kVersion);
    console.RestoreTitle();
    return kExitSuccess;
  }
  if (strcmp(word, "c") == 0) return RunCreate(ctx, argc, argv);
  if (strcmp(word, "e") == 0) return RunExtract(ctx, argc, argv);
  if (strcmp(word, "l") == 0) return RunList(ctx, argc, argv);
  if (strcmp(word, "s") == 0) return RunSearch(ctx, argc, argv);
  if (strcmp(word, "v") == 0) return RunVerify(ctx, argc, argv);
  if (strcmp(word, "d") == 0) return RunCompare(ctx, argc, argv);
  console.Err(kUsage);
  console.Flush(Stream::kErr);
  return 1;
}

}  // namespace korvex
