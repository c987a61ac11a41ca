// Damaged catalogs: every truncation and single-byte change of a small and a
// nested catalog, as they are and with their CRCs resealed, goes through
// load, both listings with and without a mask, extraction in both modes, the
// fetch, and the plug-in with a short and a whole first look.  Each is
// refused cleanly or handled as a well-formed catalog.
#include <string.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalog/coding.h"
#include "catalog/crc32.h"
#include "catalog/format.h"
#include "catalog/progress.h"
#include "catalog/reader.h"
#include "fuzz/harness.h"
#include "plugin/loader.h"
#include "tests/handmade.h"
#include "tests/testutil.h"

namespace korvex {
namespace {

using fuzz::MemoryEnv;
using fuzz::Outcome;
using fuzz::Run;

const std::string kSep(1, kPathSeparator);
const char kLoadError[] = " Cmd::List\nFile loading error!\n";
const char kDamaged[] = "Fail (extract: cannot extract due corrupted file)\n";

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Text(const std::string& seed, size_t size) {
  std::string text;
  for (int line = 0; text.size() < size; ++line) {
    text += seed + " line " + std::to_string(line) + "\n";
  }
  return text.substr(0, size);
}

// Made by the create command over a tree in memory, so it is the same on
// every run: three levels, shared and empty stored records, unstored files.
std::string NestedCatalog() {
  MemoryEnv env;
  const std::string src = "src" + kSep;
  env.AddFile(src + "README.TXT", Text("readme", 800), 1000000001u);
  env.AddFile(src + "COPY.TXT", Text("readme", 800), 1000000002u);
  env.AddFile(src + "EMPTY.TXT", "", 1000000003u);
  env.AddFile(src + "BIG.BIN", Text("big", 2000), 1000000004u);
  env.AddFile(src + "DOCS" + kSep + "INSTALL.NFO", Text("install", 150), 1000000005u);
  env.AddFile(src + "DOCS" + kSep + "NOTES.TXT", Text("notes", 1000), 1000000006u);
  env.AddFile(src + "DOCS" + kSep + "SUB" + kSep + "DEEP.TXT", Text("deep", 600));
  env.AddFile(src + "DOCS" + kSep + "SUB" + kSep + "LEAF" + kSep + "Z.TXT", Text("z", 100));
  env.AddFile(src + "DOCS" + kSep + "SUB" + kSep + "LEAF" + kSep + "ZERO.NFO", "");
  env.AddDir(src + "EMPTY");
  env.AddFile(src + "MEDIA" + kSep + "A.BIN", Text("a", 50));
  env.AddFile(src + "MEDIA" + kSep + "B.BIN", Text("b", 60));
  Outcome made = Run(env, {"c", "/store=*.TXT:*.NFO", "nested.dir", "src"});
  EXPECT_EQ(0, made.code) << made.out;
  const std::string* bytes = env.Contents("nested.dir");
  return bytes ? *bytes : std::string();
}

// How the plug-in dealt with one first look.
struct Browse {
  uint32_t look;
  bool opened;     // IsArchive and OpenArchive both returned 1
  int32_t result;  // the last GetArcItem result
  size_t items;    // items written before it
};

// The plug-in as a host loads it, over a real file, since it reads the rest
// of the tree by name.
class Host {
 public:
  Host() : file_(dir_ / "browse.dir") {
    std::string error;
    module_ = LoadedModule::Load(KORVEXP_MODULE_PATH, &error);
    EXPECT_TRUE(module_ != nullptr) << error;
  }

  std::vector<Browse> Run(const std::string& bytes) {
    std::ofstream(file_, std::ios::binary | std::ios::trunc) << bytes;
    std::vector<Browse> runs;
    if (!module_) return runs;
    for (uint32_t look : {17u, static_cast<uint32_t>(bytes.size())}) {
      if (look > bytes.size()) continue;
      std::vector<unsigned char> first(bytes.begin(), bytes.begin() + look);
      Browse b{look, false, -1, 0};
      int32_t value;
      b.opened = module_->IsArchive(file_.c_str(), first.data(), static_cast<int32_t>(look)) == 1 &&
                 module_->OpenArchive(file_.c_str(), &value) == 1;
      if (b.opened) {
        KorvexpFindData item;
        while ((b.result = module_->GetArcItem(&item, 0)) == KORVEXP_ITEM_WRITTEN &&
               b.items <= bytes.size()) {
          ++b.items;
        }
        KorvexpArchiveInfo info;
        module_->CloseArchive(&info);
      }
      runs.push_back(b);
    }
    return runs;
  }

