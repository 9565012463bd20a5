"""Prints the subkey lists of a regf hive file, one line a subkey:
PATH<TAB>HASH, where HASH is what the list keeps for the name (the lh
list's hash, "-" in other kinds of list). Exits 1 when a list is not sorted
as Windows looks names up (by upper case).
    hive_lists.py FILE"""
import struct
import sys

data = open(sys.argv[1], "rb").read()
BINS = 0x1000


def cell(offset):
    return BINS + offset + 4  # past the cell's size


def name_of(nk):
    flags, = struct.unpack_from("<H", data, nk + 2)
    length, = struct.unpack_from("<H", data, nk + 72)
    raw = data[nk + 76:nk + 76 + length]
    return raw.decode("latin-1") if flags & 0x20 else raw.decode("utf-16-le", "surrogatepass")


def entries(list_offset):
    """(child nk offset, hash or None) for each entry of a subkey list."""
    at = cell(list_offset)
    kind = data[at:at + 2]
    count, = struct.unpack_from("<H", data, at + 2)
    if kind == b"ri" or kind == b"li":
        offsets = struct.unpack_from(f"<{count}I", data, at + 4)
        if kind == b"li":
            return [(offset, None) for offset in offsets]
        return [entry for leaf in offsets for entry in entries(leaf)]
    pairs = struct.unpack_from(f"<{2 * count}I", data, at + 4)
    return [(pairs[2 * i], pairs[2 * i + 1] if kind == b"lh" else None) for i in range(count)]


root, = struct.unpack_from("<I", data, 36)
unsorted = 0
pending = [(root, "")]
while pending:
    offset, path = pending.pop()
    nk = cell(offset)
    count, = struct.unpack_from("<I", data, nk + 20)
    if count == 0:
        continue
    list_offset, = struct.unpack_from("<I", data, nk + 28)
    children = entries(list_offset)
    names = [name_of(cell(child)) for child, _ in children]
    upper = ["".join(c.upper() if len(c.upper()) == 1 else c for c in n) for n in names]
    if upper != sorted(upper):
        unsorted += 1
    for (child, hash_kept), name in zip(children, names):
        below = f"{path}\\{name}"
        print(f"{below}\t{'-' if hash_kept is None else hash_kept}")
        pending.append((child, below))
sys.exit(1 if unsorted else 0)
