#!/usr/bin/env python3
"""Runs korvex.exe under Wine next to the native korvex on the same trees.

The catalogs must agree byte for byte apart from directory times (the POSIX
build takes a directory's birth time; Wine has none and reports the earlier
of the last modification and the last status change), console output must
agree apart from paths and line ends ("\r\n" on Windows), and extraction
must give the same files.  A name with a byte above 0x7F must be stored in
the OEM code page and come back under its own name.  korvexp-host.exe must
load korvexp.dll and walk catalogs as the native host walks them with the
native module.

Usage: wine_cli_test.py NATIVE_BUILD_DIR WINDOWS_BUILD_DIR [HOST_BUILD_DIR]

korvex.exe and korvexp.dll come from WINDOWS_BUILD_DIR, korvexp-host.exe from
HOST_BUILD_DIR (else WINDOWS_BUILD_DIR), so a build without the host can be
tested as it is.  A 32-bit korvex.exe runs under the private 32-bit Wine.
"""

import os
import shutil
import struct
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
WORK_NAME = "korvex-cli-test"
WIN_WORK = "C:\\" + WORK_NAME
DRIVE = "x:"  # mapped onto the main tree
MASKS = "/store=*.TXT:*.NFO"
TIME = 1200000000
# Wine takes its code pages from the locale: ANSI 1252, OEM 437 for en-US.
WINE_ENV = dict(os.environ, LC_ALL="C.UTF-8")

WINE_RUN = None  # cmake/wine-run with the option for the programs' bitness
PREFIX = None  # that Wine's prefix
WORK = None  # C:\korvex-cli-test in it
NATIVE = None  # korvex
EXE = None  # korvex.exe
MODULE = None  # korvexp.dll beside it
NATIVE_HOST = None
WINE_HOST = None


def is_32_bit(exe):
    """Whether a Windows image is for i386, by the machine field of its PE header."""
    with open(exe, "rb") as f:
        image = f.read(4096)
    pe, = struct.unpack_from("<I", image, 0x3C)
    machine, = struct.unpack_from("<H", image, pe + 4)
    return machine == 0x14C


def use_wine(win32):
    global WINE_RUN, PREFIX, WORK
    WINE_RUN = [os.path.join(ROOT, "cmake", "wine-run")]
    if win32:
        WINE_RUN.append("--win32")
        wine32 = os.environ.get("KORVEX_WINE32", os.path.join(ROOT, "build", "wine32"))
        PREFIX = os.path.join(wine32, "prefix")
    else:
        PREFIX = os.environ.get("KORVEX_WINEPREFIX", os.path.join(ROOT, "build", "wine"))
        WINE_ENV["KORVEX_WINEPREFIX"] = PREFIX
    WORK = os.path.join(PREFIX, "drive_c", WORK_NAME)


def run_native(args, cwd, program=None):
    p = subprocess.run([program or NATIVE] + args, cwd=cwd, capture_output=True)
    return p.returncode, p.stdout


def run_wine(args, cwd, program=None):
    p = subprocess.run(WINE_RUN + [program or EXE] + args, cwd=cwd, capture_output=True,
                       env=WINE_ENV)
    return p.returncode, p.stdout


