#include "platform/paths.h"

namespace korvex {

bool UnsafeName(const char* name, size_t length) {
  if (length == 0 || (name[0] == '.' && (length == 1 || (length == 2 && name[1] == '.')))) {
    return true;
  }
  for (size_t i = 0; i < length; ++i) {
    if (IsPathSyntax(name[i])) return true;
  }
  return false;
}

#ifdef _WIN32
const char kCurrentDirectoryPrefix[] = ".\\";
void CommandLineToCatalogPath(std::string*) {}
void CatalogToFileSystemPath(std::string*) {}
bool IsPathSyntax(char c) { return c == '/' || c == '\\' || c == ':'; }
#else
namespace {

void Replace(std::string* path, char from, char to) {
  for (char& c : *path) {
    if (c == from) c = to;
  }
}

}  // namespace

const char kCurrentDirectoryPrefix[] = "./";
void CommandLineToCatalogPath(std::string* path) { Replace(path, '/', '\\'); }
void CatalogToFileSystemPath(std::string* path) { Replace(path, '\\', '/'); }
bool IsPathSyntax(char c) { return c == '/' || c == '\\'; }
#endif

}  // namespace korvex
