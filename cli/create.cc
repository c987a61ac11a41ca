#include <string.h>

#include <memory>
#include <new>
#include <string>

#include "catalog/catalog_file.h"
#include "catalog/coding.h"
#include "catalog/content_store.h"
#include "catalog/context.h"
#include "catalog/crc32.h"
#include "catalog/format.h"
#include "catalog/progress.h"
#include "catalog/reuse.h"
#include "catalog/serializer.h"
#include "catalog/tree.h"
#include "cli/arguments.h"
#include "cli/create.h"
#include "cli/exit_code.h"
#include "cli/grouped.h"
#include "cli/korvex.h"
#include "platform/console.h"
#include "platform/env.h"

namespace korvex {
namespace {

// Reads a number the way atol does (leading blanks, a sign, digits up to the
// first non-digit), kept as 32 bits.
uint32_t ParseMaxSize(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  uint32_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) value = value * 10 + static_cast<uint32_t>(*text - '0');
  return negative ? 0u - value : value;
}

void AddStoreMasks(CatalogOptions& options, const char* list) {
  const char* start = list;
  for (;;) {
    const char* colon = strchr(start, ':');
    std::string mask = colon ? std::string(start, colon) : std::string(start);
    UpperAscii(&mask);
    options.storeMasks.push_back(mask);
    if (!colon) break;
    start = colon + 1;
  }
}

bool EndsWithDir(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  UpperAscii(&tail);
  return tail == ".DIR";
}

// The pass's read buffer, page-aligned: the kernel copies file data into it
// about a quarter faster than into an allocation 16 bytes past a page.
const std::align_val_t kReadBufferAlignment{4096};
struct AlignedDelete {
  void operator()(unsigned char* p) const { ::operator delete[](p, kReadBufferAlignment); }
};

int Refuse(Context& ctx, const std::string& reason) {
  ctx.console.Say("Fail (" + reason + ")\n");
  ctx.console.RestoreTitle();
  return kExitCannotWrite;
}

// Returns kNoExit after the options, or the exit code of a bad one.
const int kNoExit = -1;
int ParseOptions(Context& ctx, Arguments& args) {
  Console& console = ctx.console;
  CatalogOptions& options = ctx.options;
  while (const char* option = args.NextOption()) {
    if (strncmp(option, "/store=", 7) == 0) {
      options.storageEnabled = true;
      AddStoreMasks(options, option + 7);
      console.Say(" + contents storage (" + std::to_string(options.storeMasks.size()) +
                  " storage masks)\n");
    } else if (strncmp(option, "/max=", 5) == 0) {
      options.maxStoredSize = ParseMaxSize(option + 5);
      console.Say(" + maximum stored size limit (" + std::to_string(options.maxStoredSize) +
                  " bytes)\n");
    } else if (strcmp(option, "/fast") == 0) {
      options.crcEnabled = false;
      console.Say(" + CRC32 calculation overriden (dir will not contains CRC32 information)\n");
    } else {
      return UnknownParameter(ctx, option);
    }
  }
  return kNoExit;
}

// One catalog write: scan, size, one pass, serialize, write.
class CatalogBuild {
 public:
  CatalogBuild(Context& ctx, UpdateSource* update) : ctx_(ctx), update_(update) {}

  int Run(int argc, char** argv) {
    ScanTotals& totals = ctx_.totals;
    ctx_.console.Say(update_ ? " Cmd::Update\n" : " Cmd::Create\n");
    totals.dirCount = 0;
    totals.fileCount = 0;
    totals.totalBytes = 0;
    totals.processedBytes = 0;
    totals.progressStep = 0;
    totals.refreshThreshold = 0;
    ctx_.console.SetTitle(StageTitle("Scan"));
    ctx_.options.crcEnabled = true;

    Arguments args(argc, argv);
    int code = ParseOptions(ctx_, args);
    if (code != kNoExit) return code;
    if (args.NameCount() < 1) return NotAllNames(ctx_);
    catalogName_ = args.Name(0);
    source_ = args.NameCount() > 1 ? args.Name(1) : ".";
    if (!source_.empty() && source_.back() == kPathSeparator) source_.pop_back();
    if (!EndsWithDir(catalogName_)) catalogName_ += ".dir";
    if (update_) update_->Load(catalogName_);

    ctx_.console.Say("Scanning: " + source_ + "...x");
    root_.Scan(ctx_, source_);
    ctx_.console.Say("\b" + std::to_string(totals.dirCount) + " dirs, " +
                     std::to_string(totals.fileCount) + " files.\n");
    code = Allocate();
    if (code != kNoExit) return code;
    code = RunPass();
    if (code != kNoExit) return code;
    return Write();
  }