 private:
  test::TempDir dir_;
  std::string file_;
  std::unique_ptr<LoadedModule> module_;
};

// What every command made of one catalog.
struct Report {
  bool loaded = false;
  std::vector<std::string> paths;  // walked, without the leading backslash
  Outcome full, fullMasked, brief, briefMasked, extract, extractFast;
  int fetchedChecked = 0;  // stored records the checking fetch returned
  int fetchedDirect = 0;
  int storedRecords = 0;
  std::vector<Browse> browsed;
};

// Every command over one catalog; wanted is the catalog path of a stored
// file, for the extractions.
Report Exercise(const std::string& bytes, const std::string& wanted) {
  static Host host;
  MemoryEnv env;
  env.AddFile("v.dir", bytes);
  env.AddDir("out");
  Report r;
  CatalogReader reader(env);
  r.loaded = reader.Load("v.dir");
  if (r.loaded) {
    ProgressObserver quiet;
    while (const char* name = reader.NextEntry()) {
      r.paths.push_back(reader.CurrentPath().substr(1));
      EntryInfo info;
      reader.DecodeEntry(name, &info);
      if (!(info.attributes & kAttrStored)) continue;
      ++r.storedRecords;
      std::vector<unsigned char> contents;
      r.fetchedChecked += reader.FetchStored(true, quiet, &contents);
      r.fetchedDirect += reader.FetchStored(false, quiet, &contents);
    }
  }
  r.full = Run(env, {"l", "v.dir"});
  r.fullMasked = Run(env, {"l", "v.dir", "*.txt"});
  r.brief = Run(env, {"l", "/fast", "v.dir"});
  r.briefMasked = Run(env, {"l", "/fast", "v.dir", "*.txt"});
  r.extract = Run(env, {"e", "/overwrite", "v.dir", wanted, "out" + kSep});
  r.extractFast = Run(env, {"e", "/overwrite", "/fast", "v.dir", wanted, "out" + kSep});
  r.browsed = host.Run(bytes);
  return r;
}

// Refused cleanly, or handled as a well-formed catalog.  Returns what is
// wrong, or an empty string.
std::string Clean(const Report& r) {
  if (!r.loaded) {
    for (const Outcome* o : {&r.full, &r.fullMasked}) {
      if (o->out != kLoadError || o->code != 3) return "a listing did not refuse: " + o->out;
    }
    for (const Outcome* o : {&r.brief, &r.briefMasked}) {
      if (!EndsWith(o->out, "File loading error!\n") || o->code != 3) {
        return "a brief listing did not refuse: " + o->out;
      }
    }
    for (const Outcome* o : {&r.extract, &r.extractFast}) {
      if (!EndsWith(o->out, "File loading error!\n") || o->code != 3) {
        return "an extraction did not refuse: " + o->out;
      }
    }
    return "";
  }
  for (const Outcome* o : {&r.full, &r.fullMasked}) {
    if (o->code != 0 || o->out.compare(0, 32, " Cmd::List\nAttr Size       Name\n") != 0 ||
        o->out.find("\n-----\nFile info:  \n  integrity check: Ok  CRC32: ") ==
            std::string::npos ||
        o->out.find("\nStore listed: \n\tfiles: ") == std::string::npos) {
      return "a full listing is incomplete: " + o->out;
    }
  }
  std::string brief = " Cmd::List\n + fast processing (brief info only)\n";
  for (const std::string& p : r.paths) brief += p + "\n";
  if (r.brief.code != 0 || r.brief.out != brief) return "the brief listing differs from the walk";
  if (r.briefMasked.code != 0) return "the masked brief listing failed";
  for (const Outcome* o : {&r.extract, &r.extractFast}) {
    const bool ended = EndsWith(o->out, ")\n") || EndsWith(o->out, "has not found in dir\n") ||
                       EndsWith(o->out, " bytes written.\n");
    if (!ended || (o->code != 0 && o->code != 3 && o->code != 4)) {
      return "an extraction did not end with one result: " + o->out;
    }
  }
  if (r.fetchedChecked > r.fetchedDirect) return "a checked fetch succeeded where a direct one failed";
  return "";
}

// The plug-in refuses, or walks every entry the reader walks and ends
// cleanly, or stops on a malformed tree; only a catalog the reader loads
// may end cleanly.
std::string CleanBrowse(const Report& r) {
  for (const Browse& b : r.browsed) {
    if (!b.opened) continue;
    const std::string look = " (first look " + std::to_string(b.look) + ")";
    if (b.result != KORVEXP_ITEM_END && b.result != KORVEXP_ITEM_MALFORMED) {
      return "the plug-in's walk ended with " + std::to_string(b.result) + look;
    }
    if (b.result == KORVEXP_ITEM_END && (!r.loaded || b.items != r.paths.size())) {
      return "the plug-in ended cleanly on a tree the reader does not walk so" + look;
    }
    if (r.loaded && b.items > r.paths.size()) return "the plug-in found more entries" + look;
  }
  return "";
}

bool BrowsedAs(const Report& r, bool opened, size_t items) {
  for (const Browse& b : r.browsed) {
    if (b.opened != opened) return false;
    if (opened && (b.result != KORVEXP_ITEM_END || b.items != items)) return false;
  }
  return !r.browsed.empty();
}

// What a byte of a catalog is, for choosing the changes worth making to it.
enum class Kind {
  kStructure,  // the tree-length word, names, terminators, attribute and end bytes
  kField,      // magic, CRCs, times, sizes, the store head and offsets
  kContent,    // stored contents
};

std::vector<Kind> Classify(const std::string& catalog) {
  std::vector<Kind> kinds(catalog.size(), Kind::kField);
  const fuzz::Layout layout = fuzz::Inspect(catalog);
  for (size_t i = kTreeLengthOffset; i < kHeaderSize; ++i) kinds[i] = Kind::kStructure;
  for (size_t i = kHeaderSize; i < kHeaderSize + layout.treeLength; ++i) {
    kinds[i] = Kind::kStructure;
  }
  MemoryEnv env;
  env.AddFile("c.dir", catalog);
  CatalogReader reader(env);
  if (!reader.Load("c.dir")) return kinds;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(catalog.data());
  const size_t dataStart = kHeaderSize + layout.treeLength + kStoreHeadSize;
  while (const char* name = reader.NextEntry()) {
    EntryInfo info;
    reader.DecodeEntry(name, &info);
    const size_t fields = kHeaderSize + (name - reinterpret_cast<const char*>(reader.Tree())) +
                          strlen(name) + 2;
    const bool isDir = info.attributes & kAttrDirectory;
    const size_t width = isDir ? 4 : reader.HasCrc() ? 12 : 8;
    for (size_t i = fields; i < fields + width; ++i) kinds[i] = Kind::kField;
    if (!(info.attributes & kAttrStored)) continue;
    const size_t body = dataStart + DecodeFixed32(p + dataStart + 4 * reader.StoredOrdinal()) + 4;
    for (size_t i = body; i < body + info.size && i < catalog.size(); ++i) {
      kinds[i] = Kind::kContent;
    }
  }
  return kinds;
}

// The part of a full listing before its footer.
std::string Entries(const std::string& listing) { return listing.substr(0, listing.find("-----")); }

class CorruptionTest : public ::testing::Test {
 protected:
  // Reports at most a few failures of a sweep; the rest are only counted.
  void Expect(bool ok, const std::string& what) {
    if (ok) return;
    if (++failures_ <= 8) ADD_FAILURE() << what;
  }
  void ExpectClean(const Report& r, const std::string& variant) {
    std::string problem = Clean(r);
    if (problem.empty()) problem = CleanBrowse(r);
    Expect(problem.empty(), variant + ": " + problem);
  }

