#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "catalog/reader.h"
#include "tests/support/testutil.h"
#include "tests/support/catalog_bytes.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
using test::RunResult;

// What the run left under the target: relative paths with '/', directories
// with a trailing '/', files with their contents, links with where they point.
std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> seen;
  if (!fs::exists(root)) return seen;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const fs::path p = it->path();
    std::string name = p.lexically_relative(root).generic_string();
    if (it->is_symlink()) {
      seen[name] = "link";
    } else if (it->is_directory()) {
      seen[name + "/"] = "";
    } else {
      seen[name] = test::ReadFile(p.string());
    }
  }
  return seen;
}

const std::regex kProgress("\b|xxx%|\\.\\.\\.%|[ 0-9]{3}%");

// The run's lines with each file's progress characters taken out:
// "extracting P...xxx%\b\b\b\bOk (...)" reads "P: Ok (...)".
std::vector<std::string> Lines(const std::string& out) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = out.substr(start, end - start);
    if (line.compare(0, 11, "extracting ") == 0) {
      line = std::regex_replace(line, kProgress, "");
      const size_t result = std::min(line.find("Ok ("), line.find("Fail ("));
      line = line.substr(11, result - 3 - 11) + ": " + line.substr(result);
    }
    if (line[0] != ' ') lines.push_back(line);  // the announcement and option lines
  }
  return lines;
}

// Every restored entry has the time its catalog gives it.
void ExpectCatalogTimes(const std::string& catalog, const std::string& prefix,
                        const std::string& target, const std::string& what) {
  CatalogReader reader(*Env::Default());
  ASSERT_TRUE(reader.Load(catalog));
  while (const char* name = reader.NextEntry()) {
    EntryInfo entry;
    reader.DecodeEntry(name, &entry);
    std::string path = reader.CurrentPath().substr(1);
    if (path.compare(0, prefix.size(), prefix) != 0) continue;
    std::replace(path.begin(), path.end(), '\\', '/');
    struct stat st;
    if (stat((target + path.substr(prefix.size())).c_str(), &st) != 0) continue;
    EXPECT_EQ(entry.time, static_cast<uint32_t>(st.st_mtime)) << what << ": " << path;
  }
}

class RestoreDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("src/TOP.TXT", "top", 1000000001u);
    dir.Write("src/DOCS/A.TXT", "stored a", 1000000002u);
    dir.Write("src/DOCS/B.BIN", "mounted b", 1000000003u);
    dir.MakeDir("src/DOCS/EMPTY");
    dir.Write("src/DOCS/SUB/C.TXT", "stored c", 1000000004u);
    dir.Write("src/DOCS/SUB/D.BIN", "mounted d", 1000000005u);
    ASSERT_EQ(0, Run({"c", "/store=*.TXT", "--", dir / "cd", dir / "src"}).code);
    sentinel = dir.Write("sentinel", "must stay");
  }

  RunResult Run(std::vector<std::string> args) { return test::RunWith(env, args); }
  RunResult Restore(std::vector<std::string> options, const std::string& wanted,
                    const std::string& catalog) {
    std::vector<std::string> args = {"e", "/mount=" + dir / "src"};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {"--", catalog, wanted, dir / "out"});
    return Run(args);
  }

  test::TempDir dir;
  test::FaultEnv env;
  std::string sentinel;
};

const std::map<std::string, std::string> kDocs = {
    {"DOCS/", ""},           {"DOCS/A.TXT", "stored a"},   {"DOCS/B.BIN", "mounted b"},
    {"DOCS/EMPTY/", ""},     {"DOCS/SUB/", ""},            {"DOCS/SUB/C.TXT", "stored c"},
    {"DOCS/SUB/D.BIN", "mounted d"}};

std::map<std::string, std::string> DocsWith(std::map<std::string, std::string> changes) {
  std::map<std::string, std::string> tree = kDocs;
  for (const auto& c : changes) {
    if (c.second == "-") {
      tree.erase(c.first);
    } else {
      tree[c.first] = c.second;
    }
  }
  return tree;
}

const std::vector<std::string> kDocsRestored = {
    "DOCS\\A.TXT: Ok (extract: check by CRC32)", "DOCS\\B.BIN: Ok (mount: check by CRC32)",
    "DOCS\\SUB\\C.TXT: Ok (extract: check by CRC32)",
    "DOCS\\SUB\\D.BIN: Ok (mount: check by CRC32)",
    "Files: 4 restored, 0 checked, 0 failed; 34 bytes written."};

// Only the POSIX build reads '/' in a wanted path as '\'.
#ifdef _WIN32
const char kDocsWithSeparator[] = "docs\\";
#else
const char kDocsWithSeparator[] = "docs/";
#endif

