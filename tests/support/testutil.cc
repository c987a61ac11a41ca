#include "tests/support/testutil.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "cli/context.h"
#include "cli/korvex.h"

namespace korvex {
namespace test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    char name[32];
    snprintf(name, sizeof name, "korvex-test-%08x", static_cast<unsigned>(random()));
    std::error_code ec;
    fs::path p = fs::temp_directory_path() / name;
    if (fs::create_directory(p, ec)) path_ = p.string();
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& relative, const std::string& contents,
                           uint32_t mtime) const {
  std::string full = *this / relative;
  fs::create_directories(fs::path(full).parent_path());
  std::ofstream(full, std::ios::binary) << contents;
  // The clocks' epochs lie a whole number of seconds apart, so rounding
  // their measured distance makes the file time exact.
  using Duration = fs::file_time_type::duration;
  Duration distance =
      fs::file_time_type::clock::now().time_since_epoch() -
      std::chrono::duration_cast<Duration>(std::chrono::system_clock::now().time_since_epoch());
  std::error_code ec;
  fs::last_write_time(full, fs::file_time_type(std::chrono::round<std::chrono::seconds>(distance) +
                                               std::chrono::seconds(mtime)), ec);
  return full;
}

std::string TempDir::MakeDir(const std::string& relative) const {
  fs::create_directories(*this / relative);
  return *this / relative;
}

std::string ReadFile(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

namespace {

bool Contains(const std::string& path, const std::string& part) {
  return !part.empty() && path.find(part) != std::string::npos;
}

bool Injected(std::string* error) {
  if (error != nullptr) *error = FaultEnv::kInjected;
  return false;
}

// Reads break after failReadAfter bytes, grow by growBy bytes, or run on in
// zeros up to padTo; writes, syncs and closes fail as the Env says.
class FaultFile : public File {
 public:
  FaultFile(std::unique_ptr<File> target, FaultEnv* env, const std::string& path, bool written)
      : target_(std::move(target)), env_(env), path_(path), written_(written),
        breakReads_(Contains(path, env->failReadOf)),
        grow_(Contains(path, env->growFile)), padTo_(Contains(path, env->bigFile) ? env->bigSize : 0) {}

  bool Read(void* buffer, size_t n, size_t* got) override {
    env_->readCalls++;
    *got = 0;
    if (breakReads_ && read_ + n > env_->failReadAfter) return false;
    bool ok = target_->Read(buffer, n, got);
    const uint64_t growTo = grow_ ? target_->Size() + env_->growBy : 0;
    const uint64_t end = std::max(growTo, padTo_);
    if (ok && *got < n && read_ + *got < end) {
      size_t extra = static_cast<size_t>(std::min<uint64_t>(n - *got, end - read_ - *got));
      memset(static_cast<char*>(buffer) + *got, grow_ ? 'G' : 0, extra);
      *got += extra;
    }
    read_ += *got;
    if (env_->afterRead) env_->afterRead(path_);
    return ok;
  }
  bool Write(const void* data, size_t n) override {
    if (!env_->Step()) return false;
    if (env_->failWriteAfter >= 0 && env_->writeCount >= env_->failWriteAfter) return false;
    env_->writeCount++;
    return target_->Write(data, n);
  }
  bool Seek(uint64_t position) override { return target_->Seek(position); }
  uint64_t Size() override { return std::max(target_->Size(), padTo_); }
  bool Sync() override { return env_->Step() && !env_->failSync && target_->Sync(); }
  bool Close() override {
    const bool stepped = !written_ || env_->Step();
    return target_->Close() && stepped && !env_->failClose;
  }

 private:
  std::unique_ptr<File> target_;
  FaultEnv* env_;
  const std::string path_;
  const bool written_;
  const bool breakReads_;
  const bool grow_;
  const uint64_t padTo_;
  uint64_t read_ = 0;
};

}  // namespace

std::unique_ptr<File> FaultEnv::OpenRead(const std::string& path, std::string* error) {
  opened.push_back(path);
  if (Contains(path, failOpenRead)) return Injected(error), nullptr;
  std::unique_ptr<File> file = EnvWrapper::OpenRead(path, error);
  return file ? std::make_unique<FaultFile>(std::move(file), this, path, false) : nullptr;
}

std::unique_ptr<File> FaultEnv::Create(const std::string& path, std::string* error) {
  if (Contains(path, failCreate) || !Step()) return Injected(error), nullptr;
  std::unique_ptr<File> file = EnvWrapper::Create(path, error);
  return file ? std::make_unique<FaultFile>(std::move(file), this, std::string(), true) : nullptr;
}

bool FaultEnv::Rename(const std::string& from, const std::string& to, std::string* error) {
  if (!Step() || failRename) return Injected(error);
  const bool ok = EnvWrapper::Rename(from, to, error);
  Step();
  return ok;
}

bool FaultEnv::ListDirectory(const std::string& path,
                             const std::function<void(const DirEntry&)>& visit,
                             std::string* error) {
  if (Contains(path, failList)) return Injected(error);
  const bool ok = EnvWrapper::ListDirectory(path, [&](const DirEntry& entry) {
    DirEntry marked = entry;
    if (markTemporary == entry.name) marked.attributes |= 0x08;
    if (bigFile == entry.name) marked.size = bigSize;
    visit(marked);
  }, error);
  if (afterList) afterList(path);
  return ok && (!Contains(path, failListPart) || Injected(error));
}

RunResult RunWith(Env& env, std::vector<std::string> args) {
  CaptureConsole console;
  Context ctx(env, console);
  args.insert(args.begin(), "korvex");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  int code = RunKorvex(ctx, static_cast<int>(args.size()), argv.data());
  return RunResult{code, console.out, console.err, console.titles};
}

}  // namespace test
}  // namespace korvex
