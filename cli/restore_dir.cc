#include "cli/restore_dir.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "catalog/format.h"
#include "catalog/read_ahead.h"
#include "catalog/store_reader.h"
#include "catalog/tree_walker.h"
#include "cli/context.h"
#include "cli/exit_code.h"
#include "cli/extraction.h"
#include "cli/grouped.h"
#include "cli/reason.h"
#include "platform/console.h"
#include "platform/env.h"
#include "platform/paths.h"

namespace korvex {
namespace {

// A data area up to this size is held in memory by the store check, so the
// stored files need no second read.
const uint64_t kHeldDataArea = 64u << 20;

bool EndsInSeparator(const std::string& text) {
  return !text.empty() && (text.back() == '/' || text.back() == kPathSeparator);
}

// A directory being restored.
struct OpenDirectory {
  size_t depth;        // the walk's depth inside it
  std::string target;  // with its trailing separator; empty when skipped
  uint32_t time;
};

class DirectoryRestore {
 public:
  DirectoryRestore(Context& ctx, const ExtractOptions& options, CatalogReader& reader)
      : ctx_(ctx),
        options_(options),
        reader_(reader),
        store_(ctx.env, reader, kHeldDataArea) {}

  int Run(const EntryInfo* top, std::string target);

 private:
  bool MakeTarget(std::string* target);
  void StartReadAhead(const EntryInfo* top);
  void Directory(const EntryInfo& entry, size_t depth);
  void File(const EntryInfo& entry);
  // Gives the directories deeper than depth their times: their contents are
  // in place.
  void CloseBelow(size_t depth);
  std::string TargetOf(const char* name) const;
  void Failed(const std::string& path, const char* message, ExitCode code,
              const std::string& reason = std::string(), const std::string& about = std::string());
  void Count(int code) { code_ = std::max(code_, static_cast<ExitCode>(code)); }

