// The one interface between korvex and the operating system: files,
// directory enumeration, read-ahead hints and code pages.  One POSIX and one
// Win32 implementation; tests wrap it to inject faults.
#ifndef KORVEX_PLATFORM_ENV_H_
#define KORVEX_PLATFORM_ENV_H_

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <memory>
#include <string>

namespace korvex {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// An open file.  Closing happens in the destructor when Close was not called;
// call Close to learn whether buffered data reached the disk.
class File {
 public:
  virtual ~File() = default;
  // Reads up to n bytes; *got tells how many.  False when the read failed.
  virtual bool Read(void* buffer, size_t n, size_t* got) = 0;
  // True only when all n bytes were read.
  bool ReadExactly(void* buffer, size_t n) {
    size_t got = 0;
    return Read(buffer, n, &got) && got == n;
  }
  // True only when all n bytes were written.
  virtual bool Write(const void* data, size_t n) = 0;
  // Moves to an absolute position; true when it landed exactly there.
  virtual bool Seek(uint64_t position) = 0;
  virtual uint64_t Size() = 0;
  // Forces written data to the disk.
  virtual bool Sync() = 0;
  virtual bool Close() = 0;
};

// One entry of a directory listing.
struct DirEntry {
  const char* name;     // the file system's bytes, never "." or ".."
  uint32_t attributes;  // 0x10 directory; the other bits as the platform has them
  uint32_t time;        // seconds since 1970 UTC; 0 when unknown
  uint64_t size;        // full size in bytes (0 for directories)
  bool readable;        // false for entries no pass may open (links, devices)
};

enum class PathKind { kMissing, kFile, kDirectory, kOther };

// How reads ahead of a pass suit the medium a path is on.
enum class ReadAheadMode {
  kOff,      // turned off (KORVEX_READ_AHEAD=0 in the environment)
  kSeeking,  // a spinning disk or an optical disc: every read in flight may cost a seek
  kSolid,    // anything else
};

// The calls that can fail for a reason the user should read take `error`:
// when it is not null and the call fails, it receives the system's text for
// the reason ("No such file or directory").
class Env {
 public:
  virtual ~Env() = default;

  // Opens an existing file for sequential reading; null on failure.
  virtual std::unique_ptr<File> OpenRead(const std::string& path,
                                         std::string* error = nullptr) = 0;
  // Creates or truncates a file for writing, never through a symbolic link
  // standing at the path; null on failure.
  virtual std::unique_ptr<File> Create(const std::string& path,
                                       std::string* error = nullptr) = 0;
  virtual bool Delete(const std::string& path) = 0;
  // Moves from over to, replacing to.
  virtual bool Rename(const std::string& from, const std::string& to,
                      std::string* error = nullptr) = 0;
  // Calls visit for every entry of the directory whose path ends in a
  // separator (or is empty for the current drive's root), in file-system
  // order.  False when the directory cannot be listed, or not all of it (a
  // read error, an entry that cannot be examined): the entries that could
  // be read have been visited then.
  virtual bool ListDirectory(const std::string& path,
                             const std::function<void(const DirEntry&)>& visit,
                             std::string* error = nullptr) = 0;
  // What stands at path, following symbolic links.
  virtual PathKind KindOf(const std::string& path) = 0;
  // Sets the last modification time (seconds since 1970 UTC) of a file or
  // directory, never of what a link standing at the path points to.
  virtual bool SetModificationTime(const std::string& path, uint32_t seconds) = 0;
  // Makes a directory, or accepts a real one standing there already; false
  // when something else stands at the path (a file, a link) or it cannot be
  // made.
  virtual bool MakeDirectory(const std::string& path, std::string* error = nullptr) = 0;

  // Starts reading the first length bytes of the file at path into the
  // system's cache, for a read that follows soon.  Only a hint: it changes
  // nothing a later open or read sees.  Safe to call from several threads.
  virtual void WillRead(const std::string& path, uint64_t length) = 0;
  virtual ReadAheadMode ReadAheadFor(const std::string& path) = 0;

  // In-place conversions between the ANSI and OEM code pages; each maps one
  // byte to one byte.
  virtual void AnsiToOem(char* text) = 0;
  virtual void OemToAnsi(char* text) = 0;

  // The real operating system.
  static Env* Default();
};

// Forwards every call to another Env, so a test double overrides only the
// call it breaks.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  std::unique_ptr<File> OpenRead(const std::string& path,
                                 std::string* error = nullptr) override {
    return target_->OpenRead(path, error);
  }
  std::unique_ptr<File> Create(const std::string& path, std::string* error = nullptr) override {
    return target_->Create(path, error);
  }
  bool Delete(const std::string& path) override { return target_->Delete(path); }
  bool Rename(const std::string& from, const std::string& to,
              std::string* error = nullptr) override {
    return target_->Rename(from, to, error);
  }
  bool ListDirectory(const std::string& path, const std::function<void(const DirEntry&)>& visit,
                     std::string* error = nullptr) override {
    return target_->ListDirectory(path, visit, error);
  }
  PathKind KindOf(const std::string& path) override { return target_->KindOf(path); }
  bool SetModificationTime(const std::string& path, uint32_t seconds) override {
    return target_->SetModificationTime(path, seconds);
  }
  bool MakeDirectory(const std::string& path, std::string* error = nullptr) override {
    return target_->MakeDirectory(path, error);
  }
  void WillRead(const std::string& path, uint64_t length) override {
    target_->WillRead(path, length);
  }
  ReadAheadMode ReadAheadFor(const std::string& path) override {
    return target_->ReadAheadFor(path);
  }
  void AnsiToOem(char* text) override { target_->AnsiToOem(text); }
  void OemToAnsi(char* text) override { target_->OemToAnsi(text); }

 private:
  Env* target_;
};

}  // namespace korvex

#endif  // KORVEX_PLATFORM_ENV_H_
