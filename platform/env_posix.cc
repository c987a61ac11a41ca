#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/env.h"

namespace korvex {
namespace {

class PosixFile : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { Close(); }

  bool Read(void* buffer, size_t n, size_t* got) override {
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::read(fd_, static_cast<char*>(buffer) + done, n - done);
      if (r < 0) {
        if (errno == EINTR) continue;
        *got = done;
        return false;
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    *got = done;
    return true;
  }

  bool Write(const void* data, size_t n) override {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
      ssize_t w = ::write(fd_, p, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      p += w;
      n -= static_cast<size_t>(w);
    }
    return true;
  }

  bool Seek(uint64_t position) override {
    off_t at = ::lseek(fd_, static_cast<off_t>(position), SEEK_SET);
    return at >= 0 && static_cast<uint64_t>(at) == position;
  }

  uint64_t Size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
  }

  bool Sync() override { return ::fsync(fd_) == 0; }

  bool Close() override {
    if (fd_ < 0) return true;
    int r = ::close(fd_);
    fd_ = -1;
    return r == 0;
  }

 private:
  int fd_;
};

uint32_t ClampTime(int64_t seconds) {
  return (seconds < 0 || seconds > 0xFFFFFFFFLL) ? 0 : static_cast<uint32_t>(seconds);
}

// The one stat call per entry.  Directories are timed by their birth where
// the file system records one.
struct EntryStat {
  mode_t mode;
  uint64_t size;
  int64_t mtime;
  int64_t dirTime;
};

bool StatEntry(int dirfd, const char* name, EntryStat* out) {
#if defined(STATX_BTIME)
  struct statx sx;
  if (::statx(dirfd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
              STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_BTIME, &sx) != 0) {
    return false;
  }
  out->mode = sx.stx_mode;
  out->size = sx.stx_size;
  out->mtime = sx.stx_mtime.tv_sec;
  out->dirTime = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_mtime.tv_sec;
#else
  struct stat st;
  if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  out->mode = st.st_mode;
  out->size = static_cast<uint64_t>(st.st_size);
  out->mtime = st.st_mtime;
  out->dirTime = st.st_mtime;
#endif
  return true;
}

// Keeps the system's text for the reason a call failed.
bool Failed(std::string* error, int code) {
  if (error != nullptr) *error = strerror(code);
  return false;
}

// Files are opened non-blocking so that a FIFO at the path cannot stall the
// open; keeps fd (blocking again) only when it is a regular file, else closes it.
bool RegularAndBlocking(int fd, std::string* error) {
  struct stat st;
  int code = EINVAL;
  if (::fstat(fd, &st) != 0) {
    code = errno;
  } else if (S_ISDIR(st.st_mode)) {
    code = EISDIR;
  } else if (S_ISREG(st.st_mode) &&
             ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0) {
    return true;
  }
  ::close(fd);
  if (error != nullptr) *error = code == EINVAL ? "not a regular file" : strerror(code);
  return false;
}

// Whether the block device dev (or, for a partition, its disk) says it
// rotates; optical drives say so too.  False where sysfs does not tell.
bool Rotates(dev_t dev) {
  for (const char* queue : {"queue", "../queue"}) {
    char path[96];
    snprintf(path, sizeof path, "/sys/dev/block/%u:%u/%s/rotational", major(dev), minor(dev),
             queue);
    if (FILE* f = fopen(path, "re")) {
      int c = fgetc(f);
      fclose(f);
      return c == '1';
    }
  }
  return false;
}

class PosixEnv : public Env {
 public:
  std::unique_ptr<File> OpenRead(const std::string& path, std::string* error) override {
    // Only regular files: a FIFO or a device could block or never end.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      Failed(error, errno);
      return nullptr;
    }
    if (!RegularAndBlocking(fd, error)) return nullptr;
#if defined(POSIX_FADV_SEQUENTIAL)
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    return std::unique_ptr<File>(new PosixFile(fd));
  }

