#!/usr/bin/env python3
"""The Windows build under Wine beside the native build, each command line of
commands.txt run by both on the same tree: the same exit code, the same
standard output once paths are named alike (every line end "\r\n" on
Windows), the same files written.  Catalogs agree apart from directory times,
which the POSIX build takes from a directory's birth and Wine from the earlier
of its last modification and status change.  Then names above 0x7F, which the
Windows build keeps in the OEM code page inside catalogs, in ANSI on the disk.

Usage: wine_cli_test.py NATIVE_BUILD_DIR WINDOWS_BUILD_DIR [HOST_BUILD_DIR]
(korvexp-host.exe from HOST_BUILD_DIR, else WINDOWS_BUILD_DIR)
"""

import os
import shutil
import struct
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
WIN_WORK = "C:\\korvex-cli-test"
TIME = 1200000000
# Wine takes its code pages from the locale: ANSI 1252, OEM 437 for en-US.
ENV = dict(os.environ, LC_ALL="C.UTF-8", TZ="UTC")
WINE_RUN = NATIVE = WINDOWS = HOST = PREFIX = None


def run(program, args, cwd):
    p = subprocess.run((WINE_RUN if program.endswith(".exe") else []) + [program] + args,
                       cwd=cwd, capture_output=True, env=ENV)
    return p.returncode, p.stdout


def write(path, data, mode=0o644):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.utime(path, (TIME, TIME))
    os.chmod(path, mode)


def without_directory_times(catalog):
    """The catalog with directory times and the tree CRC over them zeroed."""
    data, (word,) = bytearray(catalog), struct.unpack_from("<I", catalog, 12)
    data[8:12] = bytes(4)
    pos, end, crc = 16, 16 + (word & 0x7FFFFFFF), 4 if word >> 31 else 0
    while pos < end:
        zero = data.index(0, pos)
        if zero > pos and data[zero + 1] & 0x10:
            data[zero + 2:zero + 6] = bytes(4)
        pos = zero + 1 if zero == pos else zero + (6 if data[zero + 1] & 0x10 else 10 + crc)
    return bytes(data)


def files(top):
    """Every file below top: its contents and time, a catalog without either."""
    found = {}
    for d, _, names in os.walk(top):
        for name in names:
            with open(os.path.join(d, name), "rb") as f:
                data = f.read()
            catalog = name.lower().endswith(".dir")  # written now, not at a catalog time
            found[os.path.relpath(os.path.join(d, name), top)] = (
                without_directory_times(data) if catalog else data,
                None if catalog else int(os.stat(os.path.join(d, name)).st_mtime))
    return found


