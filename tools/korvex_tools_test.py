#!/usr/bin/env python3
# korvexp-host, the Midnight Commander helper and korvex's console (on a
# terminal, a full device, a closed pipe), run from a real install of the build
# into a temporary prefix.
#
# Usage: korvex_tools_test.py BUILD_DIR SOURCE_DIR [unittest arguments]

import calendar
import glob
import json
import os
import re
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = SOURCE = WORK = None


def setUpModule():
    global WORK
    WORK = tempfile.mkdtemp(prefix="korvex-tools-test-")
    unittest.addModuleCleanup(shutil.rmtree, WORK, True)
    subprocess.run(["cmake", "--install", BUILD, "--prefix", WORK + "/prefix"], check=True,
                   stdout=subprocess.DEVNULL)
    os.mkdir(WORK + "/extfs.d")  # mc finds the helper by a link named after the file system
    os.symlink(WORK + "/prefix/share/korvex/korvex-extfs", WORK + "/extfs.d/korvex")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def tool(name, *args):
    return subprocess.run([os.path.join(WORK, "prefix", "bin", name)] + list(args),
                          capture_output=True)


class Golden(unittest.TestCase):
    def test_transcripts(self):
        # Each "$ " line of a golden file is run by sh in a directory of its
        # own; its output and exit code follow it.  KORVEX_UPDATE_CASES=1
        # rewrites the files from a run.
        for path in sorted(glob.glob(HERE + "/testdata/*.golden")):
            with self.subTest(path):
                expected, work = read(path), tempfile.mkdtemp(dir=WORK)
                names = [(b"{h}", WORK + "/prefix/bin/korvexp-host"), (b"{x}", WORK + "/extfs.d/korvex"),
                         (b"{k}", WORK + "/prefix/bin/korvex"), (b"{w}", work), (b"{s}", SOURCE)]
                out = b""
                for command in re.findall(rb"^\$ (.*)$", expected, re.M):
                    line = command
                    for name, value in names:
                        line = line.replace(name, os.fsencode(value))
                    p = subprocess.run(line, shell=True, cwd=work, stdout=subprocess.PIPE,
                                       stderr=subprocess.STDOUT, env={"PATH": "/usr/bin:/bin", "TZ": "UTC"})
                    for name, value in names:
                        p.stdout = p.stdout.replace(os.fsencode(value), name)
                    out += b"$ %s\n%s-> %d\n" % (command, p.stdout, p.returncode)
                out = re.sub(rb"(?m)^([-d]r.{8} 1) %d %d " % (os.getuid(), os.getgid()), rb"\1 UID GID ", out)
                if os.environ.get("KORVEX_UPDATE_CASES"):
                    with open(path, "wb") as f:
                        f.write(out)
                self.assertEqual(expected.decode("latin-1"), out.decode("latin-1"))


class RealTree(unittest.TestCase):
    # A catalog of a copy of system directories that nobody here wrote: every
    # entry as the module hands it to a host and as a search reports it is what
    # the disk holds, and restoring all of it gives the files back.

    def test_every_entry_as_on_disk(self):
        tree, catalog, copy = (os.fsencode(WORK + n) for n in ("/medium", "/medium.dir", "/copy"))
        for source in ("/usr/share/mc", "/usr/share/doc/mc", "/usr/share/common-licenses"):
            shutil.copytree(source, WORK + "/medium" + source[10:], symlinks=True)
        with open(tree + b"/mc/READONLY.TXT", "wb") as f:  # none of those is read-only
            f.write(b"read only\n")
        os.chmod(tree + b"/mc/READONLY.TXT", 0o444)
        self.assertEqual(0, tool("korvex", "c", "/store=*.gz:*.ini", "--", catalog, tree).returncode)
        # Links fail their check, and the restore with them.
        self.assertIn(tool("korvex", "e", b"/mount=" + tree, catalog, "\\", copy).returncode, (0, 3))
        items = re.findall(rb"^GetArcItem -> 1 0x(..) (\S+ \S+) (\d+) (.*)$",
                           tool("korvexp-host", catalog).stdout, re.M)
        found = tool("korvex", "s", "/json", "/dirs", "*", catalog).stdout.splitlines()
        on_disk = [os.path.relpath(os.path.join(top, n), tree)
                   for top, dirs, files in os.walk(tree) for n in dirs + files]
        self.assertGreater(len(items), 150)
        self.assertEqual(sorted(on_disk), sorted(p.replace(b"\\", b"/") for *_, p in items))
        for (attributes, when, size, path), record in zip(items, found, strict=True):
            full, r = os.path.join(tree, path.replace(b"\\", b"/")), json.loads(record)
            st = os.lstat(full)
            kind = 0x10 if stat.S_ISDIR(st.st_mode) else 0x20 if stat.S_ISREG(st.st_mode) else 4
            data, seconds = read(full) if kind == 0x20 else b"", int(st.st_mtime)
            if kind == 0x10:
                seconds = int(subprocess.run(["stat", "-c", "%W", full], capture_output=True).stdout
                              or 0) or seconds
            stored = kind != 0x10 and re.search(rb"\.(gz|ini)$", path) is not None
            flags = kind | (2 if path.rsplit(b"\\")[-1][:1] == b"." else 0) | (8 if stored else 0)
            flags |= 1 if kind != 4 and not st.st_mode & stat.S_IWUSR else 0
            self.assertEqual(
                (flags, seconds, len(data), path, kind == 0x10, stored, seconds, len(data),
                 None if kind == 0x10 else "%08X" % zlib.crc32(data)),
                (int(attributes, 16), calendar.timegm(time.strptime(when.decode(), "%Y-%m-%d %H:%M:%S")),
                 int(size), os.fsencode(r["path"].rstrip("\\")), r["kind"] == "dir", r["stored"],
                 r["seconds"], r["size"], r["crc"]))
            if kind == 0x20:
                copied = os.path.join(copy, path.replace(b"\\", b"/"))
                self.assertEqual((data, seconds), (read(copied), int(os.lstat(copied).st_mtime)), path)


class Interrupt(unittest.TestCase):
    # The program itself catches SIGINT: stopped while it scans, it ends with
    # 130 and leaves nothing behind; ignored by whoever started it, it stays
    # ignored.
    def scan(self, disposition, name, root):
        return subprocess.Popen([WORK + "/prefix/bin/korvex", "c", "/fast", "--", WORK + name, root],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                preexec_fn=lambda: signal.signal(signal.SIGINT, disposition))

    def test_sigint_while_scanning(self):
        p = self.scan(signal.SIG_DFL, "/stopped", "/usr")
        for _ in range(1000):  # until its handler is in place (bit 2 of the caught signals)
            with open("/proc/%d/status" % p.pid) as f:
                if int(re.search(r"SigCgt:\s*(\w+)", f.read()).group(1), 16) & 2:
                    break
            time.sleep(0.01)
        p.send_signal(signal.SIGINT)
        self.assertEqual(130, p.wait())
        self.assertEqual([], [n for n in os.listdir(WORK) if n.startswith("stopped")])

    def test_sigint_ignored_stays_ignored(self):
        p = self.scan(signal.SIG_IGN, "/ignored", "/usr/share")  # a few tenths of a second
        time.sleep(0.1)
        p.send_signal(signal.SIGINT)
        self.assertEqual(0, p.wait())


if __name__ == "__main__":
    BUILD, SOURCE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:])
