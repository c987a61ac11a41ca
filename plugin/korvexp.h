/* korvexp: an archive-format module that lets a two-panel file manager
 * browse ".dir" catalogs.  A host loads the module, finds the seven entry
 * points by their bare names and calls them in this order for one catalog:
 * IsArchive, then (when it returned 1) OpenArchive, GetArcItem until it
 * returns 0 or 3, then CloseArchive.  The module holds one catalog at a time
 * in process-wide state; the other three entry points use no state.
 * This header compiles as C. */
#ifndef KORVEXP_H_
#define KORVEXP_H_

#include <stdint.h>

#if defined(_WIN32)
/* Exported under their bare names through korvexp.def. */
#define KORVEXP_API
#define KORVEXP_CALL __stdcall
#else
#define KORVEXP_API __attribute__((visibility("default")))
#define KORVEXP_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Laid out as Win32's FILETIME: 100 ns units since 1601, low half first. */
typedef struct KorvexpFileTime {
  uint32_t dwLowDateTime;
  uint32_t dwHighDateTime;
} KorvexpFileTime;

/* Laid out as Win32's WIN32_FIND_DATAA (320 bytes).  The host's item record
 * begins with it and may continue after it; GetArcItem writes only
 * dwFileAttributes, ftLastWriteTime, nFileSizeLow and cFileName. */
typedef struct KorvexpFindData {
  uint32_t dwFileAttributes;
  KorvexpFileTime ftCreationTime;
  KorvexpFileTime ftLastAccessTime;
  KorvexpFileTime ftLastWriteTime;
  uint32_t nFileSizeHigh;
  uint32_t nFileSizeLow;
  uint32_t dwReserved0;
  uint32_t dwReserved1;
  char cFileName[260];
  char cAlternateFileName[14];
  char padding[2];
} KorvexpFindData;

/* The first five 32-bit fields of the host's archive-information record,
 * all written by CloseArchive: 0 except crcFlag. */
typedef struct KorvexpArchiveInfo {
  uint32_t reserved[3];
  uint32_t crcFlag; /* 1 when every file of the catalog carries a CRC-32 */
  uint32_t reserved4;
} KorvexpArchiveInfo;

enum {
  KORVEXP_FORMAT_NAME_SIZE = 8, /* "KORVEX" and two NULs */
  KORVEXP_EXTENSION_SIZE = 4,   /* "DIR" and a NUL */
  KORVEXP_COMMAND_SIZE = 33,    /* longest default command and its NUL */
  KORVEXP_COMMAND_COUNT = 15
};

/* GetArcItem results. */
enum {
  KORVEXP_ITEM_END = 0,      /* the catalog ended cleanly */
  KORVEXP_ITEM_WRITTEN = 1,  /* one entry was written */
  KORVEXP_ITEM_MALFORMED = 3 /* the tree is malformed or the walk had ended */
};

/* 1 when bytes (the first length bytes of a file) start a catalog; the
 * module then holds its header and the start of its tree.  fileName is not
 * used. */
KORVEXP_API int32_t KORVEXP_CALL IsArchive(const char* fileName,
                                           const unsigned char* bytes,
                                           int32_t length);

/* Reads the rest of the tree from fileName and checks its CRC-32.  Sets
 * *value to 0 first; returns 1 when the walk stands at the first entry. */
KORVEXP_API int32_t KORVEXP_CALL OpenArchive(const char* fileName,
                                             int32_t* value);

/* Writes the next entry, with its catalog path in cFileName, to item.
 * reserved is not used. */
KORVEXP_API int32_t KORVEXP_CALL GetArcItem(KorvexpFindData* item,
                                            int32_t reserved);

/* Fills info and releases the catalog; returns 1. */
KORVEXP_API int32_t KORVEXP_CALL CloseArchive(KorvexpArchiveInfo* info);

/* Selector 0: writes "KORVEX\0\0" to name and "DIR\0" to extension and
 * returns 1; any other selector writes nothing and returns 0. */
KORVEXP_API int32_t KORVEXP_CALL GetFormatName(int32_t selector, char* name,
                                               char* extension);

/* Selector 0 and index below KORVEXP_COMMAND_COUNT: copies default command
 * index (at most KORVEXP_COMMAND_SIZE bytes with its NUL) and returns 1;
 * otherwise writes nothing and returns 0. */
KORVEXP_API int32_t KORVEXP_CALL GetDefaultCommands(int32_t selector,
                                                    uint32_t index,
                                                    char* command);

/* Returns 0; reserved is not used. */
KORVEXP_API int32_t KORVEXP_CALL LoadFormatModule(const char* reserved);

/* Pointer types for hosts that look the entry points up by name. */
typedef int32_t(KORVEXP_CALL* KorvexpIsArchiveFn)(const char*,
                                                  const unsigned char*,
                                                  int32_t);
typedef int32_t(KORVEXP_CALL* KorvexpOpenArchiveFn)(const char*, int32_t*);
typedef int32_t(KORVEXP_CALL* KorvexpGetArcItemFn)(KorvexpFindData*, int32_t);
typedef int32_t(KORVEXP_CALL* KorvexpCloseArchiveFn)(KorvexpArchiveInfo*);
typedef int32_t(KORVEXP_CALL* KorvexpGetFormatNameFn)(int32_t, char*, char*);
typedef int32_t(KORVEXP_CALL* KorvexpGetDefaultCommandsFn)(int32_t, uint32_t,
                                                           char*);
typedef int32_t(KORVEXP_CALL* KorvexpLoadFormatModuleFn)(const char*);

#ifdef __cplusplus
}
#endif

#endif /* KORVEXP_H_ */
