#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// windows.h maps these two names to CharToOemA and OemToCharA, which would
// rename the Env methods in this file only.
#undef AnsiToOem
#undef OemToAnsi

#include <string.h>

#include <algorithm>

#include "platform/env.h"

namespace korvex {
namespace {

const DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

class WindowsFile : public File {
 public:
  explicit WindowsFile(HANDLE handle) : handle_(handle) {}
  ~WindowsFile() override { Close(); }

  bool Read(void* buffer, size_t n, size_t* got) override {
    size_t done = 0;
    while (done < n) {
      DWORD want = static_cast<DWORD>(std::min<size_t>(n - done, 0x40000000u));
      DWORD r = 0;
      if (!ReadFile(handle_, static_cast<char*>(buffer) + done, want, &r, nullptr)) {
        *got = done;
        return false;
      }
      if (r == 0) break;
      done += r;
    }
    *got = done;
    return true;
  }

  bool Write(const void* data, size_t n) override {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
      DWORD want = static_cast<DWORD>(std::min<size_t>(n, 0x40000000u));
      DWORD w = 0;
      if (!WriteFile(handle_, p, want, &w, nullptr) || w == 0) return false;
      p += w;
      n -= w;
    }
    return true;
  }

  bool Seek(uint64_t position) override {
    LARGE_INTEGER to;
    LARGE_INTEGER at;
    to.QuadPart = static_cast<LONGLONG>(position);
    return SetFilePointerEx(handle_, to, &at, FILE_BEGIN) &&
           static_cast<uint64_t>(at.QuadPart) == position;
  }

  uint64_t Size() override {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_, &size)) return 0;
    return static_cast<uint64_t>(size.QuadPart);
  }

  bool Sync() override { return FlushFileBuffers(handle_) != 0; }

  bool Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return true;
    BOOL ok = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return ok != 0;
  }

 private:
  HANDLE handle_;
};

// Seconds since 1970 of a file time (100 ns units since 1601, UTC); 0 when
// it does not fit the catalog's 32 bits.
uint32_t UnixTime(const FILETIME& ft) {
  const int64_t kEpochDifference = 11644473600ll;  // 1601-01-01 to 1970-01-01
  uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  int64_t seconds = static_cast<int64_t>(ticks / 10000000u) - kEpochDifference;
  return (seconds < 0 || seconds > 0xFFFFFFFFll) ? 0 : static_cast<uint32_t>(seconds);
}

// Symbolic links and junctions: following one could leave the tree or loop
// back into it.
bool IsLink(const WIN32_FIND_DATAA& data) {
  return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         IsReparseTagNameSurrogate(data.dwReserved0);
}

struct FindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};

// The system's text for the last error of this thread, without its line end.
bool Failed(std::string* error) {
  DWORD code = GetLastError();
  if (error == nullptr) return false;
  char text[512] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.')) --n;
  *error = n > 0 ? std::string(text, n) : "error " + std::to_string(code);
  return false;
}

// Only files on disk: a device name (NUL, CON, COM1, also with an
// extension) or a pipe could block or never end.
std::unique_ptr<File> DiskFile(HANDLE h, std::string* error) {
  if (h == INVALID_HANDLE_VALUE) {
    Failed(error);
    return nullptr;
  }
  std::unique_ptr<File> file(new WindowsFile(h));
  if (GetFileType(h) != FILE_TYPE_DISK) {
    if (error != nullptr) *error = "not a file on disk";
    return nullptr;
  }
  return file;
}

class WindowsEnv : public Env {
 public:
  std::unique_ptr<File> OpenRead(const std::string& path, std::string* error) override {
    return DiskFile(CreateFileA(path.c_str(), GENERIC_READ, kShareReadWrite, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr),
                    error);
  }

