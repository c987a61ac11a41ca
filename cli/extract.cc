#include <string.h>

#include <string>
#include <vector>

#include "catalog/format.h"
#include "catalog/reader.h"
#include "cli/arguments.h"
#include "cli/context.h"
#include "cli/exit_code.h"
#include "cli/extraction.h"
#include "cli/korvex.h"
#include "cli/progress_display.h"
#include "cli/reason.h"
#include "cli/restore_dir.h"
#include "platform/console.h"
#include "platform/env.h"
#include "platform/paths.h"

namespace korvex {
namespace {

// ASCII letters compare without case; every other byte exactly.
bool EqualIgnoringAsciiCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 32) : *a;
    char y = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 32) : *b;
    if (x != y) return false;
    if (x == 0) return true;
  }
}

// A directory named without its final separator gets one, so that names are
// joined inside it; other text is a prefix and is used as given.
std::string DirectoryPrefix(Env& env, std::string text) {
  const bool ends = !text.empty() && (text.back() == '/' || text.back() == kPathSeparator ||
                                      (kPathSeparator == '\\' && text.back() == ':'));
  if (!text.empty() && !ends && env.KindOf(text) == PathKind::kDirectory) text += kPathSeparator;
  return text;
}

// Reads and announces the options; the first unknown one, or null.
const char* ReadOptions(Context& ctx, Arguments& args, ExtractOptions* options) {
  Console& console = ctx.console;
  while (const char* option = args.NextOption()) {
    if (strncmp(option, "/mount=", 7) == 0) {
      options->mountRoot = option + 7;
      console.Say(" + mounting (" + options->mountRoot + ")\n");
    } else if (strcmp(option, "/fast") == 0) {
      options->fast = true;
      console.Say(" + fast processing (no CRC integrity check)\n");
    } else if (strcmp(option, "/overwrite") == 0) {
      options->overwrite = true;
      console.Say(" + overwrite (always write new file)\n");
    } else {
      return option;
    }
  }
  return nullptr;
}

// Walks to the first entry whose path is wanted, a directory's also without
// its trailing separator; null when there is none.
const char* FindEntry(CatalogReader& reader, const std::string& wanted) {
  const std::string asDirectory = wanted + '\\';
  reader.Rewind();
  while (const char* name = reader.NextEntry()) {
    const char* path = reader.CurrentPath().c_str() + 1;
    if (EqualIgnoringAsciiCase(path, wanted.c_str()) ||
        EqualIgnoringAsciiCase(path, asDirectory.c_str())) {
      return name;
    }
  }
  return nullptr;
}

}  // namespace

int RunExtract(Context& ctx, int argc, char** argv) {
  Console& console = ctx.console;
  Announce(console, "Extract");
  ExtractOptions options;
  Arguments args(argc, argv);
  if (const char* unknown = ReadOptions(ctx, args, &options)) return UnknownParameter(ctx, unknown);
  if (args.NameCount() < 2) return NotAllNames(ctx);
  // Only the wanted path is compared with catalog names; the catalog and the
  // target directory are file-system names and stay in the ANSI code page.
  ctx.env.AnsiToOem(args.Name(1));
  const char* catalogName = args.Name(0);
  std::string wanted = args.Name(1);
  CommandLineToCatalogPath(&wanted);
  const std::string targetDir = DirectoryPrefix(
      ctx.env, args.NameCount() > 2 ? args.Name(2) : kCurrentDirectoryPrefix);
  options.mountRoot = DirectoryPrefix(ctx.env, options.mountRoot);

  CatalogReader reader(ctx.env);
  if (!LoadNamedCatalog(ctx, reader, catalogName)) return kExitFailed;
  if (!reader.HasCrc()) {
    console.Say("Warning: File has no CRC information, check & mount cannot be checked.\n");
  }
  // "\" alone names the root.
  if (wanted == "\\" || wanted == "/") {
    reader.Rewind();
    return RestoreDirectory(ctx, options, reader, nullptr, targetDir);
  }
  const char* name = FindEntry(reader, wanted);
  if (name == nullptr) {
    console.Say("Err: file '" + wanted + "' has not found in dir\n");
    if (!reader.HasCrc()) console.RestoreTitle();
    return kExitFailed;
  }
  EntryInfo entry;
  reader.DecodeEntry(name, &entry);
  if (entry.attributes & kAttrDirectory) {
    return RestoreDirectory(ctx, options, reader, &entry, targetDir);
  }
  const std::string catalogPath = reader.CurrentPath().substr(1);
  console.Say("extracting " + catalogPath + "...");
  if (UnsafeName(entry.name, entry.nameLength)) return Finish(ctx, "Fail (extract: unsafe name)", kExitFailed);
  std::vector<char> ansiName(entry.name, entry.name + strlen(entry.name) + 1);
  ctx.env.OemToAnsi(ansiName.data());
  FetchContents fetch = [&](ProgressObserver& progress, std::vector<unsigned char>* contents) {
    return reader.FetchStored(!options.fast, progress, contents);
  };
  return Extraction(ctx, options, reader.HasCrc(), entry, catalogPath,
                    targetDir + ansiName.data(), fetch)
      .Run();
}

}  // namespace korvex
