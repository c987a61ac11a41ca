#include "tests/testutil.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace korvex {
namespace test {

namespace fs = std::filesystem;

namespace {

// The file clock's time of a count of seconds since 1970.  The clocks'
// epochs lie a whole number of seconds apart, so rounding their measured
// distance makes the conversion exact.
fs::file_time_type FileTime(uint32_t seconds) {
  using Duration = fs::file_time_type::duration;
  Duration distance =
      fs::file_time_type::clock::now().time_since_epoch() -
      std::chrono::duration_cast<Duration>(std::chrono::system_clock::now().time_since_epoch());
  return fs::file_time_type(std::chrono::round<std::chrono::seconds>(distance) +
                            std::chrono::seconds(seconds));
}

}  // namespace

TempDir::TempDir() {
  std::random_device random;
  fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    char name[32];
    snprintf(name, sizeof name, "korvex-test-%08x", static_cast<unsigned>(random()));
    std::error_code ec;
    if (fs::create_directory(base / name, ec)) path_ = (base / name).string();
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempDir::operator/(const std::string& relative) const {
  return path_ + "/" + relative;
}

std::string TempDir::Write(const std::string& relative, const std::string& contents,
                           uint32_t mtime) const {
  std::string full = *this / relative;
  fs::create_directories(fs::path(full).parent_path());
  std::ofstream(full, std::ios::binary) << contents;
  std::error_code ec;
  fs::last_write_time(full, FileTime(mtime), ec);
  return full;
}

std::string TempDir::MakeDir(const std::string& relative) const {
  std::string full = *this / relative;
  fs::create_directories(full);
  return full;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

void CaptureConsole::Write(Stream stream, const char* data, size_t n) {
  (stream == Stream::kOut ? out : err).append(data, n);
}

namespace {

class FaultFile : public File {
 public:
  FaultFile(std::unique_ptr<File> target, FaultEnv* env, bool breakReads, bool grow,
            uint64_t padTo = 0)
      : target_(std::move(target)), env_(env), breakReads_(breakReads), grow_(grow),
        padTo_(padTo) {}

  bool Read(void* buffer, size_t n, size_t* got) override {
    env_->readCalls++;
    if (breakReads_ && read_ + n > env_->failReadAfter) {
      *got = 0;
      return false;
    }
    bool ok = target_->Read(buffer, n, got);
    if (ok && grow_ && *got < n && grown_ < env_->growBy) {
      size_t extra = std::min<size_t>(n - *got, env_->growBy - grown_);
      memset(static_cast<char*>(buffer) + *got, 'G', extra);
      *got += extra;
      grown_ += extra;
    }
    if (ok && *got < n && read_ + *got < padTo_) {
      size_t extra = static_cast<size_t>(std::min<uint64_t>(n - *got, padTo_ - read_ - *got));
      memset(static_cast<char*>(buffer) + *got, 0, extra);
      *got += extra;
    }
    read_ += *got;
    return ok;
  }
  bool Write(const void* data, size_t n) override {
    env_->writes.push_back(std::to_string(n));
    if (env_->failWriteAfter >= 0 && env_->writeCount >= env_->failWriteAfter) return false;
    env_->writeCount++;
    return target_->Write(data, n);
  }
  bool Seek(uint64_t position) override { return target_->Seek(position); }
  uint64_t Size() override { return std::max(target_->Size(), padTo_); }
  bool Sync() override { return !env_->failSync && target_->Sync(); }
  bool Close() override {
    bool ok = target_->Close();
    return ok && !env_->failClose;
  }

 private:
  std::unique_ptr<File> target_;
  FaultEnv* env_;
  bool breakReads_;
  bool grow_;
  uint64_t read_ = 0;
  size_t grown_ = 0;
  uint64_t padTo_;
};

bool Contains(const std::string& path, const std::string& part) {
  return !part.empty() && path.find(part) != std::string::npos;
}

bool Injected(std::string* error) {
  if (error != nullptr) *error = FaultEnv::kInjected;
  return false;
}

}  // namespace

std::unique_ptr<File> FaultEnv::OpenRead(const std::string& path, std::string* error) {
  opened.push_back(path);
  if (Contains(path, failOpenRead)) {
    Injected(error);
    return nullptr;
  }
  std::unique_ptr<File> file = EnvWrapper::OpenRead(path, error);
  if (!file) return nullptr;
  return std::unique_ptr<File>(new FaultFile(std::move(file), this,
                                             Contains(path, failReadOf),
                                             Contains(path, growFile),
                                             Contains(path, bigFile) ? bigSize : 0));
}

std::unique_ptr<File> FaultEnv::Create(const std::string& path, std::string* error) {
  if (Contains(path, failCreate)) {
    Injected(error);
    return nullptr;
  }
  std::unique_ptr<File> file = EnvWrapper::Create(path, error);
  if (!file) return nullptr;
  return std::unique_ptr<File>(new FaultFile(std::move(file), this, false, false));
}

bool FaultEnv::Rename(const std::string& from, const std::string& to, std::string* error) {
  if (failRename) return Injected(error);
  return EnvWrapper::Rename(from, to, error);
}

bool FaultEnv::ListDirectory(const std::string& path,
                             const std::function<void(const DirEntry&)>& visit,
                             std::string* error) {
  if (Contains(path, failList)) return Injected(error);
  return EnvWrapper::ListDirectory(
      path,
      [&](const DirEntry& entry) {
        if (markTemporary != entry.name && bigFile != entry.name) return visit(entry);
        DirEntry marked = entry;
        if (markTemporary == entry.name) marked.attributes |= 0x08;
        if (bigFile == entry.name) marked.size = bigSize;
        visit(marked);
      },
      error);
}

bool FaultEnv::SetModificationTime(const std::string& path, uint32_t seconds) {
  timed.push_back(path);
  return EnvWrapper::SetModificationTime(path, seconds);
}

}  // namespace test
}  // namespace korvex
