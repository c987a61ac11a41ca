/* Compiled as C99 only to prove a C host can include the header. */
#include <stddef.h>

#include "plugin/korvexp.h"

typedef char find_data_is_320_bytes[sizeof(KorvexpFindData) == 320 ? 1 : -1];
typedef char file_name_at_44[offsetof(KorvexpFindData, cFileName) == 44 ? 1 : -1];

KorvexpIsArchiveFn korvexp_c_header_check = IsArchive;
