// Makes the benchmark trees of goals.sh, the same bytes on every run: names,
// sizes, contents and modification times come from fixed seeds.
//
//   korvex_maketree big DIR     1 GiB in four large files, two of them in a
//                               subdirectory
//   korvex_maketree scan DIR    200,000 files in 2,000 directories; sizes are
//                               holes, so the tree costs no data blocks
//   korvex_maketree small DIR   100,000 files of 0 to 2,047 bytes in 1,000
//                               directories; about one in five repeats the
//                               contents of an earlier one
//   korvex_maketree many DIR    1,000,000 files in 10,000 directories; most
//                               are empty, the rest holes of up to 2 MiB
//   korvex_maketree cold DIR    200,000 files of 0 to 8,191 bytes of data in
//                               2,000 directories: a medium of small files,
//                               read from the device when the caches are cold
//
// DIR must not exist yet.
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// splitmix64: small, fast, and the same everywhere.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint64_t Below(uint64_t n) { return Next() % n; }
  void Fill(unsigned char* out, size_t n) {
    for (size_t i = 0; i < n; i += 8) {
      uint64_t v = Next();
      size_t take = n - i < 8 ? n - i : 8;
      memcpy(out + i, &v, take);
    }
  }

 private:
  uint64_t state_;
};

// Around 2001, a second apart, so listings and catalogs never depend on when
// the tree was made.
const int64_t kBaseTime = 1000000000;

bool Fail(const std::string& what) {
  fprintf(stderr, "korvex_maketree: %s: %s\n", what.c_str(), strerror(errno));
  return false;
}

bool MakeDir(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0) return Fail("mkdir " + path);
  return true;
}

// Creates path with `size` bytes: the given contents, or a hole when
// contents is null.
bool MakeFile(const std::string& path, const unsigned char* contents, uint64_t size,
              int64_t mtime) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return Fail("create " + path);
  bool ok = true;
  if (contents != nullptr) {
    for (uint64_t done = 0; ok && done < size;) {
      ssize_t w = write(fd, contents + done, size - done);
      ok = w > 0;
      done += ok ? static_cast<uint64_t>(w) : 0;
    }
  } else if (size > 0) {
    ok = ftruncate(fd, static_cast<off_t>(size)) == 0;
  }
  struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
  ok = ok && futimens(fd, times) == 0;
  if (close(fd) != 0) ok = false;
  return ok || Fail("write " + path);
}

// Names as media hold them: a few stems, numbered, with common extensions.
std::string FileName(Random& random, int index) {
  static const char* const kStems[] = {"file", "IMG_", "track", "Readme", "setup",
                                       "photo", "doc", "DATA", "notes", "backup"};
  static const char* const kExtensions[] = {".txt", ".JPG", ".mp3", ".doc", ".dat",
                                            ".nfo", ".EXE", ".zip", ".html", ""};
  char name[64];
  snprintf(name, sizeof name, "%s%03d%s", kStems[random.Below(10)], index,
           kExtensions[random.Below(10)]);
  return name;
}

std::string DirName(int index) {
  char name[32];
  snprintf(name, sizeof name, "dir%04d", index);
  return name;
}

bool MakeBig(const std::string& root) {
  // Sizes add up to 1 GiB; none is a whole number of 256 KiB blocks.
  const uint64_t kSizes[] = {419430400 + 1234, 314572800 - 1234, 209715200 + 777,
                             130023424 - 777};
  const char* const kNames[] = {"disc1.iso", "disc2.iso", "sub/video.mkv", "sub/archive.zip"};
  if (!MakeDir(root) || !MakeDir(root + "/sub")) return false;
  Random random(1);
  std::vector<unsigned char> block(1 << 20);
  for (int i = 0; i < 4; ++i) {
    std::string path = root + "/" + kNames[i];
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return Fail("create " + path);
    for (uint64_t done = 0; done < kSizes[i];) {
      size_t n = kSizes[i] - done < block.size() ? kSizes[i] - done : block.size();
      random.Fill(block.data(), n);
      if (write(fd, block.data(), n) != static_cast<ssize_t>(n)) {
        close(fd);
        return Fail("write " + path);
      }
      done += n;
    }
    struct timespec times[2] = {{kBaseTime + i, 0}, {kBaseTime + i, 0}};
    if (futimens(fd, times) != 0 || close(fd) != 0) return Fail("close " + path);
  }
  return true;
}

