#include "catalog/reuse.h"

#include <algorithm>

#include "catalog/crc32.h"
#include "catalog/format.h"
#include "catalog/reader.h"
#include "catalog/reuse_index.h"
#include "catalog/store_reader.h"
#include "catalog/tree.h"
#include "platform/env.h"

namespace korvex {
namespace {

struct Candidate {
  const FileNode* file;
  const ReuseIndex::Entry* entry;
  bool stored;  // to be stored: wants the earlier contents
};

// Walks the new tree with each file's key, as the index spells it.
class Pairing {
 public:
  Pairing(Env& env, const ReuseIndex& index, bool storing, bool calc)
      : env_(env), index_(index), storing_(storing), calc_(calc) {}

  void Directory(const DirNode& dir, std::string* key) {
    const size_t base = key->size();
    for (const FileNode& file : dir.files) {
      Append(key, base, file.name(), file.nameLength(), false);
      Consider(file, *key);
    }
    for (const auto& sub : dir.subdirectories) {
      Append(key, base, sub->name.c_str(), sub->name.size(), true);
      Directory(*sub, key);
    }
    key->resize(base);
  }

  std::vector<Candidate> candidates;

 private:
  void Append(std::string* key, size_t base, const char* name, size_t length, bool isDir) {
    key->resize(base);
    ReuseIndex::AppendKey(key, name, length, isDir);
    // The catalog will hold the name in the OEM code page.
    env_.AnsiToOem(&(*key)[base + 1]);
  }

  void Consider(const FileNode& file, const std::string& key) {
    const bool stored = storing_ && (file.attributes & kAttrStored);
    // Only files the pass would read; links and devices it never opens.
    if (!file.readable || !(stored || calc_)) return;
    const ReuseIndex::Entry* entry = index_.Find(key);
    if (entry == nullptr || entry->size != file.size32() || entry->time != file.time) return;
    // A CRC of 0 may stand for a file that could not be read then.
    if (stored ? entry->storedIndex < 0 : !index_.hasCrc() || entry->crc == 0) return;
    candidates.push_back(Candidate{&file, entry, stored});
  }

  Env& env_;
  const ReuseIndex& index_;
  const bool storing_;
  const bool calc_;
};


}  // namespace

ReuseSource::ReuseSource() = default;
ReuseSource::~ReuseSource() = default;

void ReuseSource::Build(Env& env, const CatalogReader& old, BlockReader& reader,
                        const DirNode& root, const ScanOptions& options, bool calc) {
  ReuseIndex index;
  index.Build(old.Tree(), old.TreeLength(), old.HasCrc());
  Pairing pairing(env, index, options.storageEnabled, calc);
  std::string key;
  pairing.Directory(root, &key);
  const bool wantsStore = std::any_of(pairing.candidates.begin(), pairing.candidates.end(),
                                      [](const Candidate& c) { return c.stored; });
  store_.reset(new StoreReader(env, old, 0));
  if (wantsStore && !store_->HoldAll(reader)) storeDamaged_ = true;
  files_.reserve(pairing.candidates.size());
  for (const Candidate& c : pairing.candidates) {
    ReusedFile reused{c.file, c.entry->crc, nullptr};
    if (c.stored) {
      if (storeDamaged_) continue;
      reused.contents = store_->HeldContents(c.entry->storedIndex, c.file->size32());
      if (reused.contents == nullptr) continue;
      reused.crc = crc32::Value(reused.contents, c.file->size32());
      // An entry whose CRC disagrees with its own stored bytes is not trusted.
      if (index.hasCrc() && reused.crc != c.entry->crc) continue;
      storedBytes_ += c.file->size;
    }
    bytes_ += c.file->size;
    files_.push_back(reused);
  }
}

const ReusedFile* ReuseSource::Next(const FileNode& file) {
  if (next_ == files_.size() || files_[next_].file != &file) return nullptr;
  return &files_[next_++];
}

bool ReuseSource::AheadReuses(const FileNode& file) {
  if (ahead_ == files_.size() || files_[ahead_].file != &file) return false;
  ++ahead_;
  return true;
}

}  // namespace korvex
