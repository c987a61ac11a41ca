// Extraction never writes outside the target directory: not through a
// symbolic link standing at the target path, and not through a hostile name
// in a hand-made catalog.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli/cli_test_util.h"
#include "tests/catalog_bytes.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
using test::RunArgs;
using test::RunResult;

// Every entry below root except `skip` and what is under it: its kind and
// contents, or where a link points.
std::map<std::string, std::string> Snapshot(const std::string& root, const std::string& skip) {
  std::map<std::string, std::string> seen;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const fs::path& p = it->path();
    if (p == fs::path(skip)) {
      it.disable_recursion_pending();
      continue;
    }
    const std::string name = p.lexically_relative(root).string();
    if (it->is_symlink()) {
      seen[name] = "link to " + fs::read_symlink(p).string();
    } else if (it->is_directory()) {
      seen[name] = "directory";
    } else {
      seen[name] = "file: " + test::ReadFile(p.string());
    }
  }
  return seen;
}

#ifndef _WIN32

class SymlinkAtTarget : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("src/A.TXT", "stored contents");
    dir.Write("src/B.BIN", "mounted contents");
    ASSERT_EQ(0, RunArgs({"c", "/store=*.TXT", "--", dir / "cat", dir / "src"}).code);
    out = dir.MakeDir("out") + "/";
    sentinel = dir.Write("sentinel", "must stay as it is");
  }

  RunResult Extract(std::vector<std::string> options, const std::string& wanted) {
    std::vector<std::string> args = {"e", "/mount=" + dir / "src/"};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {"--", dir / "cat.dir", wanted, out});
    return RunArgs(args);
  }

  test::TempDir dir;
  std::string out;
  std::string sentinel;
};

TEST_F(SymlinkAtTarget, LinkToAFileIsNeverWrittenThrough) {
  struct Case {
    const char* wanted;
    std::vector<std::string> options;
    const char* result;
    int code;
  };
  const Case cases[] = {
      // Without /overwrite the existing target is only read and compared.
      {"A.TXT", {}, "Fail (check: check by CRC32)\n", 3},
      {"A.TXT", {"/overwrite"}, "Fail (extract: cannot open target)\n", 4},
      {"A.TXT", {"/overwrite", "/fast"}, "Fail (extract: cannot open target)\n", 4},
      {"B.BIN", {"/overwrite"}, "Fail (mount: cannot write target)\n", 4},
  };
  for (const Case& c : cases) {
    fs::remove(out + c.wanted);
    fs::create_symlink(sentinel, out + c.wanted);
    const auto before = Snapshot(dir.path(), "");
    RunResult r = Extract(c.options, c.wanted);
    EXPECT_EQ(c.code, r.code) << c.wanted << " " << r.out;
    EXPECT_NE(std::string::npos, r.out.find(c.result)) << r.out;
    EXPECT_EQ(before, Snapshot(dir.path(), ""));
    EXPECT_EQ("must stay as it is", test::ReadFile(sentinel));
  }
}

TEST_F(SymlinkAtTarget, DanglingLinkIsNeverFollowed) {
  const std::string victim = dir / "victim";
  for (const char* wanted : {"A.TXT", "B.BIN"}) {
    for (bool overwrite : {false, true}) {
      fs::remove(out + wanted);
      fs::create_symlink(victim, out + wanted);
      RunResult r = Extract(overwrite ? std::vector<std::string>{"/overwrite"}
                                      : std::vector<std::string>{},
                            wanted);
      EXPECT_EQ(4, r.code) << wanted << " " << r.out;
      EXPECT_NE(std::string::npos, r.out.find("cannot")) << r.out;
      EXPECT_FALSE(test::Exists(victim)) << wanted;
      EXPECT_TRUE(fs::is_symlink(out + wanted));
    }
  }
}

#endif  // _WIN32

// What one extraction may do: refuse, or write one file inside the target.
enum class Expect { kRefused, kInside };

struct HostileCase {
  const char* what;
  std::string tree;  // root contents, without the root's end byte
  std::string wanted;
  Expect stored;  // extracting the stored entry
  Expect mount;   // mounting the same entry, not stored
};

