// Files and directories held in memory, for the fuzz targets and the tests
// that need no disk.
#ifndef KORVEX_TESTS_SUPPORT_MEMORY_ENV_H_
#define KORVEX_TESTS_SUPPORT_MEMORY_ENV_H_

#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"

namespace korvex {
namespace test {

// Paths use kPathSeparator; "" is the current directory.  A file opened for
// reading keeps the contents it had when it was opened.
class MemoryEnv : public Env {
 public:
  // Adds a file, and its parent directories when they are missing.
  void AddFile(const std::string& path, const std::string& contents,
               uint32_t time = 1000000000u);
  void AddDir(const std::string& path, uint32_t time = 1000000000u);
  // The contents of a file, or null when there is no file at path.
  const std::string* Contents(const std::string& path) const;

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
    uint32_t time;
    std::shared_ptr<std::string> data;  // null for a directory
  };
  bool IsDir(const std::string& path) const;

  std::map<std::string, Node> nodes_;
};

}  // namespace test
}  // namespace korvex

#endif  // KORVEX_TESTS_SUPPORT_MEMORY_ENV_H_
