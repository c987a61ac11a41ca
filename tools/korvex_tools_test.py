#!/usr/bin/env python3
"""Tests of korvexp-host and the Midnight Commander helper, run against a real
install of the build into a temporary prefix and a catalog of a copy of
system directories that nobody here wrote.

Usage: korvex_tools_test.py BUILD_DIR SOURCE_DIR [unittest arguments]
"""

import calendar
import os
import re
import shlex
import shutil
import stat
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

BUILD = SOURCE = WORK = PREFIX = TREE = CATALOG = None
COPIED = {"/usr/share/mc": "mc", "/usr/share/doc/mc": "doc",
          "/usr/share/common-licenses": "common-licenses"}
ODD_NAME = b"with space \xe9.txt"  # a byte that is no UTF-8, passed through untouched


def run(args, **kw):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)


def host(*args):
    return run([os.path.join(PREFIX, "bin", "korvexp-host")] + list(args))


def korvex(*args):
    return run([os.path.join(PREFIX, "bin", "korvex")] + list(args))


def setUpModule():
    global WORK
    WORK = tempfile.mkdtemp(prefix="korvex-tools-test-")
    try:
        prepare()
    except BaseException:
        tearDownModule()
        raise


def prepare():
    global PREFIX, TREE, CATALOG
    PREFIX = os.path.join(WORK, "prefix")
    installed = run(["cmake", "--install", BUILD, "--prefix", PREFIX])
    if installed.returncode != 0:
        raise RuntimeError(installed.stderr.decode(errors="replace"))
    TREE = os.path.join(WORK, "medium")
    os.mkdir(TREE)
    for source, name in COPIED.items():
        shutil.copytree(source, os.path.join(TREE, name), symlinks=True)
    # What the copies lack: a read-only file, a dot name, an odd name, an empty directory.
    with open(os.path.join(os.fsencode(TREE), b"mc", b"help", ODD_NAME), "wb") as f:
        f.write(b"odd name\n")
    readonly = os.path.join(TREE, "mc", "READONLY.TXT")
    with open(readonly, "w") as f:
        f.write("read only\n")
    os.chmod(readonly, 0o444)
    with open(os.path.join(TREE, ".hidden"), "w") as f:
        f.write("dot\n")
    os.mkdir(os.path.join(TREE, "empty"))
    made = korvex("c", "/store=*.gz:*.ini", "--", os.path.join(WORK, "medium"), TREE)
    if made.returncode != 0:
        raise RuntimeError(made.stdout.decode(errors="replace"))
    CATALOG = os.path.join(WORK, "medium.dir")


def tearDownModule():
    shutil.rmtree(WORK, ignore_errors=True)


def host_items(output):
    """(attributes, seconds since 1970, size, catalog path) from korvexp-host."""
    items = []
    for line in output.split(b"\n"):
        if line.startswith(b"GetArcItem -> 1 "):
            attributes, day, clock, size, path = line[16:].split(b" ", 4)
            seconds = calendar.timegm(time.strptime((day + b" " + clock).decode(),
                                                    "%Y-%m-%d %H:%M:%S"))
            items.append((int(attributes, 16), seconds, int(size), path))
    return items


def disk_attributes_and_time(path):
    """What the scanner records for a path, by the platform's rules."""
    st = os.lstat(path)
    hidden = 0x02 if os.path.basename(path).startswith(b".") else 0
    read_only = 0 if st.st_mode & stat.S_IWUSR else 0x01
    if stat.S_ISDIR(st.st_mode):
        birth = int(run(["stat", "-c", "%W", path]).stdout or b"0")
        return 0x10 | hidden | read_only, birth or int(st.st_mtime), 0
    if stat.S_ISREG(st.st_mode):
        return 0x20 | hidden | read_only, int(st.st_mtime), st.st_size
    return 0x04 | hidden, int(st.st_mtime), 0


def catalog_bytes(tree, crc_flag=True):
    word = len(tree) | (0x80000000 if crc_flag else 0)
    return (b"KORVEX\x1a\x00" + zlib.crc32(tree).to_bytes(4, "little") +
            word.to_bytes(4, "little") + tree)


