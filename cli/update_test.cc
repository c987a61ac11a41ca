// Update over any earlier catalog writes the very catalog create writes: a
// property over random trees, every kind of change and every pair of option
// sets.  The update's lines and reads are case files (tests/cases/update/).
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/support/testutil.h"

namespace korvex {
namespace {

const std::vector<std::vector<std::string>> kOptions = {
    {}, {"/fast"}, {"/store=*.TXT"}, {"/fast", "/store=*.TXT"}, {"/store=*", "/max=900"}};

struct File {
  std::string path, contents;
  uint32_t time;
};

File RandomFile(std::mt19937& rng) {
  static const char* const kDirs[] = {"", "A/", "A/B/", "C/", "d e/"};
  static const char* const kExt[] = {".TXT", ".BIN", ""};
  File f{kDirs[rng() % 5] + ("f" + std::to_string(rng() % 100000)) + kExt[rng() % 3],
         std::string(rng() % 2000, '\0'), 1000000000u + static_cast<uint32_t>(rng() % 100000)};
  for (char& c : f.contents) c = static_cast<char>(rng());
  return f;
}

// Forty files, a quarter with another's contents; file 0 is stored under
// /store=*.TXT and file 1 shares its contents with file 2.
std::vector<File> RandomTree(std::mt19937& rng) {
  std::vector<File> files;
  while (files.size() < 40) files.push_back(RandomFile(rng));
  for (File& f : files) {
    if (rng() % 4 == 0) f.contents = files[rng() % files.size()].contents;
  }
  files[0].path = "s.TXT";
  files[1].contents = files[2].contents;
  return files;
}

// One change of every kind the update must notice: the stored file and one
// sharing its contents edited, then on random files: edited with a new
// time, grown with the time kept, shrunk, touched, renamed, removed, added.
void ChangeEveryWay(std::mt19937& rng, std::vector<File>& files) {
  files[0] = {files[0].path, "stored, now changed", files[0].time + 13};
  files[1] = {files[1].path, "was shared", files[1].time + 17};
  File& edited = files[rng() % files.size()];
  for (char& c : edited.contents) c = static_cast<char>(~c);
  edited.time += 7;
  files[rng() % files.size()].contents += "more";
  File& shrunk = files[rng() % files.size()];
  shrunk.contents.resize(shrunk.contents.size() / 2);
  shrunk.time += 9;
  files[rng() % files.size()].time += 11;
  files[rng() % files.size()].path.insert(0, "renamed/");
  files.erase(files.begin() + rng() % files.size());
  files.push_back(RandomFile(rng));
}

TEST(Update, RandomTreesAndChangesGiveCreatesCatalog) {
  test::TempDir dir;
  auto write = [&](const std::vector<File>& files) {
    std::filesystem::remove_all(dir / "src");
    for (const File& f : files) dir.Write("src/" + f.path, f.contents, f.time);
  };
  auto run = [&](const char* command, const std::vector<std::string>& options,
                 const char* catalog) {
    std::vector<std::string> args = {command};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {"--", dir / catalog, dir / "src"});
    return test::RunWith(*Env::Default(), args);
  };
  uint64_t reused = 0;
  for (unsigned seed = 0; seed < kOptions.size() * kOptions.size(); ++seed) {
    std::mt19937 rng(seed);
    std::vector<File> files = RandomTree(rng);
    const auto& before = kOptions[seed % kOptions.size()];
    const auto& after = kOptions[seed / kOptions.size()];
    write(files);
    ASSERT_EQ(0, run("c", before, "up.dir").code);
    if (seed % 3 != 0) ChangeEveryWay(rng, files);
    write(files);
    test::RunResult u = run("u", after, "up.dir");
    ASSERT_EQ(0, u.code) << u.out;
    const size_t at = u.out.find("Reused: ");
    ASSERT_NE(std::string::npos, at) << u.out;
    reused += std::stoul(u.out.substr(at + 8));
    ASSERT_EQ(0, run("c", after, "new.dir").code);
    EXPECT_EQ(test::ReadFile(dir / "new.dir"), test::ReadFile(dir / "up.dir")) << "seed " << seed;
  }
  EXPECT_GT(reused, 200u);
}

}  // namespace
}  // namespace korvex
