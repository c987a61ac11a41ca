#include "catalog/catalog_names.h"

#include <string.h>

#include <algorithm>

#include "platform/env.h"

namespace korvex {
namespace {

bool IsCatalogName(const std::string& name) {
  if (name.size() < 4) return false;
  const char* end = name.c_str() + name.size() - 4;
  return end[0] == '.' && (end[1] | 0x20) == 'd' && (end[2] | 0x20) == 'i' &&
         (end[3] | 0x20) == 'r';
}

struct Found {
  std::string name;
  bool isDir;
  bool operator<(const Found& other) const { return name < other.name; }
};

// False when folder (ending in a separator) cannot be listed.
bool ListFolder(Env& env, const std::string& folder, std::vector<std::string>* catalogs,
                std::vector<std::string>* unlisted) {
  std::vector<Found> found;
  bool listed = env.ListDirectory(folder, [&](const DirEntry& e) {
    const bool isDir = (e.attributes & 0x10) != 0;
    // Links and devices are neither entered nor opened.
    if (isDir || (e.readable && IsCatalogName(e.name))) found.push_back(Found{e.name, isDir});
  });
  if (!listed) return false;
  std::sort(found.begin(), found.end());
  for (const Found& f : found) {
    if (f.isDir) {
      std::string sub = folder + f.name + kPathSeparator;
      if (!ListFolder(env, sub, catalogs, unlisted)) unlisted->push_back(sub);
    } else {
      catalogs->push_back(folder + f.name);
    }
  }
  return true;
}

}  // namespace

void ExpandCatalogName(Env& env, const std::string& name, std::vector<std::string>* catalogs,
                       std::vector<std::string>* unlisted) {
  std::string folder = name;
  if (!folder.empty() && folder.back() != kPathSeparator && folder.back() != '/') {
    folder += kPathSeparator;
  }
  if (folder.empty() || !ListFolder(env, folder, catalogs, unlisted)) catalogs->push_back(name);
}

}  // namespace korvex
