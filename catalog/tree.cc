#include "catalog/tree.h"

#include <string.h>

#include <algorithm>

#include "catalog/format.h"
#include "catalog/mask.h"
#include "catalog/progress.h"
#include "platform/env.h"

namespace korvex {
namespace {

const uint64_t kFourGiB = 0x100000000ull;

// Millions of files are held at once.
static_assert(sizeof(FileNode) <= 32, "FileNode grew");

bool SelectedForStorage(const ScanContext& ctx, const char* name, uint64_t size) {
  const ScanOptions& o = ctx.options;
  // A content record cannot hold 4 GiB or more.
  if (!o.storageEnabled || size >= kFourGiB || static_cast<uint32_t>(size) >= o.maxStoredSize) {
    return false;
  }
  std::string upper(name);
  UpperAscii(&upper);
  for (const std::string& mask : o.storeMasks) {
    if (CompareMask(upper.c_str(), mask.c_str()) == 0) return true;
  }
  return false;
}

}  // namespace

void UpperAscii(std::string* text) {
  for (char& c : *text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
}

char* NamePool::Add(const char* name, size_t length) {
  size_t need = length + 1;
  if (need > kBlock - used_) {
    // Long names get a block of their own; the current block stays open.
    if (need > kBlock / 4) {
      blocks_.emplace(blocks_.begin(), new char[need]);
      memcpy(blocks_.front().get(), name, need);
      return blocks_.front().get();
    }
    blocks_.emplace_back(new char[kBlock]);
    used_ = 0;
  }
  char* copy = blocks_.back().get() + used_;
  memcpy(copy, name, need);
  used_ += need;
  return copy;
}

FileNode::FileNode(ScanContext& ctx, NamePool& names, const DirEntry& entry)
    : size(entry.size),
      time(entry.time),
      attributes(static_cast<uint8_t>(entry.attributes & ~kAttrStored)),
      readable(entry.readable),
      nameLength_(static_cast<uint32_t>(strlen(entry.name))),
      name_(names.Add(entry.name, nameLength_)) {
  ctx.progress.EntryScanned();
  ctx.totals.fileCount++;
  ctx.totals.totalBytes += static_cast<int64_t>(size);
  if (entry.attributes & kAttrStored) ctx.progress.TemporaryFound();
  if (SelectedForStorage(ctx, entry.name, size)) {
    ctx.totals.selectedCount++;
    ctx.totals.selectedBytes += static_cast<int64_t>(size);
    attributes |= kAttrStored;
  }
}

DirNode::DirNode()
    : time(0), attributes(kAttrDirectory), names_(std::make_shared<NamePool>()) {}

DirNode::DirNode(ScanContext& ctx, std::shared_ptr<NamePool> names, const DirEntry& entry)
    : name(entry.name),
      time(entry.time),
      attributes(static_cast<uint8_t>(entry.attributes)),
      names_(std::move(names)) {
  ctx.totals.dirCount++;
}

bool DirNode::Scan(ScanContext& ctx, const std::string& parentPath, std::string* error) {
  std::string path = parentPath + name + kPathSeparator;
  listed = ctx.env.ListDirectory(
      path,
      [&](const DirEntry& entry) {
        if (entry.attributes & kAttrDirectory) {
          subdirectories.emplace_back(new DirNode(ctx, names_, entry));
        } else {
          files.emplace_back(ctx, *names_, entry);
        }
      },
      error);
  // What a listing that failed part way gave is kept; it still fails.
  files.shrink_to_fit();
  std::sort(files.begin(), files.end(), [](const FileNode& a, const FileNode& b) {
    return strcmp(a.name(), b.name()) < 0;
  });
  std::sort(subdirectories.begin(), subdirectories.end(),
            [](const std::unique_ptr<DirNode>& a, const std::unique_ptr<DirNode>& b) {
              return strcmp(a->name.c_str(), b->name.c_str()) < 0;
            });
  for (auto& sub : subdirectories) {
    if (sub->Scan(ctx, path)) continue;
    ++ctx.totals.unlistedDirs;
    ctx.progress.ListError(path + sub->name);
  }
  return listed;
}

}  // namespace korvex