  std::unique_ptr<File> Create(const std::string& path, std::string* error) override {
    DWORD existing = GetFileAttributesA(path.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_REPARSE_POINT)) {
      if (error != nullptr) *error = "a link stands at the name";
      return nullptr;
    }
    return DiskFile(CreateFileA(path.c_str(), GENERIC_WRITE, kShareReadWrite, nullptr,
                                CREATE_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN, nullptr),
                    error);
  }

  // Reads through the system cache on the calling thread: Win32 has no
  // hint that starts a file's reading without waiting for it.
  void WillRead(const std::string& path, uint64_t length) override {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, kShareReadWrite | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    static const DWORD kChunk = 65536;
    std::unique_ptr<char[]> buffer(new char[kChunk]);
    DWORD got = 0;
    for (uint64_t done = 0; done < length; done += got) {
      DWORD want = static_cast<DWORD>(std::min<uint64_t>(length - done, kChunk));
      if (!ReadFile(h, buffer.get(), want, &got, nullptr) || got == 0) break;
    }
    CloseHandle(h);
  }

  ReadAheadMode ReadAheadFor(const std::string& path) override {
    char setting[4];
    DWORD n = GetEnvironmentVariableA("KORVEX_READ_AHEAD", setting, sizeof setting);
    if (n == 1 && setting[0] == '0') return ReadAheadMode::kOff;
    char root[MAX_PATH];
    if (!GetVolumePathNameA(path.empty() ? "\\" : path.c_str(), root, MAX_PATH)) {
      return ReadAheadMode::kSolid;
    }
    return GetDriveTypeA(root) == DRIVE_CDROM ? ReadAheadMode::kSeeking : ReadAheadMode::kSolid;
  }

  bool Delete(const std::string& path) override { return DeleteFileA(path.c_str()) != 0; }

  bool Rename(const std::string& from, const std::string& to, std::string* error) override {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0 ||
           Failed(error);
  }

  PathKind KindOf(const std::string& path) override {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kDirectory : PathKind::kFile;
  }

  bool SetModificationTime(const std::string& path, uint32_t seconds) override {
    // Backup semantics open directories too; a reparse point is opened itself.
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, kShareReadWrite, nullptr,
                           OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const uint64_t kEpochDifference = 11644473600ull;  // 1601-01-01 to 1970-01-01
    uint64_t ticks = (seconds + kEpochDifference) * 10000000ull;
    FILETIME written;
    written.dwLowDateTime = static_cast<DWORD>(ticks);
    written.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    BOOL ok = SetFileTime(h, nullptr, nullptr, &written);
    CloseHandle(h);
    return ok != 0;
  }

  bool MakeDirectory(const std::string& path, std::string* error) override {
    if (CreateDirectoryA(path.c_str(), nullptr)) return true;
    const bool exists = GetLastError() == ERROR_ALREADY_EXISTS;
    Failed(error);
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (!exists || attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      if (error != nullptr) *error = "a link stands at the name";
      return false;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  bool ListDirectory(const std::string& path, const std::function<void(const DirEntry&)>& visit,
                     std::string* error) override {
    std::string pattern = (path.empty() ? std::string("\\") : path) + "*";
    WIN32_FIND_DATAA data;
    HANDLE handle = FindFirstFileA(pattern.c_str(), &data);
    if (handle == INVALID_HANDLE_VALUE) {
      // The root of an empty drive has not even "." to find; anywhere else
      // that error must stay one.
      const bool root = path.empty() || path == "\\" ||
                        (path.size() == 3 && path[1] == ':' && path[2] == '\\');
      return (root && GetLastError() == ERROR_FILE_NOT_FOUND) || Failed(error);
    }
    std::unique_ptr<void, FindCloser> find(handle);
    do {
      const char* name = data.cFileName;
      if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
      DirEntry entry;
      entry.name = name;
      entry.attributes = data.dwFileAttributes & 0xFF;
      if (IsLink(data)) {
        // Cataloged as an empty file, never opened or entered.
        entry.attributes &= ~static_cast<uint32_t>(FILE_ATTRIBUTE_DIRECTORY);
        entry.time = UnixTime(data.ftLastWriteTime);
        entry.size = 0;
        entry.readable = false;
      } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        entry.time = UnixTime(data.ftCreationTime);
        entry.size = 0;
        entry.readable = false;
      } else {
        entry.time = UnixTime(data.ftLastWriteTime);
        entry.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        entry.readable = true;
      }
      visit(entry);
    } while (FindNextFileA(find.get(), &data));
    // Any other end is a read error, after the entries read before it.
    return GetLastError() == ERROR_NO_MORE_FILES || Failed(error);
  }

  void AnsiToOem(char* text) override { CharToOemA(text, text); }
  void OemToAnsi(char* text) override { OemToCharA(text, text); }
};

}  // namespace

Env* Env::Default() {
  static WindowsEnv env;
  return &env;
}

}  // namespace korvex