class WineCli(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = os.path.join(PREFIX, "drive_c", WIN_WORK[3:])
        cls.tree, cls.drive = cls.work + "/tree", os.path.join(PREFIX, "dosdevices", "x:")
        shutil.rmtree(cls.work, ignore_errors=True)
        notes = b"Notes of the sample medium.\r\n" * 3
        for name, data in (("README.TXT", b"Read me first.\r\n"), (".hidden", b"dot file"),
                           ("DOCS/NOTES.TXT", notes), ("DOCS/COPY.TXT", notes),  # one record
                           ("DOCS/ZERO.TXT", b""), ("SUB/DEEP/LEAF.NFO", b"leaf"),
                           # More than one read block, not stored.
                           ("DOCS/DATA.BIN", bytes((i * 7 + (i >> 9)) & 0xFF for i in range(300000)))):
            write(os.path.join(cls.tree, name), data)
        write(cls.tree + "/LOCKED.TXT", b"read-only", 0o444)
        os.makedirs(cls.tree + "/EMPTY")
        for d in ("DOCS", "SUB/DEEP", "SUB", "EMPTY"):
            os.utime(os.path.join(cls.tree, d), (TIME, TIME))
        if os.path.lexists(cls.drive):
            os.remove(cls.drive)
        os.symlink(cls.tree, cls.drive)

    @classmethod
    def tearDownClass(cls):
        os.remove(cls.drive)
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_every_command_as_native(self):
        module = "--module=Z:" + os.path.join(WINDOWS, "lib", "korvexp.dll").replace("/", "\\")
        sides = {  # the programs, then what {t}, {T}, {o} and {m} stand for
            "lin": (NATIVE + "/cli/korvex", NATIVE + "/bin/korvexp-host", self.tree + "/",
                    self.tree, "out/", ""),
            "win": (WINDOWS + "/cli/korvex.exe", HOST + "/bin/korvexp-host.exe", "X:\\",
                    WIN_WORK + "\\tree\\", "out\\", module)}
        for side in sides:
            write(os.path.join(self.work, side, "out", "README.TXT"), b"Read me later.\r\n")
            shutil.copy(ROOT + "/tests/vectors/worked-example.dir", os.path.join(self.work, side))
        with open(os.path.join(HERE, "commands.txt")) as f:
            rows = [line.split() for line in f if line.strip() and not line.startswith("#")]
        for row in rows:
            with self.subTest(" ".join(row)):
                result = {}
                for side, (korvex, host, t, tree, o, m) in sides.items():
                    args = [a.replace("{t}", t).replace("{T}", tree).replace("{o}", o)
                            .replace("{m}", m) for a in row]
                    program, args = (host, args[1:]) if args[0] == "host" else (korvex, args)
                    code, out = run(program, [a for a in args if a], os.path.join(self.work, side))
                    if side == "win":
                        self.assertNotIn(b"\n", out.replace(b"\r\n", b""), out)
                        out = out.replace(b"\r\n", b"\n").replace(b"out\\", b"out/")
                    else:  # the folder searched, as "s" names it
                        out = out.replace(b"./", b".\\")
                    for path in (t, tree, t.rstrip("/\\"), tree.rstrip("/\\")):
                        out = out.replace(os.fsencode(path), b"<tree>")
                    result[side] = code, out.decode("latin-1"), files(os.path.join(self.work, side))
                self.assertEqual(result["lin"], result["win"])

    def test_names_above_0x7f(self):
        # e acute is 0xE9 in the ANSI code page, 0x82 in the OEM one; catalog
        # names, target directories and mount roots are names on the disk.
        work = os.path.join(self.work, "intl")
        write(os.path.join(work, "src", "Caf\u00e9.TXT"), b"coffee")
        os.makedirs(os.path.join(work, "out\u00e9"))
        for row, code, text in (
                ("c /store=*.TXT caf\u00e9 src", 0, b"Ok"), ("c plain src", 0, b"Ok"),
                ("l caf\u00e9.dir", 0, b" Caf\x82.TXT\r\n"),
                ("e caf\u00e9.dir CAF\u00e9.txt out\u00e9\\", 0, b"Ok (extract: check by CRC32)"),
                ("e caf\u00e9.dir CAF\u00c9.TXT", 3, b""),  # no ASCII letter: no other case
                ("e /overwrite /mount=src\\ plain.dir Caf\u00e9.TXT out\u00e9\\", 0, b"Ok (mount")):
            got = run(WINDOWS + "/cli/korvex.exe", row.split(), work)
            self.assertEqual(code, got[0], (row, got))
            self.assertIn(text, got[1], row)
        self.assertEqual({"Caf\u00e9.TXT": (b"coffee", TIME)}, files(os.path.join(work, "out\u00e9")))
        with open(os.path.join(work, "caf\u00e9.dir"), "rb") as f:
            self.assertIn(b"Caf\x82.TXT\x00", f.read())


def main():
    global WINE_RUN, NATIVE, WINDOWS, HOST, PREFIX
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    NATIVE, WINDOWS, HOST = (os.path.abspath(p) for p in (sys.argv + sys.argv[2:3])[1:4])
    WINE_RUN = [ROOT + "/cmake/wine-run"]
    with open(WINDOWS + "/cli/korvex.exe", "rb") as f:
        image = f.read(4096)
    if struct.unpack_from("<H", image, struct.unpack_from("<I", image, 0x3C)[0] + 4)[0] == 0x14C:
        WINE_RUN.append("--win32")  # an i386 image runs under the private 32-bit Wine
        PREFIX = os.environ.get("KORVEX_WINE32", ROOT + "/build/wine32") + "/prefix"
    else:
        PREFIX = ENV["KORVEX_WINEPREFIX"] = os.environ.get("KORVEX_WINEPREFIX", ROOT + "/build/wine")
    if not os.path.isdir(os.path.join(PREFIX, "dosdevices")):
        subprocess.run(WINE_RUN + ["cmd.exe", "/c", "exit"], env=ENV, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    print("%s under %s" % (WINDOWS, " ".join(WINE_RUN)), flush=True)
    unittest.main(argv=sys.argv[:1], verbosity=2)


if __name__ == "__main__":
    main()