  Context& ctx_;
  const ExtractOptions& options_;
  CatalogReader& reader_;
  StoreReader store_;
  std::vector<OpenDirectory> open_;
  std::vector<ReadAhead::Upcoming> mounted_;  // in the order they are copied
  std::optional<ReadAhead> ahead_;
  int restored_ = 0;
  int checked_ = 0;
  int failed_ = 0;
  uint64_t bytes_ = 0;
  ExitCode code_ = kExitSuccess;
};

int DirectoryRestore::Run(const EntryInfo* top, std::string target) {
  if (!MakeTarget(&target)) return code_;
  StartReadAhead(top);
  const size_t base = top ? reader_.CurrentDepth() : 0;
  open_.push_back(OpenDirectory{0, target, 0});  // the target given: never timed
  if (top) Directory(*top, base);
  while (const char* name = reader_.NextEntry()) {
    EntryInfo entry;
    reader_.DecodeEntry(name, &entry);
    const bool isDirectory = entry.attributes & kAttrDirectory;
    const size_t depth = reader_.CurrentDepth();
    const size_t inside = isDirectory ? depth - 1 : depth;
    if (top && inside < base) break;  // the walk has left the directory
    CloseBelow(inside);
    if (isDirectory) {
      Directory(entry, depth);
    } else {
      File(entry);
    }
  }
  CloseBelow(0);
  return Finish(ctx_,
                "Files: " + std::to_string(restored_) + " restored, " + std::to_string(checked_) +
                    " checked, " + std::to_string(failed_) + " failed; " +
                    FormatGrouped(static_cast<int64_t>(bytes_)) + " bytes written.",
                code_);
}

// The target directory given is made, with its parents, when missing.
bool DirectoryRestore::MakeTarget(std::string* target) {
  if (!EndsInSeparator(*target)) *target += kPathSeparator;
  for (size_t end = 1; end < target->size(); ++end) {
    if ((*target)[end] != '/' && (*target)[end] != kPathSeparator) continue;
    const std::string path = target->substr(0, end);
    std::string error;
    if (ctx_.env.KindOf(path) != PathKind::kDirectory && !ctx_.env.MakeDirectory(path, &error)) {
      code_ = kExitCannotWrite;
      FinishWithReason(ctx_, "Fail (extract: cannot make directory)", code_, path, error);
      return false;
    }
  }
  return true;
}

// The medium's files below the directory, in the order the walk copies them,
// so that reads ahead keep a cold medium busy.
void DirectoryRestore::StartReadAhead(const EntryInfo* top) {
  if (options_.mountRoot.empty()) return;
  const ReadAhead::Limits limits = ReadAhead::For(ctx_.env.ReadAheadFor(options_.mountRoot));
  if (limits.files == 0) return;
  TreeWalker walk(reader_.Tree(), reader_.TreeLength(), reader_.HasCrc());
  bool inside = top == nullptr;
  size_t base = 0;
  while (const TreeRecord* r = walk.Next()) {
    const bool isDirectory = r->kind == TreeRecord::kDirectory;
    if (!inside) {
      inside = r->name == top->name;
      base = walk.depth();
      continue;
    }
    if (top && walk.depth() - (isDirectory ? 1 : 0) < base) break;
    std::string source;
    if (!isDirectory && !(r->attributes & kAttrStored) &&
        MountSource(ctx_.env, options_.mountRoot, walk.path().substr(1), &source)) {
      mounted_.push_back(ReadAhead::Upcoming{r->name, source, r->size});
    }
  }
  size_t next = 0;
  ahead_.emplace(ctx_.env, [this, next](ReadAhead::Upcoming* out) mutable {
    if (next == mounted_.size()) return false;
    *out = mounted_[next++];
    return true;
  }, limits);
}

std::string DirectoryRestore::TargetOf(const char* name) const {
  std::string ansi = name;
  ctx_.env.OemToAnsi(&ansi[0]);
  return open_.back().target + ansi;
}

void DirectoryRestore::Failed(const std::string& path, const char* message, ExitCode code,
                              const std::string& reason, const std::string& about) {
  ctx_.console.Say("extracting " + path + "..." + message + "\n");
  if (!reason.empty()) ReportReason(ctx_, about, reason);
  Count(code);
}

void DirectoryRestore::Directory(const EntryInfo& entry, size_t depth) {
  const std::string path = reader_.CurrentPath().substr(1);
  OpenDirectory dir{depth, std::string(), entry.time};
  // Below a skipped directory nothing is written and nothing more said.
  if (!open_.back().target.empty()) {
    std::string error;
    if (UnsafeName(entry.name, entry.nameLength)) {
      Failed(path, "Fail (extract: unsafe name)", kExitFailed);
    } else if (!ctx_.env.MakeDirectory(TargetOf(entry.name), &error)) {
      Failed(path, "Fail (extract: cannot make directory)", kExitCannotWrite, error,
             TargetOf(entry.name));
    } else {
      dir.target = TargetOf(entry.name) + kPathSeparator;
    }
  }
  open_.push_back(dir);
}

void DirectoryRestore::File(const EntryInfo& entry) {
  if (open_.back().target.empty()) {
    ++failed_;
    return;
  }
  const std::string path = reader_.CurrentPath().substr(1);
  if (UnsafeName(entry.name, entry.nameLength)) {
    ++failed_;
    return Failed(path, "Fail (extract: unsafe name)", kExitFailed);
  }
  ctx_.console.Say("extracting " + path + "...");
  std::string source;
  if (ahead_ && !(entry.attributes & kAttrStored) &&
      MountSource(ctx_.env, options_.mountRoot, path, &source)) {
    ahead_->Reading(entry.name);  // only files the reads ahead were given
  }
  const int32_t ordinal = reader_.StoredOrdinal();
  FetchContents fetch = [&](ProgressObserver& progress, std::vector<unsigned char>* contents) {
    return store_.Fetch(ordinal, !options_.fast, progress, contents);
  };
  Extraction file(ctx_, options_, reader_.HasCrc(), entry, path, TargetOf(entry.name), fetch);
  const int code = file.Run();
  Count(code);
  if (code != kExitSuccess) {
    ++failed_;
  } else if (file.checked()) {
    ++checked_;
  } else {
    ++restored_;
  }
  bytes_ += file.written();
}

void DirectoryRestore::CloseBelow(size_t depth) {
  while (open_.size() > 1 && open_.back().depth > depth) {
    const OpenDirectory& dir = open_.back();
    if (!dir.target.empty()) {
      ctx_.env.SetModificationTime(dir.target.substr(0, dir.target.size() - 1), dir.time);
    }
    open_.pop_back();
  }
}

}  // namespace

int RestoreDirectory(Context& ctx, const ExtractOptions& options, CatalogReader& reader,
                     const EntryInfo* top, const std::string& target) {
  return DirectoryRestore(ctx, options, reader).Run(top, target);
}

}  // namespace korvex
