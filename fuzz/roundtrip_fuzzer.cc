// A tree decoded from the input is serialized, written as a catalog file and
// read back: the reader must return every record as it was built, in the
// writer's order, and the tree block must fill exactly the measured length.
#include <memory>
#include <string>
#include <vector>

#include "catalog/catalog_file.h"
#include "catalog/coding.h"
#include "catalog/crc32.h"
#include "catalog/progress.h"
#include "catalog/reader.h"
#include "catalog/serializer.h"
#include "catalog/tree.h"
#include "fuzz/harness.h"
#include "tests/support/memory_env.h"

namespace korvex {
namespace fuzz {
namespace {

const int kMaxDepth = 40;
const int kMaxRecords = 1000;

// Reads the input front to back; running out ends the tree.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Byte(uint8_t* b) { return pos_ < size_ && (*b = data_[pos_++], true); }
  bool Word(uint32_t* w) {
    return size_ - pos_ >= 4 && (*w = DecodeFixed32(data_ + pos_), pos_ += 4, true);
  }
  // 1 to 16 bytes, none of them 0x00 or a backslash.
  bool Name(std::string* name) {
    uint8_t length;
    if (!Byte(&length)) return false;
    name->clear();
    for (int i = 0; i < 1 + length % 16; ++i) {
      uint8_t c;
      if (!Byte(&c)) return false;
      name->push_back(c == 0 ? '_' : c == '\\' ? '|' : static_cast<char>(c));
    }
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// A record as text; names hold no 0x00, so neither path nor record can run
// into the next.
std::string Record(const std::string& path, uint8_t attributes, uint32_t time, uint32_t size,
                   uint32_t crc) {
  return path + '\0' + std::to_string(attributes) + " " + std::to_string(time) + " " +
         std::to_string(size) + " " + std::to_string(crc) + '\0';
}

// The writer's order: a directory's files, then each subdirectory whole.
std::string Expect(const DirNode& dir, const std::string& path, bool withCrc) {
  std::string records;
  for (const FileNode& f : dir.files) {
    records += Record(path + f.name(), f.attributes, f.time, f.size32(), withCrc ? f.crc : 0);
  }
  for (const auto& sub : dir.subdirectories) {
    records += Record(path + sub->name + "\\", sub->attributes, sub->time, 0, 0) +
               Expect(*sub, path + sub->name + "\\", withCrc);
  }
  return records;
}

}  // namespace
}  // namespace fuzz
}  // namespace korvex

int korvex::fuzz::RoundTripTarget(const uint8_t* data, size_t size) {
  using namespace korvex;
  Input in(data, size);
  uint8_t flags;
  if (!in.Byte(&flags)) return 0;
  const bool withCrc = flags & 1;
  const bool withStore = flags & 2;

  test::MemoryEnv env;
  ProgressObserver quiet;
  ScanContext ctx(env, quiet);
  auto names = std::make_shared<NamePool>();
  DirNode root;
  std::vector<DirNode*> open = {&root};
  int fileCount = 0;
  uint8_t op;
  for (int records = 0; records < kMaxRecords && in.Byte(&op); ++records) {
    if (op % 4 == 0) {
      if (open.size() > 1) open.pop_back();
      continue;
    }
    std::string name;
    uint8_t attributes;
    uint32_t time;
    if (!in.Name(&name) || !in.Byte(&attributes) || !in.Word(&time)) break;
    DirEntry entry{name.c_str(), attributes, time, 0, true};
    if (op % 4 == 2) {
      if (open.size() > kMaxDepth) continue;
      entry.attributes |= kAttrDirectory;
      open.back()->subdirectories.emplace_back(new DirNode(ctx, names, entry));
      open.push_back(open.back()->subdirectories.back().get());
      continue;
    }
    uint32_t fileSize, crc;
    if (!in.Word(&fileSize) || !in.Word(&crc)) break;
    entry.size = fileSize;
    FileNode file(ctx, *names, entry);
    file.attributes = attributes & ~kAttrDirectory;  // the stored flag too
    file.crc = crc;
    open.back()->files.push_back(std::move(file));
    ++fileCount;
  }

  const uint64_t length = TreeSize(root) - (withCrc ? 0 : 4ull * fileCount);
  std::vector<unsigned char> buffer(kHeaderSize + length);
  unsigned char* end = WriteTree(root, withCrc, buffer.data() + kHeaderSize);
  Require(end == buffer.data() + buffer.size(), "the tree block fills its measured length");
  CatalogHeader header;
  header.treeCrc = crc32::Value(buffer.data() + kHeaderSize, length);
  header.treeLength = static_cast<uint32_t>(length);
  header.withCrc = withCrc;
  header.EncodeTo(buffer.data());
  const unsigned char noData = 0;
  Require(WriteCatalogFile(env, "rt.dir", buffer.data(), buffer.size(),
                           withStore ? &noData : nullptr, 0),
          "the catalog is written");

  CatalogReader reader(env);
  Require(reader.Load("rt.dir"), "a written catalog loads");
  Require(reader.HasCrc() == withCrc && reader.TreeLength() == length &&
              reader.CatalogSize() == buffer.size() + (withStore ? kStoreHeadSize : 0),
          "the header comes back");
  std::string records;
  while (const EntryInfo* r = reader.NextRecord()) {
    records += Record(reader.CurrentPath(), r->attributes, r->time, r->size, r->crc);
  }
  Require(records == Expect(root, "\\", withCrc), "every record comes back as it was written");
  return 0;
}
