// The catalog write that create and update share.
#ifndef KORVEX_CLI_CREATE_H_
#define KORVEX_CLI_CREATE_H_

#include <string>

#include "catalog/reader.h"
#include "catalog/reuse.h"

namespace korvex {

class BlockReader;
class DirNode;
class Env;
struct Context;
struct ScanOptions;

// Update's part of the write: the catalog it replaces, loaded before the
// scan, and what the pass takes from it.
class UpdateSource {
 public:
  explicit UpdateSource(Env& env) : old_(env) {}

  void Load(const std::string& catalogName);
  // After the scan, before the pass: pairs the files with the earlier
  // catalog and reports what is reused, or why nothing is.  Null when the
  // earlier catalog could not be loaded.
  ReuseSource* Plan(Context& ctx, BlockReader& reader, const DirNode& root,
                    const ScanOptions& options, bool calc);

 private:
  CatalogReader old_;
  std::string name_;
  LoadFailure failure_;
  bool loaded_ = false;
  ReuseSource reuse_;
};

// Writes the catalog of argv's source the way create does; with `update`,
// files the earlier catalog vouches for are not read again.
int BuildCatalog(Context& ctx, int argc, char** argv, UpdateSource* update);

}  // namespace korvex

#endif  // KORVEX_CLI_CREATE_H_