  // Every truncation: shorter than header and tree, the load fails; longer,
  // the catalog lists as before but the store is incomplete.
  void SweepTruncations(const std::string& original, const std::string& wanted) {
    const Report whole = Exercise(original, wanted);
    ASSERT_TRUE(whole.loaded);
    ASSERT_TRUE(EndsWith(whole.extract.out, "Ok (extract: check by CRC32)\n")) << whole.extract.out;
    const fuzz::Layout layout = fuzz::Inspect(original);
    const size_t treeEnd = kHeaderSize + layout.treeLength;
    for (size_t n = 0; n < original.size(); ++n) {
      const std::string variant = "truncated to " + std::to_string(n);
      Report r = Exercise(original.substr(0, n), wanted);
      ExpectClean(r, variant);
      Expect(r.loaded == (n >= treeEnd), variant + ": loads only with its whole tree");
      if (!r.loaded) {
        Expect(n < 17 || BrowsedAs(r, false, 0), variant + ": the plug-in refuses it");
        continue;
      }
      Expect(BrowsedAs(r, true, whole.paths.size()), variant + ": the plug-in browses it whole");
      Expect(Entries(r.full.out) == Entries(whole.full.out), variant + ": lists as before");
      Expect(r.fetchedChecked == 0 && r.fetchedDirect == 0, variant + ": nothing fetches");
      Expect(EndsWith(r.extract.out, kDamaged) && EndsWith(r.extractFast.out, kDamaged),
             variant + ": extraction reports damage");
    }
  }

