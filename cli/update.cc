#include "catalog/context.h"
#include "cli/create.h"
#include "cli/grouped.h"
#include "cli/korvex.h"
#include "platform/console.h"

namespace korvex {

void UpdateSource::Load(const std::string& catalogName) {
  name_ = catalogName;
  loaded_ = old_.Load(catalogName);
}

ReuseSource* UpdateSource::Plan(Context& ctx, const DirNode& root) {
  if (!loaded_) {
    ctx.console.Say("Reused: none, cannot load " + name_ + " (" + old_.LoadError() + ")\n");
    return nullptr;
  }
  reuse_.Build(ctx.env, old_, root, ctx.options);
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
