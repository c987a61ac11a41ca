// The exported entry points: thin calls into the one catalog the module
// holds, and the two tables a host asks for.
#include "plugin/korvexp.h"

#include <stddef.h>
#include <string.h>

#include "platform/env.h"
#include "plugin/browser.h"

static_assert(sizeof(KorvexpFileTime) == 8, "FILETIME layout");
static_assert(offsetof(KorvexpFindData, dwFileAttributes) == 0, "find data layout");
static_assert(offsetof(KorvexpFindData, ftCreationTime) == 4, "find data layout");
static_assert(offsetof(KorvexpFindData, ftLastAccessTime) == 12, "find data layout");
static_assert(offsetof(KorvexpFindData, ftLastWriteTime) == 20, "find data layout");
static_assert(offsetof(KorvexpFindData, nFileSizeHigh) == 28, "find data layout");
static_assert(offsetof(KorvexpFindData, nFileSizeLow) == 32, "find data layout");
static_assert(offsetof(KorvexpFindData, dwReserved0) == 36, "find data layout");
static_assert(offsetof(KorvexpFindData, dwReserved1) == 40, "find data layout");
static_assert(offsetof(KorvexpFindData, cFileName) == 44, "find data layout");
static_assert(offsetof(KorvexpFindData, cAlternateFileName) == 304, "find data layout");
static_assert(sizeof(KorvexpFindData) == 320, "find data layout");
static_assert(sizeof(KorvexpArchiveInfo) == 20, "archive information layout");

namespace {

// Process-wide by design: the host browses one catalog at a time.
korvex::CatalogBrowser browser(*korvex::Env::Default());

// Entry 0 starts korvex to mount the selected file from I:\ into the
// current directory; the host fills in %%A (catalog) and %%f (file).
const char* const kDefaultCommands[KORVEXP_COMMAND_COUNT] = {
    "korvex e /mount=I:\\ %%A \"%%f\" .\\", "", "", "", "", "", "", "", "", "", "", "",
    "",  "", "*"};

}  // namespace

extern "C" {

int32_t KORVEXP_CALL IsArchive(const char*, const unsigned char* bytes, int32_t length) {
  return length > 0 && browser.Recognise(bytes, static_cast<uint32_t>(length)) ? 1 : 0;
}

int32_t KORVEXP_CALL OpenArchive(const char* fileName, int32_t* value) {
  *value = 0;
  return browser.Open(fileName) ? 1 : 0;
}

int32_t KORVEXP_CALL GetArcItem(KorvexpFindData* item, int32_t) {
  return browser.Next(item);
}

int32_t KORVEXP_CALL CloseArchive(KorvexpArchiveInfo* info) {
  browser.Close(info);
  return 1;
}

int32_t KORVEXP_CALL GetFormatName(int32_t selector, char* name, char* extension) {
  if (selector != 0) return 0;
  memcpy(name, "KORVEX\0", KORVEXP_FORMAT_NAME_SIZE);
  memcpy(extension, "DIR", KORVEXP_EXTENSION_SIZE);
  return 1;
}

int32_t KORVEXP_CALL GetDefaultCommands(int32_t selector, uint32_t index, char* command) {
  if (selector != 0 || index >= KORVEXP_COMMAND_COUNT) return 0;
  const char* text = kDefaultCommands[index];
  memcpy(command, text, strlen(text) + 1);
  return 1;
}

int32_t KORVEXP_CALL LoadFormatModule(const char*) { return 0; }

}  // extern "C"
