#include "catalog/serializer.h"

#include <string.h>

#include "catalog/coding.h"
#include "catalog/content_store.h"
#include "catalog/context.h"
#include "catalog/crc32.h"
#include "catalog/format.h"
#include "catalog/progress.h"
#include "catalog/read_ahead.h"
#include "catalog/tree.h"
#include "platform/console.h"
#include "platform/env.h"

namespace korvex {

uint64_t TreeSize(const DirNode& dir) {
  uint64_t size = dir.name.empty() ? 1 : dir.name.size() + 7;
  for (const FileNode& file : dir.files) size += file.nameLength() + kFileRecordCrcExtra;
  for (const auto& sub : dir.subdirectories) size += TreeSize(*sub);
  return size;
}

namespace {

enum class PassKind { kCalc, kStore };

class Pass {
 public:
  Pass(Context& ctx, PassKind kind, ContentStoreBuilder* store, unsigned char* buffer,
       ReadAhead* ahead)
      : ctx_(ctx), kind_(kind), store_(store), buffer_(buffer), ahead_(ahead) {}

  void Directory(DirNode& dir, const std::string& parentPath) {
    std::string path = parentPath + dir.name + kPathSeparator;
    for (FileNode& file : dir.files) {
      if (!File(file, path)) ReportReadError(path, file);
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
    unsigned char* dest = nullptr;
    if (Stores(file)) {
      dest = store_->Reserve(file.size32());
      if (dest == nullptr) file.attributes &= ~kAttrStored;
    }
    // The path is spelt before the name's conversion, and only for a file
    // the pass may open: the store pass passes most files by.
    const bool reads = kind_ == PassKind::kCalc || Stores(file);
    std::string path = reads ? dirPath + file.name() : std::string();
    ctx_.env.AnsiToOem(file.mutableName());
    if (!reads) return true;
    if (!file.readable) {
      // Links and devices are cataloged as empty and never opened.
      if (Stores(file)) store_->Commit(0, 0);
      return true;
    }
    ahead_->Reading(file);  // read-ahead: hints the files after this one
    std::unique_ptr<korvex::File> in = ctx_.env.OpenRead(path);
    if (!in) {
      file.attributes &= ~kAttrStored;
      return false;
    }
    uint32_t crc = 0;
    uint64_t total = 0;
    while (total < file.size) {
      size_t n = 0;
      bool ok = in->Read(buffer_, kBlockSize, &n);
      // A file that shrank, failed, or grew past its recorded size: count
      // the rest as done, keep nothing of it.
      if (!ok || total + n > file.size || (n != kBlockSize && total + n != file.size)) {
        ctx_.totals.processedBytes += static_cast<int64_t>(file.size - total);
        CheckProgress();
        file.attributes &= ~kAttrStored;
        return false;
      }
      ctx_.totals.processedBytes += static_cast<int64_t>(n);
      if (dest != nullptr && Stores(file)) {
        memcpy(dest, buffer_, n);
        dest += n;
      }
      crc = crc32::Extend(crc, buffer_, n);
      total += n;
      CheckProgress();
    }
    // The last read ended on its block, so it could not see whether the file
    // goes on: one more byte tells a file that grew.
    if (file.size % kBlockSize == 0) {
      size_t n = 0;
      if (!in->Read(buffer_, 1, &n) || n != 0) {
        file.attributes &= ~kAttrStored;
        return false;
      }
    }
    file.crc = crc;
    if (Stores(file)) {
      // The index lookup arrives while the file is closed.
      store_->Prepare(file.size32(), crc);
      in.reset();
      store_->Commit(file.size32(), crc);
    }
    return true;
  }

  void CheckProgress() {
    ScanTotals& t = ctx_.totals;
    if (t.processedBytes < t.refreshThreshold) return;
    t.refreshThreshold += t.progressStep;
    bool calc = kind_ == PassKind::kCalc;
    int64_t divisor = calc ? t.totalBytes : t.selectedBytes;
    ShowProgress(ctx_.console,
                 Percentage(static_cast<uint64_t>(t.processedBytes), static_cast<uint64_t>(divisor)),
                 calc ? "Calc" : "Store");
  }

  void ReportReadError(const std::string& dirPath, const FileNode& file) {
    ctx_.console.Err("\nFile read error: " + dirPath + file.name() + "\nContinue...xxx%");
    ctx_.console.Flush(Stream::kErr);
  }

  Context& ctx_;
  PassKind kind_;
  ContentStoreBuilder* store_;
  unsigned char* buffer_;
  ReadAhead* ahead_;
};

// Read-ahead: hints in pass order for the files the pass will read.
ReadAhead::Limits AheadLimits(Context& ctx, const std::string& source) {
  return ReadAhead::For(ctx.env.ReadAheadFor(source));
}

}  // namespace

void CalcPass(Context& ctx, DirNode& root, const std::string& source,
              ContentStoreBuilder* store, unsigned char* readBuffer) {
  ReadAhead ahead(ctx.env, root, source, [](const FileNode& file) { return file.readable; },
                  AheadLimits(ctx, source));
  Pass(ctx, PassKind::kCalc, store, readBuffer, &ahead).Directory(root, source);
}

void StorePass(Context& ctx, DirNode& root, const std::string& source,
               ContentStoreBuilder* store, unsigned char* readBuffer) {
  auto stored = [store](const FileNode& file) {
    return store != nullptr && file.readable && (file.attributes & kAttrStored);
  };
  ReadAhead ahead(ctx.env, root, source, stored, AheadLimits(ctx, source));
  Pass(ctx, PassKind::kStore, store, readBuffer, &ahead).Directory(root, source);
}

unsigned char* WriteTree(const DirNode& dir, bool withCrc, unsigned char* p) {
  if (!dir.name.empty()) {
    memcpy(p, dir.name.c_str(), dir.name.size() + 1);
    p += dir.name.size() + 1;
    *p++ = dir.attributes;
    EncodeFixed32(p, dir.time);
    p += 4;
  }
  for (const FileNode& file : dir.files) {
    memcpy(p, file.name(), file.nameLength() + 1);
    p += file.nameLength() + 1;
    *p++ = file.attributes;
    EncodeFixed32(p, file.time);
    EncodeFixed32(p + 4, file.size32());
    p += 8;
    if (withCrc) {
      EncodeFixed32(p, file.crc);
      p += 4;
    }
  }
  for (const auto& sub : dir.subdirectories) p = WriteTree(*sub, withCrc, p);
  *p++ = kEndOfDirectory;
  return p;
}

}  // namespace korvex
