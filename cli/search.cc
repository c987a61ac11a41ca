#include <stdio.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "catalog/block_reader.h"
#include "catalog/catalog_names.h"
#include "catalog/format.h"
#include "catalog/search.h"
#include "catalog/wildcard.h"
#include "cli/arguments.h"
#include "cli/context.h"
#include "cli/exit_code.h"
#include "cli/grouped.h"
#include "cli/json_text.h"
#include "cli/korvex.h"
#include "cli/line_buffer.h"
#include "cli/progress_display.h"
#include "cli/reason.h"
#include "platform/console.h"
#include "platform/env.h"
#include "platform/local_time.h"

namespace korvex {
namespace {

struct SearchOptions {
  SearchFilter filter;
  bool fast = false;
  bool json = false;
  bool dupes = false;
  uint64_t minSize = 1;
};

// Digits only, no sign, at most 64 bits.
bool ParseCount(const char* text, const char* end, uint64_t* value) {
  if (text == end) return false;
  uint64_t v = 0;
  for (; text < end; ++text) {
    if (*text < '0' || *text > '9' || v > (UINT64_MAX - 9) / 10) return false;
    v = v * 10 + static_cast<uint64_t>(*text - '0');
  }
  *value = v;
  return true;
}

bool ParseSize(const char* text, SearchFilter* f) {
  const char* end = text + strlen(text);
  const char* dash = strchr(text, '-');
  if (dash == nullptr) {  // one exact size
    if (!ParseCount(text, end, &f->minSize)) return false;
    f->maxSize = f->minSize;
  } else {
    if (dash == text && dash + 1 == end) return false;
    if (dash > text && !ParseCount(text, dash, &f->minSize)) return false;
    if (dash + 1 < end && !ParseCount(dash + 1, end, &f->maxSize)) return false;
  }
  f->bySize = true;
  return f->minSize <= f->maxSize;
}

bool ParseCrc(const char* text, uint32_t* crc) {
  if (strlen(text) != 8) return false;
  uint32_t v = 0;
  for (int i = 0; i < 8; ++i) {
    char c = text[i];
    int d = (c >= '0' && c <= '9') ? c - '0'
            : (c >= 'a' && c <= 'f') ? c - 'a' + 10
            : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
    if (d < 0) return false;
    v = v << 4 | static_cast<uint32_t>(d);
  }
  *crc = v;
  return true;
}

std::string Hex(uint32_t crc) {
  char text[9];
  snprintf(text, sizeof text, "%08X", crc);
  return text;
}

std::string SizeRange(const SearchFilter& f) {
  if (f.maxSize == UINT64_MAX) return FormatGrouped(static_cast<int64_t>(f.minSize)) + " bytes or more";
  if (f.minSize == 0) return FormatGrouped(static_cast<int64_t>(f.maxSize)) + " bytes or less";
  return FormatGrouped(static_cast<int64_t>(f.minSize)) + " to " +
         FormatGrouped(static_cast<int64_t>(f.maxSize)) + " bytes";
}

// The size and CRC-32 of a local file, read once to its end; false, with
// *reason set, when it cannot be.
bool LikeFile(Env& env, const char* path, uint64_t* size, uint32_t* crc, const char** reason) {
  std::unique_ptr<BlockReader> reader = BlockReader::Create();
  std::unique_ptr<File> in = reader ? env.OpenRead(path) : nullptr;
  if (!in) {
    *reason = reader ? "cannot open" : "out of memory";
    return false;
  }
  ReadResult read = reader->ReadToEnd(*in, [](const Block&) { return true; });
  *size = read.bytes;
  *crc = read.crc;
  if (!read.ok()) *reason = "read error";
  return read.ok();
}

// The one line an accepted option announces; empty for an unknown or
// malformed option.  /like reads its file here.
std::string TakeOption(Context& ctx, const char* option, SearchOptions* o, int* failure) {
  if (strncmp(option, "/size=", 6) == 0 && ParseSize(option + 6, &o->filter)) {
    return "size " + SizeRange(o->filter);
  }
  if (strncmp(option, "/crc=", 5) == 0 && ParseCrc(option + 5, &o->filter.crc)) {
    o->filter.byCrc = true;
    return "CRC-32 " + Hex(o->filter.crc);
  }
  if (strncmp(option, "/min=", 5) == 0 && ParseCount(option + 5, option + strlen(option),
                                                      &o->minSize)) {
    return "duplicates of " + FormatGrouped(static_cast<int64_t>(o->minSize)) + " bytes or more";
  }
  if (strncmp(option, "/like=", 6) == 0 && option[6] != '\0') {
    uint64_t size = 0;
    const char* reason = "";
    if (!LikeFile(ctx.env, option + 6, &size, &o->filter.crc, &reason)) {
      ctx.console.Err(std::string("korvex: ") + (option + 6) + ": " + reason + "\n");
      ctx.console.Flush(Stream::kErr);
      ctx.console.Say(std::string("Fail (cannot read ") + (option + 6) + ")\n");
      *failure = kExitFailed;
      return std::string();
    }
    // A catalog keeps the low 32 bits of a size.
    o->filter.minSize = o->filter.maxSize = size & 0xFFFFFFFFu;
    o->filter.bySize = o->filter.byCrc = true;
    return std::string("like ") + (option + 6) + ": " + FormatGrouped(static_cast<int64_t>(size)) +
           " bytes, CRC-32 " + Hex(o->filter.crc);
  }
  if (strcmp(option, "/dirs") == 0) return o->filter.dirs = true, "directories too";
  if (strcmp(option, "/fast") == 0) return o->fast = true, "fast processing (brief info only)";
  if (strcmp(option, "/json") == 0) return o->json = true, "one JSON object per line";
  if (strcmp(option, "/dupes") == 0) return o->dupes = true, "duplicates: same size and CRC-32";
  return std::string();
}

void AppendRight(std::string& out, const std::string& text, size_t width) {
  if (text.size() < width) out.append(width - text.size(), ' ');
  out += text;
}

void AppendCalendar(std::string& out, const CalendarTime& t, char between) {
  char text[32];
  snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d", t.year, t.month, t.day, between,
           t.hour, t.minute, t.second);
  out += text;
}

// Turns what the search reports into lines.  In JSON form standard output
// holds only the objects; every other text goes to standard error.
class SearchPrinter : public SearchObserver {
 public:
  SearchPrinter(Context& ctx, const std::vector<std::string>& catalogs, const SearchOptions& o)
      : ctx_(ctx), catalogs_(catalogs), options_(o), lines_(ctx.console) {}

