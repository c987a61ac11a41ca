"""Catalogs a tree nobody here wrote and checks every CRC-32 and stored file
against the files themselves, read independently."""
import os
import shutil
import subprocess
import sys
import tempfile
import zlib

sys.path.insert(0, os.path.dirname(__file__))
import catalog  # noqa: E402

SOURCES = ["/usr/share/cmake-3.25/Help", "/usr/share/doc/git", "/usr/share/common-licenses"]


def main():
    korvex = sys.argv[1]
    source = next(s for s in SOURCES if os.path.isdir(s))
    with tempfile.TemporaryDirectory() as tmp:
        tree = os.path.join(tmp, "tree")
        shutil.copytree(source, tree, symlinks=True)
        cat = os.path.join(tmp, "docs.dir")
        run = subprocess.run([korvex, "c", "/store=*", "/max=20000", "--", cat, tree],
                             capture_output=True)
        assert run.returncode == 0, run.stdout + run.stderr
        entries, has_crc, contents = catalog.parse(open(cat, "rb").read())
        assert has_crc
        files = checked = 0
        for entry in entries:
            local = os.path.join(tree, *entry.path.rstrip("\\").split("\\"))
            if entry.is_dir:
                assert os.path.isdir(local), entry.path
                continue
            files += 1
            if os.path.islink(local):
                assert entry.attributes & 0x04 and entry.size == 0 and entry.crc == 0, entry.path
                continue
            data = open(local, "rb").read()
            assert entry.size == len(data), entry.path
            assert entry.crc == zlib.crc32(data), entry.path
            assert entry.time == int(os.lstat(local).st_mtime), entry.path
            if len(data) < 20000:
                assert contents[entry.path] == data, entry.path
                checked += 1
            else:
                assert entry.path not in contents
        walked = sum(len(f) for _, _, f in os.walk(tree))
        assert files == walked, (files, walked)
        print(f"{files} files, {checked} stored files checked from {source}")


if __name__ == "__main__":
    main()