class Host(unittest.TestCase):
    def write(self, name, data):
        path = os.path.join(WORK, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_worked_example_call_by_call(self):
        vector = os.path.join(SOURCE, "tests", "vectors", "worked-example.dir")
        result = host(vector)
        self.assertEqual(0, result.returncode)
        lines = result.stdout.decode().splitlines()
        self.assertEqual([
            "LoadFormatModule -> 0",
            'GetFormatName -> 1 "KORVEX" "DIR"',
            'GetDefaultCommands 0 -> 1 "korvex e /mount=I:\\ %%A "%%f" .\\"'],
            lines[:3])
        self.assertEqual(['GetDefaultCommands %d -> 1 ""' % i for i in range(1, 14)], lines[3:16])
        self.assertEqual([
            'GetDefaultCommands 14 -> 1 "*"',
            "GetDefaultCommands 15 -> 0",
            "IsArchive 60 bytes -> 1",
            "OpenArchive -> 1 value 0",
            "GetArcItem -> 1 0x28 2001-09-09 01:46:40 3 A",
            "GetArcItem -> 1 0x10 2001-09-09 01:46:40 0 D",
            "GetArcItem -> 0",
            "CloseArchive -> 1 info 0 0 0 1 0"], lines[16:])
        shorter = host("--first=17", vector)
        self.assertIn(b"IsArchive 17 bytes -> 1\nOpenArchive -> 1", shorter.stdout)
        self.assertEqual(0, shorter.returncode)

    def test_exit_codes(self):
        readme = self.write("not-a-catalog.txt", b"plain text, no catalog at all\n")
        self.assertEqual(2, host(readme).returncode)
        self.assertEqual(2, host("--first=16", os.path.join(
            SOURCE, "tests", "vectors", "worked-example.dir")).returncode)
        damaged = bytearray(catalog_bytes(b"A\x00\x20\x00\x00\x00\x00\x01\x00\x00\x00\x00"
                                          b"\x00\x00\x00\x00"))
        damaged[-2] ^= 1
        self.assertEqual(3, host(self.write("damaged.dir", bytes(damaged))).returncode)
        trailing = catalog_bytes(b"\x00\x00")
        result = host(self.write("trailing.dir", trailing))
        self.assertEqual(4, result.returncode)
        self.assertIn(b"GetArcItem -> 3\nCloseArchive -> 1", result.stdout)
        self.assertEqual(1, host(os.path.join(WORK, "missing.dir")).returncode)
        self.assertEqual(1, host("--module=" + os.path.join(WORK, "nope.so"), readme).returncode)
        self.assertEqual(1, host("--first=x", readme).returncode)
        self.assertEqual(1, host().returncode)
        helped = host("--help")
        self.assertEqual(0, helped.returncode)
        self.assertIn(b"Exit codes:", helped.stdout)


class ModuleAgainstList(unittest.TestCase):
    """The module and korvex l read the same catalog the same way, and both
    match the tree on disk."""

    def test_every_entry_agrees(self):
        walked = host(CATALOG)
        self.assertEqual(0, walked.returncode, walked.stderr)
        items = host_items(walked.stdout)
        listed = korvex("l", "--", CATALOG)
        self.assertEqual(0, listed.returncode)
        entries = []
        for line in listed.stdout.split(b"\n"):
            if len(line) > 15 and line[:1] in b"T*" and line[1:2] in b"D*" and line[2:3] == b" ":
                size, path = line[3:].lstrip(b" ").split(b" ", 1)
                is_dir = line[1:2] == b"D"
                self.assertEqual(is_dir, path.endswith(b"\\"))
                entries.append((line[:1] == b"T", is_dir,
                                0 if is_dir else int(size.replace(b"'", b"")),
                                path.rstrip(b"\\") if is_dir else path))
        self.assertGreater(len(items), 150)
        self.assertEqual(entries, [(bool(a & 0x08), bool(a & 0x10), size, path)
                                   for a, _, size, path in items])
        self.assertTrue(any(stored for stored, _, _, _ in entries))

        on_disk = set()
        for top, dirs, files in os.walk(os.fsencode(TREE)):
            for name in dirs + files:
                on_disk.add(os.path.relpath(os.path.join(top, name), os.fsencode(TREE)))
        self.assertEqual(on_disk, {path.replace(b"\\", b"/") for _, _, _, path in items})
        for attributes, seconds, size, path in items:
            full = os.path.join(os.fsencode(TREE), path.replace(b"\\", b"/"))
            self.assertEqual(disk_attributes_and_time(full), (attributes & ~0x08, seconds, size),
                             path)


class Extfs(unittest.TestCase):
    """The helper as mc runs it: through sh from its own directory, found by
    a link named after the file system, with the catalog's absolute path."""

    @classmethod
    def setUpClass(cls):
        cls.extfs_dir = os.path.join(WORK, "extfs.d")
        os.makedirs(cls.extfs_dir, exist_ok=True)
        link = os.path.join(cls.extfs_dir, "korvex")
        if not os.path.islink(link):
            os.symlink(os.path.join(PREFIX, "share", "korvex", "korvex-extfs"), link)
        cls.env = {k: v for k, v in os.environ.items()
                   if k not in ("KORVEX", "KORVEXP_HOST", "KORVEX_MOUNT_ROOT")}
        cls.env["PATH"] = "/usr/bin:/bin"

    def helper(self, *args, mount_root=None, tz=None):
        env = dict(self.env)
        if mount_root:
            env["KORVEX_MOUNT_ROOT"] = mount_root
        if tz:
            env["TZ"] = tz
        command = " ".join(shlex.quote(a) for a in [os.path.join(self.extfs_dir, "korvex")] + list(args))
        return subprocess.run(["/bin/sh", "-c", command], cwd="/", env=env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def mc_target(self, name):
        """An empty local file, as mc creates one before copyout."""
        handle, path = tempfile.mkstemp(prefix="extfs", suffix=name, dir=WORK)
        os.close(handle)
        return path

    def test_list_is_one_ls_line_per_entry_in_local_time(self):
        tz = "Asia/Kolkata" if os.path.exists("/usr/share/zoneinfo/Asia/Kolkata") else "UTC"
        listed = self.helper("list", CATALOG, tz=tz)
        self.assertEqual(0, listed.returncode, listed.stderr)
        items = host_items(host(CATALOG).stdout)
        line = re.compile(rb"^([-d])r([-w])[-x]r-[-x]r-[-x] 1 \d+ \d+ (\d+) "
                          rb"(\d\d-\d\d-\d{4} \d\d:\d\d:\d\d) (.+)$")
        lines = listed.stdout.split(b"\n")
        self.assertEqual(b"", lines.pop())
        self.assertEqual(len(items), len(lines))
        saved = os.environ.get("TZ")
        os.environ["TZ"] = tz
        time.tzset()
        try:
            for text, (attributes, seconds, size, path) in zip(lines, items):
                match = line.match(text)
                self.assertIsNotNone(match, text)
                kind, write, shown_size, stamp, shown_path = match.groups()
                self.assertEqual(b"d" if attributes & 0x10 else b"-", kind)
                self.assertEqual(b"-" if attributes & 0x01 else b"w", write)
                self.assertEqual(size, int(shown_size))
                self.assertEqual(time.strftime("%m-%d-%Y %H:%M:%S", time.localtime(seconds)),
                                 stamp.decode())
                self.assertEqual(path.replace(b"\\", b"/"), shown_path)
        finally:
            if saved is None:
                del os.environ["TZ"]
            else:
                os.environ["TZ"] = saved
            time.tzset()
        self.assertIn(b"mc/help/" + ODD_NAME + b"\n", listed.stdout)

    def copied(self, inside, **kw):
        target = self.mc_target(os.path.basename(inside))
        result = self.helper("copyout", CATALOG, inside, target, **kw)
        self.last_error = result.stderr
        with open(target, "rb") as f:
            return result.returncode, f.read()

    def original(self, inside):
        with open(os.path.join(TREE, inside), "rb") as f:
            return f.read()

    def test_copyout_from_the_store(self):
        stored = "mc/skins/default.ini"  # *.ini are stored; no medium is named
        self.assertEqual((0, self.original(stored)), self.copied(stored))

    def test_copyout_by_mount_verifies_the_medium(self):
        unstored = "common-licenses/GPL-3"
        code, data = self.copied(unstored)
        self.assertNotEqual(0, code)  # neither stored nor any medium named
        self.assertEqual(b"", data)
        self.assertIn(b"...Fail (", self.last_error)
        self.assertIn(b"KORVEX_MOUNT_ROOT", self.last_error)
        self.assertEqual((0, self.original(unstored)), self.copied(unstored, mount_root=TREE))
        odd = os.fsdecode(b"mc/help/" + ODD_NAME)
        self.assertEqual((0, b"odd name\n"), self.copied(odd, mount_root=TREE))

        # A medium whose file has changed since the catalog was made.
        other = os.path.join(WORK, "other-medium")
        os.makedirs(os.path.join(other, "common-licenses"), exist_ok=True)
        changed = bytearray(self.original(unstored))
        changed[100] ^= 0x01
        with open(os.path.join(other, unstored), "wb") as f:
            f.write(changed)
        code, data = self.copied(unstored, mount_root=other)
        self.assertNotEqual(0, code)
        self.assertEqual(b"", data)

    def test_catalogs_are_read_only(self):
        for command in (["rm", CATALOG, "a"], ["mkdir", CATALOG, "d"], ["copyin", CATALOG, "a", "/etc/hostname"]):
            self.assertEqual(1, self.helper(*command).returncode)
        self.assertEqual(1, self.helper("list", os.path.join(SOURCE, "CMakeLists.txt")).returncode)


if __name__ == "__main__":
    BUILD, SOURCE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:])