  void LoadFailed(uint32_t catalog, const LoadFailure& failure) override {
    lines_.Drain();
    ReportReason(ctx_, catalogs_[catalog], LoadErrorText(failure));
  }
  void WithoutCrc(uint32_t catalog) override { Note("Skipped (no CRC-32): " + catalogs_[catalog]); }
  void CopyLost(uint32_t catalog) override {
    Note("  " + catalogs_[catalog] + ": (changed since it was searched)");
  }
  void Group(const DupeGroup& g) override {
    ++group_;
    if (options_.json) return;
    std::string& out = lines_.text();
    out += std::to_string(g.count) + " copies of " + FormatGrouped(g.size) + " bytes, CRC-32 " +
           Hex(g.crc);
    lines_.EndLine();
  }
  void Hit(const SearchHit& hit) override {
    if (options_.json) return Json(hit);
    std::string& out = lines_.text();
    if (options_.dupes) {
      out += "  ";
    } else if (!options_.fast) {
      Columns(hit);
    }
    out += catalogs_[hit.catalog];
    out += ": ";
    out.append(hit.path, hit.pathLength);
    lines_.EndLine();
  }
  void Progress(uint32_t done, uint32_t total) override {
    const uint32_t percent = static_cast<uint32_t>(uint64_t{done} * 100 / total);
    if (percent == percent_) return;
    percent_ = percent;
    ctx_.console.SetTitle("{" + std::to_string(percent) + "%}" + StageTitle("Search"));
  }
  // A message line: after the hits, on the stream that is not for objects.
  void Note(const std::string& text) {
    lines_.Drain();
    if (options_.json) {
      ctx_.console.Err(text + "\n");
      ctx_.console.Flush(Stream::kErr);
    } else {
      ctx_.console.Say(text + "\n");
    }
  }

