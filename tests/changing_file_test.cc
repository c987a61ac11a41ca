// Files that change while the create command runs: grown, shrunk, replaced
// or gone between the scan and the pass, while they are read ahead of the
// pass, or between two reads of the pass.  The run ends, reports the file,
// keeps none of its contents and never writes past the room the scan reserved
// for it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "catalog/format.h"
#include "catalog/progress.h"
#include "catalog/reader.h"
#include "cli/cli_test_util.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
using test::RunResult;
using test::RunWith;

// Changes the real file system at three moments: once a directory has been
// listed, once a file has been read ahead (the pass waits for that before
// it opens the file), and once a file has been read from for the first time.
class ChangingEnv : public test::FaultEnv {
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

  bool ListDirectory(const std::string& path, const std::function<void(const DirEntry&)>& visit,
                     std::string* error) override {
    bool ok = FaultEnv::ListDirectory(path, visit, error);
    if (afterListing && path.find(listed) != std::string::npos) {
      afterListing();
      afterListing = nullptr;
    }
    return ok;
  }

  std::unique_ptr<File> OpenRead(const std::string& path, std::string* error) override {
    if (path.find(hinted) != std::string::npos) {
      std::unique_lock<std::mutex> lock(mutex_);
      hintDone_.wait_for(lock, std::chrono::seconds(10), [this] { return !afterHint; });
    }
    std::unique_ptr<File> file = FaultEnv::OpenRead(path, error);
    if (!file || !afterFirstRead || path.find(read) == std::string::npos) return file;
    return std::unique_ptr<File>(new HookedFile(std::move(file), this));
  }

  std::string listed;  // part of a directory path
  std::function<void()> afterListing;
  std::string read;    // part of a file path
  std::function<void()> afterFirstRead;
  std::string hinted = "\n";  // part of a file path
  std::function<void()> afterHint;

 private:
  std::mutex mutex_;
  std::condition_variable hintDone_;

  class HookedFile : public File {
   public:
    HookedFile(std::unique_ptr<File> target, ChangingEnv* env)
        : target_(std::move(target)), env_(env) {}
    bool Read(void* buffer, size_t n, size_t* got) override {
      bool ok = target_->Read(buffer, n, got);
      if (env_->afterFirstRead) {
        env_->afterFirstRead();
        env_->afterFirstRead = nullptr;
      }
      return ok;
    }
    bool Write(const void* data, size_t n) override { return target_->Write(data, n); }
    bool Seek(uint64_t position) override { return target_->Seek(position); }
    uint64_t Size() override { return target_->Size(); }
    bool Sync() override { return target_->Sync(); }
    bool Close() override { return target_->Close(); }

   private:
    std::unique_ptr<File> target_;
    ChangingEnv* env_;
  };
};

void Append(const std::string& path, const std::string& more) {
  std::ofstream(path, std::ios::binary | std::ios::app) << more;
}

// Writes a new file beside path and renames it over path.
void Replace(const std::string& path, const std::string& contents) {
  std::ofstream(path + ".new", std::ios::binary) << contents;
  fs::rename(path + ".new", path);
}

struct Change {
  const char* what;
  std::function<void(const std::string& path)> apply;
  bool reported;  // else the catalog holds what the pass read
};

const std::string kOriginal(1000, 'o');

std::vector<Change> Changes() {
  return {
      {"grows", [](const std::string& p) { Append(p, std::string(100, 'g')); }, true},
      {"shrinks", [](const std::string& p) { fs::resize_file(p, 400); }, true},
      {"is emptied", [](const std::string& p) { fs::resize_file(p, 0); }, true},
      {"is replaced by a bigger file",
       [](const std::string& p) { Replace(p, std::string(300000, 'b')); }, true},
      {"is replaced by a smaller file", [](const std::string& p) { Replace(p, "small"); }, true},
      {"vanishes", [](const std::string& p) { fs::remove(p); }, true},
      {"is replaced by a directory",
       [](const std::string& p) {
         fs::remove(p);
         fs::create_directory(p);
       },
       true},
      {"is replaced by one of the same size",
       [](const std::string& p) { Replace(p, std::string(1000, 'n')); }, false},
  };
}

class ChangingFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("src/A.TXT", "first neighbour");
    dir.Write("src/Z.TXT", "last neighbour");
    dir.Write("src/SUB/Q.TXT", "a later directory");
  }

  RunResult Create(ChangingEnv& env, bool fast) {
    std::vector<std::string> args = {"c", "/store=*.TXT"};
    if (fast) args.push_back("/fast");
    args.insert(args.end(), {"--", dir / "cat", dir / "src"});
    return RunWith(env, args);
  }

  // Extracts every stored file with the store CRC checked and compares it
  // with what is expected; the changed one must not be stored, or be stored
  // as read.
  void ExpectCatalog(const std::string& changed, bool reported, const std::string& what,
                     uint64_t scannedSize) {
    CatalogReader reader(*Env::Default());
    ASSERT_TRUE(reader.Load(dir / "cat.dir")) << what;
    ProgressObserver quiet;
    int stored = 0;
    bool seen = false;
    while (const char* name = reader.NextEntry()) {
      EntryInfo info;
      reader.DecodeEntry(name, &info);
      const std::string path = reader.CurrentPath().substr(1);
      if (path == changed) {
        seen = true;
        EXPECT_EQ(scannedSize, info.size) << what << ": the size is the scan's";
        if (reported) {
          EXPECT_FALSE(info.attributes & kAttrStored) << what << ": no contents are kept";
          if (reader.HasCrc()) {
            EXPECT_EQ(0u, info.crc) << what;
          }
          continue;
        }
      }
      if (!(info.attributes & kAttrStored)) continue;
      ++stored;
      std::vector<unsigned char> contents;
      ASSERT_TRUE(reader.FetchStored(true, quiet, &contents)) << what << ": " << path;
      std::string source = dir / "src/" + path;
      for (char& c : source) {
        if (c == '\\') c = '/';
      }
      EXPECT_EQ(test::ReadFile(source), std::string(contents.begin(), contents.end()))
          << what << ": " << path;
    }
    EXPECT_TRUE(seen) << what;
    EXPECT_EQ(reported ? 3 : 4, stored) << what;
  }

  test::TempDir dir;
};

// The changed file first in the pass, between the others, and last.
const char* const kPlaces[] = {"0.TXT", "M.TXT", "ZZ.TXT"};

TEST_F(ChangingFile, BetweenScanAndPassIsReportedAndNeverOverruns) {
  for (bool fast : {false, true}) {
    for (const char* place : kPlaces) {
      for (const Change& change : Changes()) {
        const std::string what = std::string(place) + " " + change.what + (fast ? ", fast" : "");
        const std::string path = dir.Write(std::string("src/") + place, kOriginal);
        ChangingEnv env;
        env.listed = "src/";
        env.afterListing = [&] { change.apply(path); };
        RunResult r = Create(env, fast);
        // The catalog of the rest is written; the run still fails.
        const std::string end = change.reported ? "Ok\n1 files and 0 directories could not be read.\n"
                                                : "Ok\n";
        EXPECT_EQ(change.reported ? 3 : 0, r.code) << what;
        EXPECT_TRUE(r.out.size() >= end.size() &&
                    r.out.compare(r.out.size() - end.size(), end.size(), end) == 0)
            << what << ": " << r.out;
        EXPECT_EQ(change.reported, r.err.find("\nFile read error: " + path + "\n") !=
                                       std::string::npos)
            << what << ": " << r.err;
        ExpectCatalog(place, change.reported, what, kOriginal.size());
        fs::remove_all(path);
      }
    }
  }
}

// The pass reads ahead of itself; a file that changes once it has been
// read ahead is found by the pass as if it had changed before.
TEST_F(ChangingFile, WhileReadAheadIsReportedAndNeverOverruns) {
  for (bool fast : {false, true}) {
    for (const char* place : {"M.TXT", "ZZ.TXT"}) {  // the first file is never read ahead
      for (const Change& change : Changes()) {
        const std::string what = std::string(place) + " " + change.what + (fast ? ", fast" : "");
        const std::string path = dir.Write(std::string("src/") + place, kOriginal);
        ChangingEnv env;
        env.hinted = std::string("/") + place;
        env.afterHint = [&] { change.apply(path); };
        RunResult r = Create(env, fast);
        EXPECT_EQ(change.reported ? 3 : 0, r.code) << what;
        EXPECT_FALSE(env.afterHint) << what << ": never read ahead";
        EXPECT_EQ(change.reported, r.err.find("\nFile read error: " + path + "\n") !=
                                       std::string::npos)
            << what << ": " << r.err;
        ExpectCatalog(place, change.reported, what, kOriginal.size());
        fs::remove_all(path);
      }
    }
  }
}

// A file of three blocks changes after the pass has read its first block.
TEST_F(ChangingFile, BetweenTwoReadsIsReportedAndNeverOverruns) {
  const std::string big(2 * kBlockSize + 1000, 'x');
  const Change changes[] = {
      {"grows", [](const std::string& p) { Append(p, std::string(kBlockSize, 'g')); }, true},
      {"shrinks", [](const std::string& p) { fs::resize_file(p, kBlockSize + 10); }, true},
      {"shrinks to its first block", [](const std::string& p) { fs::resize_file(p, kBlockSize); },
       true},
  };
  for (bool fast : {false, true}) {
    for (const char* place : kPlaces) {
      for (const Change& change : changes) {
        const std::string what = std::string(place) + " " + change.what + (fast ? ", fast" : "");
        const std::string path = dir.Write(std::string("src/") + place, big);
        ChangingEnv env;
        env.read = std::string("/") + place;
        env.afterFirstRead = [&] { change.apply(path); };
        RunResult r = Create(env, fast);
        EXPECT_EQ(3, r.code) << what;
        EXPECT_NE(std::string::npos, r.err.find("\nFile read error: " + path + "\n"))
            << what << ": " << r.err;
        ExpectCatalog(place, true, what, big.size());
        fs::remove(path);
      }
    }
  }
}

}  // namespace
}  // namespace korvex