  // Every byte changed to each of the values `values` gives for its kind.
  // As they are, only the CRC flag may pass the tree CRC, and store damage
  // fails the checking fetch; resealed, everything is merely clean.
  void SweepChanges(const std::string& original, const std::string& wanted,
                    const std::function<std::vector<unsigned char>(Kind, unsigned char)>& values,
                    bool header = true, bool store = true) {
    const Report whole = Exercise(original, wanted);
    ASSERT_TRUE(whole.loaded);
    ASSERT_GT(whole.storedRecords, 0);
    ASSERT_EQ(whole.storedRecords, whole.fetchedChecked);
    const std::vector<Kind> kinds = Classify(original);
    const fuzz::Layout layout = fuzz::Inspect(original);
    const size_t treeEnd = kHeaderSize + layout.treeLength;
    for (size_t pos = header ? 0 : treeEnd; pos < (store ? original.size() : treeEnd); ++pos) {
      const unsigned char was = static_cast<unsigned char>(original[pos]);
      for (unsigned char now : values(kinds[pos], was)) {
        if (now == was) continue;
        std::string bytes = original;
        bytes[pos] = static_cast<char>(now);
        const std::string variant =
            "byte " + std::to_string(pos) + " " + std::to_string(was) + "->" + std::to_string(now);
        Report r = Exercise(bytes, wanted);
        ExpectClean(r, variant);
        const bool flagOnly = pos == kTreeLengthOffset + 3 && ((was ^ now) == 0x80);
        if (pos < treeEnd && !flagOnly) {
          Expect(!r.loaded, variant + ": fails the tree CRC");
          Expect(r.browsed.empty() || BrowsedAs(r, false, 0),
                 variant + ": the plug-in refuses it");
        }
        if (pos >= treeEnd) {
          Expect(r.loaded && r.full.out == whole.full.out && r.brief.out == whole.brief.out &&
                     BrowsedAs(r, true, whole.paths.size()),
                 variant + ": store damage leaves the listings and the plug-in alone");
          Expect(r.fetchedChecked == 0 && EndsWith(r.extract.out, kDamaged),
                 variant + ": store damage fails every checking fetch");
        }

        std::string sealed = bytes;
        fuzz::SealTree(&sealed);
        fuzz::SealStore(&sealed);
        if (sealed != bytes && sealed != original) {
          ExpectClean(Exercise(sealed, wanted), variant + " resealed");
        }
      }
    }
  }

