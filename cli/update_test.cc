#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "catalog/crc32.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

using test::RunResult;
using test::RunWith;

struct Entry {
  std::string contents;
  uint32_t time;
};
using Tree = std::map<std::string, Entry>;  // relative path → file

const std::vector<std::vector<std::string>> kOptions = {
    {}, {"/fast"}, {"/store=*.TXT"}, {"/fast", "/store=*.TXT"}, {"/store=*", "/max=900"}};

class UpdateTest : public ::testing::Test {
 protected:
  RunResult Run(const char* command, std::vector<std::string> options,
                const std::string& catalog, test::FaultEnv* faulty = nullptr) {
    std::vector<std::string> args = {command};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {"--", dir / catalog, dir / "src"});
    test::FaultEnv plain;
    return RunWith(faulty ? *faulty : plain, args);
  }

  void Put(const std::string& path, const Entry& e) {
    tree[path] = e;
    dir.Write("src/" + path, e.contents, e.time);
  }
  // By value: the path given is often the key that is erased.
  void Remove(const std::string path) {
    tree.erase(path);
    std::filesystem::remove(dir / ("src/" + path));
  }

  // A random file: a name to store or not, sometimes the contents of another.
  void AddRandom(std::mt19937& rng) {
    static const char* const kDirs[] = {"", "A/", "A/B/", "C/", "d e/"};
    static const char* const kExt[] = {".TXT", ".BIN", ""};
    std::string path = std::string(kDirs[rng() % 5]) + "f" + std::to_string(rng() % 1000) +
                       kExt[rng() % 3];
    Entry e{Contents(rng), 1000000000u + static_cast<uint32_t>(rng() % 100000)};
    if (!tree.empty() && rng() % 4 == 0) e.contents = Pick(rng)->second.contents;
    Put(path, e);
  }
  std::string Contents(std::mt19937& rng) {
    std::string s(rng() % 2000, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
  }
  Tree::iterator Pick(std::mt19937& rng, bool (*fits)(const Tree&, const Tree::value_type&) =
                                             [](const Tree&, const Tree::value_type&) { return true; }) {
    std::vector<Tree::iterator> all;
    for (auto it = tree.begin(); it != tree.end(); ++it) {
      if (fits(tree, *it)) all.push_back(it);
    }
    return all.empty() ? tree.begin() : all[rng() % all.size()];
  }

  // One change of every kind the update must notice, each on a random file.
  void ChangeEveryWay(std::mt19937& rng) {
    auto edit = [&](Tree::iterator it, std::string contents, uint32_t time) {
      Entry e{std::move(contents), time};
      Put(it->first, e);
    };
    auto it = Pick(rng);  // edited in place with a new time
    std::string flipped = it->second.contents;
    for (char& c : flipped) c = static_cast<char>(~c);
    edit(it, flipped, it->second.time + 7);
    it = Pick(rng);  // grows, same time
    edit(it, it->second.contents + "more", it->second.time);
    it = Pick(rng);  // shrinks
    edit(it, it->second.contents.substr(0, it->second.contents.size() / 2), it->second.time + 9);
    it = Pick(rng);  // only the time
    edit(it, it->second.contents, it->second.time + 11);
    it = Pick(rng, [](const Tree&, const Tree::value_type& f) {
      return f.first.size() > 4 && f.first.substr(f.first.size() - 4) == ".TXT";
    });
    edit(it, "stored, now changed", it->second.time + 13);
    it = Pick(rng, [](const Tree& t, const Tree::value_type& f) {
      for (const auto& g : t) {
        if (g.first != f.first && g.second.contents == f.second.contents) return true;
      }
      return false;
    });
    edit(it, "was shared", it->second.time + 17);
    it = Pick(rng);  // renamed, time kept
    Entry moved = it->second;
    std::string from = it->first;
    Remove(from);
    Put("renamed/" + from, moved);
    Remove(Pick(rng)->first);
    AddRandom(rng);
  }

  test::TempDir dir;
  Tree tree;
};

// Update over any earlier catalog writes the very catalog create writes.
TEST_F(UpdateTest, RandomTreesAndChangesGiveCreatesCatalog) {
  uint64_t reused = 0;
  for (unsigned seed = 0; seed < kOptions.size() * kOptions.size(); ++seed) {
    std::mt19937 rng(seed);
    tree.clear();
    std::filesystem::remove_all(dir / "src");
    dir.MakeDir("src");
    for (int i = 0; i < 40; ++i) AddRandom(rng);
    const auto& before = kOptions[seed % kOptions.size()];
    const auto& after = kOptions[seed / kOptions.size() % kOptions.size()];
    ASSERT_EQ(0, Run("c", before, "old.dir").code);
    if (seed % 3 != 0) ChangeEveryWay(rng);
    std::filesystem::copy_file(dir / "old.dir", dir / "up.dir",
                               std::filesystem::copy_options::overwrite_existing);
    RunResult u = Run("u", after, "up.dir");
    ASSERT_EQ(0, u.code) << u.out;
    size_t at = u.out.find("Reused: ");
    ASSERT_NE(std::string::npos, at) << u.out;
    reused += std::stoul(u.out.substr(at + 8));
    ASSERT_EQ(0, Run("c", after, "new.dir").code);
    EXPECT_EQ(test::ReadFile(dir / "new.dir"), test::ReadFile(dir / "up.dir")) << "seed " << seed;
  }
  EXPECT_GT(reused, 200u);
}

