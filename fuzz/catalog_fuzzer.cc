// A catalog given as bytes, its tree CRC resealed: it loads exactly when its
// header and tree are sound (what the commands say of one that does not is
// in the case files); when it does, both walks, the listings and the search
// cover it completely and agree.  The update's index of earlier files is built over
// whatever tree bytes there are, and an update over the catalog writes one
// that loads.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "catalog/reader.h"
#include "catalog/reuse_index.h"
#include "catalog/tree.h"
#include "catalog/wildcard.h"
#include "fuzz/harness.h"
#include "tests/support/catalog_bytes.h"
#include "tests/support/memory_env.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace fuzz {
namespace {

using test::RunResult;

struct Entry {
  std::string path;  // without the leading backslash
  size_t nameStart;  // of the own name in path
  bool isDir;
  EntryInfo info;
};

std::vector<Entry> Walk(CatalogReader& reader) {
  std::vector<Entry> entries;
  int32_t stored = -1;
  while (const char* name = reader.NextEntry()) {
    const std::string& path = reader.CurrentPath();
    Entry e{path.substr(1), reader.CurrentNameStart() - 1, false, {}};
    reader.DecodeEntry(name, &e.info);
    e.isDir = (e.info.attributes & kAttrDirectory) != 0;
    const std::string tail = name + std::string(e.isDir ? "\\" : "");
    Require(path[0] == '\\' && e.nameStart < path.size() && e.info.name == name &&
                path.size() > tail.size() && path.compare(path.size() - tail.size(),
                                                          tail.size(), tail) == 0,
            "a path is the root's, then the entry's name");
    stored += (e.info.attributes & kAttrStored) != 0;
    Require(reader.StoredOrdinal() == stored, "the stored ordinal counts stored records");
    entries.push_back(e);
  }
  Require(reader.CurrentPath().empty() && !reader.NextEntry(), "an ended walk stays ended");
  return entries;
}

// The full listing lists every entry in order, and counts them.
void CheckFullListing(test::MemoryEnv& env, const std::vector<Entry>& entries) {
  RunResult full = test::RunWith(env, {"l", "cat.dir"});
  Require(full.code == 0 && full.out.compare(0, 32, " Cmd::List\nAttr Size       Name\n") == 0,
          "a loaded catalog lists with its header");
  int counts[2] = {0, 0};
  size_t pos = 0;
  for (const Entry& e : entries) {
    ++counts[e.isDir];
    pos = full.out.find(" " + e.path + "\n", pos);
    Require(pos != std::string::npos, "the full listing has every entry in order");
    pos += e.path.size() + 2;
  }
  Require(full.out.find("Total listed: \n\tdirs: " + std::to_string(counts[1]) + ",\tfiles: " +
                        std::to_string(counts[0]) + ",") != std::string::npos,
          "the full listing's totals count what it listed");
}

// The brief listing and the search with '*' give every path in order, a
// masked search (whose scan of the tree block skips names that cannot match)
// the paths the matcher takes; the duplicate search over the catalog given
// twice finds every file a twin where CRCs are kept.
void CheckBriefAndSearch(test::MemoryEnv& env, const std::vector<Entry>& entries, bool withCrc) {
  std::string all = " Cmd::List\n + fast processing (brief info only)\n";
  std::string found = " Cmd::Search\n + fast processing (brief info only)\n + directories too\n";
  std::string some = found;
  const Wildcard wildcard("*?A*");
  size_t files = 0, hits = 0;
  for (const Entry& e : entries) {
    all += e.path + "\n";
    found += "cat.dir: " + e.path + "\n";
    if (wildcard.Match(e.info.name, e.info.nameLength)) some += "cat.dir: " + e.path + "\n", ++hits;
    files += !e.isDir;
  }
  some += "Hits: " + std::to_string(hits) + ", catalogs searched: 1\n";
  found += "Hits: " + std::to_string(entries.size()) + ", catalogs searched: 1\n";
  Require(test::RunWith(env, {"l", "/fast", "cat.dir"}).out == all,
          "the brief listing is every path in order");
  RunResult search = test::RunWith(env, {"s", "/fast", "/dirs", "*", "cat.dir"});
  Require(search.code == (entries.empty() ? 5 : 0) && search.out == found,
          "the search with '*' finds every entry in order");
  Require(test::RunWith(env, {"s", "/fast", "/dirs", "*?a*", "cat.dir"}).out == some,
          "a masked search finds the entries whose names match, in order");
  RunResult dupes = test::RunWith(env, {"s", "/dupes", "/min=0", "*", "cat.dir", "cat.dir"});
  unsigned long groups = 0, redundant = 0;
  size_t last = dupes.out.rfind("Groups: ");
  Require(last != std::string::npos &&
              sscanf(dupes.out.c_str() + last, "Groups: %lu, redundant copies: %lu", &groups,
                     &redundant) == 2 &&
              groups + redundant == (withCrc ? 2 * files : 0),
          "every file of a catalog given twice is in a group");
}

// A catalog path the memory file system can hold as it is spelt.
bool Plain(const std::string& path) {
  for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
    end = path.find('\\', start);
    const std::string name = path.substr(start, end == std::string::npos ? end : end - start);
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
      return false;
    }
  }
  return true;
}

