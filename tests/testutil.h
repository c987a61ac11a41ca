// Shared test helpers: temporary trees on the real disk, a console that
// records everything, and an Env that breaks chosen calls.
#ifndef KORVEX_TESTS_TESTUTIL_H_
#define KORVEX_TESTS_TESTUTIL_H_

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "cli/progress_display.h"
#include "platform/console.h"
#include "platform/env.h"

namespace korvex {
namespace test {

// A fresh directory, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  // path() joined with a relative name using '/'.
  std::string operator/(const std::string& relative) const;
  // Writes a file (making its parent directories) and returns its path.
  std::string Write(const std::string& relative, const std::string& contents,
                    uint32_t mtime = 1000000000u) const;
  std::string MakeDir(const std::string& relative) const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

// Records standard output, standard error and every title operation.
class CaptureConsole : public Console {
 public:
  void Write(Stream stream, const char* data, size_t n) override;
  void Flush(Stream) override {}
  void SaveTitle() override { titles.push_back("<save>"); }
  void SetTitle(const std::string& title) override { titles.push_back(title); }
  void RestoreTitle() override { titles.push_back("<restore>"); }
  void Acknowledge(const std::string& message) override { acknowledged.push_back(message); }
  bool Failed() const override { return false; }

  std::string out;
  std::vector<std::string> acknowledged;
  std::string err;
  std::vector<std::string> titles;
};

// The console front end's progress display on a recording console, keeping
// the last count of bytes reported.
class ShownProgress : public ConsoleProgress {
 public:
  ShownProgress() : ConsoleProgress(console) {}
  void BytesDone(uint64_t done, uint64_t total) override {
    lastDone = done;
    ConsoleProgress::BytesDone(done, total);
  }

  CaptureConsole console;
  uint64_t lastDone = 0;
};

// Breaks the calls a test names; everything else reaches the real disk.
class FaultEnv : public EnvWrapper {
 public:
  FaultEnv() : EnvWrapper(Env::Default()) {}

  std::unique_ptr<File> OpenRead(const std::string& path, std::string* error = nullptr) override;
  std::unique_ptr<File> Create(const std::string& path, std::string* error = nullptr) override;
  bool Rename(const std::string& from, const std::string& to,
              std::string* error = nullptr) override;
  bool ListDirectory(const std::string& path, const std::function<void(const DirEntry&)>& visit,
                     std::string* error = nullptr) override;
  bool SetModificationTime(const std::string& path, uint32_t seconds) override;

  // The reason every injected failure gives.
  static constexpr const char* kInjected = "Permission denied";

  // A path containing this text fails to open for reading.
  std::string failOpenRead;
  // Reads of a path containing this text fail after this many bytes.
  std::string failReadOf;
  uint64_t failReadAfter = 0;
  // Reads of a path containing this text deliver this many extra bytes at
  // the end, as if the file grew.
  std::string growFile;
  uint32_t growBy = 0;
  // A file of this name is listed as bigSize bytes and reads as its
  // contents followed by zeros up to that size, as a big file would.
  std::string bigFile;
  uint64_t bigSize = 0;
  // Creating a path containing this text fails.
  std::string failCreate;
  // Writes fail once this many write calls have succeeded (-1: never).
  int failWriteAfter = -1;
  // Syncing or closing a written file fails.
  bool failSync = false;
  bool failClose = false;
  bool failRename = false;
  // Listing a directory whose path contains this text fails.
  std::string failList;
  // Paths whose modification time was set, in order.
  std::vector<std::string> timed;
  // Entries with this name are listed with attribute bit 0x08 (temporary).
  std::string markTemporary;
  // A stand-in code page where ANSI 0xE9 is OEM 0x82, so tests can see
  // where names are converted.
  bool toyCodePage = false;
  void AnsiToOem(char* text) override { Swap(text, '\xE9', '\x82'); }
  void OemToAnsi(char* text) override { Swap(text, '\x82', '\xE9'); }
  // Every write attempted, in order: path and length.
  std::vector<std::string> writes;
  int writeCount = 0;
  // Read calls made on opened files, and the paths opened for reading.
  int readCalls = 0;
  std::vector<std::string> opened;

 private:
  void Swap(char* text, char from, char to) {
    for (; toyCodePage && *text; ++text) {
      if (*text == from) *text = to;
    }
  }
};

}  // namespace test
}  // namespace korvex

#endif  // KORVEX_TESTS_TESTUTIL_H_
