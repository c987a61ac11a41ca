#include "catalog/tree.h"
#include "cli/context.h"
#include "cli/create.h"
#include "cli/grouped.h"
#include "cli/korvex.h"
#include "cli/reason.h"
#include "platform/console.h"
#include "platform/env.h"

namespace korvex {

void UpdateSource::Load(const std::string& catalogName) {
  name_ = catalogName;
  loaded_ = old_.Load(catalogName, &failure_);
}

ReuseSource* UpdateSource::Plan(Context& ctx, BlockReader& reader, const DirNode& root,
                                const ScanOptions& options, bool calc) {
  if (!loaded_) {
    ctx.console.Say("Reused: none, cannot load " + name_ + " (" + LoadErrorText(failure_) +
                    ")\n");
    return nullptr;
  }
  reuse_.Build(ctx.env, old_, reader, root, options, calc);
  if (reuse_.storeDamaged()) {
    ctx.console.Say("Stored contents of " + name_ +
                    " fail their check: those files are read again\n");
  }
  ctx.console.Say("Reused: " + std::to_string(reuse_.files()) + " files, " +
                  FormatGrouped(static_cast<int64_t>(reuse_.bytes())) + " bytes from " + name_ +
                  "\n");
  return &reuse_;
}

int RunUpdate(Context& ctx, int argc, char** argv) {
  UpdateSource update(ctx.env);
  return BuildCatalog(ctx, argc, argv, &update);
}

}  // namespace korvex
