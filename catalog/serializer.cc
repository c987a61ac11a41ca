#include "catalog/serializer.h"

#include <string.h>

#include <utility>

#include "catalog/block_reader.h"
#include "catalog/catalog_format.h"
#include "catalog/content_store.h"
#include "catalog/format.h"
#include "catalog/progress.h"
#include "catalog/read_ahead.h"
#include "catalog/reuse.h"
#include "catalog/tree.h"
#include "platform/env.h"

namespace korvex {

namespace {

TreeRecord DirectoryRecord(const DirNode& dir) {
  TreeRecord record;
  record.kind = TreeRecord::kDirectory;
  record.name = dir.name.c_str();
  record.nameLength = dir.name.size();
  record.attributes = dir.attributes;
  record.time = dir.time;
  return record;
}

TreeRecord FileRecord(const FileNode& file) {
  TreeRecord record;
  record.kind = TreeRecord::kFile;
  record.name = file.name();
  record.nameLength = file.nameLength();
  record.attributes = file.attributes;
  record.time = file.time;
  record.size = file.size32();
  record.crc = file.crc;
  return record;
}

const TreeRecord kEndRecord;

}  // namespace

uint64_t TreeSize(const DirNode& dir) {
  uint64_t size = RecordSize(kEndRecord, true);
  if (!dir.name.empty()) size += RecordSize(DirectoryRecord(dir), true);
  for (const FileNode& file : dir.files) size += RecordSize(FileRecord(file), true);
  for (const auto& sub : dir.subdirectories) size += TreeSize(*sub);
  return size;
}

namespace {

enum class PassKind { kCalc, kStore };

class Pass {
 public:
  Pass(const PassContext& ctx, PassKind kind, ContentStoreBuilder* store, ReadAhead* ahead)
      : ctx_(ctx), kind_(kind), store_(store), ahead_(ahead) {}

  int32_t unreadable() const { return unreadable_; }

  void Directory(DirNode& dir, const std::string& parentPath) {
    std::string path = parentPath + dir.name + kPathSeparator;
    for (FileNode& file : dir.files) {
      if (File(file, path)) continue;
      ++unreadable_;
      ctx_.progress.ReadError(path + file.name());
    }
    for (auto& sub : dir.subdirectories) Directory(*sub, path);
    ctx_.env.AnsiToOem(&dir.name[0]);
  }

 private:
  bool Stores(const FileNode& file) const {
    return store_ != nullptr && (file.attributes & kAttrStored);
  }

  // Returns false when the file could not be opened or read in full.
  bool File(FileNode& file, const std::string& dirPath) {
    // Update: what the earlier catalog vouches for is not read again.
    const ReusedFile* reused = ctx_.reuse ? ctx_.reuse->Next(file) : nullptr;
    unsigned char* dest = nullptr;
    if (Stores(file)) {
      dest = store_->Reserve(file.size32());
      if (dest == nullptr) file.attributes &= ~kAttrStored;
    }
    // The path is spelt before the name's conversion, and only for a file
    // the pass may open: the store pass passes most files by.
    const bool reads = kind_ == PassKind::kCalc || Stores(file);
    std::string path = reads && !reused ? dirPath + file.name() : std::string();
    ctx_.env.AnsiToOem(file.mutableName());
    if (!reads) return true;
    if (!file.readable) {
      // Links and devices are cataloged as empty and never opened.
      if (Stores(file)) store_->Commit(0, 0);
      return true;
    }
    if (reused != nullptr) {
      file.crc = reused->crc;
      if (dest != nullptr && Stores(file)) {
        memcpy(dest, reused->contents, file.size32());
        store_->Commit(file.size32(), reused->crc);
      }
      return true;
    }
    ahead_->Reading(&file);
    auto consume = [&](const Block& block) {
      Progress(block.size);
      if (dest != nullptr && Stores(file)) {
        memcpy(dest, block.data, block.size);
        dest += block.size;
        // The index lookup arrives while the file is closed.
        if (block.offset + block.size == file.size) store_->Prepare(file.size32(), block.crc);
      }
      return true;
    };
    ReadResult read = ctx_.reader.ReadFile(ctx_.env, path, file.size, ahead_->enabled(), consume);
    if (!read.ok()) {
      // A file that could not be opened, shrank, failed, or grew past its
      // recorded size: count the rest as done, keep nothing of it.
      if (read.status != ReadStatus::kCannotOpen && read.bytes < file.size) {
        Progress(file.size - read.bytes);
      }
      file.attributes &= ~kAttrStored;
      return false;
    }
    file.crc = read.crc;
    if (Stores(file)) store_->Commit(file.size32(), read.crc);
    return true;
  }

  void Progress(uint64_t bytes) {
    done_ += bytes;
    ctx_.progress.BytesDone(done_, ctx_.progressTotal);
  }

  const PassContext& ctx_;
  PassKind kind_;
  ContentStoreBuilder* store_;
  uint64_t done_ = 0;
  int32_t unreadable_ = 0;
  ReadAhead* ahead_;
};

// Hints in pass order, ahead of the pass, for the files reads(file) says it reads.
int32_t RunPass(const PassContext& ctx, PassKind kind, DirNode& root, const std::string& source,
                ContentStoreBuilder* store, ReadAhead::Predicate reads) {
  ReuseSource* reuse = ctx.reuse;
  auto read = [reads = std::move(reads), reuse](const FileNode& file) {
    const bool reused = reuse != nullptr && reuse->AheadReuses(file);
    return !reused && reads(file);
  };
  ReadAhead ahead(ctx.env, ReadAhead::TreeFiles(root, source, std::move(read)),
                  ReadAhead::For(ctx.env.ReadAheadFor(source)));
  Pass pass(ctx, kind, store, &ahead);
  pass.Directory(root, source);
  return pass.unreadable();
}

}  // namespace

int32_t CalcPass(const PassContext& ctx, DirNode& root, const std::string& source,
                 ContentStoreBuilder* store) {
  return RunPass(ctx, PassKind::kCalc, root, source, store,
                 [](const FileNode& file) { return file.readable; });
}

int32_t StorePass(const PassContext& ctx, DirNode& root, const std::string& source,
                  ContentStoreBuilder* store) {
  auto stored = [store](const FileNode& file) {
    return store != nullptr && file.readable && (file.attributes & kAttrStored);
  };
  return RunPass(ctx, PassKind::kStore, root, source, store, stored);
}

unsigned char* WriteTree(const DirNode& dir, bool withCrc, unsigned char* p) {
  if (!dir.name.empty()) p = EncodeRecord(DirectoryRecord(dir), withCrc, p);
  for (const FileNode& file : dir.files) p = EncodeRecord(FileRecord(file), withCrc, p);
  for (const auto& sub : dir.subdirectories) p = WriteTree(*sub, withCrc, p);
  return EncodeRecord(kEndRecord, withCrc, p);
}

}  // namespace korvex
