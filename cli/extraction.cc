#include "cli/extraction.h"

#include <memory>

#include "catalog/block_reader.h"
#include "catalog/format.h"
#include "cli/context.h"
#include "cli/progress_display.h"
#include "cli/reason.h"
#include "platform/console.h"
#include "platform/env.h"
#include "platform/paths.h"

namespace korvex {
namespace {

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

}  // namespace

bool MountSource(Env& env, const std::string& root, const std::string& catalogPath,
                 std::string* source) {
  if (UnsafeCatalogPath(catalogPath)) return false;
  // The medium is named in the ANSI code page, like the root.
  std::string relative = catalogPath;
  env.OemToAnsi(&relative[0]);
  CatalogToFileSystemPath(&relative);
  *source = root + relative;
  return true;
}

int Extraction::Run() {
  if (std::unique_ptr<File> existing = options_.overwrite ? nullptr : ctx_.env.OpenRead(target_)) {
    checked_ = true;
    return Check(*existing);
  }
  if (entry_.attributes & kAttrStored) return ExtractStored();
  return Mount();
}

// The result message; a reason, when there is one, follows on standard
// error with the path it concerns (the target unless told otherwise).
int Extraction::Result(const char* message, ExitCode code, const std::string& reason,
                       const std::string& path) {
  if (reason.empty()) return Finish(ctx_, message, code);
  return FinishWithReason(ctx_, message, code, path.empty() ? target_ : path, reason);
}

// The CRC-32 of the whole file from its current position, with the
// "Check" display; false when a read fails.
bool Extraction::ComputeFileCrc(File& file, uint32_t* result) {
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

int Extraction::Check(File& target) {
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

int Extraction::ExtractStored() {
  std::vector<unsigned char> contents;
  ctx_.console.Say("xxx%");
  ctx_.console.SetTitle("{xxx%%}" + StageTitle("Extr"));
  ConsoleProgress progress(ctx_.console);
  progress.Stage("Extr");
  bool fetched = fetch_(progress, &contents);
  ctx_.console.Say("\b\b\b\b");
  if (!fetched) return Result("Fail (extract: cannot extract due corrupted file)", kExitFailed);
  std::string error;
  std::unique_ptr<File> out = ctx_.env.Create(target_, &error);
  if (!out) return Result("Fail (extract: cannot open target)", kExitCannotWrite, error);
  if (!out->Write(contents.data(), contents.size()) || !out->Close()) {
    return Result("Fail (extract: cannot write target)", kExitCannotWrite);
  }
  written_ = contents.size();
  ctx_.env.SetModificationTime(target_, entry_.time);
  return options_.fast ? Result("Ok (extract: no check/size only, overriden by '/fast')", kExitSuccess)
                       : Result("Ok (extract: check by CRC32)", kExitSuccess);
}

int Extraction::Mount() {
  std::string source;
  if (!MountSource(ctx_.env, options_.mountRoot, catalogPath_, &source)) {
    return Result("Fail (extract: unsafe name)", kExitFailed);
  }
  if (options_.mountRoot.empty()) return Result("Fail (mount: unspecified)", kExitCannotWrite);
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
  // The catalog keeps the low 32 bits of a size of 4 GiB or more.
  if (hasCrc_ && !options_.fast &&
      (read.crc != entry_.crc || static_cast<uint32_t>(read.bytes) != entry_.size)) {
    ctx_.env.Delete(target_);
    return Result("Fail (mount: check by CRC32)", kExitFailed);
  }
  written_ = read.bytes;
  if (!hasCrc_) return Result("Ok (mount: no check/size only, due struct restrictions)", kExitSuccess);
  if (options_.fast) return Result("Ok (mount: no check/size only, overriden by '/fast')", kExitSuccess);
  return Result("Ok (mount: check by CRC32)", kExitSuccess);
}

}  // namespace korvex