  int failures_ = 0;
};

TEST_F(CorruptionTest, WorkedExampleTruncations) {
  SweepTruncations(test::ReadFile("tests/vectors/worked-example.dir"), "A");
  EXPECT_EQ(0, failures_);
}

// Every value at every place that shapes the records; four changes to each
// number, one to each stored byte.
TEST_F(CorruptionTest, WorkedExampleEveryByte) {
  SweepChanges(test::ReadFile("tests/vectors/worked-example.dir"), "a",
               [](Kind kind, unsigned char b) {
                 std::vector<unsigned char> values;
                 if (kind == Kind::kStructure) {
                   for (int v = 0; v < 256; ++v) values.push_back(static_cast<unsigned char>(v));
                 } else if (kind == Kind::kField) {
                   values = {static_cast<unsigned char>(b ^ 0xFF), 0x00,
                             static_cast<unsigned char>(b ^ 0x01),
                             static_cast<unsigned char>(b ^ 0x80)};
                 } else {
                   values = {static_cast<unsigned char>(b ^ 0xFF)};
                 }
                 return values;
               });
  EXPECT_EQ(0, failures_);
}

TEST_F(CorruptionTest, NestedCatalogTruncations) {
  const std::string nested = NestedCatalog();
  ASSERT_GE(nested.size(), 3000u);
  SweepTruncations(nested, "DOCS\\SUB\\DEEP.TXT");
  EXPECT_EQ(0, failures_);
}

// Each byte that shapes records or holds a number flipped whole, cleared,
// and with the directory and the stored bits toggled; each stored byte
// flipped.
std::vector<unsigned char> NestedValues(Kind kind, unsigned char b) {
  if (kind == Kind::kContent) return {static_cast<unsigned char>(b ^ 0xFF)};
  return {static_cast<unsigned char>(b ^ 0xFF), 0x00,
          static_cast<unsigned char>(b ^ kAttrDirectory),
          static_cast<unsigned char>(b ^ kAttrStored)};
}

TEST_F(CorruptionTest, NestedCatalogEveryHeaderAndTreeByte) {
  SweepChanges(NestedCatalog(), "docs\\notes.txt", NestedValues, true, false);
  EXPECT_EQ(0, failures_);
}

TEST_F(CorruptionTest, NestedCatalogEveryStoreByte) {
  SweepChanges(NestedCatalog(), "docs\\notes.txt", NestedValues, false, true);
  EXPECT_EQ(0, failures_);
}

// Runs a command over the catalog given as bytes, with an empty out/.
Outcome RunOn(const std::string& catalog, std::vector<std::string> args,
              MemoryEnv* keep = nullptr) {
  MemoryEnv local;
  MemoryEnv& env = keep ? *keep : local;
  env.AddFile("m.dir", catalog);
  env.AddDir("out");
  return Run(env, std::move(args));
}

void ExpectRefusedEverywhere(const std::string& catalog, const std::string& what) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"l", "m.dir"}, {"l", "m.dir", "*"}, {"l", "/fast", "m.dir"},
           {"l", "/fast", "m.dir", "A*"}, {"e", "m.dir", "A", "out" + kSep},
           {"e", "/fast", "m.dir", "A", "out" + kSep}}) {
    Outcome o = RunOn(catalog, args);
    EXPECT_TRUE(EndsWith(o.out, "File loading error!\n")) << what << ": " << o.out;
    EXPECT_EQ(3, o.code) << what;
  }
}

TEST(MalformedCatalog, TreeLengthZeroIsRefused) {
  // The CRC-32 of no bytes is 0, so the empty tree passes its checksum.
  for (bool withCrc : {true, false}) {
    const std::string empty = test::Catalog("", withCrc);
    ExpectRefusedEverywhere(empty, "empty tree");
    const std::string data = test::DataArea({"abc"});
    ExpectRefusedEverywhere(test::Catalog("", withCrc, &data), "empty tree with a store");
  }
}

TEST(MalformedCatalog, RecordsRunningPastTheTreeAreRefused) {
  const std::string file = test::TreeBytes().File("A", 0x20, 3, 0x352441C2).bytes;
  const std::string dir = test::TreeBytes().Dir("D").bytes;
  test::TreeBytes noCrc;
  noCrc.withCrc = false;
  const struct {
    const char* what;
    std::string tree;
    bool withCrc;
  } cases[] = {
      {"a name without its terminator", "ABC", true},
      {"a name without its attribute byte", std::string("A\0", 2), true},
      {"a file record cut in its time", file.substr(0, 5), true},
      {"a file record cut in its CRC", file.substr(0, 12), true},
      {"a file without the root's end", file, true},
      {"a file record without its CRC field", noCrc.File("A", 0x20, 3).End().bytes, true},
      {"a directory never closed", dir, false},
      {"a directory closed, the root not", dir + '\0', false},
      {"a directory record cut in its time", dir.substr(0, 5) + '\0', false},
  };
  for (const auto& c : cases) ExpectRefusedEverywhere(test::Catalog(c.tree, c.withCrc), c.what);
}

TEST(MalformedCatalog, BytesAfterTheRootsEndAreIgnored) {
  const std::string tree = std::string(1, '\0') + test::TreeBytes().File("A", 0x28, 3, 0).bytes;
  Outcome o = RunOn(test::Catalog(tree, true), {"l", "m.dir"});
  EXPECT_EQ(0, o.code);
  EXPECT_NE(std::string::npos, o.out.find("\tdirs: 0,\tfiles: 0,\tbytes: 0\n")) << o.out;
}

