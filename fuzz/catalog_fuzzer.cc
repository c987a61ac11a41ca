// A catalog given as bytes, its tree CRC resealed: it either fails to load,
// and every listing says so, or it loads and both walks and all four
// listings and the search cover it completely and agree with each other.
// The update's index of earlier files is built over whatever tree bytes
// there are, and an update over the catalog writes one that loads.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "catalog/format.h"
#include "catalog/mask.h"
#include "catalog/reader.h"
#include "catalog/reuse_index.h"
#include "catalog/tree.h"
#include "fuzz/harness.h"

namespace korvex {
namespace fuzz {
namespace {

struct Entry {
  std::string path;  // without the leading backslash
  size_t nameStart;  // of the own name in path
  EntryInfo info;
};

std::vector<Entry> Walk(CatalogReader& reader) {
  std::vector<Entry> entries;
  int32_t stored = -1;
  while (const char* name = reader.NextEntry()) {
    Entry e;
    const std::string& path = reader.CurrentPath();
    Require(!path.empty() && path[0] == '\\', "a path starts at the root");
    Require(reader.CurrentNameStart() >= 1 && reader.CurrentNameStart() <= path.size(),
            "the name start lies inside the path");
    reader.DecodeEntry(name, &e.info);
    Require(e.info.name == name, "DecodeEntry keeps the name");
    const bool isDir = (e.info.attributes & kAttrDirectory) != 0;
    std::string tail = std::string(name) + (isDir ? "\\" : "");
    Require(path.size() >= tail.size() && path.compare(path.size() - tail.size(), tail.size(),
                                                      tail) == 0,
            "the path ends with the entry's name");
    if (e.info.attributes & kAttrStored) ++stored;
    Require(reader.StoredOrdinal() == stored, "the stored ordinal counts stored records");
    e.path = path.substr(1);
    e.nameStart = reader.CurrentNameStart() - 1;
    entries.push_back(e);
  }
  Require(reader.CurrentPath().empty(), "the path is empty once the root has closed");
  Require(reader.NextEntry() == nullptr, "an ended walk stays ended");
  return entries;
}

std::string Upper(std::string text) {
  UpperAscii(&text);
  return text;
}

// Every expected path appears, in order, as the end of a listing line.
bool ListsInOrder(const std::string& out, const std::vector<std::string>& paths) {
  size_t pos = 0;
  for (const std::string& p : paths) {
    size_t at = out.find(" " + p + "\n", pos);
    if (at == std::string::npos) return false;
    pos = at + p.size() + 2;
  }
  return true;
}

std::string Totals(int dirs, int files) {
  return "Total listed: \n\tdirs: " + std::to_string(dirs) + ",\tfiles: " + std::to_string(files) +
         ",";
}

void CheckFullListing(MemoryEnv& env, const std::vector<Entry>& entries, const char* mask) {
  std::vector<std::string> args = {"l", "cat.dir"};
  if (mask != nullptr) args.push_back(mask);
  Outcome full = Run(env, args);
  Require(full.code == 0, "a loaded catalog lists with exit code 0");
  std::vector<std::string> listed;
  int dirs = 0;
  int files = 0;
  for (const Entry& e : entries) {
    if (mask != nullptr && CompareMask(Upper(e.path).c_str(), mask) != 0) continue;
    listed.push_back(e.path);
    (e.info.attributes & kAttrDirectory) ? ++dirs : ++files;
  }
  Require(full.out.compare(0, 32, " Cmd::List\nAttr Size       Name\n") == 0,
          "the full listing starts with its header");
  Require(ListsInOrder(full.out, listed), "the full listing has every entry in order");
  Require(full.out.find(Totals(dirs, files)) != std::string::npos,
          "the full listing's totals count what it listed");
}

void CheckBriefListings(MemoryEnv& env, const std::vector<Entry>& entries) {
  std::string all = " Cmd::List\n + fast processing (brief info only)\n";
  std::string masked = all;
  for (const Entry& e : entries) {
    all += e.path + "\n";
    std::string upper = Upper(e.path);
    if (CompareMask(upper.c_str() + e.nameStart, "A*") == 0) masked += upper + "\n";
  }
  Outcome brief = Run(env, {"l", "/fast", "cat.dir"});
  Require(brief.code == 0 && brief.out == all, "the brief listing is every path in order");
  Outcome briefMasked = Run(env, {"l", "/fast", "cat.dir", "a*"});
  Require(briefMasked.code == 0 && briefMasked.out == masked,
          "the masked brief listing is the upper-cased paths of matching names");
}

// The search finds every entry with '*', and the duplicate search runs over
// the catalog given twice, so every file has a twin where CRCs are kept.
void CheckSearch(MemoryEnv& env, const std::vector<Entry>& entries, bool withCrc) {
  std::string expected =
      " Cmd::Search\n + fast processing (brief info only)\n + directories too\n";
  size_t files = 0;
  for (const Entry& e : entries) {
    expected += "cat.dir: " + e.path + "\n";
    files += (e.info.attributes & kAttrDirectory) == 0;
  }
  expected += "Hits: " + std::to_string(entries.size()) + ", catalogs searched: 1\n";
  Outcome all = Run(env, {"s", "/fast", "/dirs", "*", "cat.dir"});
  Require(all.code == (entries.empty() ? 5 : 0) && all.out == expected,
          "the search with '*' finds every entry in order");
  Outcome dupes = Run(env, {"s", "/dupes", "/min=0", "*", "cat.dir", "cat.dir"});
  unsigned long groups = 0;
  unsigned long redundant = 0;
  size_t last = dupes.out.rfind("Groups: ");
  Require(last != std::string::npos &&
              sscanf(dupes.out.c_str() + last, "Groups: %lu, redundant copies: %lu", &groups,
                     &redundant) == 2,
          "the duplicate search ends with its counts");
  // Each group's copies are its one kept copy and the redundant ones.
  Require(groups + redundant == (withCrc ? 2 * files : 0),
          "every file of a catalog given twice is in a group");
}

// A catalog path the memory file system can hold as it is spelt.
bool Plain(const std::string& path) {
  size_t start = 0;
  for (;;) {
    size_t end = path.find('\\', start);
    std::string name = path.substr(start, end == std::string::npos ? end : end - start);
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string("/\0", 2)) != std::string::npos) {
      return false;
    }
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

// The index keeps at most the files the walk sees; an update over the
// catalog and a tree that shares some of its names succeeds.
void CheckReuse(const std::string& bytes, const std::vector<Entry>* entries) {
  const Layout layout = Inspect(bytes);
  if (!layout.hasTree) return;
  ReuseIndex index;
  index.Build(reinterpret_cast<const unsigned char*>(bytes.data()) + kHeaderSize,
              layout.treeLength, layout.withCrc);
  if (entries == nullptr) return;
  size_t files = 0;
  for (const Entry& e : *entries) files += (e.info.attributes & kAttrDirectory) == 0;
  Require(index.size() <= files, "the index holds no more than the catalog's files");
  MemoryEnv env;
  env.AddFile("up.dir", bytes);
  for (const Entry& e : *entries) {
    if ((e.info.attributes & kAttrDirectory) || !Plain(e.path)) continue;
    std::string path = "src" + std::string(1, kPathSeparator) + e.path;
    for (char& c : path) c = c == '\\' ? kPathSeparator : c;
    env.AddFile(path, std::string(e.info.size <= 4096 ? e.info.size : 0, 'x'), e.info.time);
  }
  Outcome o = Run(env, {"u", "/store=*", "up.dir", "src"});
  Require(o.code == 0 || o.code == 3, "an update over a loadable catalog writes its catalog");
  CatalogReader written(env);
  Require(o.code != 0 || written.Load("up.dir"), "the updated catalog loads");
}

}  // namespace
}  // namespace fuzz
}  // namespace korvex