def write(path, data, mode=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.utime(path, (TIME, TIME))
    if mode is not None:
        os.chmod(path, mode)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def tree_records(catalog):
    """Yields (kind, name, offset of the record's time field) in tree order."""
    tree_length, = struct.unpack_from("<I", catalog, 12)
    has_crc = bool(tree_length & 0x80000000)
    end = 16 + (tree_length & 0x7FFFFFFF)
    pos, depth = 16, 0
    while pos < end:
        if catalog[pos] == 0:
            pos += 1
            if depth == 0:
                break
            depth -= 1
            continue
        zero = catalog.index(b"\0", pos)
        name, attributes = catalog[pos:zero], catalog[zero + 1]
        if attributes & 0x10:
            yield "dir", name, zero + 2
            depth += 1
            pos = zero + 6
        else:
            yield "file", name, zero + 2
            pos = zero + (14 if has_crc else 10)
    assert pos == end, "tree block not walked to its end"


def without_directory_times(catalog):
    """The catalog with directory times and the tree CRC over them zeroed."""
    data = bytearray(catalog)
    data[8:12] = bytes(4)
    for kind, _, at in tree_records(catalog):
        if kind == "dir":
            data[at:at + 4] = bytes(4)
    return bytes(data)


class WineCli(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.isdir(os.path.join(PREFIX, "dosdevices")):
            subprocess.run(WINE_RUN + ["cmd.exe", "/c", "exit"], env=WINE_ENV, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(WORK, ignore_errors=True)
        cls.tree = os.path.join(WORK, "tree")
        notes = b"Notes of the sample medium.\r\n" * 3
        write(os.path.join(cls.tree, "README.TXT"), b"Read me first.\r\n")
        write(os.path.join(cls.tree, ".hidden"), b"dot file")
        write(os.path.join(cls.tree, "LOCKED.TXT"), b"read-only", 0o444)
        write(os.path.join(cls.tree, "DOCS", "NOTES.TXT"), notes)
        write(os.path.join(cls.tree, "DOCS", "COPY.TXT"), notes)  # shares a record
        write(os.path.join(cls.tree, "DOCS", "ZERO.TXT"), b"")
        # More than one read block, not stored.
        write(os.path.join(cls.tree, "DOCS", "DATA.BIN"),
              bytes((i * 7 + (i >> 9)) & 0xFF for i in range(300000)))
        write(os.path.join(cls.tree, "SUB", "DEEP", "LEAF.NFO"), b"leaf")
        os.makedirs(os.path.join(cls.tree, "EMPTY"))
        for d in ("DOCS", "SUB/DEEP", "SUB", "EMPTY"):
            os.utime(os.path.join(cls.tree, d), (TIME, TIME))
        cls.drive = os.path.join(PREFIX, "dosdevices", DRIVE)
        if os.path.lexists(cls.drive):
            os.remove(cls.drive)
        os.symlink(cls.tree, cls.drive)

    @classmethod
    def tearDownClass(cls):
        os.remove(cls.drive)
        for d, _, files in os.walk(WORK):
            for f in files:
                os.chmod(os.path.join(d, f), 0o644)
        shutil.rmtree(WORK, ignore_errors=True)

    def assertWindowsLines(self, out):
        """Every line end is "\\r\\n"; returns the output with "\\n" ends."""
        self.assertNotIn(b"\n", out.replace(b"\r\n", b""), out)
        return out.replace(b"\r\n", b"\n")

    def assertSameRun(self, native, wine, native_paths=(), wine_paths=()):
        """Same exit code and output once the given paths are named alike."""
        (ncode, nout), (wcode, wout) = native, wine
        self.assertEqual(ncode, wcode, (nout, wout))
        wout = self.assertWindowsLines(wout)
        for i, p in enumerate(native_paths):
            nout = nout.replace(os.fsencode(p), b"<path%d>" % i)
        for i, p in enumerate(wine_paths):
            wout = wout.replace(os.fsencode(p), b"<path%d>" % i)
        self.assertEqual(nout, wout)

    def create_both(self):
        native = run_native(["c", MASKS, "lin", self.tree + "/"], WORK)
        # X:\ is scanned as X:, the root of the mapped drive.
        wine = run_wine(["c", MASKS, WIN_WORK + "\\win", DRIVE.upper() + "\\"], WORK)
        self.assertSameRun(native, wine, [self.tree, "lin.dir"],
                           [DRIVE.upper(), WIN_WORK + "\\win.dir"])
        self.assertIn(b"Scanning: X:...", wine[1])
        return read(os.path.join(WORK, "lin.dir")), read(os.path.join(WORK, "win.dir"))

    def test_create_gives_the_same_catalog(self):
        lin, win = self.create_both()
        self.assertEqual(without_directory_times(lin), without_directory_times(win))
        # The same tree reached through its C: path, with a relative name.
        run_wine(["c", MASKS, "by-c", WIN_WORK + "\\tree\\"], WORK)
        self.assertEqual(without_directory_times(win),
                         without_directory_times(read(os.path.join(WORK, "by-c.dir"))))
        names = [name for _, name, _ in tree_records(win)]
        self.assertEqual([b".hidden", b"LOCKED.TXT", b"README.TXT", b"DOCS", b"COPY.TXT",
                          b"DATA.BIN", b"NOTES.TXT", b"ZERO.TXT", b"EMPTY", b"SUB", b"DEEP",
                          b"LEAF.NFO"], names)

    def test_list_gives_the_same_output(self):
        self.create_both()
        for args in ([], ["*.TXT"], ["DOCS\\*"], ["/fast"], ["/fast", "*.NFO"]):
            options = [a for a in args if a.startswith("/")]
            masks = [a for a in args if not a.startswith("/")]
            self.assertSameRun(run_native(["l"] + options + ["lin.dir"] + masks, WORK),
                               run_wine(["l"] + options + ["win.dir"] + masks, WORK))

    def test_extract_check_and_mount_give_the_same_results(self):
        self.create_both()
        out_lin = os.path.join(WORK, "out-lin")
        out_win = os.path.join(WORK, "out-win")
        for d in (out_lin, out_win):
            os.makedirs(os.path.join(d, "none"), exist_ok=True)
        cases = [
            # Stored contents into the default target, ".\" (or "./").
            (["e", "../lin.dir", "DOCS\\COPY.TXT"], out_lin,
             ["e", "..\\win.dir", "docs\\copy.txt"], out_win, "COPY.TXT"),
            (["e", "lin.dir", "DOCS\\ZERO.TXT", out_lin + "/"], WORK,
             ["e", "win.dir", "DOCS\\ZERO.TXT", WIN_WORK + "\\out-win\\"], WORK, "ZERO.TXT"),
            # Not stored: copied from the medium and verified.
            (["e", "/mount=" + self.tree + "/", "lin.dir", "DOCS\\DATA.BIN", out_lin + "/"], WORK,
             ["e", "/mount=X:\\", "win.dir", "DOCS\\DATA.BIN", WIN_WORK + "\\out-win\\"], WORK,
             "DATA.BIN"),
            # Existing targets are checked: the copy just made, then the tree itself.
            (["e", "lin.dir", "DOCS\\DATA.BIN", out_lin + "/"], WORK,
             ["e", "win.dir", "DOCS\\DATA.BIN", WIN_WORK + "\\out-win\\"], WORK, None),
            (["e", "lin.dir", "SUB\\DEEP\\LEAF.NFO", self.tree + "/SUB/DEEP/"], WORK,
             ["e", "win.dir", "SUB\\DEEP\\LEAF.NFO", "X:\\SUB\\DEEP\\"], WORK, None),
            # Failures: a different target, an unknown path, no mount root.
            (["e", "lin.dir", "README.TXT", out_lin + "/"], WORK,
             ["e", "win.dir", "README.TXT", WIN_WORK + "\\out-win\\"], WORK, "README.TXT"),
            (["e", "lin.dir", "DOCS\\MISSING.TXT"], WORK,
             ["e", "win.dir", "DOCS\\MISSING.TXT"], WORK, None),
            (["e", "../../lin.dir", "DOCS\\DATA.BIN"], out_lin + "/none",
             ["e", "..\\..\\win.dir", "DOCS\\DATA.BIN"], out_win + "/none", None),
        ]
        write(os.path.join(out_lin, "README.TXT"), b"Read me later.\r\n")
        write(os.path.join(out_win, "README.TXT"), b"Read me later.\r\n")
        for native_args, native_cwd, wine_args, wine_cwd, made in cases:
            with self.subTest(wine_args):
                native = run_native(native_args, native_cwd)
                wine = run_wine(wine_args, wine_cwd)
                self.assertSameRun(native, wine, [self.tree + "/"], ["X:\\"])
                if made:
                    self.assertEqual(read(os.path.join(out_lin, made)),
                                     read(os.path.join(out_win, made)))
        self.assertEqual(read(os.path.join(self.tree, "DOCS", "DATA.BIN")),
                         read(os.path.join(out_win, "DATA.BIN")))
        self.assertEqual(read(os.path.join(self.tree, "DOCS", "COPY.TXT")),
                         read(os.path.join(out_win, "COPY.TXT")))

    def test_host_loads_the_module_and_walks_catalogs(self):
        self.create_both()
        worked = os.path.join(ROOT, "tests", "vectors", "worked-example.dir")
        shutil.copy(worked, WORK)
        for name in ("worked-example.dir", "win.dir"):
            with self.subTest(name):
                native = run_native([name], WORK, NATIVE_HOST)
                self.assertEqual(0, native[0], native)
                self.assertIn(b"GetArcItem -> 0\n", native[1])
                self.assertSameRun(native, run_wine([name], WORK, WINE_HOST))
                # The module named by a Windows path, as a file manager does.
                self.assertSameRun(native, run_wine(["--module=Z:" + MODULE.replace("/", "\\"),
                                                     WIN_WORK + "\\" + name], WORK, WINE_HOST))

    def test_names_above_0x7f_are_oem_in_the_catalog(self):
        intl = os.path.join(WORK, "intl")
        write(os.path.join(intl, "Caf\u00e9.TXT"), b"coffee")
        write(os.path.join(intl, "plain.TXT"), b"tea")
        code, out = run_wine(["c", "/store=*.TXT", "intl", WIN_WORK + "\\intl"], WORK)
        self.assertEqual(0, code, out)
        catalog = read(os.path.join(WORK, "intl.dir"))
        names = [name for _, name, _ in tree_records(catalog)]
        self.assertEqual([b"Caf\x82.TXT", b"plain.TXT"], names)  # e acute: 0xE9 ANSI, 0x82 OEM
        code, out = run_wine(["l", "intl.dir"], WORK)
        self.assertIn(b" Caf\x82.TXT\r\n", out)
        # The argument is ANSI, matched in OEM, and written back under the ANSI name.
        target = os.path.join(WORK, "intl-out")
        os.makedirs(target)
        code, out = run_wine(["e", "..\\intl.dir", "CAF\u00e9.txt"], target)
        self.assertEqual(0, code, out)
        self.assertIn(b"Ok (extract: check by CRC32)", out)
        self.assertEqual([b"Caf\xc3\xa9.TXT"], os.listdir(target.encode()))
        self.assertEqual(b"coffee", read(os.path.join(target, "Caf\u00e9.TXT")))
        # A letter above 0x7F differs from its other case, as it does natively.
        run_native(["c", "/store=*.TXT", "intl-lin", intl], WORK)
        self.assertSameRun(run_native(["e", "../intl-lin.dir", "CAF\u00c9.TXT"], target),
                           run_wine(["e", "..\\intl.dir", "CAF\u00c9.TXT"], target),
                           ["CAF\u00c9.TXT"], [b"CAF\x90.TXT"])  # E acute in OEM

    # The catalog name, the target directory and the mount source are
    # file-system names: they stay in the ANSI code page.
    def test_catalog_and_target_names_above_0x7f(self):
        write(os.path.join(WORK, "src8", "a.txt"), b"a")
        os.makedirs(os.path.join(WORK, "out\u00e9"))
        run_wine(["c", "/store=*", "caf\u00e9", WIN_WORK + "\\src8"], WORK)
        self.assertEqual(0, run_wine(["l", "caf\u00e9.dir"], WORK)[0])
        self.assertEqual(0, run_wine(["e", "caf\u00e9.dir", "a.txt", "out\u00e9\\"], WORK)[0])

    def test_mount_of_a_name_above_0x7f(self):
        write(os.path.join(WORK, "src9", "caf\u00e9.bin"), b"b")
        os.makedirs(os.path.join(WORK, "out9"))
        run_wine(["c", "src9", WIN_WORK + "\\src9"], WORK)
        code, out = run_wine(["e", "/mount=" + WIN_WORK + "\\src9\\", "src9.dir", "caf\u00e9.bin",
                              "out9\\"], WORK)
        self.assertEqual(0, code, out)


def main():
    global NATIVE, EXE, MODULE, NATIVE_HOST, WINE_HOST
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    native, windows = (os.path.abspath(p) for p in sys.argv[1:3])
    host = os.path.abspath(sys.argv[3]) if len(sys.argv) == 4 else windows
    NATIVE = os.path.join(native, "cli", "korvex")
    NATIVE_HOST = os.path.join(native, "bin", "korvexp-host")
    EXE = os.path.join(windows, "cli", "korvex.exe")
    MODULE = os.path.join(windows, "lib", "korvexp.dll")
    WINE_HOST = os.path.join(host, "bin", "korvexp-host.exe")
    win32 = is_32_bit(EXE)
    use_wine(win32)
    print("%s: %d-bit, under %s" % (EXE, 32 if win32 else 64, " ".join(WINE_RUN)), flush=True)
    unittest.main(argv=sys.argv[:1], verbosity=2)


if __name__ == "__main__":
    main()