 private:
  // Sizes the tree block and the content store and allocates both.
  int Allocate() {
    ScanTotals& totals = ctx_.totals;
    uint64_t treeLength = TreeSize(root_);
    if (!ctx_.options.crcEnabled) treeLength -= 4ull * static_cast<uint32_t>(totals.fileCount);
    if (treeLength > kTreeLengthMask) {
      return Refuse(ctx_, "catalog too large: the tree needs " + FormatGrouped(treeLength) +
                              " bytes, at most " + FormatGrouped(kTreeLengthMask));
    }
    tree32_ = static_cast<uint32_t>(treeLength);
    header_.reset(new (std::nothrow) unsigned char[kHeaderSize + tree32_]);
    if (!header_) return Refuse(ctx_, "out of memory");
    memcpy(header_.get(), kCatalogMagic, kMagicSize);
    EncodeFixed32(header_.get() + kTreeLengthOffset,
                  tree32_ | (ctx_.options.crcEnabled ? kCrcFlag : 0));
    if (!ctx_.options.storageEnabled) return kNoExit;
    totals.selectedBytes += 8 * static_cast<int64_t>(totals.selectedCount);
    if (totals.selectedBytes > 0xFFFFFFFFll) {
      return Refuse(ctx_, "catalog too large: the content store needs " +
                              FormatGrouped(totals.selectedBytes) + " bytes, at most " +
                              FormatGrouped(0xFFFFFFFFll));
    }
    if (!store_.Reset(static_cast<uint32_t>(totals.selectedCount),
                      static_cast<uint32_t>(totals.selectedBytes))) {
      return Refuse(ctx_, "out of memory");
    }
    return kNoExit;
  }

  // The calc pass, or with /fast the store pass, with its lines.
  int RunPass() {
    Console& console = ctx_.console;
    ScanTotals& totals = ctx_.totals;
    std::unique_ptr<unsigned char[], AlignedDelete> readBuffer(
        new (kReadBufferAlignment, std::nothrow) unsigned char[kBlockSize]);
    if (!readBuffer) return Refuse(ctx_, "out of memory");
    const bool calc = ctx_.options.crcEnabled;
    if (calc) {
      console.Say("Result size (w/Store): " + FormatGrouped(tree32_) + " (" +
                  FormatGrouped(tree32_ + 9 + totals.selectedBytes) + ") bytes.\n");
    } else {
      console.Say("Result size: " + FormatGrouped(tree32_) + " bytes.\n");
    }
    ReuseSource* reuse = update_ ? update_->Plan(ctx_, root_) : nullptr;
    if (reuse) {
      // The pass counts, and its lines show, only what it reads.
      totals.totalBytes -= static_cast<int64_t>(reuse->bytes());
      totals.selectedBytes -= static_cast<int64_t>(reuse->storedBytes());
    }
    const int64_t storedBytes = totals.selectedBytes - 8 * static_cast<int64_t>(totals.selectedCount);
    ContentStoreBuilder* store = ctx_.options.storageEnabled ? &store_ : nullptr;
    totals.processedBytes = 0;
    totals.refreshThreshold = 0;
    if (calc) {
      console.Say("Calc (Store): " + FormatGrouped(totals.totalBytes) + " (" +
                  FormatGrouped(storedBytes) + ") bytes...  0%");
      console.SetTitle("{0%}" + StageTitle("Calc"));
      totals.progressStep = totals.totalBytes / 100;
      CalcPass(ctx_, root_, source_, store, readBuffer.get(), reuse);
    } else {
      console.Say("Storing: " + FormatGrouped(storedBytes) + " bytes...  0%");
      console.SetTitle("{0%}" + StageTitle("Store"));
      totals.progressStep = totals.selectedBytes / 100;
      StorePass(ctx_, root_, source_, store, readBuffer.get(), reuse);
    }
    console.Say(" complete!\n");
    return kNoExit;
  }

  int Write() {
    const bool storing = ctx_.options.storageEnabled;
    WriteTree(root_, ctx_.options.crcEnabled, header_.get() + kHeaderSize);
    EncodeFixed32(header_.get() + kTreeCrcOffset,
                  crc32::Value(header_.get() + kHeaderSize, tree32_));
    ctx_.console.SetTitle(StageTitle("Saving"));
    uint64_t fileSize = kHeaderSize + static_cast<uint64_t>(tree32_);
    if (storing) fileSize += kStoreHeadSize + store_.used();
    ctx_.console.Say("Write " + catalogName_ + " " +
                     FormatGrouped(static_cast<int64_t>(fileSize)) + " bytes...");
    if (!WriteCatalogFile(ctx_.env, catalogName_, header_.get(), kHeaderSize + tree32_,
                          storing ? store_.data() : nullptr, store_.used())) {
      return Refuse(ctx_, "cannot write catalog");
    }
    ctx_.console.Say("Ok\n");
    return kExitSuccess;
  }

  Context& ctx_;
  UpdateSource* update_;
  DirNode root_;
  std::string catalogName_;
  std::string source_;
  uint32_t tree32_ = 0;
  std::unique_ptr<unsigned char[]> header_;
  ContentStoreBuilder store_;
};

}  // namespace

int BuildCatalog(Context& ctx, int argc, char** argv, UpdateSource* update) {
  return CatalogBuild(ctx, update).Run(argc, argv);
}

int RunCreate(Context& ctx, int argc, char** argv) {
  return BuildCatalog(ctx, argc, argv, nullptr);
}

}  // namespace korvex
