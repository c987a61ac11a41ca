// Files that change while the create command runs: grown, shrunk, replaced
// or gone between the scan and the pass, once they are read ahead of the
// pass, or between two reads of the pass.  The run ends, reports the file,
// keeps none of its contents and never writes past the room the scan
// reserved for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "catalog/format.h"
#include "catalog/progress.h"
#include "catalog/reader.h"
#include "tests/support/testutil.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;

// Reads ahead, and changes a file once the hint for it is given: the pass
// waits for that before it opens the file.
class HintedEnv : public test::FaultEnv {
 public:
  ReadAheadMode ReadAheadFor(const std::string&) override { return ReadAheadMode::kSolid; }
  void WillRead(const std::string& path, uint64_t length) override {
    FaultEnv::WillRead(path, length);
    std::lock_guard<std::mutex> lock(mutex_);
    if (afterHint && path.find(hinted) != std::string::npos) {
      afterHint();
      afterHint = nullptr;
      hintDone_.notify_all();
    }
  }
  std::unique_ptr<File> OpenRead(const std::string& path, std::string* error) override {
    if (!hinted.empty() && path.find(hinted) != std::string::npos) {
      std::unique_lock<std::mutex> lock(mutex_);
      hintDone_.wait_for(lock, std::chrono::seconds(10), [this] { return !afterHint; });
    }
    return FaultEnv::OpenRead(path, error);
  }

  std::string hinted;  // part of a file path
  std::function<void()> afterHint;

 private:
  std::mutex mutex_;
  std::condition_variable hintDone_;
};

void Replace(const std::string& path, const std::string& contents) {
  std::ofstream(path + ".new", std::ios::binary) << contents;
  fs::rename(path + ".new", path);
}

struct Change {
  const char* what;
  std::function<void(const std::string& path)> apply;
  bool reported;  // else the catalog holds what the pass read
};

const std::vector<Change> kChanges = {
    {"grows", [](const std::string& p) { std::ofstream(p, std::ios::app) << "more"; }, true},
    {"shrinks", [](const std::string& p) { fs::resize_file(p, 400); }, true},
    {"is emptied", [](const std::string& p) { fs::resize_file(p, 0); }, true},
    {"is replaced by a bigger file", [](const std::string& p) { Replace(p, std::string(300000, 'b')); },
     true},
    {"is replaced by a smaller file", [](const std::string& p) { Replace(p, "small"); }, true},
    {"vanishes", [](const std::string& p) { fs::remove(p); }, true},
    {"is replaced by a directory",
     [](const std::string& p) { fs::remove(p), fs::create_directory(p); }, true},
    {"is replaced by one of the same size",
     [](const std::string& p) { Replace(p, std::string(1000, 'n')); }, false},
};

// A file of three blocks, changed after the pass has read its first block.
const std::vector<Change> kBetweenReads = {
    {"grows", [](const std::string& p) { std::ofstream(p, std::ios::app) << std::string(kBlockSize, 'g'); },
     true},
    {"shrinks", [](const std::string& p) { fs::resize_file(p, kBlockSize + 10); }, true},
    {"shrinks to its first block", [](const std::string& p) { fs::resize_file(p, kBlockSize); },
     true},
};

enum Moment { kAfterListing, kAfterHint, kBetweenTwoReads };

class ChangingFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("src/A.TXT", "first neighbour");
    dir.Write("src/Z.TXT", "last neighbour");
    dir.Write("src/SUB/Q.TXT", "a later directory");
  }

  // The changed file at place, first in the pass, between the others or
  // last; every stored file but it fetches with the store CRC checked as
  // its source holds it, and it keeps the size the scan saw.
  void Check(Moment moment, const char* place, const Change& change, bool fast) {
    const std::string what = std::string(place) + " " + change.what + (fast ? ", fast" : "");
    const std::string original(moment == kBetweenTwoReads ? 2 * kBlockSize + 1000 : 1000, 'o');
    const std::string path = dir.Write(std::string("src/") + place, original);
    const std::string name = std::string("/") + place;
    HintedEnv env;
    std::function<void()> apply = [&] { change.apply(path); };
    auto once = [&](const std::string& p) {
      if (apply && p.find(moment == kAfterListing ? "src/" : name) != std::string::npos) {
        std::function<void()> f = std::move(apply);
        apply = nullptr;
        f();
      }
    };
    if (moment == kAfterListing) env.afterList = once;
    if (moment == kBetweenTwoReads) env.afterRead = once;
    if (moment == kAfterHint) env.hinted = name, env.afterHint = apply, apply = nullptr;
    std::vector<std::string> args = {"c", "/store=*.TXT", "--", dir / "cat", dir / "src"};
    if (fast) args.insert(args.begin() + 1, "/fast");
    const test::RunResult r = test::RunWith(env, args);
    EXPECT_TRUE(!apply && !env.afterHint) << what << ": never changed";
    const std::string end =
        change.reported ? "Ok\n1 files and 0 directories could not be read.\n" : "Ok\n";
    EXPECT_EQ(change.reported ? 3 : 0, r.code) << what;
    EXPECT_TRUE(r.out.size() >= end.size() && r.out.substr(r.out.size() - end.size()) == end)
        << what << ": " << r.out;
    EXPECT_EQ(change.reported, r.err.find("\nFile read error: " + path + "\n") != std::string::npos)
        << what << ": " << r.err;

    CatalogReader reader(*Env::Default());
    ASSERT_TRUE(reader.Load(dir / "cat.dir")) << what;
    ProgressObserver quiet;
    int stored = 0, seen = 0;
    while (const EntryInfo* info = reader.NextRecord()) {
      const std::string entry = reader.CurrentPath().substr(1);
      if (entry == place) {
        ++seen;
        EXPECT_EQ(original.size(), info->size) << what << ": the size is the scan's";
        EXPECT_TRUE(!change.reported || (!(info->attributes & kAttrStored) && info->crc == 0))
            << what << ": no contents are kept";
      }
      if (!(info->attributes & kAttrStored)) continue;
      ++stored;
      std::vector<unsigned char> contents;
      ASSERT_TRUE(reader.FetchStored(true, quiet, &contents)) << what << ": " << entry;
      std::string source = dir / "src/" + entry;
      std::replace(source.begin(), source.end(), '\\', '/');
      EXPECT_EQ(test::ReadFile(source), std::string(contents.begin(), contents.end())) << what;
    }
    EXPECT_EQ(1, seen) << what;
    EXPECT_EQ(change.reported ? 3 : 4, stored) << what;
    fs::remove_all(path);
  }

  test::TempDir dir;
};

TEST_F(ChangingFile, IsReportedAndNeverOverruns) {
  for (bool fast : {false, true}) {
    for (const char* place : {"0.TXT", "M.TXT", "ZZ.TXT"}) {
      for (const Change& change : kChanges) Check(kAfterListing, place, change, fast);
      for (const Change& change : kBetweenReads) Check(kBetweenTwoReads, place, change, fast);
      // The first file is never read ahead.
      if (place[0] == '0') continue;
      for (const Change& change : kChanges) Check(kAfterHint, place, change, fast);
    }
  }
}

}  // namespace
}  // namespace korvex
