// What a host does to use korvexp: load the library by path and look up its
// seven entry points by their bare names.
#ifndef KORVEX_PLUGIN_LOADER_H_
#define KORVEX_PLUGIN_LOADER_H_

#include <memory>
#include <string>

#include "plugin/korvexp.h"

namespace korvex {

class LoadedModule {
 public:
  // Null, with *error naming the library or the missing entry point, when
  // the library cannot be loaded or lacks one of the seven.
  static std::unique_ptr<LoadedModule> Load(const std::string& path, std::string* error);
  ~LoadedModule();
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  KorvexpIsArchiveFn IsArchive = nullptr;
  KorvexpOpenArchiveFn OpenArchive = nullptr;
  KorvexpGetArcItemFn GetArcItem = nullptr;
  KorvexpCloseArchiveFn CloseArchive = nullptr;
  KorvexpGetFormatNameFn GetFormatName = nullptr;
  KorvexpGetDefaultCommandsFn GetDefaultCommands = nullptr;
  KorvexpLoadFormatModuleFn LoadFormatModule = nullptr;

 private:
  explicit LoadedModule(void* handle) : handle_(handle) {}
  void* handle_;
};

}  // namespace korvex

#endif  // KORVEX_PLUGIN_LOADER_H_
