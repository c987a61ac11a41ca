#include "cli/reason.h"

#include "catalog/reader.h"
#include "cli/context.h"
#include "platform/console.h"
#include "platform/env.h"

namespace korvex {

std::string LoadErrorText(const LoadFailure& failure) {
  switch (failure.error) {
    case LoadError::kCannotOpen:
      return failure.systemText;
    case LoadError::kNotCatalog:
      return "not a catalog";
    case LoadError::kTruncated:
      return "truncated";
    case LoadError::kTreeChecksum:
      return "tree checksum mismatch";
    case LoadError::kDamagedTree:
      return "damaged tree block";
    case LoadError::kOutOfMemory:
      return "out of memory";
    case LoadError::kNone:
      break;
  }
  return "unknown error";
}

void ReportReason(Context& ctx, const std::string& path, const std::string& reason) {
  ctx.console.Err("korvex: " + path + ": " + reason + "\n");
  ctx.console.Flush(Stream::kErr);
}

int FinishWithReason(Context& ctx, const std::string& line, ExitCode code,
                     const std::string& path, const std::string& reason) {
  Finish(ctx, line, code);
  ReportReason(ctx, path, reason);
  return code;
}

bool LoadNamedCatalog(Context& ctx, CatalogReader& reader, const std::string& given) {
  std::string name = given;
  if (ctx.env.KindOf(name) == PathKind::kMissing &&
      ctx.env.KindOf(name + ".dir") != PathKind::kMissing) {
    name += ".dir";
  }
  LoadFailure failure;
  if (reader.Load(name, &failure)) return true;
  ctx.console.Say("File loading error!\n");
  ReportReason(ctx, name, LoadErrorText(failure));
  return false;
}

}  // namespace korvex
