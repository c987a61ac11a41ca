#include <string.h>

#include "cli/context.h"
#include "cli/exit_code.h"
#include "cli/korvex.h"
#include "cli/progress_display.h"
#include "cli/usage.h"
#include "platform/console.h"
#include "platform/env.h"

namespace korvex {
namespace {

// When the first name itself begins with '/'.
const char* DashDashNote() {
  return kPathSeparator == '/'
             ? "Write -- before a first name such as /x.dir that has no other '/'.\n"
             : "Write -- before a first name that begins with '/'.\n";
}

}  // namespace

int RunKorvex(Context& ctx, int argc, char** argv) {
  Console& console = ctx.console;
  console.SaveTitle();
  console.SetTitle(StageTitle("Init"));
  console.Err(kBanner);
  console.Flush(Stream::kErr);
  if (argc < 2) {
    console.Err(std::string(kUsage) + DashDashNote());
    console.Flush(Stream::kErr);
    console.RestoreTitle();
    return kExitSuccess;
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
  if (strcmp(word, "u") == 0) return RunUpdate(ctx, argc, argv);
  console.Err(std::string(kUsage) + DashDashNote());
  console.Flush(Stream::kErr);
  return kExitUsage;
}

}  // namespace korvex
