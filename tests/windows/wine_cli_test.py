#!/usr/bin/env python3
# The Windows build under Wine beside the native one: each command line of
# commands.txt run by both on the same tree gives the same exit code, output
# (line ends "\r\n" on Windows) and files written, catalogs apart from directory
# times (a birth time on POSIX; under Wine the earlier of the last change and
# status change).  Names above 0x7F are OEM in catalogs, ANSI on the disk.
#
# Usage: wine_cli_test.py NATIVE_BUILD WINDOWS_BUILD [BUILD_WITH_KORVEXP_HOST_EXE]

import glob
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


def read(path):
    with open(path, "rb") as f:
        return f.read()


def without_directory_times(catalog):
    # The catalog with directory times and the tree CRC over them zeroed.
    data, (word,) = bytearray(catalog), struct.unpack_from("<I", catalog, 12)
    pos, end, data[8:12] = 16, 16 + (word & 0x7FFFFFFF), bytes(4)
    while pos < end:
        zero = data.index(0, pos)
        if zero > pos and data[zero + 1] & 0x10:
            data[zero + 2:zero + 6] = bytes(4)
        pos = zero + 1 if zero == pos else zero + (6 if data[zero + 1] & 0x10 else 10 + word // 2**31 * 4)
    return bytes(data)


def files(top):
    # Every file below top: its contents and time; a catalog, written now, without either.
    paths = [os.path.join(d, n) for d, _, names in os.walk(top) for n in names]
    return {os.path.relpath(p, top): (without_directory_times(read(p)), None)
            if p.lower().endswith(".dir") else (read(p), int(os.stat(p).st_mtime)) for p in paths}


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
        os.path.lexists(cls.drive) and os.remove(cls.drive)
        os.symlink(cls.tree, cls.drive)

    def test_every_command_as_native(self):
        module = "--module=Z:" + os.path.join(WINDOWS, "lib", "korvexp.dll").replace("/", "\\")
        sides = {  # the programs, then what {t}, {T}, {o} and {m} stand for
            "lin": (NATIVE + "/cli/korvex", NATIVE + "/bin/korvexp-host", self.tree + "/",
                    self.tree, "out/", ""),
            "win": (WINDOWS + "/cli/korvex.exe", HOST + "/bin/korvexp-host.exe", "X:\\",
                    WIN_WORK + "\\tree\\", "out\\", module)}
        for side in sides:
            write(os.path.join(self.work, side, "out", "README.TXT"), b"Read me later.\r\n")
            for vector in ["worked-example.dir"] + glob.glob(ROOT + "/tests/vectors/hostile/*"):
                shutil.copy(os.path.join(ROOT, "tests/vectors", vector), os.path.join(self.work, side))
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
        work = self.work + "/intl"
        write(work + "/src/Caf\u00e9.TXT", b"coffee")
        os.makedirs(work + "/out\u00e9")
        for row, code, text in (
                ("c /store=*.TXT caf\u00e9 src", 0, b"Ok"), ("c plain src", 0, b"Ok"),
                ("l caf\u00e9.dir", 0, b" Caf\x82.TXT\r\n"),
                ("e caf\u00e9.dir CAF\u00e9.txt out\u00e9\\", 0, b"Ok (extract: check by CRC32)"),
                ("e caf\u00e9.dir CAF\u00c9.TXT", 3, b""),  # no ASCII letter: no other case
                ("e /overwrite /mount=src\\ plain.dir Caf\u00e9.TXT out\u00e9\\", 0, b"Ok (mount")):
            got = run(WINDOWS + "/cli/korvex.exe", row.split(), work)
            self.assertTrue(got[0] == code and text in got[1], (row, got))
        self.assertEqual({"Caf\u00e9.TXT": (b"coffee", TIME)}, files(work + "/out\u00e9"))

    def test_names_holding_a_slash(self):
        # "/" separates names on Windows too: whatever the catalog names, nothing
        # lands outside the target directory.
        work = self.work + "/slash"
        for name, wanted in (("absolute", "/x"), ("below-slash", "a/../..\\x"), ("slash", "../x")):
            for kind, mount in (("stored", []), ("mounted", ["/mount=X:\\"])):
                write(work + "/out/keep", b"")
                shutil.copy("%s/tests/vectors/hostile/%s-%s.dir" % (ROOT, name, kind), work + "/c.dir")
                run(WINDOWS + "/cli/korvex.exe",
                    ["e"] + mount + ["/overwrite", "--", "c.dir", wanted, "out\\"], work)
                self.assertEqual(["c.dir", "out"], sorted(os.listdir(work)), (name, kind))


def main():
    global WINE_RUN, NATIVE, WINDOWS, HOST, PREFIX
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
    unittest.main(argv=sys.argv[:1], verbosity=2)


if __name__ == "__main__":
    main()
