#include "cli/usage.h"

#include "korvex_version.h"

namespace korvex {

const char kBanner[] = "KORVEX v" KORVEX_VERSION " - media catalogs. " KORVEX_COPYRIGHT "\n";

const char kUsage[] =
    "Usage:\n"
    "  korvex c [/store=masks] [/max=bytes] [/fast] catalog [source-directory]\n"
    "  korvex u [/store=masks] [/max=bytes] [/fast] catalog [source-directory]\n"
    "  korvex l [/fast] catalog [mask]\n"
    "  korvex e [/mount=root] [/fast] [/overwrite] catalog path-in-catalog "
    "[target-directory]\n"
    "  korvex s [/size=min-max] [/crc=hex] [/like=file] [/dirs] [/fast] [/json]\n"
    "           [/dupes [/min=bytes]] mask catalog-or-folder...\n"
    "  korvex v [/fast] [/times] catalog [root]\n"
    "  korvex d [/times] old-catalog new-catalog\n";

const char kVersion[] = "korvex " KORVEX_VERSION "\n" KORVEX_COPYRIGHT "\n";

// One block per command, so that each stands or goes alone.
const char kHelp[] =
    "Usage: korvex COMMAND [/OPTION...] NAME...\n"
    "       korvex --help | -h | --version\n"
    "\n"
    "Records a directory tree (a CD, a DVD, a USB or backup disk) in one catalog\n"
    "file (.dir) and lists, searches, checks and restores from it.  Options begin\n"
    "with '/' and come before the names; an argument of exactly '--' ends them.\n"
    "Masks use '?' and '*' and ignore ASCII case.\n"
    "\n"
    // create
    "korvex c [/store=MASK[:MASK...]] [/max=N] [/fast] catalog [source-directory]\n"
    "  Create: scan the source directory (default .) into catalog (.dir added).\n"
    "  /store=MASKS  store the contents of files whose names match; may repeat\n"
    "  /max=N        store only files smaller than N bytes\n"
    "  /fast         no CRC-32 per file: only the stored files are read\n"
    "\n"
    // update
    "korvex u [/store=MASK[:MASK...]] [/max=N] [/fast] catalog [source-directory]\n"
    "  Update: as create, but a file whose path, size and time are unchanged\n"
    "  takes its CRC-32 and stored contents from the existing catalog.\n"
    "  /store=MASKS, /max=N, /fast  as for create\n"
    "\n"
    // list
    "korvex l [/fast] catalog [mask]\n"
    "  List: every entry (or those whose catalog path matches the mask), then\n"
    "  the catalog's facts and totals.\n"
    "  /fast         the paths only\n"
    "\n"
    // extract
    "korvex e [/mount=ROOT] [/overwrite] [/fast] catalog path [target-directory]\n"
    "  Extract: check an existing copy against the catalog, else extract the\n"
    "  stored contents, else copy the file from the medium and verify it.\n"
    "  /mount=ROOT   where the cataloged medium is now, ending in a separator\n"
    "  /overwrite    always write a new target instead of checking one\n"
    "  /fast         sizes only, no CRC-32 checks\n"
    // extract a directory
    "  A path naming a directory (DIR\\ or \\) restores everything below it.\n"
    "\n"
    // verify
    "korvex v [/fast] [/times] catalog [root]\n"
    "  Verify: compare the medium at root (default .) with the catalog and\n"
    "  report files changed, missing, new, moved or unreadable.\n"
    "  /fast         sizes only, no CRC-32 (nothing is reported as moved)\n"
    "  /times        report files whose time alone differs (touched)\n"
    "\n"
    // compare
    "korvex d [/times] old-catalog new-catalog\n"
    "  Compare two catalogs as verify compares a catalog with its medium.\n"
    "  /times        report files whose time alone differs (touched)\n"
    "\n"
    // search
    "korvex s [/OPTION...] mask catalog-or-folder...\n"
    "  Search catalogs (a folder stands for every .dir file below it); a mask\n"
    "  with a separator is matched against the whole path, else the name.\n"
    "  /size=MIN-MAX bytes, both inclusive; either may be left out\n"
    "  /crc=XXXXXXXX the CRC-32, eight hex digits\n"
    "  /like=FILE    the size and CRC-32 of a local file\n"
    "  /dirs         directories too\n"
    "  /fast         brief lines: catalog and path only\n"
    "  /json         one JSON object per line\n"
    "  /dupes        groups of files with equal size and CRC-32 across catalogs\n"
    "  /min=N        with /dupes, files of at least N bytes (default 1)\n"
    "\n"
    "Exit codes:\n"
    "  0  success; also no command word (the usage is shown)\n"
    "  1  unknown command word or unknown option\n"
    "  2  not all names specified\n"
    "  3  a catalog cannot be loaded or a root listed; the entry is not found;\n"
    "     a check, an extraction or a mount failed\n"
    "  4  something could not be written: the catalog, the target, the output\n"
    "  5  the medium or catalog differs (v, d); nothing found (s)\n"
    "\n"
    "More: man korvex; the module for file managers: man korvexp-host.\n";

}  // namespace korvex
