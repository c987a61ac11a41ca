// Extraction never writes outside the target directory: not through a
// symbolic link standing at the target path, and not through a hostile name
// in a hand-made catalog.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/catalog_bytes.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;

// Every entry below root except `skip` and what is under it: its kind and
// contents, or where a link points.
std::map<std::string, std::string> Snapshot(const std::string& root, const std::string& skip) {
  std::map<std::string, std::string> seen;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const fs::path& p = it->path();
    if (p == fs::path(skip)) it.disable_recursion_pending();
    if (p == fs::path(skip)) continue;
    seen[p.lexically_relative(root).string()] =
        it->is_symlink() ? "link to " + fs::read_symlink(p).string()
                         : it->is_directory() ? "directory" : "file: " + test::ReadFile(p.string());
  }
  return seen;
}

#ifndef _WIN32

TEST(SymlinkAtTarget, IsNeverWrittenThroughNorFollowed) {
  test::TempDir dir;
  dir.Write("src/A.TXT", "stored contents");
  dir.Write("src/B.BIN", "mounted contents");
  ASSERT_EQ(0, test::RunArgs({"c", "/store=*.TXT", "--", dir / "cat", dir / "src"}).code);
  const std::string out = dir.MakeDir("out") + "/";
  const std::string sentinel = dir.Write("sentinel", "must stay as it is");
  const struct {
    const char* wanted;
    std::vector<std::string> options;
    bool dangling;  // the link points nowhere, else to the sentinel
    const char* result;
    int code;
  } cases[] = {
      // Without /overwrite the existing target is only read and compared.
      {"A.TXT", {}, false, "Fail (check: check by CRC32)\n", 3},
      {"A.TXT", {"/overwrite"}, false, "Fail (extract: cannot open target)\n", 4},
      {"A.TXT", {"/overwrite", "/fast"}, false, "Fail (extract: cannot open target)\n", 4},
      {"B.BIN", {"/overwrite"}, false, "Fail (mount: cannot write target)\n", 4},
      {"A.TXT", {}, true, "cannot", 4},
      {"A.TXT", {"/overwrite"}, true, "cannot", 4},
      {"B.BIN", {}, true, "cannot", 4},
      {"B.BIN", {"/overwrite"}, true, "cannot", 4},
  };
  for (const auto& c : cases) {
    fs::remove(out + c.wanted);
    fs::create_symlink(c.dangling ? dir / "victim" : sentinel, out + c.wanted);
    const auto before = Snapshot(dir.path(), "");
    std::vector<std::string> args = {"e", "/mount=" + dir / "src/"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), {"--", dir / "cat.dir", c.wanted, out});
    test::RunResult r = test::RunArgs(args);
    EXPECT_EQ(c.code, r.code) << c.wanted << " " << r.out;
    EXPECT_NE(std::string::npos, r.out.find(c.result)) << r.out;
    EXPECT_EQ(before, Snapshot(dir.path(), ""));
    EXPECT_EQ("must stay as it is", test::ReadFile(sentinel));
  }
}

#endif  // _WIN32

TEST(HostileNames, NoByteChangesOutsideTheTargetDirectory) {
  test::TempDir dir;
  // What an escape would reach: files beside and above the target, and a
  // mount root whose neighbours exist.
  dir.Write("x", "outside");
  dir.Write("mount/x", "abc");
  dir.Write("work/x", "beside");
  const std::string target = dir / "work/target/";
  auto dirRecord = [](const std::string& name) { return test::TreeBytes().Dir(name).bytes; };
  // Here a slash in the wanted path is not turned into a backslash, so the
  // entry is found, and its own name is harmless.
  const bool belowSlashName = kPathSeparator == '\\';
  const struct {
    const char* what;
    std::string tree;  // before the file record named `file`, if any; the root's end follows
    const char* file;
    std::string wanted;
    bool stored;  // extracting the stored entry writes one file inside the target
    bool mount;   // mounting the same entry, not stored, does
  } cases[] = {
      {"a file named .", "", ".", ".", false, false},
      {"a file named ..", "", "..", "..", false, false},
      {"a name with a backslash", "", "..\\x", "..\\x", false, false},
      {"a name with a slash", "", "../x", "../x", false, false},
      {"an absolute name", "", "/x", "/x", false, false},
      {"a file below ..", dirRecord(".."), "x", "..\\x", true, false},
      {"a file below .", dirRecord("."), "x", ".\\x", true, false},
      {"a file below a name with a slash", dirRecord("a/../.."), "x", "a/../..\\x", belowSlashName,
       false},
      {"an empty directory", dirRecord("x"), "", "x\\", true, true},
      // Names are never empty by format; an empty wanted path finds nothing.
      {"an empty wanted path", "", "x", "", false, false},
  };
  for (bool mount : {false, true}) {
    for (const auto& c : cases) {
      const std::string what = std::string(c.what) + (mount ? ", mounted" : ", stored");
      std::string tree = c.tree;
      if (*c.file) tree += test::TreeBytes().File(c.file, mount ? 0x20 : 0x28, 3, 0x352441C2).bytes;
      tree += std::string(c.tree.empty() ? 1 : 2, '\0');
      const std::string data = test::DataArea({"abc"});
      const std::string catalog = dir.Write("cat.dir", test::Catalog(tree, true, &data));
      fs::remove_all(target);
      fs::create_directories(target);
      const auto before = Snapshot(dir.path(), dir / "work/target");
      std::vector<std::string> args = {"e", "/overwrite", "--", catalog, c.wanted, target};
      if (mount) args.insert(args.begin() + 2, "/mount=" + dir / "mount/");
      test::RunResult r = test::RunArgs(args);
      EXPECT_EQ(before, Snapshot(dir.path(), dir / "work/target")) << what;
      std::vector<std::string> written;
      for (const auto& e : fs::directory_iterator(target)) {
        written.push_back(e.path().filename().string());
      }
      const bool inside = mount ? c.mount : c.stored;
      EXPECT_EQ(inside ? 0 : 3, r.code) << what << ": " << r.out;
      EXPECT_EQ(inside ? std::vector<std::string>{"x"} : std::vector<std::string>{}, written)
          << what;
      EXPECT_TRUE(inside || r.out.find("Fail (extract: unsafe name)\n") != std::string::npos ||
                  r.out.find("Fail (extract: not a file)\n") != std::string::npos ||
                  r.out.find("' has not found in dir\n") != std::string::npos)
          << what << ": " << r.out;
    }
  }
}

}  // namespace
}  // namespace korvex
