#include <string.h>

#include "cli/context.h"
#include "cli/exit_code.h"
#include "cli/korvex.h"
#include "cli/progress_display.h"
#include "platform/console.h"
#include "platform/env.h"

namespace korvex {
namespace {

const char kBanner[] =
    "KORVEX v3.0m - media catalogs. Copyright (c) 2026 the korvex developers.\n";

const char kUsage[] =
    "Usage:\n"
    "  korvex c [/store=masks] [/max=bytes] [/fast] catalog [source-directory]\n"
    "  korvex l [/fast] catalog [mask]\n"
    "  korvex e [/mount=root] [/fast] [/overwrite] catalog path-in-catalog "
    "[target-directory]\n"
    "  korvex s [/size=min-max] [/crc=hex] [/like=file] [/dirs] [/fast] [/json]\n"
    "           [/dupes [/min=bytes]] mask catalog-or-folder...\n"
    "  korvex v [/fast] [/times] catalog [root]\n"
    "  korvex d [/times] old-catalog new-catalog\n";

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
  if (strcmp(word, "c") == 0) return RunCreate(ctx, argc, argv);
  if (strcmp(word, "e") == 0) return RunExtract(ctx, argc, argv);
  if (strcmp(word, "l") == 0) return RunList(ctx, argc, argv);
  if (strcmp(word, "s") == 0) return RunSearch(ctx, argc, argv);
  if (strcmp(word, "v") == 0) return RunVerify(ctx, argc, argv);
  if (strcmp(word, "d") == 0) return RunCompare(ctx, argc, argv);
  console.Err(std::string(kUsage) + DashDashNote());
  console.Flush(Stream::kErr);
  return kExitUsage;
}

}  // namespace korvex
