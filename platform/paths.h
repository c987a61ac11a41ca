// How paths are spelt on this system next to how a catalog spells them: a
// catalog separates names with '\' everywhere.
#ifndef KORVEX_PLATFORM_PATHS_H_
#define KORVEX_PLATFORM_PATHS_H_

#include <stddef.h>

#include <string>

namespace korvex {

// The current directory as a prefix for names: "./" or ".\".
extern const char kCurrentDirectoryPrefix[];

// A path given on the command line, with the catalog's separators.
void CommandLineToCatalogPath(std::string* path);
// A catalog path, with the file system's separators.
void CatalogToFileSystemPath(std::string* path);
// True for a byte that would make a single name reach elsewhere: a
// separator, or on Windows a drive or stream colon.
bool IsPathSyntax(char c);
// A name that could lead a path out of the directory it is joined to: "",
// ".", ".." or one holding path syntax.
bool UnsafeName(const char* name, size_t length);

}  // namespace korvex

#endif  // KORVEX_PLATFORM_PATHS_H_
