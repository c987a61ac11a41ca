#include "catalog/compare_tree.h"

#include <string.h>

#include <algorithm>
#include <tuple>
#include <utility>

#include "catalog/format.h"
#include "catalog/reader.h"
#include "catalog/catalog_format.h"
#include "platform/env.h"

namespace korvex {
namespace {

// Orders a directory's entries by name; equal names (only a crafted catalog
// has them) by every other field, so the order never depends on the source's.
struct EntryOrder {
  const std::vector<CompareTree::Entry>& entries;
  bool operator()(uint32_t x, uint32_t y) const {
    const CompareTree::Entry& a = entries[x];
    const CompareTree::Entry& b = entries[y];
    int c = strcmp(a.name, b.name);
    if (c != 0) return c < 0;
    return std::make_tuple(a.isDir(), a.size, a.crc, a.time, a.attributes) <
           std::make_tuple(b.isDir(), b.size, b.crc, b.time, b.attributes);
  }
};

CompareTree::Entry MakeEntry(const char* name, const char* fsName, uint8_t attributes,
                             uint32_t time, uint64_t size, uint32_t crc, bool readable) {
  CompareTree::Entry e;
  e.name = name;
  e.fsName = fsName;
  e.size = size;
  e.parent = 0;
  e.time = time;
  e.crc = crc;
  e.attributes = attributes;
  e.readable = readable;
  return e;
}

}  // namespace

uint32_t CompareTree::Add(uint32_t parent, const Entry& entry) {
  entries_.push_back(entry);
  entries_.back().parent = parent;
  return static_cast<uint32_t>(entries_.size() - 1);
}

void CompareTree::Finish() {
  // Sources list a directory before what lies below it, so one backward
  // sweep sums the counts below.
  for (size_t i = entries_.size(); i-- > 1;) {
    Entry& parent = entries_[entries_[i].parent];
    parent.childCount++;
    parent.below += 1 + entries_[i].below;
  }
  uint32_t next = 0;
  for (Entry& e : entries_) {
    e.firstChild = next;
    next += e.childCount;
    e.childCount = 0;
  }
  children_.resize(next);
  for (size_t i = 1; i < entries_.size(); ++i) {
    Entry& parent = entries_[entries_[i].parent];
    children_[parent.firstChild + parent.childCount++] = static_cast<uint32_t>(i);
  }
  EntryOrder order{entries_};
  for (const Entry& e : entries_) {
    uint32_t* first = children_.data() + e.firstChild;
    if (!std::is_sorted(first, first + e.childCount, order)) {
      std::sort(first, first + e.childCount, order);
    }
  }
}

std::unique_ptr<CompareTree> CompareTree::FromCatalog(const CatalogReader& reader) {
  std::unique_ptr<CompareTree> tree(new CompareTree);
  tree->hasCrc_ = reader.HasCrc();
  tree->Add(0, MakeEntry("", "", kAttrDirectory, 0, 0, 0, true));
  // The open directories, the root first.
  std::vector<uint32_t> open{0};
  RecordCursor cursor(reader.Tree(), reader.TreeLength(), reader.HasCrc());
  for (cursor.SeekToFirst(); cursor.Valid(); cursor.Next()) {
    const TreeRecord& r = cursor.record();
    if (r.kind == TreeRecord::kEnd) {
      if (open.size() > 1) open.pop_back();
      continue;
    }
    uint32_t index =
        tree->Add(open.back(), MakeEntry(r.name, r.name, r.attributes, r.time, r.size, r.crc, true));
    if (r.kind == TreeRecord::kDirectory) open.push_back(index);
  }
  tree->Finish();
  return tree;
}

void CompareTree::AddScanned(Env& env, const DirNode& dir, uint32_t index) {
  auto converted = [&](const char* name, size_t length) {
    char* copy = names_.Add(name, length);
    env.AnsiToOem(copy);
    return copy;
  };
  for (const FileNode& file : dir.files) {
    Add(index, MakeEntry(converted(file.name(), file.nameLength()), file.name(),
                         file.attributes, file.time, file.size, 0, file.readable));
  }
  for (const auto& sub : dir.subdirectories) {
    Entry e = MakeEntry(converted(sub->name.c_str(), sub->name.size()), sub->name.c_str(),
                        sub->attributes, sub->time, 0, 0, sub->listed);
    AddScanned(env, *sub, Add(index, e));
  }
}

std::unique_ptr<CompareTree> CompareTree::FromScan(Env& env, const DirNode& root) {
  std::unique_ptr<CompareTree> tree(new CompareTree);
  tree->AddScanned(env, root, tree->Add(0, MakeEntry("", "", kAttrDirectory, 0, 0, 0, true)));
  tree->Finish();
  return tree;
}

}  // namespace korvex
