// Writing a finished catalog to disk without ever losing an earlier one.
#ifndef KORVEX_CATALOG_CATALOG_FILE_H_
#define KORVEX_CATALOG_CATALOG_FILE_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace korvex {

class Env;

// Writes the header and tree block (one write) and, when storeData is not
// null, the store head and the data area, to a temporary file beside `name`,
// then renames it over `name`.  On any failure the temporary file is removed,
// an existing catalog of that name is untouched, the result is false and
// *error (when given) says why.
bool WriteCatalogFile(Env& env, const std::string& name, const unsigned char* headerAndTree,
                      size_t headerAndTreeSize, const unsigned char* storeData,
                      uint32_t storeSize, std::string* error = nullptr);

// The temporary file WriteCatalogFile uses for `name`.
std::string TemporaryCatalogName(const std::string& name);

}  // namespace korvex

#endif  // KORVEX_CATALOG_CATALOG_FILE_H_