 private:
  // Time, size, CRC-32 and stored mark before the catalog and the path.
  void Columns(const SearchHit& hit) {
    std::string& out = lines_.text();
    AppendCalendar(out, LocalCalendar(hit.entry.time), ' ');
    out += ' ';
    const bool isDir = (hit.entry.attributes & kAttrDirectory) != 0;
    AppendRight(out, isDir ? std::string("<DIR>") : FormatGrouped(hit.entry.size), 13);
    out += ' ';
    out += (hit.hasCrc && !isDir) ? Hex(hit.entry.crc) : std::string(8, ' ');
    out += (hit.entry.attributes & kAttrStored) ? " T " : "   ";
  }
  void Json(const SearchHit& hit) {
    std::string& out = lines_.text();
    const bool isDir = (hit.entry.attributes & kAttrDirectory) != 0;
    out += "{\"catalog\":";
    AppendJsonString(&out, catalogs_[hit.catalog].data(), catalogs_[hit.catalog].size());
    out += ",\"path\":";
    AppendJsonString(&out, hit.path, hit.pathLength);
    out += isDir ? ",\"kind\":\"dir\",\"size\":" : ",\"kind\":\"file\",\"size\":";
    out += std::to_string(hit.entry.size) + ",\"time\":\"";
    AppendCalendar(out, UtcCalendar(hit.entry.time), 'T');
    out += "Z\",\"seconds\":" + std::to_string(hit.entry.time) + ",\"crc\":";
    out += (hit.hasCrc && !isDir) ? "\"" + Hex(hit.entry.crc) + "\"" : std::string("null");
    out += (hit.entry.attributes & kAttrStored) ? ",\"stored\":true" : ",\"stored\":false";
    if (options_.dupes) out += ",\"group\":" + std::to_string(group_);
    out += '}';
    lines_.EndLine();
  }

  Context& ctx_;
  const std::vector<std::string>& catalogs_;
  const SearchOptions& options_;
  LineBuffer lines_;
  uint32_t percent_ = 101;
  uint64_t group_ = 0;
};

std::string Summary(const SearchOptions& o, const SearchCounts& c) {
  std::string text =
      o.dupes ? "Groups: " + std::to_string(c.groups) + ", redundant copies: " +
                    std::to_string(c.hits) + ", redundant bytes: " +
                    FormatGrouped(static_cast<int64_t>(c.redundantBytes))
              : "Hits: " + std::to_string(c.hits);
  text += ", catalogs searched: " + std::to_string(c.searched);
  if (c.skipped > 0) text += ", without CRC-32: " + std::to_string(c.skipped);
  if (c.failed > 0) text += ", not loaded: " + std::to_string(c.failed);
  return text;
}

bool WantsJson(int argc, char** argv) {
  Arguments scan(argc, argv);
  while (const char* option = scan.NextOption()) {
    if (strcmp(option, "/json") == 0) return true;
  }
  return false;
}

// The catalogs the names stand for; folders that cannot be listed are
// reported and counted as catalogs that failed.
uint32_t CollectCatalogs(Context& ctx, const Arguments& args, std::vector<std::string>* catalogs) {
  std::vector<std::string> unlisted;
  for (int k = 1; k < args.NameCount(); ++k) {
    ExpandCatalogName(ctx.env, args.Name(k), catalogs, &unlisted);
  }
  for (const std::string& folder : unlisted) {
    ctx.console.Err("korvex: " + folder + ": cannot list\n");
  }
  ctx.console.Flush(Stream::kErr);
  return static_cast<uint32_t>(unlisted.size());
}

}  // namespace

int RunSearch(Context& ctx, int argc, char** argv) {
  Console& console = ctx.console;
  console.SetTitle(StageTitle("Search"));
  SearchOptions options;
  options.json = WantsJson(argc, argv);
  auto announce = [&](const std::string& text) {
    if (!options.json) return console.Say(text);
    console.Err(text);
    console.Flush(Stream::kErr);
  };
  announce(" Cmd::Search\n");
  Arguments args(argc, argv);
  while (const char* option = args.NextOption()) {
    int failure = kExitSuccess;
    std::string line = TakeOption(ctx, option, &options, &failure);
    if (failure != kExitSuccess) return console.RestoreTitle(), failure;
    if (line.empty()) return UnknownParameter(ctx, option);
    announce(" + " + line + "\n");
  }
  if (args.NameCount() < 2) return NotAllNames(ctx);
  std::string mask = args.Name(0);
  ctx.env.AnsiToOem(&mask[0]);
  Wildcard wildcard(mask);
  std::vector<std::string> catalogs;
  const uint32_t unlisted = CollectCatalogs(ctx, args, &catalogs);

  SearchCounts counts;
  {
    SearchPrinter printer(ctx, catalogs, options);
    CatalogSearch search(ctx.env, catalogs, wildcard, options.filter);
    counts = options.dupes ? search.FindDuplicates(options.minSize, printer)
                           : search.Find(printer);
    counts.failed += unlisted;
    printer.Note(Summary(options, counts));
  }
  console.SetTitle(StageTitle("Search"));
  if (counts.failed > 0) return kExitFailed;
  // A group of duplicates counts its redundant copies as hits.
  return counts.hits > 0 ? kExitSuccess : kExitDiffers;
}

}  // namespace korvex
