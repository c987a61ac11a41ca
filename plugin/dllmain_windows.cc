// Start-up of korvexp.dll: nothing to do per thread.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stddef.h>

#include "plugin/korvexp.h"

static_assert(sizeof(WIN32_FIND_DATAA) == sizeof(KorvexpFindData), "find data layout");
static_assert(offsetof(WIN32_FIND_DATAA, ftLastWriteTime) ==
                  offsetof(KorvexpFindData, ftLastWriteTime),
              "find data layout");
static_assert(offsetof(WIN32_FIND_DATAA, nFileSizeLow) == offsetof(KorvexpFindData, nFileSizeLow),
              "find data layout");
static_assert(offsetof(WIN32_FIND_DATAA, cFileName) == offsetof(KorvexpFindData, cFileName),
              "find data layout");
static_assert(sizeof(FILETIME) == sizeof(KorvexpFileTime), "FILETIME layout");

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
