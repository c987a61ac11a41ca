// A catalog given as bytes, both CRCs resealed: every stored record is
// fetched in both modes and must come back exactly as the bytes locate it,
// or be refused when they do not locate it inside the data area; the
// extract command must agree with the fetch.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "catalog/coding.h"
#include "catalog/format.h"
#include "catalog/progress.h"
#include "catalog/reader.h"
#include "fuzz/harness.h"

namespace korvex {
namespace fuzz {
namespace {

const size_t kMaxFetches = 8;

// The contents of stored file `index` found by following the format from
// the raw bytes; false when any step leaves the data area or the bytes.
bool Locate(const std::string& bytes, const Layout& l, int32_t index, std::string* contents) {
  if (!l.hasStoreHead) return false;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const uint64_t size = bytes.size();
  const uint64_t dataStart = kHeaderSize + uint64_t{l.treeLength} + kStoreHeadSize;
  if (p[dataStart - 1] != kStoreMarker) return false;
  const uint64_t slot = 4 * uint64_t(index);
  if (slot + 4 > l.dataLength || dataStart + slot + 4 > size) return false;
  const uint64_t offset = DecodeFixed32(p + dataStart + slot);
  if (offset + 4 > l.dataLength || dataStart + offset + 4 > size) return false;
  const uint64_t length = DecodeFixed32(p + dataStart + offset);
  if (offset + 4 + length > l.dataLength || dataStart + offset + 4 + length > size) return false;
  contents->assign(bytes, dataStart + offset + 4, length);
  return true;
}

bool EqualIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = (a[i] >= 'a' && a[i] <= 'z') ? a[i] - 32 : a[i];
    char y = (b[i] >= 'a' && b[i] <= 'z') ? b[i] - 32 : b[i];
    if (x != y) return false;
  }
  return true;
}

bool SafeName(const std::string& name) {
  if (name == "." || name == "..") return false;
  for (char c : name) {
    if (c == '/' || c == '\\') return false;
#ifdef _WIN32
    if (c == ':') return false;
#endif
  }
  return true;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

struct Stored {
  std::string path;  // without the leading backslash
  std::string name;
  bool isDir;
  bool firstWithItsPath;
  bool directOk;
  bool checkedOk;
  std::string contents;
};

void CheckExtract(MemoryEnv& env, const Stored& s, bool fast) {
  std::vector<std::string> args = {"e", "/overwrite"};
  if (fast) args.push_back("/fast");
  args.insert(args.end(), {"cat.dir", s.path, "out/"});
  Outcome o = Run(env, args);
  Require(EndsWith(o.out, ")\n") && o.out.find("extracting ") != std::string::npos,
          "an extraction ends with one result");
  const std::string target = "out/" + s.name;
  if (fast ? s.directOk : s.checkedOk) {
    Require(EndsWith(o.out, fast ? "Ok (extract: no check/size only, overriden by '/fast')\n"
                                 : "Ok (extract: check by CRC32)\n") &&
                o.code == 0,
            "a record that fetches extracts");
    const std::string* written = env.Contents(target);
    Require(written != nullptr && *written == s.contents, "the target holds the fetched bytes");
    env.Delete(target);
  } else {
    Require(EndsWith(o.out, "Fail (extract: cannot extract due corrupted file)\n") &&
                o.code == 3,
            "a record that does not fetch is reported damaged");
    Require(env.Contents(target) == nullptr, "a refused extraction writes nothing");
  }
}

}  // namespace
}  // namespace fuzz
}  // namespace korvex

int korvex::fuzz::FetchTarget(const uint8_t* data, size_t size) {
  using namespace korvex;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  SealTree(&bytes);
  SealStore(&bytes);
  const Layout layout = Inspect(bytes);
  MemoryEnv env;
  env.AddFile("cat.dir", bytes);
  env.AddDir("out");

  CatalogReader reader(env);
  if (!reader.Load("cat.dir")) return 0;
  ProgressObserver quiet;
  std::vector<std::string> paths;
  std::vector<Stored> stored;
  while (const char* name = reader.NextEntry()) {
    std::string path = reader.CurrentPath().substr(1);
    bool first = true;
    for (const std::string& p : paths) first = first && !EqualIgnoringAsciiCase(p, path);
    paths.push_back(path);
    EntryInfo info;
    reader.DecodeEntry(name, &info);
    if (!(info.attributes & kAttrStored) || stored.size() == kMaxFetches) continue;

    std::string expected;
    const bool located = Locate(bytes, layout, reader.StoredOrdinal(), &expected);
    std::vector<unsigned char> direct;
    const bool directOk = reader.FetchStored(false, quiet, &direct);
    std::vector<unsigned char> checked;
    const bool checkedOk = reader.FetchStored(true, quiet, &checked);

    if (directOk) {
      Require(located && std::string(direct.begin(), direct.end()) == expected,
              "a direct fetch returns the located record");
    } else {
      // Where the data area runs past the file, refusing is also right.
      Require(!located || !layout.hasData, "a located record fetches directly");
    }
    Require(checkedOk == (located && layout.hasData), "a checked fetch succeeds on a sound store");
    if (checkedOk) {
      Require(std::string(checked.begin(), checked.end()) == expected,
              "a checked fetch returns the located record");
    }
    const bool isDir = (info.attributes & kAttrDirectory) != 0;
    stored.push_back(Stored{path, name, isDir, first, directOk, checkedOk, expected});
  }

  for (const Stored& s : stored) {
    if (s.isDir || !s.firstWithItsPath || !SafeName(s.name) ||
        s.path.find('/') != std::string::npos) {
      continue;
    }
    CheckExtract(env, s, false);
    CheckExtract(env, s, true);
    break;
  }
  return 0;
}
