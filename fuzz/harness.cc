#include "fuzz/harness.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "catalog/coding.h"
#include "catalog/crc32.h"
#include "catalog/format.h"
#include "cli/context.h"
#include "cli/korvex.h"

namespace korvex {
namespace fuzz {
namespace {

std::string Parent(const std::string& path) {
  size_t slash = path.rfind(kPathSeparator);
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Reads from a snapshot; writes go straight into the file's contents.
class MemoryFile : public File {
 public:
  explicit MemoryFile(std::shared_ptr<std::string> data) : data_(std::move(data)) {}

  bool Read(void* buffer, size_t n, size_t* got) override {
    size_t have = position_ < data_->size() ? data_->size() - position_ : 0;
    *got = std::min(n, have);
    if (*got > 0) memcpy(buffer, data_->data() + position_, *got);
    position_ += *got;
    return true;
  }
  bool Write(const void* bytes, size_t n) override {
    if (position_ > data_->size()) data_->resize(position_);
    data_->replace(position_, std::min(n, data_->size() - position_),
                   static_cast<const char*>(bytes), n);
    position_ += n;
    return true;
  }
  // Like a real file, a position past the end is allowed; reads there give 0.
  bool Seek(uint64_t position) override {
    position_ = static_cast<size_t>(position);
    return position_ == position;
  }
  uint64_t Size() override { return data_->size(); }
  bool Sync() override { return true; }
  bool Close() override { return true; }

 private:
  std::shared_ptr<std::string> data_;
  size_t position_ = 0;
};

}  // namespace

void MemoryEnv::AddDir(const std::string& path, uint32_t time) {
  if (path.empty() || IsDir(path)) return;
  AddDir(Parent(path), time);
  nodes_[path] = Node{true, time, nullptr};
}

void MemoryEnv::AddFile(const std::string& path, const std::string& contents, uint32_t time) {
  AddDir(Parent(path), time);
  nodes_[path] = Node{false, time, std::make_shared<std::string>(contents)};
}

const std::string* MemoryEnv::Contents(const std::string& path) const {
  auto it = nodes_.find(path);
  return (it == nodes_.end() || it->second.isDir) ? nullptr : it->second.data.get();
}

std::vector<std::string> MemoryEnv::Paths() const {
  std::vector<std::string> paths;
  for (const auto& node : nodes_) paths.push_back(node.first);
  return paths;
}

bool MemoryEnv::IsDir(const std::string& path) const {
  if (path.empty()) return true;  // the current directory
  auto it = nodes_.find(path);
  return it != nodes_.end() && it->second.isDir;
}

namespace {

// The reason every failing call of the memory file system gives.
bool NoSuchFile(std::string* error) {
  if (error != nullptr) *error = "No such file or directory";
  return false;
}

}  // namespace

std::unique_ptr<File> MemoryEnv::OpenRead(const std::string& path, std::string* error) {
  auto it = nodes_.find(path);
  if (it == nodes_.end() || it->second.isDir) {
    NoSuchFile(error);
    return nullptr;
  }
  // A snapshot: later writes and replacements do not reach this reader.
  return std::unique_ptr<File>(new MemoryFile(std::make_shared<std::string>(*it->second.data)));
}

std::unique_ptr<File> MemoryEnv::Create(const std::string& path, std::string* error) {
  if (path.empty() || IsDir(path) || !IsDir(Parent(path))) {
    NoSuchFile(error);
    return nullptr;
  }
  Node& node = nodes_[path];
  node = Node{false, 1000000000u, std::make_shared<std::string>()};
  return std::unique_ptr<File>(new MemoryFile(node.data));
}

bool MemoryEnv::Delete(const std::string& path) {
  auto it = nodes_.find(path);
  if (it == nodes_.end() || it->second.isDir) return false;
  nodes_.erase(it);
  return true;
}

bool MemoryEnv::Rename(const std::string& from, const std::string& to, std::string* error) {
  auto it = nodes_.find(from);
  if (it == nodes_.end() || it->second.isDir || IsDir(to) || !IsDir(Parent(to))) {
    return NoSuchFile(error);
  }
  Node node = it->second;
  nodes_.erase(it);
  nodes_[to] = node;
  return true;
}

PathKind MemoryEnv::KindOf(const std::string& path) {
  auto it = nodes_.find(path);
  if (it == nodes_.end()) return path.empty() ? PathKind::kDirectory : PathKind::kMissing;
  return it->second.isDir ? PathKind::kDirectory : PathKind::kFile;
}

bool MemoryEnv::SetModificationTime(const std::string& path, uint32_t seconds) {
  auto it = nodes_.find(path);
  if (it == nodes_.end()) return false;
  it->second.time = seconds;
  return true;
}

bool MemoryEnv::MakeDirectory(const std::string& path, std::string* error) {
  std::string dir = path;
  if (!dir.empty() && dir.back() == kPathSeparator) dir.pop_back();
  if (IsDir(dir)) return true;
  if (nodes_.count(dir) != 0 || !IsDir(Parent(dir))) return NoSuchFile(error);
  nodes_[dir] = Node{true, 0, nullptr};
  return true;
}

bool MemoryEnv::ListDirectory(const std::string& path,
                              const std::function<void(const DirEntry&)>& visit,
                              std::string* error) {
  std::string dir = path;
  if (!dir.empty() && dir.back() == kPathSeparator) dir.pop_back();
  if (!IsDir(dir)) return NoSuchFile(error);
  const std::string prefix = dir.empty() ? dir : dir + kPathSeparator;
  // Collected first: a visitor may change the file system.
  std::vector<std::pair<std::string, Node>> entries;
  for (auto it = nodes_.lower_bound(prefix); it != nodes_.end(); ++it) {
    const std::string& name = it->first;
    if (name.compare(0, prefix.size(), prefix) != 0) break;
    if (name.size() == prefix.size() ||
        name.find(kPathSeparator, prefix.size()) != std::string::npos) {
      continue;
    }
    entries.emplace_back(name.substr(prefix.size()), it->second);
  }
  for (const auto& entry : entries) {
    const Node& node = entry.second;
    DirEntry d;
    d.name = entry.first.c_str();
    d.attributes = node.isDir ? 0x10 : 0x20;
    d.time = node.time;
    d.size = node.isDir ? 0 : node.data->size();
    d.readable = !node.isDir;
    visit(d);
  }
  return true;
}

Outcome Run(Env& env, std::vector<std::string> args) {
  RecordingConsole console;
  Context ctx(env, console);
  args.insert(args.begin(), "korvex");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  int code = RunKorvex(ctx, static_cast<int>(args.size()), argv.data());
  return Outcome{code, std::move(console.out), std::move(console.err)};
}

Layout Inspect(const std::string& catalog) {
  Layout l;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(catalog.data());
  const uint64_t size = catalog.size();
  // The magic is not asked for: damaged catalogs are laid out too.
  if (size < kHeaderSize) return l;
  l.hasHeader = true;
  const uint32_t word = DecodeFixed32(p + kTreeLengthOffset);
  l.treeLength = word & kTreeLengthMask;
  l.withCrc = (word & kCrcFlag) != 0;
  const uint64_t storeStart = kHeaderSize + uint64_t{l.treeLength};
  l.hasTree = storeStart <= size;
  if (storeStart + kStoreHeadSize > size) return l;
  l.hasStoreHead = true;
  l.dataLength = DecodeFixed32(p + storeStart + 4);
  l.hasData = storeStart + kStoreHeadSize + l.dataLength <= size;
  return l;
}

void SealTree(std::string* catalog) {
  Layout l = Inspect(*catalog);
  if (!l.hasTree) return;
  unsigned char* p = reinterpret_cast<unsigned char*>(&(*catalog)[0]);
  EncodeFixed32(p + kTreeCrcOffset, crc32::Value(p + kHeaderSize, l.treeLength));
}

void SealStore(std::string* catalog) {
  Layout l = Inspect(*catalog);
  if (!l.hasData) return;
  unsigned char* store = reinterpret_cast<unsigned char*>(&(*catalog)[0]) + kHeaderSize +
                         l.treeLength;
  EncodeFixed32(store, crc32::Value(store + kStoreHeadSize, l.dataLength));
}

void Require(bool ok, const char* what) {
  if (ok) return;
  fprintf(stderr, "invariant broken: %s\n", what);
  abort();
}

}  // namespace fuzz
}  // namespace korvex
