// korvexp-host: loads the korvexp module by path and browses one catalog
// with it the way a file manager does, printing every call and its result.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <limits.h>
#include <unistd.h>
#endif

#include <string>
#include <vector>

#include "plugin/korvexp.h"
#include "plugin/loader.h"
#include "platform/env.h"

namespace korvex {
namespace {

enum ExitCode {
  kWalked = 0,
  kFailure = 1,
  kNotRecognised = 2,
  kNotOpened = 3,
  kMalformed = 4,
};

#ifdef _WIN32
const char kModuleName[] = "korvexp.dll";
#else
const char kModuleName[] = "korvexp.so";
#endif

const char kUsage[] =
    "Usage: korvexp-host [--module=PATH] [--first=N] CATALOG\n"
    "\n"
    "Loads the korvexp module and browses CATALOG with it as a file manager\n"
    "does: IsArchive with the first N bytes of the file (default 4096, or the\n"
    "whole file when it is shorter), OpenArchive, GetArcItem until it returns\n"
    "0 or 3, CloseArchive.  Before that it shows LoadFormatModule,\n"
    "GetFormatName and every default command.  One line per call:\n"
    "  GetArcItem -> 1 ATTRIBUTES YYYY-MM-DD HH:MM:SS SIZE PATH\n"
    "with the attributes in hexadecimal, the time in UTC and the catalog path\n"
    "as stored (bytes below 0x20 and 0x7F shown as '?').\n"
    "\n"
    "  --module=PATH  the module to load (default: ../" KORVEXP_MODULE_DIR "korvexp.so\n"
    "                 or .dll relative to this program)\n"
    "  --first=N      bytes handed to IsArchive\n"
    "\n"
    "Exit codes:\n"
    "  0  recognised, opened and walked to a clean end\n"
    "  1  bad arguments, or the module or the catalog file could not be read\n"
    "  2  IsArchive did not recognise the file\n"
    "  3  OpenArchive failed (unreadable rest or wrong tree CRC)\n"
    "  4  GetArcItem reported a malformed tree (3)\n";

// The directory holding this program, with a trailing separator.
std::string ProgramDirectory(const char* argv0) {
  std::string path;
#ifdef _WIN32
  char buffer[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (n > 0 && n < sizeof buffer) path.assign(buffer, n);
#else
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n > 0 && static_cast<size_t>(n) < sizeof buffer) path.assign(buffer, static_cast<size_t>(n));
#endif
  if (path.empty()) path = argv0;
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool ParseCount(const char* text, int32_t* out) {
  char* end = nullptr;
  unsigned long long value = strtoull(text, &end, 10);
  if (*text < '0' || *text > '9' || *end != '\0' || value > 0x7FFFFFFFull) return false;
  *out = static_cast<int32_t>(value);
  return true;
}

// Seconds since 1970 to "YYYY-MM-DD HH:MM:SS" in UTC, by the proleptic
// Gregorian calendar (days counted in 400-year eras from 0000-03-01).
std::string FormatUtc(uint64_t seconds) {
  int64_t days = static_cast<int64_t>(seconds / 86400) + 719468;
  uint32_t secondOfDay = static_cast<uint32_t>(seconds % 86400);
  int64_t era = days / 146097;
  int64_t dayOfEra = days - era * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // 0 = March
  int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  char text[64];
  snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02u:%02u:%02u", static_cast<long long>(year),
           static_cast<long long>(month), static_cast<long long>(day), secondOfDay / 3600,
           secondOfDay / 60 % 60, secondOfDay % 60);
  return text;
}

std::string FormatFileTime(const KorvexpFileTime& time) {
  const uint64_t kUnixEpoch = 116444736000000000ull;
  uint64_t ticks = static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
  if (ticks < kUnixEpoch) return "before-1970";
  return FormatUtc((ticks - kUnixEpoch) / 10000000u);
}

// Keeps each item on one line.
std::string Printable(const char* text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return out;
}

void ShowStatelessCalls(const LoadedModule& module) {
  printf("LoadFormatModule -> %d\n", module.LoadFormatModule(nullptr));
  char name[KORVEXP_FORMAT_NAME_SIZE + 1] = {};
  char extension[KORVEXP_EXTENSION_SIZE + 1] = {};
  int32_t named = module.GetFormatName(0, name, extension);
  printf("GetFormatName -> %d \"%s\" \"%s\"\n", named, name, extension);
  // Other modules may have longer tables; stop at the first refusal.
  for (uint32_t index = 0; index < 1000; ++index) {
    char command[256] = {};
    int32_t result = module.GetDefaultCommands(0, index, command);
    if (result == 0) {
      printf("GetDefaultCommands %u -> 0\n", index);
      break;
    }
    printf("GetDefaultCommands %u -> %d \"%s\"\n", index, result, command);
  }
}

ExitCode Browse(const LoadedModule& module, const std::string& catalog, int32_t first) {
  std::unique_ptr<File> file = Env::Default()->OpenRead(catalog);
  if (file == nullptr) {
    fprintf(stderr, "korvexp-host: cannot open %s\n", catalog.c_str());
    return kFailure;
  }
  uint64_t size = file->Size();
  std::vector<unsigned char> look(static_cast<size_t>(size < static_cast<uint64_t>(first) ? size : first));
  if (!file->ReadExactly(look.data(), look.size())) {
    fprintf(stderr, "korvexp-host: cannot read %s\n", catalog.c_str());
    return kFailure;
  }
  file.reset();

  int32_t recognised = module.IsArchive(catalog.c_str(), look.data(), static_cast<int32_t>(look.size()));
  printf("IsArchive %lu bytes -> %d\n", static_cast<unsigned long>(look.size()), recognised);
  if (recognised != 1) return kNotRecognised;

  int32_t value = -1;
  int32_t opened = module.OpenArchive(catalog.c_str(), &value);
  printf("OpenArchive -> %d value %d\n", opened, value);
  if (opened != 1) return kNotOpened;

  int32_t result;
  for (;;) {
    KorvexpFindData item;
    memset(&item, 0, sizeof item);
    result = module.GetArcItem(&item, 0);
    if (result != KORVEXP_ITEM_WRITTEN) break;
    item.cFileName[sizeof item.cFileName - 1] = '\0';
    printf("GetArcItem -> 1 0x%02X %s %u %s\n", item.dwFileAttributes,
           FormatFileTime(item.ftLastWriteTime).c_str(), item.nFileSizeLow,
           Printable(item.cFileName).c_str());
  }
  printf("GetArcItem -> %d\n", result);

  KorvexpArchiveInfo info;
  memset(&info, 0, sizeof info);
  int32_t closed = module.CloseArchive(&info);
  printf("CloseArchive -> %d info %u %u %u %u %u\n", closed, info.reserved[0], info.reserved[1],
         info.reserved[2], info.crcFlag, info.reserved4);
  return result == KORVEXP_ITEM_END ? kWalked : kMalformed;
}

int Run(int argc, char** argv) {
  std::string modulePath;
  int32_t first = 4096;
  const char* catalog = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0) {
      fputs(kUsage, stdout);
      return kWalked;
    } else if (strncmp(arg, "--module=", 9) == 0) {
      modulePath = arg + 9;
    } else if (strncmp(arg, "--first=", 8) == 0) {
      if (!ParseCount(arg + 8, &first)) {
        fprintf(stderr, "korvexp-host: bad byte count in %s\n", arg);
        return kFailure;
      }
    } else if (catalog == nullptr && arg[0] != '-') {
      catalog = arg;
    } else {
      fputs(kUsage, stderr);
      return kFailure;
    }
  }
  if (catalog == nullptr) {
    fputs(kUsage, stderr);
    return kFailure;
  }
  if (modulePath.empty()) modulePath = ProgramDirectory(argv[0]) + "../" KORVEXP_MODULE_DIR + kModuleName;

  std::string error;
  std::unique_ptr<LoadedModule> module = LoadedModule::Load(modulePath, &error);
  if (module == nullptr) {
    fprintf(stderr, "korvexp-host: %s\n", error.c_str());
    return kFailure;
  }
  ShowStatelessCalls(*module);
  ExitCode code = Browse(*module, catalog, first);
  fflush(stdout);
  return code;
}

}  // namespace
}  // namespace korvex

int main(int argc, char** argv) { return korvex::Run(argc, argv); }
