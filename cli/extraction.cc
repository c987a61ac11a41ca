#include "cli/extraction.h"

#include <memory>
#include <new>

#include "catalog/context.h"
#include "catalog/crc32.h"
#include "catalog/format.h"
#include "catalog/progress.h"
#include "cli/exit_code.h"
#include "cli/reason.h"
#include "platform/console.h"
#include "platform/env.h"

namespace korvex {
namespace {

bool UnsafeCatalogPath(const std::string& relative) {
  size_t start = 0;
  for (;;) {
    size_t end = relative.find('\\', start);
    if (UnsafeName(relative.substr(start, end - start))) return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

}  // namespace

bool UnsafeName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return true;
  for (char c : name) {
    if (c == '/' || c == '\\') return true;
#ifdef _WIN32
    if (c == ':') return true;
#endif
  }
  return false;
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
int Extraction::Result(const char* message, int code, const std::string& reason,
                       const std::string& path) {
  ctx_.console.Say(std::string(message) + "\n");
  if (!reason.empty()) ReportReason(ctx_, path.empty() ? target_ : path, reason);
  ctx_.console.RestoreTitle();
  return code;
}

// The CRC-32 of the whole file from its current position, with the
// "Check" display; false when a read fails.
bool Extraction::ComputeFileCrc(File& file, uint32_t* result) {
  Console& console = ctx_.console;
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kBlockSize]);
  if (!buffer) return false;
  // Progress counts the real size; the catalog holds only its low 32 bits.
  const uint64_t size = file.Size();
  console.Say("xxx%");
  console.SetTitle("{xxx%%}" + StageTitle("Check"));
  uint32_t crc = 0;
  uint64_t counted = 0;
  int64_t percent = 0;
  bool ok = true;
  for (;;) {
    size_t n = 0;
    if (!file.Read(buffer.get(), kBlockSize, &n)) {
      ok = false;
      break;
    }
    crc = crc32::Extend(crc, buffer.get(), n);
    if (size != 0) percent = Percentage(counted, size);
    ShowProgress(console, percent, "Check");
    counted += n;
    if (n != kBlockSize) break;
  }
  console.Out("\b\b\b\b");
  *result = crc;
  return ok;
}

int Extraction::Check(File& target) {
  const bool sizeEqual = static_cast<uint32_t>(target.Size()) == entry_.size;
  if (!hasCrc_) {
    return sizeEqual ? Result("Ok (check: no check/size only, due struct restrictions)", 0)
                     : Result("Fail (check: no check/size only, due struct restrictions)", 3);
  }
  if (options_.fast) {
    return sizeEqual ? Result("Ok (check: no check/size only, overriden by '/fast')", 0)
                     : Result("Fail (check: no check/size only, overriden by '/fast')", 3);
  }
  uint32_t crc = 0;
  if (!ComputeFileCrc(target, &crc)) return Result("Fail (check: cannot read target)", 3);
  return (crc == entry_.crc && sizeEqual) ? Result("Ok (check: check by CRC32)", 0)
                                          : Result("Fail (check: check by CRC32)", 3);
}

int Extraction::ExtractStored() {
  std::vector<unsigned char> contents;
  bool fetched = fetch_(&contents);
  ctx_.console.Say("\b\b\b\b");
  if (!fetched) return Result("Fail (extract: cannot extract due corrupted file)", 3);
  std::string error;
  std::unique_ptr<File> out = ctx_.env.Create(target_, &error);
  if (!out) return Result("Fail (extract: cannot open target)", kExitCannotWrite, error);
  if (!out->Write(contents.data(), contents.size()) || !out->Close()) {
    return Result("Fail (extract: cannot write target)", kExitCannotWrite);
  }
  written_ = contents.size();
  ctx_.env.SetModificationTime(target_, entry_.time);
  return options_.fast ? Result("Ok (extract: no check/size only, overriden by '/fast')", 0)
                       : Result("Ok (extract: check by CRC32)", 0);
}

int Extraction::Mount() {
  if (UnsafeCatalogPath(catalogPath_)) return Result("Fail (extract: unsafe name)", 3);
  if (options_.mountRoot.empty()) return Result("Fail (mount: unspecified)", 4);
  // The medium is named in the ANSI code page, like the root.
  std::string relative = catalogPath_;
  ctx_.env.OemToAnsi(&relative[0]);
#ifndef _WIN32
  for (char& c : relative) {
    if (c == '\\') c = '/';
  }
#endif
  const std::string source = options_.mountRoot + relative;
  std::string error;
  std::unique_ptr<File> in = ctx_.env.OpenRead(source, &error);
  if (!in) return Result("Fail (mount: unable find file)", kExitFailed, error, source);
  const uint64_t sourceSize = in->Size();
  if (static_cast<uint32_t>(sourceSize) != entry_.size) {
    return Result("Fail (mount: size mismatched)", 3);
  }
  return Copy(*in, sourceSize);
}

// The mount's copy: the source read once, its CRC-32 taken on the way.
int Extraction::Copy(File& in, uint64_t sourceSize) {
  std::string error;
  std::unique_ptr<File> out = ctx_.env.Create(target_, &error);
  if (!out) return Result("Fail (mount: cannot write target)", kExitCannotWrite, error);
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kBlockSize]);
  if (!buffer) return Result("Fail (mount: cannot write target)", 4);

  Console& console = ctx_.console;
  const bool verify = hasCrc_ && !options_.fast;
  uint64_t copied = 0;
  uint32_t crc = 0;
  console.Say("...%");
  while (sourceSize != 0) {
    size_t n = 0;
    if (!in.Read(buffer.get(), kBlockSize, &n)) {
      console.Out("\b\b\b\b");
      return Result("Fail (mount: cannot read data)", 4);
    }
    ShowProgress(console, Percentage(copied, sourceSize), "Calc");
    if (verify) crc = crc32::Extend(crc, buffer.get(), n);
    if (!out->Write(buffer.get(), n)) {
      console.Out("\b\b\b\b");
      return Result("Fail (mount: cannot write target)", 4);
    }
    copied += n;
    if (n != kBlockSize) break;
  }
  console.Out("\b\b\b\b");
  if (!out->Close()) return Result("Fail (mount: cannot write target)", 4);
  out.reset();
  ctx_.env.SetModificationTime(target_, entry_.time);
  written_ = copied;
  if (!hasCrc_) return Result("Ok (mount: no check/size only, due struct restrictions)", 0);
  if (options_.fast) return Result("Ok (mount: no check/size only, overriden by '/fast')", 0);
  // The catalog keeps the low 32 bits of a size of 4 GiB or more.
  if (crc == entry_.crc && static_cast<uint32_t>(copied) == entry_.size) {
    return Result("Ok (mount: check by CRC32)", 0);
  }
  written_ = 0;
  ctx_.console.Say("Fail (mount: check by CRC32)\n");
  ctx_.env.Delete(target_);
  ctx_.console.RestoreTitle();
  return 3;
}

}  // namespace korvex
