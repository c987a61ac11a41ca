#include <string.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "catalog/block_reader.h"
#include "catalog/format.h"
#include "catalog/reader.h"
#include "cli/arguments.h"
#include "cli/context.h"
#include "cli/exit_code.h"
#include "cli/korvex.h"
#include "cli/progress_display.h"
#include "cli/reason.h"
#include "platform/console.h"
#include "platform/env.h"
#include "platform/paths.h"

namespace korvex {
namespace {

struct ExtractOptions {
  bool fast = false;
  bool overwrite = false;
  std::string mountRoot;
};

// ASCII letters compare without case; every other byte exactly.
bool EqualIgnoringAsciiCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 32) : *a;
    char y = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 32) : *b;
    if (x != y) return false;
    if (x == 0) return true;
  }
}

bool UnsafeCatalogPath(const std::string& relative) {
  size_t start = 0;
  for (;;) {
    size_t end = relative.find('\\', start);
    const size_t length = (end == std::string::npos ? relative.size() : end) - start;
    if (UnsafeName(relative.data() + start, length)) return true;
    if (end == std::string::npos) return false;
    start = end + 1;
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

class Extraction {
 public:
  Extraction(Context& ctx, const ExtractOptions& options, const CatalogReader& reader,
             const EntryInfo& entry, std::string catalogPath, std::string target)
      : ctx_(ctx),
        options_(options),
        reader_(reader),
        entry_(entry),
        catalogPath_(std::move(catalogPath)),
        target_(std::move(target)),
        hasCrc_(reader.HasCrc()) {}

  int Run() {
    if (std::unique_ptr<File> existing =
            options_.overwrite ? nullptr : ctx_.env.OpenRead(target_)) {
      return Check(*existing);
    }
    if (entry_.attributes & kAttrStored) return ExtractStored();
    return Mount();
  }

 private:
  // The result message; a reason, when there is one, follows on standard
  // error with the path it concerns (the target unless told otherwise).
  int Result(const char* message, ExitCode code, const std::string& reason = std::string(),
             const std::string& path = std::string()) {
    if (reason.empty()) return Finish(ctx_, message, code);
    return FinishWithReason(ctx_, message, code, path.empty() ? target_ : path, reason);
  }

  // The CRC-32 of the whole file from its current position, with the
  // "Check" display; false when a read fails.
  bool ComputeFileCrc(File& file, uint32_t* result) {
    Console& console = ctx_.console;
    std::unique_ptr<BlockReader> reader = BlockReader::Create();
    if (!reader) return false;
    // Progress counts the real size; the catalog holds only its low 32 bits.
    const uint64_t size = file.Size();
    console.Say("xxx%");
    console.SetTitle("{xxx%%}" + StageTitle("Check"));
    ReadResult read = reader->ReadToEnd(file, [&](const Block& block) {
      ShowProgress(console, Percentage(block.offset, size), "Check");
      return true;
    });
    console.Out("\b\b\b\b");
    *result = read.crc;
    return read.ok();
  }

  int Check(File& target) {
    const bool sizeEqual = static_cast<uint32_t>(target.Size()) == entry_.size;
    if (!hasCrc_) {
      return sizeEqual ? Result("Ok (check: no check/size only, due struct restrictions)", kExitSuccess)
                       : Result("Fail (check: no check/size only, due struct restrictions)", kExitFailed);
    }
    if (options_.fast) {
      return sizeEqual ? Result("Ok (check: no check/size only, overriden by '/fast')", kExitSuccess)
                       : Result("Fail (check: no check/size only, overriden by '/fast')", kExitFailed);
    }
    uint32_t crc = 0;
    if (!ComputeFileCrc(target, &crc)) return Result("Fail (check: cannot read target)", kExitFailed);
    return (crc == entry_.crc && sizeEqual) ? Result("Ok (check: check by CRC32)", kExitSuccess)
                                            : Result("Fail (check: check by CRC32)", kExitFailed);
  }

  int ExtractStored() {
    std::vector<unsigned char> contents;
    ctx_.console.Say("xxx%");
    ctx_.console.SetTitle("{xxx%%}" + StageTitle("Extr"));
    ConsoleProgress progress(ctx_.console);
    progress.Stage("Extr");
    bool fetched = reader_.FetchStored(!options_.fast, progress, &contents);
    ctx_.console.Say("\b\b\b\b");
    if (!fetched) return Result("Fail (extract: cannot extract due corrupted file)", kExitFailed);
    std::string error;
    std::unique_ptr<File> out = ctx_.env.Create(target_, &error);
    if (!out) return Result("Fail (extract: cannot open target)", kExitCannotWrite, error);
    if (!out->Write(contents.data(), contents.size()) || !out->Close()) {
      return Result("Fail (extract: cannot write target)", kExitCannotWrite);
    }
    ctx_.env.SetModificationTime(target_, entry_.time);
    return options_.fast ? Result("Ok (extract: no check/size only, overriden by '/fast')", kExitSuccess)
                         : Result("Ok (extract: check by CRC32)", kExitSuccess);
  }

  int Mount() {
    if (UnsafeCatalogPath(catalogPath_)) return Result("Fail (extract: unsafe name)", kExitFailed);
    if (options_.mountRoot.empty()) return Result("Fail (mount: unspecified)", kExitCannotWrite);
    // The medium is named in the ANSI code page, like the root.
    std::string relative = catalogPath_;
    ctx_.env.OemToAnsi(&relative[0]);
    CatalogToFileSystemPath(&relative);
    const std::string source = options_.mountRoot + relative;
    std::string error;
    std::unique_ptr<File> in = ctx_.env.OpenRead(source, &error);
    if (!in) return Result("Fail (mount: unable find file)", kExitFailed, error, source);
    const uint64_t sourceSize = in->Size();
    if (static_cast<uint32_t>(sourceSize) != entry_.size) {
      return Result("Fail (mount: size mismatched)", kExitFailed);
    }
    std::unique_ptr<File> out = ctx_.env.Create(target_, &error);
    if (!out) return Result("Fail (mount: cannot write target)", kExitCannotWrite, error);
    std::unique_ptr<BlockReader> reader = BlockReader::Create();
    if (!reader) return Result("Fail (mount: cannot write target)", kExitCannotWrite);

    Console& console = ctx_.console;
    console.Say("...%");
    ReadResult read;
    if (sourceSize != 0) {
      read = reader->ReadToEnd(*in, [&](const Block& block) {
        ShowProgress(console, Percentage(block.offset, sourceSize), "Calc");
        return out->Write(block.data, block.size);
      });
    }
    console.Out("\b\b\b\b");
    if (read.status == ReadStatus::kReadFailed) return Result("Fail (mount: cannot read data)", kExitCannotWrite);
    if (!read.ok()) return Result("Fail (mount: cannot write target)", kExitCannotWrite);
    in.reset();
    if (!out->Close()) return Result("Fail (mount: cannot write target)", kExitCannotWrite);
    out.reset();
    ctx_.env.SetModificationTime(target_, entry_.time);
    if (!hasCrc_) return Result("Ok (mount: no check/size only, due struct restrictions)", kExitSuccess);
    if (options_.fast) return Result("Ok (mount: no check/size only, overriden by '/fast')", kExitSuccess);
    // The catalog keeps the low 32 bits of a size of 4 GiB or more.
    if (read.crc == entry_.crc && static_cast<uint32_t>(read.bytes) == entry_.size) {
      return Result("Ok (mount: check by CRC32)", kExitSuccess);
    }
    ctx_.env.Delete(target_);
    return Result("Fail (mount: check by CRC32)", kExitFailed);
  }

  Context& ctx_;
  const ExtractOptions& options_;
  const CatalogReader& reader_;
  const EntryInfo& entry_;
  const std::string catalogPath_;  // without the leading backslash
  const std::string target_;
  const bool hasCrc_;
};

}  // namespace

int RunExtract(Context& ctx, int argc, char** argv) {
  Console& console = ctx.console;
  console.SetTitle(StageTitle("Extract"));
  console.Say(" Cmd::Extract\n");
  ExtractOptions options;
  Arguments args(argc, argv);
  while (const char* option = args.NextOption()) {
    if (strncmp(option, "/mount=", 7) == 0) {
      options.mountRoot = option + 7;
      console.Say(" + mounting (" + options.mountRoot + ")\n");
    } else if (strcmp(option, "/fast") == 0) {
      options.fast = true;
      console.Say(" + fast processing (no CRC integrity check)\n");
    } else if (strcmp(option, "/overwrite") == 0) {
      options.overwrite = true;
      console.Say(" + overwrite (always write new file)\n");
    } else {
      return UnknownParameter(ctx, option);
    }
  }
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
  reader.Rewind();
  const char* name = nullptr;
  while ((name = reader.NextEntry()) != nullptr) {
    if (EqualIgnoringAsciiCase(reader.CurrentPath().c_str() + 1, wanted.c_str())) break;
  }
  if (name == nullptr) {
    console.Say("Err: file '" + wanted + "' has not found in dir\n");
    if (!reader.HasCrc()) console.RestoreTitle();
    return kExitFailed;
  }
  const std::string catalogPath = reader.CurrentPath().substr(1);
  console.Say("extracting " + catalogPath + "...");
  EntryInfo entry;
  reader.DecodeEntry(name, &entry);
  if (entry.attributes & kAttrDirectory) return Finish(ctx, "Fail (extract: not a file)", kExitFailed);
  if (UnsafeName(entry.name, entry.nameLength)) return Finish(ctx, "Fail (extract: unsafe name)", kExitFailed);
  std::vector<char> ansiName(entry.name, entry.name + strlen(entry.name) + 1);
  ctx.env.OemToAnsi(ansiName.data());
  return Extraction(ctx, options, reader, entry, catalogPath, targetDir + ansiName.data()).Run();
}

}  // namespace korvex
