// Runs every tests/cases/<group>/<name>.case: a tree to set up, faults for
// the Env, one command line, and the exit code, output and files it must
// give.  Set KORVEX_UPDATE_CASES=1 to rewrite the expectations from a run.
//
//   # comment                     dir PATH
//   file PATH [@MTIME] TEXT       file PATH [@MTIME] *SIZE   (SIZE pattern bytes)
//   copy PATH VECTOR              (a file of tests/vectors/)
//   link PATH TARGET              remove PATH
//   fault NAME VALUE              (a FaultEnv member; bigFile takes NAME SIZE)
//   korvex ARG...                 (a command run before, which must succeed)
//   run ARG...                    exit CODE
//   --- stdout | --- stderr | --- titles | --- file PATH   (text up to the next ---)
//   --- mtime PATH                (its modification time in seconds)
//   --- opened (paths the run opened to read) | --- tree PATH (all below it, with times)
//   absent PATH                   exists PATH
//   same PATH VECTOR              (the file holds the vector's bytes)
// In every text {T} is the temporary directory, {BS} a backspace and {NL}
// a line end; {NOEOL} ends a block whose last line has no end.  An argument
// '' of run is an empty one.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/testutil.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
const std::string kCases = std::string(KORVEX_SOURCE_DIR) + "/tests/cases";
const int kUtc = setenv("TZ", "UTC0", 1);  // local times in the texts are UTC

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string Expand(const std::string& text, const std::string& temp) {
  return Replace(Replace(Replace(text, "{T}", temp), "{BS}", "\b"), "{NL}", "\n");
}

// The text as a block holds it: a last line without its end is marked.
std::string Fold(const std::string& text, const std::string& temp) {
  std::string folded = Replace(Replace(text, temp, "{T}"), "\b", "{BS}");
  return folded.empty() || folded.back() == '\n' ? folded : folded + "{NOEOL}\n";
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

struct Case {
  std::vector<std::string> setup;  // lines before "run", kept for updates
  std::vector<std::string> args;
  int exit = 0;
  std::vector<std::pair<std::string, std::string>> blocks;  // "stdout", text
  std::vector<std::string> checks;  // the absent, exists and same lines
};

Case Parse(const std::string& path) {
  Case c;
  std::ifstream in(path);
  std::string line;
  std::string* block = nullptr;
  while (std::getline(in, line)) {
    if (line.compare(0, 4, "--- ") == 0) {
      c.blocks.emplace_back(line.substr(4), "");
      block = &c.blocks.back().second;
    } else if (block) {
      *block += line + "\n";
    } else if (line == "run" || line.compare(0, 4, "run ") == 0) {
      c.args = Words(line.substr(3));
    } else if (line.compare(0, 5, "exit ") == 0) {
      c.exit = std::stoi(line.substr(5));
    } else if (const std::string w = line.substr(0, line.find(' '));
               w == "absent" || w == "exists" || w == "same") {
      c.checks.push_back(line);
    } else {
      c.setup.push_back(line);
    }
  }
  return c;
}

void SetFault(test::FaultEnv& env, const std::vector<std::string>& w) {
  const std::string& name = w[1];
  const std::string value = w.size() > 2 ? w[2] : "";
  if (name == "failOpenRead") env.failOpenRead = value;
  else if (name == "failReadOf") env.failReadOf = value;
  else if (name == "failReadAfter") env.failReadAfter = std::stoull(value);
  else if (name == "growFile") env.growFile = value;
  else if (name == "growBy") env.growBy = std::stoul(value);
  else if (name == "failCreate") env.failCreate = value;
  else if (name == "failWriteAfter") env.failWriteAfter = std::stoi(value);
  else if (name == "failSync") env.failSync = true;
  else if (name == "failClose") env.failClose = true;
  else if (name == "failRename") env.failRename = true;
  else if (name == "failList") env.failList = value;
  else if (name == "failListPart") env.failListPart = value;
  else if (name == "markTemporary") env.markTemporary = value;
  else if (name == "toyCodePage") env.toyCodePage = true;
  else if (name == "bigFile") env.bigFile = value, env.bigSize = std::stoull(w.at(3));
  else ADD_FAILURE() << "unknown fault " << name;
}

// Makes the tree and the faults of the setup lines.
void Prepare(const Case& c, const test::TempDir& dir, test::FaultEnv& env) {
  for (const std::string& line : c.setup) {
    std::vector<std::string> w = Words(line);
    if (w.empty() || w[0][0] == '#') continue;
    if (w[0] == "dir") {
      dir.MakeDir(w.at(1));
    } else if (w[0] == "remove") {
      fs::remove_all(dir / w.at(1));
    } else if (w[0] == "link") {
      fs::create_symlink(Expand(w.at(2), dir.path()), dir / w[1]);
    } else if (w[0] == "copy") {
      dir.Write(w.at(1), test::ReadFile(std::string(KORVEX_SOURCE_DIR) + "/tests/vectors/" +
                                        w.at(2)));
    } else if (w[0] == "file") {
      uint32_t mtime = 1000000000u;
      size_t text = line.find(w[1]) + w[1].size() + 1;
      if (w.size() > 2 && w[2][0] == '@') {
        mtime = static_cast<uint32_t>(std::stoul(w[2].substr(1)));
        text = line.find(w[2], text - 1) + w[2].size() + 1;
      }
      std::string contents = text < line.size() ? Expand(line.substr(text), dir.path()) : "";
      if (contents.size() > 1 && contents[0] == '*') {
        const size_t size = std::stoul(contents.substr(1));
        contents.clear();
        for (size_t i = 0; i < size; ++i) contents += static_cast<char>('a' + i % 26);
      }
      dir.Write(w[1], contents, mtime);
    } else if (w[0] == "korvex") {
      std::vector<std::string> args;
      for (size_t i = 1; i < w.size(); ++i) args.push_back(Expand(w[i], dir.path()));
      ASSERT_EQ(0, test::RunWith(env, args).code) << line;
    } else if (w[0] == "fault") {
      SetFault(env, w);
    } else {
      ADD_FAILURE() << "unknown line: " << line;
    }
  }
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  return all;
}

// Every entry below root, sorted: "P/ @TIME", "P @TIME CONTENTS" or "P -> TARGET";
// a time of the last day, which a test cannot choose, reads "now".
std::string Tree(const std::string& root) {
  std::vector<std::string> lines;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; it != end; ++it) {
    const std::string name = it->path().lexically_relative(root).generic_string();
    struct stat st;
    lstat(it->path().c_str(), &st);
    const bool now = st.st_mtime > ::time(nullptr) - 86400;
    const std::string time = now ? " @now" : " @" + std::to_string(st.st_mtime);
    if (S_ISLNK(st.st_mode)) lines.push_back(name + " -> " + fs::read_symlink(it->path()).string());
    else if (S_ISDIR(st.st_mode)) lines.push_back(name + "/" + time);
    else lines.push_back(name + time + " " + test::ReadFile(it->path()));
  }
  std::sort(lines.begin(), lines.end());
  return Lines(lines);
}