int korvex::fuzz::CatalogTarget(const uint8_t* data, size_t size) {
  using namespace korvex;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  SealTree(&bytes);
  MemoryEnv env;
  env.AddFile("cat.dir", bytes);

  CatalogReader reader(env);
  if (!reader.Load("cat.dir")) {
    CheckReuse(bytes, nullptr);
    for (auto args : {std::vector<std::string>{"l", "cat.dir"},
                      std::vector<std::string>{"l", "/fast", "cat.dir", "*.TXT"},
                      std::vector<std::string>{"s", "*", "cat.dir"}}) {
      Outcome o = Run(env, args);
      if (args[0] == "s") {
        Require(o.code == 3 && o.err.find("korvex: cat.dir: ") != std::string::npos,
                "a catalog the search cannot load is named on standard error");
        continue;
      }
      Require(o.out.size() >= 20 && o.out.compare(o.out.size() - 20, 20,
                                                  "File loading error!\n") == 0,
              "a catalog that does not load is reported so");
    }
    return 0;
  }
  Require(reader.TreeLength() == Inspect(bytes).treeLength, "the tree length is the header's");
  std::vector<Entry> first = Walk(reader);
  reader.Rewind();
  Require(reader.StoredOrdinal() == -1, "Rewind resets the stored ordinal");
  std::vector<Entry> second = Walk(reader);
  Require(first.size() == second.size(), "a second walk sees as many entries");
  for (size_t i = 0; i < first.size(); ++i) {
    Require(first[i].path == second[i].path, "a second walk sees the same entries");
  }

  CheckFullListing(env, first, nullptr);
  CheckFullListing(env, first, "*.TXT");
  CheckFullListing(env, first, "*\\");
  CheckBriefListings(env, first);
  CheckSearch(env, first, (Inspect(bytes).withCrc));
  CheckReuse(bytes, &first);
  return 0;
}
