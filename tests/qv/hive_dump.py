"""What a regf hive file holds, read from its cells, one line each:
    K PATH                       a key
    V PATH NAME TYPE DATA        a value (data in hex), in upper-case name order
    H PATH HASH                  the hash a subkey list keeps for the key's
                                 name ("-" in lists that keep none)
Keys are listed depth first, subkeys in their list's order. Exits 1 when a
subkey list is not sorted as Windows looks names up (by upper case).
    hive_dump.py FILE"""
import struct
import sys

data = open(sys.argv[1], "rb").read()
BINS = 0x1000
out = []


def cell(offset):
    return BINS + offset + 4  # past the cell's size


def u16(at):
    return struct.unpack_from("<H", data, at)[0]


def u32(at):
    return struct.unpack_from("<I", data, at)[0]


def name(raw, compressed):
    return raw.decode("latin-1") if compressed else raw.decode("utf-16-le", "surrogatepass")


def upper(text):
    return "".join(c.upper() if len(c.upper()) == 1 else c for c in text)


def entries(list_offset):
    """(child key's offset, hash or None) for each entry of a subkey list."""
    at = cell(list_offset)
    kind, count = data[at:at + 2], u16(at + 2)
    if kind in (b"ri", b"li"):
        offsets = struct.unpack_from(f"<{count}I", data, at + 4)
        if kind == b"li":
            return [(offset, None) for offset in offsets]
        return [entry for leaf in offsets for entry in entries(leaf)]
    pairs = struct.unpack_from(f"<{2 * count}I", data, at + 4)
    return [(pairs[2 * i], pairs[2 * i + 1] if kind == b"lh" else None) for i in range(count)]


def value_data(vk):
    size, offset = u32(vk + 4), u32(vk + 8)
    if size & 0x80000000:
        return data[vk + 8:vk + 8 + (size & 0x7FFFFFFF)]
    at = cell(offset)
    if size > 16344 and data[at:at + 2] == b"db":  # big data: a list of segments
        segments = struct.unpack_from(f"<{u16(at + 2)}I", data, cell(u32(at + 4)))
        joined = b"".join(data[cell(s):cell(s) + 16344] for s in segments)
        return joined[:size]
    return data[at:at + size]


def key_name(nk):
    return name(data[nk + 76:nk + 76 + u16(nk + 72)], u16(nk + 2) & 0x20)


unsorted = 0
pending = [(u32(36), "")]
while pending:
    offset, path = pending.pop()
    nk = cell(offset)
    out.append(f"K {path}")
    values = []
    if u32(nk + 36):
        for vk_offset in struct.unpack_from(f"<{u32(nk + 36)}I", data, cell(u32(nk + 40))):
            vk = cell(vk_offset)
            text = name(data[vk + 20:vk + 20 + u16(vk + 2)], u16(vk + 16) & 1)
            values.append((upper(text), f"V {path} {text!r} {u32(vk + 12)} {value_data(vk).hex()}"))
    out.extend(line for _, line in sorted(values))
    if u32(nk + 20) == 0:
        continue
    children = entries(u32(nk + 28))
    names = [key_name(cell(child)) for child, _ in children]
    if [upper(n) for n in names] != sorted(upper(n) for n in names):
        unsorted += 1
    below = []
    for (child, hash_kept), child_name in zip(children, names):
        out.append(f"H {path}\\{child_name} {'-' if hash_kept is None else hash_kept}")
        below.append((child, f"{path}\\{child_name}"))
    pending.extend(reversed(below))
sys.stdout.write("\n".join(out) + "\n")
sys.exit(1 if unsorted else 0)