  std::unique_ptr<File> Create(const std::string& path, std::string* error) override {
    int fd = ::open(path.c_str(),
                    O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd < 0) {
      Failed(error, errno);
      return nullptr;
    }
    if (!RegularAndBlocking(fd, error)) return nullptr;
    return std::unique_ptr<File>(new PosixFile(fd));
  }

  bool Delete(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

  bool Rename(const std::string& from, const std::string& to, std::string* error) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return Failed(error, errno);
    // Make the new name itself durable.
    std::string parent = to.substr(0, to.find_last_of('/') + 1);
    int dir = ::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
    return true;
  }

  bool ListDirectory(const std::string& path, const std::function<void(const DirEntry&)>& visit,
                     std::string* error) override {
    DIR* dir = ::opendir(path.empty() ? "/" : path.c_str());
    if (dir == nullptr) return Failed(error, errno);
    int dirfd = ::dirfd(dir);
    // A read error, or an entry that cannot be examined, fails the listing,
    // but only after every entry that could be read was visited.
    int code = 0;
    for (;;) {
      errno = 0;
      struct dirent* d = ::readdir(dir);
      if (d == nullptr) {
        if (errno != 0) code = errno;
        break;
      }
      const char* name = d->d_name;
      if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
      EntryStat st;
      if (!StatEntry(dirfd, name, &st)) {
        if (errno != ENOENT) code = errno;  // ENOENT: removed since it was listed
        continue;
      }
      DirEntry entry;
      entry.name = name;
      uint32_t hidden = name[0] == '.' ? 0x02 : 0;
      uint32_t readOnly = (st.mode & S_IWUSR) ? 0 : 0x01;
      if (S_ISDIR(st.mode)) {
        entry.attributes = 0x10 | hidden | readOnly;
        entry.time = ClampTime(st.dirTime);
        entry.size = 0;
        entry.readable = false;
      } else if (S_ISREG(st.mode)) {
        entry.attributes = 0x20 | hidden | readOnly;
        entry.time = ClampTime(st.mtime);
        entry.size = st.size;
        entry.readable = true;
      } else {
        // Links, FIFOs, sockets and devices: cataloged, never opened.
        entry.attributes = 0x04 | hidden;
        entry.time = ClampTime(st.mtime);
        entry.size = 0;
        entry.readable = false;
      }
      visit(entry);
    }
    ::closedir(dir);
    return code == 0 || Failed(error, code);
  }

  PathKind KindOf(const std::string& path) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return PathKind::kMissing;
    if (S_ISDIR(st.st_mode)) return PathKind::kDirectory;
    return S_ISREG(st.st_mode) ? PathKind::kFile : PathKind::kOther;
  }

  bool SetModificationTime(const std::string& path, uint32_t seconds) override {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // the access time stays
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
  }

  bool MakeDirectory(const std::string& path, std::string* error) override {
    if (::mkdir(path.c_str(), 0777) == 0) return true;
    const int code = errno;
    struct stat st;
    // mkdir never follows a link at the name; lstat tells what stands there.
    if (code == EEXIST && ::lstat(path.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) return true;
      if (error != nullptr) {
        *error = S_ISLNK(st.st_mode) ? "a link stands at the name" : strerror(ENOTDIR);
      }
      return false;
    }
    return Failed(error, code);
  }

  void WillRead(const std::string& path, uint64_t length) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
      ::posix_fadvise(fd, 0, static_cast<off_t>(length), POSIX_FADV_WILLNEED);
    }
    ::close(fd);
  }

  ReadAheadMode ReadAheadFor(const std::string& path) override {
    const char* setting = getenv("KORVEX_READ_AHEAD");
    if (setting != nullptr && strcmp(setting, "0") == 0) return ReadAheadMode::kOff;
    struct stat st;
    if (::stat(path.empty() ? "/" : path.c_str(), &st) != 0) return ReadAheadMode::kSolid;
    return Rotates(st.st_dev) ? ReadAheadMode::kSeeking : ReadAheadMode::kSolid;
  }

  void AnsiToOem(char*) override {}
  void OemToAnsi(char*) override {}

};

}  // namespace

Env* Env::Default() {
  static PosixEnv env;
  return &env;
}

}  // namespace korvex
