// The catalogs a name stands for: a folder stands for every file below it
// whose name ends in ".dir" in any case, found through the Env.
#ifndef KORVEX_CATALOG_CATALOG_NAMES_H_
#define KORVEX_CATALOG_CATALOG_NAMES_H_

#include <string>
#include <vector>

namespace korvex {

class Env;

// Appends to *catalogs the name itself when it is not a folder that can be
// listed, else the catalogs below it, each directory's entries in byte order
// of their names and subdirectories entered where they stand in that order.
// Folders below it that cannot be listed go to *unlisted.
void ExpandCatalogName(Env& env, const std::string& name, std::vector<std::string>* catalogs,
                       std::vector<std::string>* unlisted);

}  // namespace korvex

#endif  // KORVEX_CATALOG_CATALOG_NAMES_H_
