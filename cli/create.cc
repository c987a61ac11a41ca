#include <string.h>

#include <memory>
#include <new>
#include <string>

#include "catalog/block_reader.h"
#include "catalog/catalog_file.h"
#include "catalog/catalog_format.h"
#include "catalog/content_store.h"
#include "catalog/crc32.h"
#include "catalog/format.h"
#include "catalog/reuse.h"
#include "catalog/serializer.h"
#include "catalog/tree.h"
#include "cli/arguments.h"
#include "cli/context.h"
#include "cli/create.h"
#include "cli/exit_code.h"
#include "cli/grouped.h"
#include "cli/korvex.h"
#include "cli/progress_display.h"
#include "cli/reason.h"
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

void AddStoreMasks(ScanOptions& options, const char* list) {
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

int Refuse(Context& ctx, const std::string& reason, ExitCode code = kExitCannotWrite) {
  return Finish(ctx, "Fail (" + reason + ")", code);
}

// The line after "Ok" when the catalog is missing what could not be read.
std::string UnreadableSummary(int files, int directories) {
  return std::to_string(files) + " files and " + std::to_string(directories) +
         " directories could not be read.\n";
}

struct CreateOptions {
  bool crcEnabled = true;
  ScanOptions scan;
};

// Announces the options; false after an unknown one, with *code set.
bool ParseOptions(Context& ctx, Arguments& args, CreateOptions& options, int* code) {
  Console& console = ctx.console;
  while (const char* option = args.NextOption()) {
    if (strncmp(option, "/store=", 7) == 0) {
      options.scan.storageEnabled = true;
      AddStoreMasks(options.scan, option + 7);
      console.Say(" + contents storage (" + std::to_string(options.scan.storeMasks.size()) +
                  " storage masks)\n");
    } else if (strncmp(option, "/max=", 5) == 0) {
      options.scan.maxStoredSize = ParseMaxSize(option + 5);
      console.Say(" + maximum stored size limit (" + std::to_string(options.scan.maxStoredSize) +
                  " bytes)\n");
    } else if (strcmp(option, "/fast") == 0) {
      options.crcEnabled = false;
      console.Say(" + CRC32 calculation overriden (dir will not contains CRC32 information)\n");
    } else {
      *code = UnknownParameter(ctx, option);
      return false;
    }
  }
  return true;
}

// The scanned tree on its way to a catalog.
class Creation {
 public:
  Creation(Context& ctx, const CreateOptions& options, UpdateSource* update)
      : ctx_(ctx),
        options_(options),
        update_(update),
        progress_(ctx.console),
        scan_(ctx.env, progress_) {
    scan_.options = options.scan;
  }

  int Run(const std::string& catalogName, const std::string& source) {
    ctx_.console.Say("Scanning: " + source + "...x");
    std::string error;
    const bool listed = root_.Scan(scan_, source, &error);
    const ScanTotals& totals = scan_.totals;
    ctx_.console.Say("\b" + std::to_string(totals.dirCount) + " dirs, " +
                     std::to_string(totals.fileCount) + " files.\n");
    // A typo or an unmounted drive must not replace a good catalog with an
    // empty one.
    if (!listed) {
      int code = Refuse(ctx_, "cannot read source: " + source, kExitFailed);
      ReportReason(ctx_, source, error);
      return code;
    }
    uint64_t treeLength = TreeSize(root_);
    if (!options_.crcEnabled) treeLength -= 4ull * static_cast<uint32_t>(totals.fileCount);
    if (treeLength > kTreeLengthMask) {
      return Refuse(ctx_, "catalog too large: the tree needs " + FormatGrouped(treeLength) +
                              " bytes, at most " + FormatGrouped(kTreeLengthMask));
    }
    tree32_ = static_cast<uint32_t>(treeLength);
    bytes_.reset(new (std::nothrow) unsigned char[kHeaderSize + tree32_]);
    if (!bytes_) return Refuse(ctx_, "out of memory");
    int code = PrepareStore();
    if (code != kExitSuccess) return code;
    std::unique_ptr<BlockReader> reader = BlockReader::Create();
    if (!reader) return Refuse(ctx_, "out of memory");
    RunPass(*reader, source);
    reader.reset();
    ctx_.console.Say(" complete!\n");
    return Write(catalogName);
  }

 private:
  // Content store sizes count 8 bytes a record beside the contents.
  int PrepareStore() {
    const ScanTotals& totals = scan_.totals;
    storeCapacity_ = totals.selectedBytes + 8 * static_cast<int64_t>(totals.selectedCount);
    if (!options_.scan.storageEnabled) return kExitSuccess;
    if (storeCapacity_ > 0xFFFFFFFFll) {
      return Refuse(ctx_, "catalog too large: the content store needs " +
                              FormatGrouped(storeCapacity_) + " bytes, at most " +
                              FormatGrouped(0xFFFFFFFFll));
    }
    if (!store_.Reset(static_cast<uint32_t>(totals.selectedCount),
                      static_cast<uint32_t>(storeCapacity_))) {
      return Refuse(ctx_, "out of memory");
    }
    return kExitSuccess;
  }

  void RunPass(BlockReader& reader, const std::string& source) {
    Console& console = ctx_.console;
    int64_t storedBytes = scan_.totals.selectedBytes;
    uint64_t readBytes = static_cast<uint64_t>(scan_.totals.totalBytes);
    uint64_t storeBytes = static_cast<uint64_t>(storeCapacity_);
    if (options_.crcEnabled) {
      console.Say("Result size (w/Store): " + FormatGrouped(tree32_) + " (" +
                  FormatGrouped(tree32_ + 9 + storeCapacity_) + ") bytes.\n");
    } else {
      console.Say("Result size: " + FormatGrouped(tree32_) + " bytes.\n");
    }
    ReuseSource* reuse =
        update_ ? update_->Plan(ctx_, reader, root_, options_.scan, options_.crcEnabled) : nullptr;
    if (reuse) {
      // The pass counts, and its lines show, only what it reads.
      readBytes -= reuse->bytes();
      storedBytes -= static_cast<int64_t>(reuse->storedBytes());
      storeBytes -= reuse->storedBytes();
    }
    ContentStoreBuilder* store = options_.scan.storageEnabled ? &store_ : nullptr;
    if (options_.crcEnabled) {
      console.Say("Calc (Store): " + FormatGrouped(static_cast<int64_t>(readBytes)) + " (" +
                  FormatGrouped(storedBytes) + ") bytes...  0%");
      console.SetTitle("{0%}" + StageTitle("Calc"));
      progress_.Stage("Calc");
      unreadableFiles_ =
          CalcPass(PassContext{ctx_.env, reader, progress_, readBytes, reuse}, root_, source, store);
    } else {
      console.Say("Storing: " + FormatGrouped(storedBytes) + " bytes...  0%");
      console.SetTitle("{0%}" + StageTitle("Store"));
      progress_.Stage("Store");
      unreadableFiles_ = StorePass(PassContext{ctx_.env, reader, progress_, storeBytes, reuse},
                                   root_, source, store);
    }
  }

  int Write(const std::string& catalogName) {
    WriteTree(root_, options_.crcEnabled, bytes_.get() + kHeaderSize);
    CatalogHeader header;
    header.treeCrc = crc32::Value(bytes_.get() + kHeaderSize, tree32_);
    header.treeLength = tree32_;
    header.withCrc = options_.crcEnabled;
    header.EncodeTo(bytes_.get());
    ctx_.console.SetTitle(StageTitle("Saving"));
    const bool storing = options_.scan.storageEnabled;
    uint64_t fileSize = kHeaderSize + static_cast<uint64_t>(tree32_);
    if (storing) fileSize += kStoreHeadSize + store_.used();
    ctx_.console.Say("Write " + catalogName + " " +
                     FormatGrouped(static_cast<int64_t>(fileSize)) + " bytes...");
    std::string error;
    ctx_.console.RemoveOnInterrupt(TemporaryCatalogName(catalogName));
    const bool written = WriteCatalogFile(ctx_.env, catalogName, bytes_.get(),
                                          kHeaderSize + tree32_,
                                          storing ? store_.data() : nullptr, store_.used(), &error);
    ctx_.console.RemoveOnInterrupt(std::string());
    if (!written) {
      int code = Refuse(ctx_, "cannot write catalog");
      ReportReason(ctx_, catalogName, error);
      return code;
    }
    ctx_.console.Say("Ok\n");
    const int32_t unlisted = scan_.totals.unlistedDirs;
    if (unreadableFiles_ == 0 && unlisted == 0) return kExitSuccess;
    ctx_.console.Say(UnreadableSummary(unreadableFiles_, unlisted));
    return kExitFailed;
  }

  Context& ctx_;
  const CreateOptions& options_;
  UpdateSource* update_;  // null for create
  ConsoleProgress progress_;
  ScanContext scan_;
  DirNode root_;
  uint32_t tree32_ = 0;
  std::unique_ptr<unsigned char[]> bytes_;  // header and tree block
  int64_t storeCapacity_ = 0;
  int32_t unreadableFiles_ = 0;
  ContentStoreBuilder store_;
};

}  // namespace

int BuildCatalog(Context& ctx, int argc, char** argv, UpdateSource* update) {
  ctx.console.Say(update ? " Cmd::Update\n" : " Cmd::Create\n");
  ctx.console.SetTitle(StageTitle("Scan"));
  CreateOptions options;
  Arguments args(argc, argv);
  int code = kExitSuccess;
  if (!ParseOptions(ctx, args, options, &code)) return code;
  if (args.NameCount() < 1) return NotAllNames(ctx);
  std::string catalogName = args.Name(0);
  std::string source = args.NameCount() > 1 ? args.Name(1) : ".";
  if (!source.empty() && source.back() == kPathSeparator) source.pop_back();
  if (!EndsWithDir(catalogName)) catalogName += ".dir";
  if (update) update->Load(catalogName);
  return Creation(ctx, options, update).Run(catalogName, source);
}

int RunCreate(Context& ctx, int argc, char** argv) {
  return BuildCatalog(ctx, argc, argv, nullptr);
}

}  // namespace korvex