// The index keeps at most the files the walk sees; an update over the
// catalog and a tree of its files succeeds.
void CheckReuse(const std::string& bytes, const std::vector<Entry>* entries) {
  const test::Layout layout = test::Inspect(bytes);
  if (!layout.hasTree) return;
  ReuseIndex index;
  index.Build(reinterpret_cast<const unsigned char*>(bytes.data()) + kHeaderSize,
              layout.treeLength, layout.withCrc);
  if (entries == nullptr) return;
  test::MemoryEnv env;
  env.AddFile("up.dir", bytes);
  size_t files = 0;
  for (const Entry& e : *entries) {
    files += !e.isDir;
    if (e.isDir || !Plain(e.path)) continue;
    std::string path = "src\\" + e.path;
    for (char& c : path) c = c == '\\' ? kPathSeparator : c;
    env.AddFile(path, std::string(e.info.size <= 4096 ? e.info.size : 0, 'x'), e.info.time);
  }
  Require(index.size() <= files, "the index holds no more than the catalog's files");
  const int code = test::RunWith(env, {"u", "/store=*", "up.dir", "src"}).code;
  CatalogReader written(env);
  Require(code == 3 || (code == 0 && written.Load("up.dir")), "an update writes a catalog that loads");
}

}  // namespace
}  // namespace fuzz
}  // namespace korvex

int korvex::fuzz::CatalogTarget(const uint8_t* data, size_t size) {
  using namespace korvex;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  test::Seal(&bytes);
  test::MemoryEnv env;
  env.AddFile("cat.dir", bytes);
  const test::Layout layout = test::Inspect(bytes);
  const unsigned char* tree = reinterpret_cast<const unsigned char*>(bytes.data()) + kHeaderSize;
  const bool sound = layout.hasTree && memcmp(bytes.data(), kCatalogMagic, kMagicSize) == 0 &&
                     ValidateTree(tree, layout.treeLength, layout.withCrc);
  CatalogReader reader(env);
  Require(reader.Load("cat.dir") == sound, "a catalog loads when its header and tree are sound");
  if (!sound) {
    CheckReuse(bytes, nullptr);
    return 0;
  }
  Require(reader.TreeLength() == layout.treeLength, "the tree length is the header's");
  std::vector<Entry> first = Walk(reader);
  reader.Rewind();
  std::vector<Entry> second = Walk(reader);
  Require(first.size() == second.size(), "a second walk sees as many entries");
  for (size_t i = 0; i < first.size(); ++i) {
    Require(first[i].path == second[i].path, "a second walk sees the same entries");
  }
  CheckFullListing(env, first);
  CheckBriefAndSearch(env, first, layout.withCrc);
  CheckReuse(bytes, &first);
  return 0;
}
