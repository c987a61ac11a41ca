"""An independent reader of catalog files, for script tests."""
import struct
import zlib

MAGIC = b"KORVEX\x1a\x00"


class Entry:
    def __init__(self, path, attributes, time, size=0, crc=None):
        self.path, self.attributes, self.time, self.size, self.crc = path, attributes, time, size, crc

    @property
    def is_dir(self):
        return bool(self.attributes & 0x10)


def parse(data):
    """Returns (entries, has_crc, contents) where contents maps stored index to bytes."""
    assert data[:8] == MAGIC, "magic"
    tree_crc, word = struct.unpack_from("<II", data, 8)
    length, has_crc = word & 0x7FFFFFFF, bool(word >> 31)
    tree = data[16:16 + length]
    assert zlib.crc32(tree) == tree_crc, "tree CRC"
    entries, stack, pos = [], [""], 0
    stored = []
    while True:
        if tree[pos] == 0:
            pos += 1
            stack.pop()
            if not stack:
                break
            continue
        end = tree.index(b"\0", pos)
        name = tree[pos:end].decode("latin-1")
        attributes = tree[end + 1]
        (time,) = struct.unpack_from("<I", tree, end + 2)
        if attributes & 0x10:
            entries.append(Entry(stack[-1] + name + "\\", attributes, time))
            stack.append(stack[-1] + name + "\\")
            pos = end + 6
        else:
            (size,) = struct.unpack_from("<I", tree, end + 6)
            crc = struct.unpack_from("<I", tree, end + 10)[0] if has_crc else None
            entries.append(Entry(stack[-1] + name, attributes, time, size, crc))
            if attributes & 0x08:
                stored.append(entries[-1])
            pos = end + (14 if has_crc else 10)
    contents = {}
    store = 16 + length
    if len(data) > store:
        store_crc, dlen = struct.unpack_from("<II", data, store)
        assert data[store + 8] == 3, "marker"
        area = data[store + 9:store + 9 + dlen]
        assert zlib.crc32(area) == store_crc, "store CRC"
        for i, entry in enumerate(stored):
            (offset,) = struct.unpack_from("<I", area, 4 * i)
            (size,) = struct.unpack_from("<I", area, offset)
            contents[entry.path] = area[offset + 4:offset + 4 + size]
    return entries, has_crc, contents