TEST_F(RestoreDirTest, Table) {
  // A crafted catalog: below D, two safe stored files, a file named "..",
  // and a directory named ".." holding a file; and the same with one byte of
  // its store changed.
  test::TreeBytes t;
  t.Dir("D").File("ok", 0x28, 2, 0x79DCDD47).File("ok2", 0x28, 2, 0x79DCDD47);
  t.File("..", 0x28, 2, 0x79DCDD47).Dir("..").File("x", 0x28, 2, 0x79DCDD47).End().End().End();
  const std::string data = test::DataArea({"ok", "ok", "ok", "ok"});
  std::string bytes = test::Catalog(t.bytes, true, &data);
  const std::string crafted = dir.Write("crafted.dir", bytes);
  bytes.back() ^= 1;
  const std::string damaged = dir.Write("damaged.dir", bytes);
  const std::string cd = dir / "cd.dir";
  const std::string out = dir / "out/";

  struct Case {
    const char* what;
    std::function<void()> setup;
    std::vector<std::string> options;
    std::string wanted;
    int code;
    std::vector<std::string> lines;
    std::map<std::string, std::string> tree;
    std::string catalog = "";
  };
  const Case cases[] = {
      {"a directory with stored, mounted and empty directories", [] {}, {}, "DOCS", 0,
       kDocsRestored, kDocs},
      {"named with its separator", [] {}, {}, kDocsWithSeparator, 0, kDocsRestored, kDocs},
      {"the root, straight into the target", [] {}, {}, "/", 0,
       {"TOP.TXT: Ok (extract: check by CRC32)", "DOCS\\A.TXT: Ok (extract: check by CRC32)",
        "DOCS\\B.BIN: Ok (mount: check by CRC32)",
        "DOCS\\SUB\\C.TXT: Ok (extract: check by CRC32)",
        "DOCS\\SUB\\D.BIN: Ok (mount: check by CRC32)",
        "Files: 5 restored, 0 checked, 0 failed; 37 bytes written."},
       {{"TOP.TXT", "top"}, {"DOCS/", ""}, {"DOCS/A.TXT", "stored a"},
        {"DOCS/B.BIN", "mounted b"}, {"DOCS/EMPTY/", ""}, {"DOCS/SUB/", ""},
        {"DOCS/SUB/C.TXT", "stored c"}, {"DOCS/SUB/D.BIN", "mounted d"}}},
      {"an existing target is checked and left", [&] { dir.Write("out/DOCS/A.TXT", "changed"); },
       {}, "DOCS", 3,
       {"DOCS\\A.TXT: Fail (check: check by CRC32)", "DOCS\\B.BIN: Ok (mount: check by CRC32)",
        "DOCS\\SUB\\C.TXT: Ok (extract: check by CRC32)",
        "DOCS\\SUB\\D.BIN: Ok (mount: check by CRC32)",
        "Files: 3 restored, 0 checked, 1 failed; 26 bytes written."},
       DocsWith({{"DOCS/A.TXT", "changed"}})},
      {"with /overwrite it is replaced", [&] { dir.Write("out/DOCS/A.TXT", "changed"); },
       {"/overwrite"}, "DOCS", 0, kDocsRestored, kDocs},
      {"a mount copy damaged on the medium", [&] { dir.Write("src/DOCS/B.BIN", "MOUNTED B"); },
       {}, "DOCS", 3,
       {"DOCS\\A.TXT: Ok (extract: check by CRC32)", "DOCS\\B.BIN: Fail (mount: check by CRC32)",
        "DOCS\\SUB\\C.TXT: Ok (extract: check by CRC32)",
        "DOCS\\SUB\\D.BIN: Ok (mount: check by CRC32)",
        "Files: 3 restored, 0 checked, 1 failed; 25 bytes written."},
       DocsWith({{"DOCS/B.BIN", "-"}})},
      {"the same tree restored twice", [&] { Restore({}, "DOCS", cd); }, {}, "DOCS", 0,
       {"DOCS\\A.TXT: Ok (check: check by CRC32)", "DOCS\\B.BIN: Ok (check: check by CRC32)",
        "DOCS\\SUB\\C.TXT: Ok (check: check by CRC32)",
        "DOCS\\SUB\\D.BIN: Ok (check: check by CRC32)",
        "Files: 0 restored, 4 checked, 0 failed; 0 bytes written."},
       kDocs},
      {"unsafe names below the directory", [] {}, {}, "D", 3,
       {"D\\ok: Ok (extract: check by CRC32)", "D\\ok2: Ok (extract: check by CRC32)",
        "D\\..: Fail (extract: unsafe name)", "D\\..\\: Fail (extract: unsafe name)",
        "Files: 2 restored, 0 checked, 2 failed; 4 bytes written."},
       {{"D/", ""}, {"D/ok", "ok"}, {"D/ok2", "ok"}}, crafted},
      {"a damaged store, found once", [] {}, {}, "D", 3,
       {"D\\ok: Fail (extract: cannot extract due corrupted file)",
        "D\\ok2: Fail (extract: cannot extract due corrupted file)",
        "D\\..: Fail (extract: unsafe name)", "D\\..\\: Fail (extract: unsafe name)",
        "Files: 0 restored, 0 checked, 4 failed; 0 bytes written."},
       {{"D/", ""}}, damaged},
      {"/fast reads the damaged store's records directly", [] {}, {"/fast"}, "D", 3,
       {"D\\ok: Ok (extract: no check/size only, overriden by '/fast')",
        "D\\ok2: Ok (extract: no check/size only, overriden by '/fast')",
        "D\\..: Fail (extract: unsafe name)", "D\\..\\: Fail (extract: unsafe name)",
        "Files: 2 restored, 0 checked, 2 failed; 4 bytes written."},
       {{"D/", ""}, {"D/ok", "ok"}, {"D/ok2", "ok"}}, damaged},
#ifndef _WIN32
      {"a link at a file target",
       [&] {
         fs::create_directories(out + "DOCS");
         fs::create_symlink(sentinel, out + "DOCS/A.TXT");
       },
       {"/overwrite"}, "DOCS", 4,
       {"DOCS\\A.TXT: Fail (extract: cannot open target)",
        "DOCS\\B.BIN: Ok (mount: check by CRC32)",
        "DOCS\\SUB\\C.TXT: Ok (extract: check by CRC32)",
        "DOCS\\SUB\\D.BIN: Ok (mount: check by CRC32)",
        "Files: 3 restored, 0 checked, 1 failed; 26 bytes written."},
       DocsWith({{"DOCS/A.TXT", "link"}})},
      {"a link at a directory target",
       [&] {
         fs::create_directories(out + "DOCS");
         fs::create_directory_symlink(dir.MakeDir("elsewhere"), out + "DOCS/SUB");
       },
       {}, "DOCS", 4,
       {"DOCS\\A.TXT: Ok (extract: check by CRC32)", "DOCS\\B.BIN: Ok (mount: check by CRC32)",
        "DOCS\\SUB\\: Fail (extract: cannot make directory)",
        "Files: 2 restored, 0 checked, 2 failed; 17 bytes written."},
       DocsWith({{"DOCS/SUB/", "-"}, {"DOCS/SUB/C.TXT", "-"}, {"DOCS/SUB/D.BIN", "-"},
                 {"DOCS/SUB", "link"}})},
#endif
  };
  for (const Case& c : cases) {
    fs::remove_all(out);
    dir.Write("src/DOCS/B.BIN", "mounted b", 1000000003u);
    c.setup();
    env.opened.clear();
    const std::string catalog = c.catalog.empty() ? cd : c.catalog;
    RunResult r = Restore(c.options, c.wanted, catalog);
    EXPECT_EQ(c.code, r.code) << c.what << "\n" << r.out;
    EXPECT_EQ(c.lines, Lines(r.out)) << c.what << "\n" << r.out;
    EXPECT_EQ(c.tree, Tree(out)) << c.what;
    EXPECT_EQ("must stay", test::ReadFile(sentinel)) << c.what;
    EXPECT_FALSE(fs::exists(dir / "elsewhere/C.TXT")) << c.what;
    // The catalog is opened to load it and once more for its store; each
    // medium file once.
    EXPECT_LE(std::count(env.opened.begin(), env.opened.end(), catalog), 2) << c.what;
    EXPECT_LE(std::count(env.opened.begin(), env.opened.end(), dir / "src/DOCS/B.BIN"), 1);
    const bool root = c.wanted == "/";
    if (c.code == 0) {
      ExpectCatalogTimes(catalog, root ? "" : "DOCS\\", root ? out : out + "DOCS/", c.what);
    }
  }
}

// The target given is made when missing; one that cannot be made ends the
// run before anything is written.
TEST_F(RestoreDirTest, TargetDirectory) {
  RunResult made =
      Run({"e", "/mount=" + dir / "src", "--", dir / "cd.dir", "DOCS", dir / "new/deeper"});
  EXPECT_EQ(0, made.code) << made.out;
  EXPECT_EQ(kDocs, Tree(dir / "new/deeper"));
  RunResult blocked = Run({"e", "--", dir / "cd.dir", "DOCS", sentinel + "/x"});
  EXPECT_EQ(4, blocked.code);
  EXPECT_EQ(std::vector<std::string>{"Fail (extract: cannot make directory)"}, Lines(blocked.out));
  EXPECT_NE(std::string::npos,
            blocked.err.find("korvex: " + sentinel + ": " + test::SystemText("Not a directory")));
}

}  // namespace
}  // namespace korvex