TEST(MalformedCatalog, ContentRecordsOutsideTheDataAreaFailBothModes) {
  using test::Le;
  const std::string tree = test::TreeBytes().File("A", 0x28, 3, 0x352441C2).bytes + '\0';
  const std::string sound = test::DataArea({"abc"});
  std::string hugeArea = test::Catalog(tree, true, &sound);
  // The store head claims far more data area than the file holds.
  hugeArea.replace(kHeaderSize + tree.size() + 4, 4, Le(0x7FFFFFF0u));
  std::string badMarker = test::Catalog(tree, true, &sound);
  badMarker[kHeaderSize + tree.size() + 8] = 0x04;
  const std::string cases[][2] = {
      {"no content store", test::Catalog(tree, true)},
      {"no slot for the record", [&] { std::string d; return test::Catalog(tree, true, &d); }()},
      {"slot beyond the data area",
       [&] { std::string d = Le(100) + Le(3) + "abc"; return test::Catalog(tree, true, &d); }()},
      {"slot near 4 GiB",
       [&] { std::string d = Le(0xFFFFFFFEu) + Le(3) + "abc"; return test::Catalog(tree, true, &d); }()},
      {"size running past the data area",
       [&] { std::string d = Le(4) + Le(1000) + "abc"; return test::Catalog(tree, true, &d); }()},
      {"size near 4 GiB",
       [&] { std::string d = Le(4) + Le(0xFFFFFFFFu) + "abc"; return test::Catalog(tree, true, &d); }()},
      {"size word cut off",
       [&] { std::string d = Le(4) + "ab"; return test::Catalog(tree, true, &d); }()},
      {"data area past the end of the file", hugeArea},
      {"marker byte not 3", badMarker},
  };
  ASSERT_EQ(0, RunOn(test::Catalog(tree, true, &sound), {"e", "m.dir", "A", "out" + kSep}).code);
  for (const auto& c : cases) {
    for (bool fast : {false, true}) {
      MemoryEnv env;
      std::vector<std::string> args = {"e"};
      if (fast) args.push_back("/fast");
      args.insert(args.end(), {"m.dir", "A", "out" + kSep});
      Outcome o = RunOn(c[1], args, &env);
      EXPECT_TRUE(EndsWith(o.out, kDamaged)) << c[0] << (fast ? " /fast: " : ": ") << o.out;
      EXPECT_EQ(3, o.code) << c[0];
      EXPECT_EQ(nullptr, env.Contents("out" + kSep + "A")) << c[0];
    }
  }
}

TEST(MalformedCatalog, DeepPathsLongerThanAnyBufferListAndExtract) {
  std::string tree;
  std::string wanted;
  for (int depth = 0; depth < 300; ++depth) {
    std::string name = "LEVEL" + std::to_string(1000 + depth) + "-ABCDEFGHIJKLM";
    tree += test::TreeBytes().Dir(name).bytes;
    wanted += name + "\\";
  }
  tree += test::TreeBytes().File("DEEP.TXT", 0x28, 3, 0x352441C2).bytes + std::string(301, '\0');
  const std::string data = test::DataArea({"abc"});
  const std::string catalog = test::Catalog(tree, true, &data);
  Outcome full = RunOn(catalog, {"l", "m.dir"});
  EXPECT_NE(std::string::npos, full.out.find("\tdirs: 300,\tfiles: 1,\tbytes: 3\n"));
  EXPECT_NE(std::string::npos, full.out.find(" " + wanted + "DEEP.TXT\n"));
  Outcome brief = RunOn(catalog, {"l", "/fast", "m.dir", "deep.txt"});
  EXPECT_TRUE(EndsWith(brief.out, "\n" + wanted + "DEEP.TXT\n"));
  MemoryEnv env;
  Outcome e = RunOn(catalog, {"e", "m.dir", wanted + "DEEP.TXT", "out" + kSep}, &env);
  EXPECT_TRUE(EndsWith(e.out, "Ok (extract: check by CRC32)\n")) << e.out;
  ASSERT_NE(nullptr, env.Contents("out" + kSep + "DEEP.TXT"));
  EXPECT_EQ("abc", *env.Contents("out" + kSep + "DEEP.TXT"));
}

}  // namespace
}  // namespace korvex
