#include "tests/support/memory_env.h"

#include <string.h>

#include <algorithm>

namespace korvex {
namespace test {
namespace {

std::string Parent(const std::string& path) {
  size_t slash = path.rfind(kPathSeparator);
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string Trimmed(std::string dir) {
  if (!dir.empty() && dir.back() == kPathSeparator) dir.pop_back();
  return dir;
}

// The reason every failing call of the memory file system gives.
bool NoSuchFile(std::string* error) {
  if (error != nullptr) *error = "No such file or directory";
  return false;
}

// Reads and writes the contents it shares; like a real file, a position
// past the end is allowed and reads there give 0 bytes.
class MemoryFile : public File {
 public:
  explicit MemoryFile(std::shared_ptr<std::string> data) : data_(std::move(data)) {}

  bool Read(void* buffer, size_t n, size_t* got) override {
    *got = position_ < data_->size() ? std::min(n, data_->size() - position_) : 0;
    memcpy(buffer, data_->data() + std::min(position_, data_->size()), *got);
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
  nodes_[path] = Node{time, nullptr};
}

void MemoryEnv::AddFile(const std::string& path, const std::string& contents, uint32_t time) {
  AddDir(Parent(path), time);
  nodes_[path] = Node{time, std::make_shared<std::string>(contents)};
}

const std::string* MemoryEnv::Contents(const std::string& path) const {
  auto it = nodes_.find(path);
  return it == nodes_.end() ? nullptr : it->second.data.get();
}

bool MemoryEnv::IsDir(const std::string& path) const {
  auto it = nodes_.find(path);
  return path.empty() || (it != nodes_.end() && !it->second.data);
}

std::unique_ptr<File> MemoryEnv::OpenRead(const std::string& path, std::string* error) {
  const std::string* contents = Contents(path);
  if (contents == nullptr) return NoSuchFile(error), nullptr;
  // A snapshot: later writes and replacements do not reach this reader.
  return std::make_unique<MemoryFile>(std::make_shared<std::string>(*contents));
}

std::unique_ptr<File> MemoryEnv::Create(const std::string& path, std::string* error) {
  if (path.empty() || IsDir(path) || !IsDir(Parent(path))) return NoSuchFile(error), nullptr;
  Node& node = nodes_[path] = Node{1000000000u, std::make_shared<std::string>()};
  return std::make_unique<MemoryFile>(node.data);
}

bool MemoryEnv::Delete(const std::string& path) {
  return Contents(path) != nullptr && nodes_.erase(path) == 1;
}

bool MemoryEnv::Rename(const std::string& from, const std::string& to, std::string* error) {
  if (Contents(from) == nullptr || IsDir(to) || !IsDir(Parent(to))) return NoSuchFile(error);
  Node node = nodes_[from];
  nodes_.erase(from);
  nodes_[to] = node;
  return true;
}

PathKind MemoryEnv::KindOf(const std::string& path) {
  if (IsDir(path)) return PathKind::kDirectory;
  return Contents(path) ? PathKind::kFile : PathKind::kMissing;
}

bool MemoryEnv::SetModificationTime(const std::string& path, uint32_t seconds) {
  auto it = nodes_.find(path);
  return it != nodes_.end() && (it->second.time = seconds, true);
}

bool MemoryEnv::MakeDirectory(const std::string& path, std::string* error) {
  const std::string dir = Trimmed(path);
  if (IsDir(dir)) return true;
  if (nodes_.count(dir) != 0 || !IsDir(Parent(dir))) return NoSuchFile(error);
  nodes_[dir] = Node{0, nullptr};
  return true;
}

bool MemoryEnv::ListDirectory(const std::string& path,
                              const std::function<void(const DirEntry&)>& visit,
                              std::string* error) {
  const std::string dir = Trimmed(path);
  if (!IsDir(dir)) return NoSuchFile(error);
  const std::string prefix = dir.empty() ? dir : dir + kPathSeparator;
  // Collected first: a visitor may change the file system.
  std::vector<std::pair<std::string, Node>> entries;
  for (auto it = nodes_.lower_bound(prefix);
       it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    if (it->first.size() > prefix.size() &&
        it->first.find(kPathSeparator, prefix.size()) == std::string::npos) {
      entries.emplace_back(it->first.substr(prefix.size()), it->second);
    }
  }
  for (const auto& e : entries) {
    const bool isDir = !e.second.data;
    visit(DirEntry{e.first.c_str(), isDir ? 0x10u : 0x20u, e.second.time,
                   isDir ? 0 : e.second.data->size(), !isDir});
  }
  return true;
}

}  // namespace test
}  // namespace korvex
