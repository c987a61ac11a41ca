// What the tests drive korvex with: temporary trees on the real disk, a
// console that records everything, an Env that breaks chosen calls, and the
// whole program run in-process.
#ifndef KORVEX_TESTS_SUPPORT_TESTUTIL_H_
#define KORVEX_TESTS_SUPPORT_TESTUTIL_H_

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

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
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }
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
  void Write(Stream stream, const char* data, size_t n) override {
    (stream == Stream::kOut ? out : err).append(data, n);
  }
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

// Breaks the calls a test names; everything else reaches the wrapped Env.
class FaultEnv : public EnvWrapper {
 public:
  explicit FaultEnv(Env* target = Env::Default()) : EnvWrapper(target) {}

  std::unique_ptr<File> OpenRead(const std::string& path, std::string* error = nullptr) override;
  std::unique_ptr<File> Create(const std::string& path, std::string* error = nullptr) override;
  bool Rename(const std::string& from, const std::string& to,
              std::string* error = nullptr) override;
  bool ListDirectory(const std::string& path, const std::function<void(const DirEntry&)>& visit,
                     std::string* error = nullptr) override;
  // A stand-in code page where ANSI 0xE9 is OEM 0x82, so tests can see
  // where names are converted.
  void AnsiToOem(char* text) override { Swap(text, '\xE9', '\x82'); }
  void OemToAnsi(char* text) override { Swap(text, '\x82', '\xE9'); }

  // The reason every injected failure gives.
  static constexpr const char* kInjected = "Permission denied";

  // A path containing failOpenRead fails to open for reading; creating one
  // containing failCreate fails; listing one containing failList fails, one
  // containing failListPart fails after visiting its entries.
  std::string failOpenRead, failCreate, failList, failListPart;
  // Reads of a path containing failReadOf fail after failReadAfter bytes.
  std::string failReadOf;
  uint64_t failReadAfter = 0;
  // Reads of a path containing growFile deliver growBy extra bytes at the
  // end, as if the file grew.
  std::string growFile;
  uint32_t growBy = 0;
  // A file named bigFile is listed as bigSize bytes and reads as its
  // contents followed by zeros up to that size, as a big file would.
  std::string bigFile;
  uint64_t bigSize = 0;
  // Writes fail once failWriteAfter write calls have succeeded (-1: never);
  // syncing or closing a written file, or renaming, fails.
  int failWriteAfter = -1;
  bool failSync = false, failClose = false, failRename = false;
  // Entries with this name are listed with attribute bit 0x08 (temporary).
  std::string markTemporary;
  bool toyCodePage = false;
  int writeCount = 0;  // write calls that succeeded
  // Called with the path after a directory is listed, and after each read
  // of a file opened for reading.
  std::function<void(const std::string&)> afterList, afterRead;
  // The steps of writing a file, counted: its creation, each write, sync
  // and close, a rename and its end.  atStep is called at each; the one
  // numbered failStep fails.
  std::function<void(int)> atStep;
  int steps = 0, failStep = -1;
  bool Step() {
    if (atStep) atStep(steps);
    return steps++ != failStep;
  }
  // Read calls made on opened files, and the paths opened for reading.
  int readCalls = 0;
  std::vector<std::string> opened;

 private:
  void Swap(char* text, char from, char to) {
    for (; toyCodePage && *text; ++text) *text = *text == from ? to : *text;
  }
};

// A run of the whole program in-process on a recording console.
struct RunResult {
  int code;
  std::string out;
  std::string err;
  std::vector<std::string> titles;
};
// args are what follows the program name.
RunResult RunWith(Env& env, std::vector<std::string> args);

}  // namespace test
}  // namespace korvex

#endif  // KORVEX_TESTS_SUPPORT_TESTUTIL_H_