std::string Got(const std::string& kind, const test::RunResult& r, const test::TempDir& dir,
                const std::vector<std::string>& opened) {
  if (kind == "stdout") return r.out;
  if (kind == "stderr") return r.err;
  if (kind == "titles") return Lines(r.titles);
  if (kind == "opened") return Lines(opened);
  if (kind.compare(0, 5, "file ") == 0) return test::ReadFile(dir / kind.substr(5));
  struct stat st;
  if (kind.compare(0, 6, "mtime ") == 0 && stat((dir / kind.substr(6)).c_str(), &st) == 0) {
    return std::to_string(st.st_mtime) + "\n";
  }
  if (kind.compare(0, 5, "tree ") == 0) return Tree(dir / kind.substr(5));
  ADD_FAILURE() << "unknown block " << kind;
  return "";
}

class CliCase : public ::testing::TestWithParam<std::string> {};

TEST_P(CliCase, Run) {
  const std::string path = kCases + "/" + GetParam() + ".case";
  Case c = Parse(path);
  test::TempDir dir;
  test::FaultEnv env;
  Prepare(c, dir, env);
  std::vector<std::string> args;
  for (const std::string& a : c.args) args.push_back(a == "''" ? "" : Expand(a, dir.path()));
  env.opened.clear();
  const test::RunResult r = test::RunWith(env, args);

  if (getenv("KORVEX_UPDATE_CASES") != nullptr) {
    std::ofstream out(path);
    for (const std::string& line : c.setup) out << line << "\n";
    out << "run";
    for (const std::string& a : c.args) out << " " << a;
    out << "\nexit " << r.code << "\n";
    for (const std::string& a : c.checks) out << a << "\n";
    if (c.blocks.empty()) c.blocks = {{"stdout", ""}, {"stderr", ""}};
    for (auto& b : c.blocks) {
      out << "--- " << b.first << "\n" << Fold(Got(b.first, r, dir, env.opened), dir.path());
    }
    return;
  }
  EXPECT_EQ(c.exit, r.code);
  for (const auto& b : c.blocks) {
    EXPECT_EQ(b.second, Fold(Got(b.first, r, dir, env.opened), dir.path())) << b.first;
  }
  for (const std::string& a : c.checks) {
    const std::vector<std::string> w = Words(a);
    EXPECT_TRUE(w[0] == "same" ? test::ReadFile(kCases + "/../vectors/" + w.at(2)) ==
                                     test::ReadFile(dir / w[1])
                               : (w[0] == "exists") == test::Exists(dir / w[1]))
        << a;
  }
}

std::vector<std::string> AllCases() {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(kCases)) {
    if (e.path().extension() != ".case") continue;
    std::string name = fs::relative(e.path(), kCases).replace_extension().generic_string();
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Cases, CliCase, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& ch : name) {
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace korvex
