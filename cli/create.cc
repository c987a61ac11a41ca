#include <string.h>

#include <memory>
#include <new>
#include <string>

#include "catalog/catalog_file.h"
#include "catalog/catalog_format.h"
#include "catalog/content_store.h"
#include "catalog/context.h"
#include "catalog/crc32.h"
#include "catalog/format.h"
#include "catalog/progress.h"
#include "catalog/serializer.h"
#include "catalog/tree.h"
#include "cli/arguments.h"
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
  return 4;
}

}  // namespace

int RunCreate(Context& ctx, int argc, char** argv) {
  Console& console = ctx.console;
  CatalogOptions& options = ctx.options;
  ScanTotals& totals = ctx.totals;
  console.Say(" Cmd::Create\n");
  DirNode root;
  totals.dirCount = 0;
  totals.fileCount = 0;
  totals.totalBytes = 0;
  totals.processedBytes = 0;
  totals.progressStep = 0;
  totals.refreshThreshold = 0;
  console.SetTitle(StageTitle("Scan"));
  options.crcEnabled = true;

  Arguments args(argc, argv);
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
  if (args.NameCount() < 1) return NotAllNames(ctx);
  std::string catalogName = args.Name(0);
  std::string source = args.NameCount() > 1 ? args.Name(1) : ".";
  if (!source.empty() && source.back() == kPathSeparator) source.pop_back();
  if (!EndsWithDir(catalogName)) catalogName += ".dir";

  console.Say("Scanning: " + source + "...x");
  root.Scan(ctx, source);
  console.Say("\b" + std::to_string(totals.dirCount) + " dirs, " +
              std::to_string(totals.fileCount) + " files.\n");

  uint64_t treeLength = TreeSize(root);
  if (!options.crcEnabled) treeLength -= 4ull * static_cast<uint32_t>(totals.fileCount);
  if (treeLength > kTreeLengthMask) {
    return Refuse(ctx, "catalog too large: the tree needs " + FormatGrouped(treeLength) +
                           " bytes, at most " + FormatGrouped(kTreeLengthMask));
  }
  const uint32_t tree32 = static_cast<uint32_t>(treeLength);
  std::unique_ptr<unsigned char[]> header(new (std::nothrow) unsigned char[kHeaderSize + tree32]);
  if (!header) return Refuse(ctx, "out of memory");

  ContentStoreBuilder store;
  if (options.storageEnabled) {
    totals.selectedBytes += 8 * static_cast<int64_t>(totals.selectedCount);
    if (totals.selectedBytes > 0xFFFFFFFFll) {
      return Refuse(ctx, "catalog too large: the content store needs " +
                             FormatGrouped(totals.selectedBytes) + " bytes, at most " +
                             FormatGrouped(0xFFFFFFFFll));
    }
    if (!store.Reset(static_cast<uint32_t>(totals.selectedCount),
                     static_cast<uint32_t>(totals.selectedBytes))) {
      return Refuse(ctx, "out of memory");
    }
  }
  const int64_t storedBytes = totals.selectedBytes - 8 * static_cast<int64_t>(totals.selectedCount);
  ContentStoreBuilder* storeOrNull = options.storageEnabled ? &store : nullptr;

  std::unique_ptr<unsigned char[], AlignedDelete> readBuffer(
      new (kReadBufferAlignment, std::nothrow) unsigned char[kBlockSize]);
  if (!readBuffer) return Refuse(ctx, "out of memory");
  totals.processedBytes = 0;
  totals.refreshThreshold = 0;
  if (options.crcEnabled) {
    console.Say("Result size (w/Store): " + FormatGrouped(tree32) + " (" +
                FormatGrouped(tree32 + 9 + totals.selectedBytes) + ") bytes.\n");
    console.Say("Calc (Store): " + FormatGrouped(totals.totalBytes) + " (" +
                FormatGrouped(storedBytes) + ") bytes...  0%");
    console.SetTitle("{0%}" + StageTitle("Calc"));
    totals.progressStep = totals.totalBytes / 100;
    CalcPass(ctx, root, source, storeOrNull, readBuffer.get());
  } else {
    console.Say("Result size: " + FormatGrouped(tree32) + " bytes.\n");
    console.Say("Storing: " + FormatGrouped(storedBytes) + " bytes...  0%");
    console.SetTitle("{0%}" + StageTitle("Store"));
    totals.progressStep = totals.selectedBytes / 100;
    StorePass(ctx, root, source, storeOrNull, readBuffer.get());
  }
  readBuffer.reset();
  console.Say(" complete!\n");

  WriteTree(root, options.crcEnabled, header.get() + kHeaderSize);
  CatalogHeader head;
  head.treeCrc = crc32::Value(header.get() + kHeaderSize, tree32);
  head.treeLength = tree32;
  head.withCrc = options.crcEnabled;
  head.EncodeTo(header.get());
  console.SetTitle(StageTitle("Saving"));
  uint64_t fileSize = kHeaderSize + static_cast<uint64_t>(tree32);
  if (options.storageEnabled) fileSize += kStoreHeadSize + store.used();
  console.Say("Write " + catalogName + " " + FormatGrouped(static_cast<int64_t>(fileSize)) +
              " bytes...");
  bool written = WriteCatalogFile(ctx.env, catalogName, header.get(), kHeaderSize + tree32,
                                  options.storageEnabled ? store.data() : nullptr, store.used());
  if (!written) return Refuse(ctx, "cannot write catalog");
  console.Say("Ok\n");
  return 0;
}

}  // namespace korvex