// dirs directories of perDir files each; size(random) gives each file's
// size, made as a hole.
template <typename SizeOf>
bool MakeWide(const std::string& root, int dirs, int perDir, uint64_t seed, SizeOf size) {
  if (!MakeDir(root)) return false;
  Random random(seed);
  for (int d = 0; d < dirs; ++d) {
    std::string dir = root + "/" + DirName(d);
    if (!MakeDir(dir)) return false;
    for (int f = 0; f < perDir; ++f) {
      std::string path = dir + "/" + FileName(random, f);
      uint64_t bytes = size(random);
      if (!MakeFile(path, nullptr, bytes, kBaseTime + static_cast<int64_t>(random.Below(1 << 28)))) {
        return false;
      }
    }
  }
  return true;
}

bool MakeScan(const std::string& root) {
  return MakeWide(root, 2000, 100, 2, [](Random& r) { return r.Below(1 << 20); });
}

bool MakeMany(const std::string& root) {
  // 80% empty, 19% under 1,000 bytes, 1% under 40,000, and one in ten
  // thousand between 1 and 2 MiB: all sizes of the listing's columns, and
  // under 0.5 GB to read for a full create.
  return MakeWide(root, 10000, 100, 3, [](Random& r) -> uint64_t {
    uint64_t pick = r.Below(10000);
    if (pick < 8000) return 0;
    if (pick < 9900) return 1 + r.Below(999);
    if (pick < 9999) return 1000 + r.Below(39000);
    return (1 << 20) + r.Below(1 << 20);
  });
}

bool MakeSmall(const std::string& root) {
  // Each file takes one of 200,000 contents at random: about 79,000 are
  // used, so one file in five repeats an earlier one, and many share a size.
  const int kDistinct = 200000;
  if (!MakeDir(root)) return false;
  Random random(4);
  std::vector<unsigned char> contents(2048);
  for (int d = 0; d < 1000; ++d) {
    std::string dir = root + "/" + DirName(d);
    if (!MakeDir(dir)) return false;
    for (int f = 0; f < 100; ++f) {
      uint64_t which = random.Below(kDistinct);
      Random bytes(0x5EED0000 + which);
      uint64_t size = bytes.Below(2048);
      bytes.Fill(contents.data(), size);
      std::string path = dir + "/" + FileName(random, f);
      if (!MakeFile(path, contents.data(), size, kBaseTime + static_cast<int64_t>(which))) {
        return false;
      }
    }
  }
  return true;
}

bool MakeCold(const std::string& root) {
  if (!MakeDir(root)) return false;
  Random random(5);
  std::vector<unsigned char> contents(8192);
  for (int d = 0; d < 2000; ++d) {
    std::string dir = root + "/" + DirName(d);
    if (!MakeDir(dir)) return false;
    for (int f = 0; f < 100; ++f) {
      uint64_t size = random.Below(8192);
      random.Fill(contents.data(), size);
      std::string path = dir + "/" + FileName(random, f);
      if (!MakeFile(path, contents.data(), size, kBaseTime + static_cast<int64_t>(random.Below(1 << 28)))) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: korvex_maketree big|scan|small|many|cold DIR\n");
    return 2;
  }
  std::string kind = argv[1];
  std::string root = argv[2];
  bool ok;
  if (kind == "big") {
    ok = MakeBig(root);
  } else if (kind == "scan") {
    ok = MakeScan(root);
  } else if (kind == "small") {
    ok = MakeSmall(root);
  } else if (kind == "many") {
    ok = MakeMany(root);
  } else if (kind == "cold") {
    ok = MakeCold(root);
  } else {
    fprintf(stderr, "korvex_maketree: unknown tree %s\n", kind.c_str());
    return 2;
  }
  return ok ? 0 : 1;
}