// The cases with their file records stored or not.
std::vector<HostileCase> HostileCases(bool stored) {
  auto file = [stored](const std::string& name) {
    return test::TreeBytes().File(name, stored ? 0x28 : 0x20, 3, 0x352441C2).bytes;
  };
  auto dir = [](const std::string& name) { return test::TreeBytes().Dir(name).bytes; };
#ifdef _WIN32
  // Here a slash in the wanted path is not turned into a backslash, so the
  // entry is found, and its own name is harmless.
  const Expect belowSlashName = Expect::kInside;
#else
  const Expect belowSlashName = Expect::kRefused;
#endif
  return {
      {"a file named .", file("."), ".", Expect::kRefused, Expect::kRefused},
      {"a file named ..", file(".."), "..", Expect::kRefused, Expect::kRefused},
      {"a name with a backslash", file("..\\x"), "..\\x", Expect::kRefused, Expect::kRefused},
      {"a name with a slash", file("../x"), "../x", Expect::kRefused, Expect::kRefused},
      {"an absolute name", file("/x"), "/x", Expect::kRefused, Expect::kRefused},
      {"a file below ..", dir("..") + file("x") + '\0', "..\\x", Expect::kInside,
       Expect::kRefused},
      {"a file below .", dir(".") + file("x") + '\0', ".\\x", Expect::kInside,
       Expect::kRefused},
      {"a file below a name with a slash", dir("a/../..") + file("x") + '\0',
       "a/../..\\x", belowSlashName, Expect::kRefused},
      {"an empty directory", dir("x") + '\0', "x\\", Expect::kInside, Expect::kInside},
      // Names are never empty by format; an empty wanted path finds nothing.
      {"an empty wanted path", file("x"), "", Expect::kRefused, Expect::kRefused},
  };
}

class HostileNames : public ::testing::Test {
 protected:
  void SetUp() override {
    // What an escape would reach: files beside and above the target, and a
    // mount root whose neighbours exist.
    dir.Write("x", "outside");
    dir.Write("mount/x", "abc");
    dir.Write("work/x", "beside");
    target = dir.MakeDir("work/target") + "/";
  }

  RunResult Extract(const std::string& catalog, const std::string& wanted, bool mount) {
    std::vector<std::string> args = {"e", "/overwrite"};
    if (mount) args.push_back("/mount=" + dir / "mount/");
    args.insert(args.end(), {"--", catalog, wanted, target});
    return RunArgs(args);
  }

  test::TempDir dir;
  std::string target;
};

TEST_F(HostileNames, NoByteChangesOutsideTheTargetDirectory) {
  for (bool mount : {false, true}) {
    for (const HostileCase& c : HostileCases(!mount)) {
      const std::string what = std::string(c.what) + (mount ? ", mounted" : ", stored");
      const std::string data = test::DataArea({"abc"});
      const std::string catalog = dir.Write("cat.dir", test::Catalog(c.tree + '\0', true, &data));
      fs::remove_all(target);
      fs::create_directories(target);
      const auto before = Snapshot(dir.path(), dir / "work/target");

      RunResult r = Extract(catalog, c.wanted, mount);
      EXPECT_EQ(before, Snapshot(dir.path(), dir / "work/target")) << what;
      const Expect expect = mount ? c.mount : c.stored;
      std::vector<std::string> written;
      for (const auto& e : fs::directory_iterator(target)) {
        written.push_back(e.path().filename().string());
      }
      if (expect == Expect::kInside) {
        EXPECT_EQ(0, r.code) << what << ": " << r.out;
        EXPECT_EQ(std::vector<std::string>{"x"}, written) << what;
      } else {
        EXPECT_EQ(3, r.code) << what << ": " << r.out;
        EXPECT_TRUE(r.out.find("Fail (extract: unsafe name)\n") != std::string::npos ||
                    r.out.find("Fail (extract: not a file)\n") != std::string::npos ||
                    r.out.find("' has not found in dir\n") != std::string::npos)
            << what << ": " << r.out;
        EXPECT_TRUE(written.empty()) << what;
      }
    }
  }
}

}  // namespace
}  // namespace korvex
