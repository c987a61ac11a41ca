#include <string.h>

#include <string>

#include "catalog/format.h"
#include "catalog/mask.h"
#include "catalog/reader.h"
#include "catalog/tree.h"
#include "cli/arguments.h"
#include "cli/context.h"
#include "cli/exit_code.h"
#include "cli/grouped.h"
#include "cli/korvex.h"
#include "cli/line_buffer.h"
#include "cli/progress_display.h"
#include "cli/reason.h"
#include "platform/console.h"
#include "platform/env.h"
#include "platform/paths.h"

namespace korvex {
namespace {

// The path without its leading backslash.
const char* RelativePath(const std::string& path) { return path.c_str() + 1; }

void ListBriefAll(CatalogReader& reader, LineBuffer& lines) {
  while (reader.NextEntry()) {
    lines.text().append(reader.CurrentPath(), 1, std::string::npos);
    lines.EndLine();
  }
}

// Files whose upper-cased own name matches the mask, with upper-cased paths.
void ListBriefMasked(CatalogReader& reader, const std::string& mask, LineBuffer& lines) {
  std::string upper;
  while (reader.NextEntry()) {
    upper = reader.CurrentPath();
    UpperAscii(&upper);
    if (CompareMask(upper.c_str() + reader.CurrentNameStart(), mask.c_str()) != 0) continue;
    lines.text().append(upper, 1, std::string::npos);
    lines.EndLine();
  }
}

void AppendRight(std::string& out, const std::string& text, size_t width) {
  if (text.size() < width) out.append(width - text.size(), ' ');
  out += text;
}

struct Totals {
  int32_t dirs = 0;
  int32_t files = 0;
  uint64_t bytes = 0;
  int32_t stored = 0;
  uint64_t storedBytes = 0;
};

void ListFull(CatalogReader& reader, const std::string& mask, bool listAll, LineBuffer& lines,
              Totals& totals) {
  lines.text() += "Attr Size       Name";
  lines.EndLine();
  std::string upper;
  while (const char* name = reader.NextEntry()) {
    const std::string& path = reader.CurrentPath();
    if (!listAll) {
      upper.assign(path, 1, std::string::npos);
      UpperAscii(&upper);
      if (CompareMask(upper.c_str(), mask.c_str()) != 0) continue;
    }
    EntryInfo info;
    reader.DecodeEntry(name, &info);
    std::string& out = lines.text();
    if (info.attributes & kAttrStored) {
      out += 'T';
      totals.stored++;
      totals.storedBytes += info.size;
    } else {
      out += '*';
    }
    if (info.attributes & kAttrDirectory) {
      totals.dirs++;
      out += "D ";
      AppendRight(out, "<DIR>", 11);
    } else {
      totals.files++;
      totals.bytes += info.size;
      out += "* ";
      AppendRight(out, FormatGrouped(info.size), 11);
    }
    out += ' ';
    out += RelativePath(path);
    lines.EndLine();
  }
}

// The catalog's figures and the listed totals after a full listing.
void ShowSummary(Console& console, const CatalogReader& reader, const Totals& totals) {
  // The storage figure counts what follows the header and the tree block.
  uint64_t afterTree = kHeaderSize + uint64_t{reader.TreeLength()};
  uint64_t storage = reader.CatalogSize() > afterTree ? reader.CatalogSize() - afterTree : 0;
  console.Out("-----\nFile info:  \n  integrity check: Ok  CRC32: " +
              std::string(reader.HasCrc() ? "yes" : "no") +
              "  size: " + FormatGrouped(static_cast<int64_t>(reader.CatalogSize())) +
              "  storage: " + FormatGrouped(static_cast<int64_t>(storage)) + "\n");
  console.Out("Total listed: \n\tdirs: " + std::to_string(totals.dirs) + ",\tfiles: " +
              std::to_string(totals.files) + ",\tbytes: " +
              FormatGrouped(static_cast<int64_t>(totals.bytes)) + "\n");
  console.Out("Store listed: \n\tfiles: " + std::to_string(totals.stored) + ",\tbytes: " +
              FormatGrouped(static_cast<int64_t>(totals.storedBytes)) + "\n");
}

}  // namespace

int RunList(Context& ctx, int argc, char** argv) {
  Console& console = ctx.console;
  Announce(console, "List");
  bool brief = false;
  Arguments args(argc, argv);
  while (const char* option = args.NextOption()) {
    if (strcmp(option, "/fast") != 0) return UnknownParameter(ctx, option);
    brief = true;
    console.Say(" + fast processing (brief info only)\n");
  }
  if (args.NameCount() < 1) return NotAllNames(ctx);
  // The catalog is a file-system name and stays in the ANSI code page; only
  // the mask is compared with catalog names.
  const char* catalogName = args.Name(0);
  std::string mask = "*";
  if (args.NameCount() > 1) {
    char* given = args.Name(1);
    ctx.env.AnsiToOem(given);
    mask = given;
    UpperAscii(&mask);
    CommandLineToCatalogPath(&mask);
  }

  CatalogReader reader(ctx.env);
  if (!LoadNamedCatalog(ctx, reader, catalogName)) return kExitFailed;
  reader.Rewind();
  bool listAll = mask == "*" || mask == "*.*";
  if (brief) {
    {
      LineBuffer lines(console);
      if (listAll) {
        ListBriefAll(reader, lines);
      } else {
        ListBriefMasked(reader, mask, lines);
      }
    }
    console.Flush(Stream::kOut);
    return kExitSuccess;
  }

  Totals totals;
  {
    LineBuffer lines(console);
    ListFull(reader, mask, listAll, lines, totals);
  }
  console.Flush(Stream::kOut);
  ShowSummary(console, reader, totals);
  console.Flush(Stream::kOut);
  return kExitSuccess;
}

}  // namespace korvex
