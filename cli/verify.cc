// korvex v: a medium against its catalog; korvex d: two catalogs.  Both are
// the one comparison of catalog/compare.h with a different present side.
#include <stdio.h>
#include <string.h>

#include <memory>
#include <string>

#include "catalog/compare.h"
#include "catalog/compare_tree.h"
#include "cli/context.h"
#include "catalog/reader.h"
#include "catalog/tree.h"
#include "cli/arguments.h"
#include "cli/exit_code.h"
#include "cli/grouped.h"
#include "cli/korvex.h"
#include "cli/progress_display.h"
#include "cli/reason.h"
#include "platform/console.h"
#include "platform/env.h"
#include "platform/local_time.h"

namespace korvex {
namespace {

const char* const kKindWords[kDiffKinds] = {"changed", "missing",    "new",   "moved",
                                            "unreadable", "touched", "unsafe"};

// Seconds since 1970 as "YYYY-MM-DD hh:mm:ss" (UTC).
std::string FormatTime(uint32_t seconds) {
  const CalendarTime c = UtcCalendar(seconds);
  char text[32];
  snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour,
           c.minute, c.second);
  return text;
}

std::string Below(uint32_t count) {
  return "and " + std::to_string(count) + (count == 1 ? " entry below" : " entries below");
}

std::string Hex(uint64_t crc) {
  char text[16];
  snprintf(text, sizeof text, "%08X", static_cast<unsigned>(crc));
  return text;
}

// "kind: PATH" and the details in parentheses.
std::string DifferenceLine(const Difference& d) {
  using Detail = Difference::Detail;
  std::string line = std::string(kKindWords[static_cast<int>(d.kind)]) + ": " + d.path;
  if (d.kind == DiffKind::kMoved) line += " -> " + d.newPath;
  switch (d.detail) {
    case Detail::kNone:
      break;
    case Detail::kBelow:
      if (d.below != 0) line += " (" + Below(d.below) + ")";
      break;
    case Detail::kKind: {
      std::string below = d.below != 0 ? " " + Below(d.below) : "";
      line += d.nowDirectory ? " (directory" + below + ", catalog file)"
                             : " (file, catalog directory" + below + ")";
      break;
    }
    case Detail::kSize:
      line += " (size " + FormatGrouped(static_cast<int64_t>(d.now)) + ", catalog " +
              FormatGrouped(static_cast<int64_t>(d.expected)) + ")";
      break;
    case Detail::kCrc:
      line += " (CRC-32 " + Hex(d.now) + ", catalog " + Hex(d.expected) + ")";
      break;
    case Detail::kTime:
      line += " (time " + FormatTime(static_cast<uint32_t>(d.now)) + ", catalog " +
              FormatTime(static_cast<uint32_t>(d.expected)) + ")";
      break;
  }
  return line + "\n";
}

// Shows the reading as create's calc pass shows it, then one line per
// difference.
class ConsoleReport : public CompareObserver {
 public:
  ConsoleReport(Console& console, bool showsReading)
      : console_(console), showsReading_(showsReading), progress_(console) {
    progress_.Stage("Verify");
  }

  void ReadStarting(uint64_t total) override {
    if (!showsReading_) return;
    console_.Say("Verify: " + FormatGrouped(static_cast<int64_t>(total)) + " bytes...  0%");
    console_.SetTitle("{0%}" + StageTitle("Verify"));
  }
  void BytesDone(uint64_t done, uint64_t total) override {
    if (showsReading_) progress_.BytesDone(done, total);
  }
  void ReadFinished() override {
    if (showsReading_) console_.Say(" complete!\n");
  }
  void Found(const Difference& d) override { console_.Out(DifferenceLine(d)); }

 private:
  Console& console_;
  bool showsReading_;
  ConsoleProgress progress_;
};

int Compare(Context& ctx, const CompareTree& expected, const CompareTree& present,
            const Medium* medium, const CompareOptions& options) {
  ConsoleReport report(ctx.console, medium != nullptr);
  CompareCounts counts;
  if (!CompareTrees(expected, present, medium, options, report, &counts)) {
    ctx.console.Say("Fail (out of memory)\n");
    return kExitCannotWrite;
  }
  std::string summary = "Differences: ";
  for (int k = 0; k < kDiffKinds; ++k) {
    summary += std::to_string(counts.kinds[k]) + " " + kKindWords[k];
    summary += k + 1 < kDiffKinds ? ", " : "; ";
  }
  summary += std::to_string(counts.matched) + " files matched, " +
             FormatGrouped(static_cast<int64_t>(counts.bytesRead)) + " bytes read.\n";
  ctx.console.Say(summary);
  return counts.differences() == 0 ? kExitSuccess : kExitDiffers;
}

// The start verify and compare share: the announcement, /times, and /fast
// where a medium is read, then at least `names` names.  False when the
// command ends there, with *code.
bool Start(Context& ctx, const char* command, bool medium, int names, Arguments& args,
           CompareOptions* options, int* code) {
  Announce(ctx.console, command);
  while (const char* option = args.NextOption()) {
    if (medium && strcmp(option, "/fast") == 0) {
      options->crcs = false;
      ctx.console.Say(" + fast processing (sizes only, no file read)\n");
    } else if (strcmp(option, "/times") == 0) {
      options->times = true;
      ctx.console.Say(" + times compared\n");
    } else {
      *code = UnknownParameter(ctx, option);
      return false;
    }
  }
  if (args.NameCount() >= names) return true;
  *code = NotAllNames(ctx);
  return false;
}

}  // namespace

int RunVerify(Context& ctx, int argc, char** argv) {
  Arguments args(argc, argv);
  CompareOptions options;
  int code = kExitSuccess;
  if (!Start(ctx, "Verify", true, 1, args, &options, &code)) return code;
  Console& console = ctx.console;
  std::string root = args.NameCount() > 1 ? args.Name(1) : ".";
  if (!root.empty() && root.back() == kPathSeparator) root.pop_back();

  CatalogReader reader(ctx.env);
  if (!LoadNamedCatalog(ctx, reader, args.Name(0))) return kExitFailed;
  console.Say("Scanning: " + root + "...x");
  DirNode medium;
  ConsoleProgress progress(console);
  ScanContext scan(ctx.env, progress);
  bool listed = medium.Scan(scan, root);
  console.Say("\b" + std::to_string(scan.totals.dirCount) + " dirs, " +
              std::to_string(scan.totals.fileCount) + " files.\n");
  if (!listed) {
    console.Say("Fail (cannot list " + root + ")\n");
    return kExitFailed;
  }
  std::unique_ptr<CompareTree> expected = CompareTree::FromCatalog(reader);
  std::unique_ptr<CompareTree> present = CompareTree::FromScan(ctx.env, medium);
  Medium where{ctx.env, root};
  return Compare(ctx, *expected, *present, &where, options);
}

int RunCompare(Context& ctx, int argc, char** argv) {
  Arguments args(argc, argv);
  CompareOptions options;
  int code = kExitSuccess;
  if (!Start(ctx, "Compare", false, 2, args, &options, &code)) return code;
  CatalogReader oldReader(ctx.env);
  CatalogReader newReader(ctx.env);
  if (!LoadNamedCatalog(ctx, oldReader, args.Name(0)) ||
      !LoadNamedCatalog(ctx, newReader, args.Name(1))) {
    return kExitFailed;
  }
  std::unique_ptr<CompareTree> expected = CompareTree::FromCatalog(oldReader);
  std::unique_ptr<CompareTree> present = CompareTree::FromCatalog(newReader);
  return Compare(ctx, *expected, *present, nullptr, options);
}

}  // namespace korvex
