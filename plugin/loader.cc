#include "plugin/loader.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace korvex {
namespace {

#ifdef _WIN32
void* OpenLibrary(const std::string& path) { return LoadLibraryA(path.c_str()); }
void* FindSymbol(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void CloseLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
std::string LastError() { return "error " + std::to_string(GetLastError()); }
#else
void* OpenLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* FindSymbol(void* handle, const char* name) { return dlsym(handle, name); }
void CloseLibrary(void* handle) { dlclose(handle); }
std::string LastError() {
  const char* text = dlerror();
  return text ? text : "unknown error";
}
#endif

template <typename Fn>
bool Bind(void* handle, const char* name, Fn* out, std::string* error) {
  void* symbol = FindSymbol(handle, name);
  if (symbol == nullptr) {
    *error = std::string("no entry point ") + name;
    return false;
  }
  *out = reinterpret_cast<Fn>(symbol);
  return true;
}

}  // namespace

std::unique_ptr<LoadedModule> LoadedModule::Load(const std::string& path, std::string* error) {
  void* handle = OpenLibrary(path);
  if (handle == nullptr) {
    *error = "cannot load " + path + ": " + LastError();
    return nullptr;
  }
  std::unique_ptr<LoadedModule> module(new LoadedModule(handle));
  if (!Bind(handle, "IsArchive", &module->IsArchive, error) ||
      !Bind(handle, "OpenArchive", &module->OpenArchive, error) ||
      !Bind(handle, "GetArcItem", &module->GetArcItem, error) ||
      !Bind(handle, "CloseArchive", &module->CloseArchive, error) ||
      !Bind(handle, "GetFormatName", &module->GetFormatName, error) ||
      !Bind(handle, "GetDefaultCommands", &module->GetDefaultCommands, error) ||
      !Bind(handle, "LoadFormatModule", &module->LoadFormatModule, error)) {
    return nullptr;
  }
  return module;
}

LoadedModule::~LoadedModule() { CloseLibrary(handle_); }

}  // namespace korvex
