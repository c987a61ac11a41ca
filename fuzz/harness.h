// What the fuzz targets and the corruption tests drive korvex through: an
// in-memory file system, a console that records, and helpers that reseal a
// damaged catalog's checksums so that the damage reaches the code behind them.
#ifndef KORVEX_FUZZ_HARNESS_H_
#define KORVEX_FUZZ_HARNESS_H_

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/env.h"

namespace korvex {
namespace fuzz {

// Files and directories held in memory, named by paths with kPathSeparator.
// A file opened for reading keeps the contents it had when it was opened.
class MemoryEnv : public Env {
 public:
  // Adds a file, and its parent directories when they are missing.
  void AddFile(const std::string& path, const std::string& contents,
               uint32_t time = 1000000000u);
  void AddDir(const std::string& path, uint32_t time = 1000000000u);
  // The contents of a file, or null when there is no file at path.
  const std::string* Contents(const std::string& path) const;
  // Every path held, directories included, in order.
  std::vector<std::string> Paths() const;

  std::unique_ptr<File> OpenRead(const std::string& path, std::string* error = nullptr) override;
  std::unique_ptr<File> Create(const std::string& path, std::string* error = nullptr) override;
  bool Delete(const std::string& path) override;
  bool Rename(const std::string& from, const std::string& to,
              std::string* error = nullptr) override;
  bool ListDirectory(const std::string& path, const std::function<void(const DirEntry&)>& visit,
                     std::string* error = nullptr) override;
  PathKind KindOf(const std::string& path) override;
  bool SetModificationTime(const std::string& path, uint32_t seconds) override;
  bool MakeDirectory(const std::string& path, std::string* error = nullptr) override;
  void AnsiToOem(char*) override {}
  void OemToAnsi(char*) override {}
  void WillRead(const std::string&, uint64_t) override {}
  ReadAheadMode ReadAheadFor(const std::string&) override { return ReadAheadMode::kOff; }

 private:
  struct Node {
    bool isDir;
    uint32_t time;
    std::shared_ptr<std::string> data;  // files only
  };
  bool IsDir(const std::string& path) const;

  std::map<std::string, Node> nodes_;
};

// Keeps standard output and standard error; titles are counted only.
class RecordingConsole : public Console {
 public:
  void Write(Stream stream, const char* data, size_t n) override {
    (stream == Stream::kOut ? out : err).append(data, n);
  }
  void Flush(Stream) override {}
  void SaveTitle() override {}
  void SetTitle(const std::string&) override { ++titles; }
  void RestoreTitle() override {}
  void Acknowledge(const std::string&) override {}
  bool Failed() const override { return false; }

  std::string out;
  std::string err;
  int titles = 0;
};

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

// Runs the program in-process: args are what follows the program name.
Outcome Run(Env& env, std::vector<std::string> args);

// Section bounds of a catalog's bytes, as far as they lie inside them.
struct Layout {
  bool hasHeader = false;   // 16 bytes are there
  uint32_t treeLength = 0;  // T, from the header
  bool withCrc = false;
  bool hasTree = false;     // all T tree bytes are there
  bool hasStoreHead = false;
  uint32_t dataLength = 0;  // D, from the store head
  bool hasData = false;     // all D data-area bytes are there
};
Layout Inspect(const std::string& catalog);

// Rewrites the tree CRC, and the store CRC, to match the bytes, where the
// section lies wholly inside them.
void SealTree(std::string* catalog);
void SealStore(std::string* catalog);

// The fuzz targets, by name, so that tests can feed them chosen inputs;
// each returns 0 and aborts on a broken invariant.
int CatalogTarget(const uint8_t* data, size_t size);
int FetchTarget(const uint8_t* data, size_t size);
int PluginTarget(const uint8_t* data, size_t size);
int RoundTripTarget(const uint8_t* data, size_t size);
int MaskTarget(const uint8_t* data, size_t size);
int CompareTarget(const uint8_t* data, size_t size);

// Aborts with the message when ok is false, which a fuzzer reports as a
// finding.
void Require(bool ok, const char* what);

}  // namespace fuzz
}  // namespace korvex

#endif  // KORVEX_FUZZ_HARNESS_H_