TEST_F(UpdateTest, LinesAndWhatIsRead) {
  Put("SAME.TXT", {"unchanged text", 1000000000u});
  Put("EDIT.TXT", {"old text", 1000000000u});
  Put("X/KEEP.BIN", {std::string(3000, 'k'), 1000000000u});
  ASSERT_EQ(0, Run("c", {"/store=*.TXT"}, "cat.dir").code);
  Put("EDIT.TXT", {"new longer text", 1000000100u});
  test::FaultEnv env;
  RunResult r = Run("u", {"/store=*.TXT"}, "cat.dir", &env);
  EXPECT_EQ(0, r.code);
  const std::string cat = dir / "cat.dir";
  EXPECT_EQ(" Cmd::Update\n + contents storage (1 storage masks)\nScanning: " + (dir / "src") +
                "...x\b1 dirs, 3 files.\nResult size (w/Store): 75 (129) bytes.\n"
                "Reused: 2 files, 3'014 bytes from " + cat + "\n"
                "Calc (Store): 15 (15) bytes...  0%\b\b\b\b100% complete!\n"
                "Write " + cat + " 145 bytes...Ok\n",
            r.out);
  // The catalog, and of the medium only the changed file.
  EXPECT_EQ((std::vector<std::string>{cat, cat, dir / "src/EDIT.TXT"}), env.opened);

  std::filesystem::remove(cat);
  r = Run("u", {"/fast"}, "cat.dir");
  EXPECT_EQ(0, r.code);
  EXPECT_NE(std::string::npos, r.out.find("Result size: 63 bytes.\nReused: none, cannot load " +
                                          cat + " (" + test::SystemText("No such file or directory") +
                                          ")\nStoring: 0 bytes..."))
      << r.out;
}

// The rule's one risk: rewritten with its size and time restored, a file is
// taken as unchanged and keeps the CRC-32 of its old contents.
TEST_F(UpdateTest, SameSizeAndRestoredTimeKeepsTheOldCrc) {
  Put("A.BIN", {"abc", 1000000000u});
  ASSERT_EQ(0, Run("c", {}, "cat.dir").code);
  const std::string old = test::ReadFile(dir / "cat.dir");
  Put("A.BIN", {"xyz", 1000000000u});
  ASSERT_EQ(0, Run("u", {}, "cat.dir").code);
  EXPECT_EQ(old, test::ReadFile(dir / "cat.dir"));
  ASSERT_EQ(0, Run("c", {}, "cat.dir").code);
  EXPECT_NE(old, test::ReadFile(dir / "cat.dir"));
}

// A damaged earlier content store is not used; the files are read again.
TEST_F(UpdateTest, DamagedContentStoreIsReadFromTheMedium) {
  Put("A.TXT", {"first", 1000000000u});
  Put("B.TXT", {"second", 1000000000u});
  Put("C.BIN", {"not stored", 1000000000u});
  ASSERT_EQ(0, Run("c", {"/store=*.TXT"}, "cat.dir").code);
  std::string damaged = test::ReadFile(dir / "cat.dir");
  damaged.back() ^= 0x20;
  dir.Write("cat.dir", damaged);
  test::FaultEnv env;
  RunResult r = Run("u", {"/store=*.TXT"}, "cat.dir", &env);
  EXPECT_EQ(0, r.code);
  EXPECT_NE(std::string::npos, r.out.find("fail their check: those files are read again\n"
                                          "Reused: 1 files, 10 bytes from "))
      << r.out;
  EXPECT_EQ((std::vector<std::string>{dir / "cat.dir", dir / "cat.dir", dir / "src/A.TXT",
                                      dir / "src/B.TXT"}),
            env.opened);
  ASSERT_EQ(0, Run("c", {"/store=*.TXT"}, "new.dir").code);
  EXPECT_EQ(test::ReadFile(dir / "new.dir"), test::ReadFile(dir / "cat.dir"));
}

// What create does with a source it cannot list or files it cannot read,
// update does too: no catalog, or the catalog and exit 3.
TEST_F(UpdateTest, UnreadableSourceAndFiles) {
  Put("A.TXT", {"first", 1000000000u});
  Put("B.BIN", {"second", 1000000000u});
  ASSERT_EQ(0, Run("c", {}, "cat.dir").code);
  const std::string old = test::ReadFile(dir / "cat.dir");
  struct Row {
    const char* failList;
    const char* failOpenRead;
    int code;
    const char* line;
  } const kRows[] = {
      {"src", "", 3, "Fail (cannot read source: "},
      {"", "B.BIN", 3, "1 files and 0 directories could not be read.\n"},
  };
  for (const Row& row : kRows) {
    Put("B.BIN", {"second, edited", 1000000100u});
    test::FaultEnv env;
    env.failList = row.failList;
    env.failOpenRead = row.failOpenRead;
    RunResult r = Run("u", {}, "cat.dir", &env);
    EXPECT_EQ(row.code, r.code) << r.out;
    EXPECT_NE(std::string::npos, r.out.find(row.line)) << r.out;
    EXPECT_EQ(*row.failList != 0, old == test::ReadFile(dir / "cat.dir"));
  }
}

}  // namespace
}  // namespace korvex
