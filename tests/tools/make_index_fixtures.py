#!/usr/bin/env python3
"""Test tool: writes xBase index files of the layouts no installed library
writes, built from the documented byte layouts, with small pages so that
every file has several levels.

    make_index_fixtures.py OUTDIR [ROWS]

With more than a thousand rows (for benchmarks) only the single-file
layouts of kinds 0, 1 and 5 are written.

It also writes OUTDIR/rows.txt, the rows the keys come from (name bytes in
hex, amount, record number), so a test can work out the expected order.
"""
import os
import struct
import sys

KL = 10  # character key length


def rows(count=240):
    """Deterministic names with shared prefixes, duplicates, an OEM byte, and amounts."""
    out = []
    seed = 12345
    stems = [b"ALPHA", b"ALPINE", b"BETA", b"BRAVO", b"CHARLIE", b"DELTA", b"ECHO", b"FOX", b"M\x81LLER", b"ZULU"]
    for i in range(count):
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        stem = stems[seed % len(stems)]
        suffix = b"%d" % ((seed >> 8) % (60 if count <= 1000 else 99999)) if i % 7 else b""
        name = (stem + suffix)[:KL]
        amount = ((seed >> 4) % 2000 - 1000) / 4.0
        out.append((name, amount, i + 1))
    return out


def padded(name, length=KL, pad=b" "):
    return name + pad * (length - len(name))


# ---- key forms

def fox_double(v):
    b = bytearray(struct.pack(">d", v))
    if b[0] & 0x80:
        b = bytearray(x ^ 0xFF for x in b)
    else:
        b[0] |= 0x80
    return bytes(b)


def fox_int(v):
    n = int(v) & 0xFFFFFFFF
    b = bytearray(struct.pack(">I", n))
    b[0] ^= 0x80
    return bytes(b)


def packed_decimal(v):
    if v == 0:
        return struct.pack("<H", 0x0134) + bytes(10)
    text = "%.15e" % abs(v)
    mant, exp = text.split("e")
    exp = int(exp)
    digits = mant.replace(".", "")[:16]
    word = (exp + 309) | (0x8000 if v < 0 else 0)
    d = bytearray(10)
    for i, ch in enumerate(digits):
        if i % 2 == 0:
            d[i // 2] |= int(ch) << 4
        else:
            d[i // 2] |= int(ch)
    return struct.pack("<H", word) + bytes(d)


def packed_key(k):
    """Sort key of packed decimals: negatives first, by exponent then digits."""
    w = struct.unpack("<H", k[:2])[0]
    neg = w & 0x8000
    e = w & 0x3FF
    if neg:
        return (0, -e, bytes(255 - x for x in k[2:]))
    return (1, e, k[2:])


def ntx_number(v, length=KL):
    text = ("%.2f" % v).rjust(length)
    if text.strip().startswith("-"):
        digits = text.replace("-", " ").strip().rjust(length - 1, "0")
        return b"," + bytes(92 - ord(c) if c.isdigit() else ord(c) for c in digits)
    return text.replace(" ", "0").encode()


# ---- tree shapes

def chunks(items, size):
    return [items[i:i + size] for i in range(0, len(items), size)]


def bplus_levels(entries, cap):
    """All keys in the leaves; returns the list of levels, leaves first.
    Each node is a list of (key, record) for leaves or (key, child index) above."""
    levels = [chunks(entries, cap)]
    while len(levels[-1]) > 1:
        below = levels[-1]
        parents = chunks([(node[-1][0], i) for i, node in enumerate(below)], cap)
        levels.append(parents)
    return levels


def btree(entries, cap):
    """Interior keys are keys of their own: node = (keys, children or None)."""
    n = len(entries)
    if n <= cap:
        return (entries, None)
    s = max(1, min(cap, n // (cap + 1)))
    rest = n - s
    sizes = [rest // (s + 1) + (1 if i < rest % (s + 1) else 0) for i in range(s + 1)]
    keys, children, at = [], [], 0
    for i, size in enumerate(sizes):
        children.append(btree(entries[at:at + size], cap))
        at += size
        if i < s:
            keys.append(entries[at])
            at += 1
    return (keys, children)


class Pages:
    """A file of fixed-size pages after a header area."""

    def __init__(self, header_size, page_size):
        self.data = bytearray(header_size)
        self.page_size = page_size

    def add(self):
        at = len(self.data)
        self.data += bytes(self.page_size)
        return at

    def put(self, at, raw):
        self.data[at:at + len(raw)] = raw


# ---- kind 1 (offset-addressed 1024-byte pages, interior keys are keys)

def write_ntx(path, entries, kl, descending=False):
    cap = 4
    f = Pages(1024, 1024)
    es = kl + 8

    def emit(node):
        keys, children = node
        at = f.add()
        child_offsets = [emit(c) for c in children] if children else None
        page = bytearray(1024)
        struct.pack_into("<H", page, 0, len(keys))
        first = 2 + 2 * (cap + 2)
        for i in range(cap + 1):
            struct.pack_into("<H", page, 2 + 2 * i, first + i * es)
        for i, (key, rec) in enumerate(keys):
            child = child_offsets[i] if child_offsets else 0
            struct.pack_into("<II", page, first + i * es, child, rec)
            page[first + i * es + 8:first + i * es + 8 + kl] = key
        if child_offsets:
            struct.pack_into("<I", page, first + len(keys) * es, child_offsets[-1])
        f.put(at, page)
        return at

    root = emit(btree(entries, cap))
    h = bytearray(1024)
    struct.pack_into("<HHII", h, 0, 6, 1, root, 0)
    struct.pack_into("<HHHHH", h, 12, es, kl, 0, cap, cap // 2)
    h[22:22 + 4] = b"NAME"
    struct.pack_into("<H", h, 280, 1 if descending else 0)
    f.put(0, h)
    open(path, "wb").write(f.data)


# ---- kind 2 (uncompressed, offset-addressed 512-byte pages)

def write_idx(path, entries, kl):
    cap = 4
    f = Pages(512, 512)
    levels = bplus_levels(entries, cap)
    offsets = []
    for depth, level in enumerate(levels):
        leaf = depth == 0
        row = [f.add() for _ in level]
        for j, node in enumerate(level):
            page = bytearray(512)
            attr = (2 if leaf else 0) | (1 if depth == len(levels) - 1 else 0)
            left = row[j - 1] if j > 0 else 0xFFFFFFFF
            right = row[j + 1] if j + 1 < len(row) else 0xFFFFFFFF
            struct.pack_into("<HHII", page, 0, attr, len(node), left, right)
            for i, (key, ref) in enumerate(node):
                value = ref if leaf else offsets[-1][ref]
                page[12 + i * (kl + 4):12 + i * (kl + 4) + kl] = key
                struct.pack_into(">I", page, 12 + i * (kl + 4) + kl, value)
            f.put(row[j], page)
        offsets.append(row)
    h = bytearray(512)
    struct.pack_into("<IIIH", h, 0, offsets[-1][0], 0xFFFFFFFF, len(f.data), kl)
    h[14] = 0
    h[16:16 + 4] = b"NAME"
    f.put(0, h)
    open(path, "wb").write(f.data)


# ---- kinds 0, 3, 4: all keys in leaves, one more child than keys above

def write_extra_pointer_tree(f, entries, kl, es, cap, write_page):
    levels = bplus_levels(entries, cap)
    numbers = []
    for depth, level in enumerate(levels):
        row = [f.add() for _ in level]
        for j, node in enumerate(level):
            if depth == 0:
                write_page(row[j], [(k, r, 0) for k, r in node], None)
            else:
                kids = [numbers[-1][c] for _, c in node]
                write_page(row[j], [(k, 0, kids[i]) for i, (k, _) in enumerate(node[:-1])], kids[-1])
        numbers.append(row)
    return numbers[-1][0]


def write_ndx(path, entries, kl, numeric):
    f = Pages(512, 512)
    es = (kl + 8 + 3) // 4 * 4

    def page_writer(at, items, extra):
        page = bytearray(512)
        struct.pack_into("<I", page, 0, len(items))
        for i, (key, rec, child) in enumerate(items):
            struct.pack_into("<II", page, 4 + i * es, child // 512, rec)
            page[4 + i * es + 8:4 + i * es + 8 + kl] = key
        if extra is not None:
            struct.pack_into("<I", page, 4 + len(items) * es, extra // 512)
        f.put(at, page)

    root = write_extra_pointer_tree(f, entries, kl, es, 4, page_writer)
    h = bytearray(512)
    struct.pack_into("<IIIHHHH", h, 0, root // 512, len(f.data) // 512, 0, kl, 4, 1 if numeric else 0, es)
    h[24:24 + 4] = b"NAME"
    f.put(0, h)
    open(path, "wb").write(f.data)


def write_wdx(path, base, names):
    h = bytearray(14 + 10 * len(names))
    h[0] = 0x33
    h[3] = len(names)
    h[4:4 + len(base)] = base
    for i, name in enumerate(names):
        h[14 + i * 10:14 + i * 10 + len(name)] = name
    open(path, "wb").write(h)


def write_mdx(path, tags):
    """tags: list of (name, type letter, kl, entries, descending)."""
    f = Pages(2048, 1024)
    table = []
    for name, letter, kl, entries, descending in tags:
        es = (kl + 4 + 3) // 4 * 4
        head_at = f.add()

        def page_writer(at, items, extra):
            page = bytearray(1024)
            struct.pack_into("<H", page, 0, len(items))
            for i, (key, rec, child) in enumerate(items):
                struct.pack_into("<I", page, 8 + i * es, child if extra is not None else rec)
                page[8 + i * es + 4:8 + i * es + 4 + kl] = key
            struct.pack_into("<I", page, 8 + len(items) * es, extra if extra is not None else 0)
            f.put(at, page)

        cap = min(5, (1024 - 12) // es - 1)
        root = write_extra_pointer_tree(f, entries, kl, es, cap, page_writer)
        h = bytearray(1024)
        struct.pack_into("<I", h, 0, root // 512)
        h[8] = 0x08 if descending else 0
        h[9] = ord(letter)
        struct.pack_into("<H", h, 12, kl)
        struct.pack_into("<H", h, 18, es)
        h[24:24 + len(name)] = name.encode()
        f.put(head_at, h)
        table.append((head_at // 512, name))
    # Page numbers above were byte offsets; the layout counts 512-byte blocks.
    fix_block_numbers(f, tags, table)
    h = bytearray(2048)
    h[0] = 2
    struct.pack_into("<HH", h, 20, 2, 1024)
    h[26] = 32
    h[28] = len(tags)
    for i, (block, name) in enumerate(table):
        struct.pack_into("<I", h, 544 + i * 32, block)
        h[544 + i * 32 + 4:544 + i * 32 + 4 + len(name)] = name.encode()
        h[544 + i * 32 + 20] = ord(tags[i][1])
    f.put(0, h)
    open(path, "wb").write(f.data)


def fix_block_numbers(f, tags, table):
    # Children were written as byte offsets: the layout counts 512-byte blocks.
    for (block, _), tag in zip(table, tags):
        es = (tag[2] + 4 + 3) // 4 * 4
        todo = [struct.unpack_from("<I", f.data, block * 512)[0] * 512]
        while todo:
            at = todo.pop()
            count = struct.unpack_from("<H", f.data, at)[0]
            if struct.unpack_from("<I", f.data, at + 8 + count * es)[0] == 0:
                continue
            for i in range(count + 1):
                child = struct.unpack_from("<I", f.data, at + 8 + i * es)[0]
                struct.pack_into("<I", f.data, at + 8 + i * es, child // 512)
                todo.append(child)


def write_kind4(path, entries, kl, code):
    f = Pages(1024, 1024)
    es = kl + 8
    cap = 4

    def page_writer(at, items, extra):
        page = bytearray(1024)
        page[0] = 1 if extra is None else 0
        page[1] = len(items)
        for i, (key, rec, child) in enumerate(items):
            struct.pack_into("<II", page, 2 + i * es, (child // 1024 - 1) if extra is not None else 0,
                             rec - 1 if extra is None else 0)
            page[2 + i * es + 8:2 + i * es + 8 + kl] = key
        if extra is not None:
            struct.pack_into("<I", page, 2 + len(items) * es, extra // 1024 - 1)
        f.put(at, page)

    root = write_extra_pointer_tree(f, entries, kl, es, cap, page_writer)
    expr = b"NAME"
    h = bytearray(1024)
    struct.pack_into("<HI", h, 0, 0x20DA, root // 1024 - 1)
    struct.pack_into("<H", h, 52, kl)
    struct.pack_into("<H", h, 56, es)
    struct.pack_into("<H", h, 60, (len(expr) + 2) & ~1)
    h[64] = code
    h[112:112 + len(expr)] = expr
    f.put(0, h)
    open(path, "wb").write(f.data)


# ---- kinds 5 and 6: compact leaves

def compact_leaf(items, kl, pad, attr, left, right):
    page = bytearray(512)
    struct.pack_into("<HHII", page, 0, attr, len(items), left, right)
    struct.pack_into("<I", page, 14, 0xFFFFFF)
    page[18], page[19], page[20], page[21], page[22], page[23] = 0xFF, 0xFF, 24, 8, 8, 5
    back = 512
    prev = bytes(kl)
    for i, (key, rec) in enumerate(items):
        trail = len(key) - len(key.rstrip(pad))
        dup = 0
        while dup < kl - trail and key[dup] == prev[dup]:
            dup += 1
        fresh = key[dup:kl - trail]
        back -= len(fresh)
        page[back:back + len(fresh)] = fresh
        page[24 + i * 5:24 + i * 5 + 5] = struct.pack("<I", rec)[:3] + bytes([dup, trail])
        prev = key
    assert back >= 24 + len(items) * 5
    struct.pack_into("<H", page, 12, back - (24 + len(items) * 5))
    return page


def write_compact_tree(f, entries, kl, pad, cap):
    levels = bplus_levels(entries, cap)
    offsets = []
    for depth, level in enumerate(levels):
        row = [f.add() for _ in level]
        for j, node in enumerate(level):
            root = 1 if depth == len(levels) - 1 else 0
            left = row[j - 1] if j > 0 else 0xFFFFFFFF
            right = row[j + 1] if j + 1 < len(row) else 0xFFFFFFFF
            if depth == 0:
                page = compact_leaf(node, kl, pad, 2 | root, left, right)
            else:
                page = bytearray(512)
                struct.pack_into("<HHII", page, 0, root, len(node), left, right)
                for i, (key, c) in enumerate(node):
                    at = 12 + i * (kl + 8)
                    page[at:at + kl] = key
                    struct.pack_into(">II", page, at + kl, 0, offsets[-1][c])
            f.put(row[j], page)
        offsets.append(row)
    return offsets[-1][0]


def compact_header(root, kl, expr, descending=False):
    h = bytearray(1024)
    struct.pack_into("<IIIH", h, 0, root, 0xFFFFFFFF, 0, kl)
    h[14] = 0x20
    h[502] = 1 if descending else 0
    h[512:512 + len(expr)] = expr
    return h


def write_compact_idx(path, entries, kl, pad):
    f = Pages(1024, 512)
    root = write_compact_tree(f, entries, kl, pad, 6)
    f.put(0, compact_header(root, kl, b"NAME"))
    open(path, "wb").write(f.data)


def write_cdx(path, tags):
    """tags: list of (name, kl, pad, entries, descending)."""
    f = Pages(1024, 512)
    names = []
    for name, kl, pad, entries, descending in tags:
        head_at = f.add()
        f.add()
        root = write_compact_tree(f, entries, kl, pad, 6)
        f.put(head_at, compact_header(root, kl, name.encode(), descending))
        names.append((padded(name.encode(), 10), head_at))
    names.sort()
    root = write_compact_tree(f, names, 10, b" ", 2)
    f.put(0, compact_header(root, 10, b""))
    open(path, "wb").write(f.data)


# ---- kind 8

def nsx_encode(key, prev, kl, pad, r, rec):
    if key == prev:
        return struct.pack("<I", rec)[:r] + bytes([r + 1])
    shared = 0
    while shared < kl and key[shared] == prev[shared]:
        shared += 1
    body = key[shared:].rstrip(pad) if pad == b" " else key[shared:]
    coded = bytearray()
    i = 0
    while i < len(body):
        run = 1
        while i + run < len(body) and body[i + run] == body[i] and run < 250:
            run += 1
        if run >= 3:
            coded += bytes([255, run, body[i]])
            i += run
        elif body[i] == 255:
            coded += bytes([255, 1])
            i += 1
        else:
            coded.append(body[i])
            i += 1
    return struct.pack("<I", rec)[:r] + bytes([r + 2 + len(coded), shared]) + bytes(coded)


def write_nsx(path, tags):
    """tags: list of (name, kl, pad, type code, entries, descending)."""
    f = Pages(1024, 1024)
    directory = []
    for name, kl, pad, code, entries, descending in tags:
        head_at = f.add()

        def emit(node, left_key):
            keys, children = node
            at = f.add()
            page = bytearray(1024)
            if children is None:
                r = 3
                page[0], page[1] = 2, r
                struct.pack_into("<H", page, 2, len(keys))
                pos, prev = 6, left_key
                for key, rec in keys:
                    e = nsx_encode(key, prev, kl, pad, r, rec)
                    page[pos:pos + len(e)] = e
                    pos += len(e)
                    prev = key
                assert pos <= 1024
            else:
                kids = []
                for i, child in enumerate(children):
                    kids.append(emit(child, left_key if i == 0 else keys[i - 1][0]))
                page[0], page[1] = 0, 4
                struct.pack_into("<HI", page, 2, len(keys), kids[0])
                for i, (key, rec) in enumerate(keys):
                    at_e = 8 + i * (kl + 8)
                    struct.pack_into("<II", page, at_e, kids[i + 1], rec)
                    page[at_e + 8:at_e + 8 + kl] = key
            f.put(at, page)
            return at

        root = emit(btree(entries, 4), bytes(kl))
        h = bytearray(1024)
        struct.pack_into("<HI", h, 0, 0, root)
        struct.pack_into("<HHBBH", h, 6, code, kl, 0, 0, 1 if descending else 0)
        h[14:14 + len(name)] = name.encode()
        f.put(head_at, h)
        directory.append((name, head_at))
    h = bytearray(1024)
    h[2] = len(tags)
    for i, (name, at) in enumerate(directory):
        h[14 + i * 16:14 + i * 16 + len(name)] = name.encode()
        struct.pack_into("<I", h, 14 + i * 16 + 12, at)
    f.put(0, h)
    open(path, "wb").write(f.data)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    data = rows(int(sys.argv[2]) if len(sys.argv) > 2 else 240)
    with open(os.path.join(out, "rows.txt"), "w") as fh:
        for name, amount, rec in data:
            fh.write("%s\t%.2f\t%d\n" % (name.hex(), amount, rec))
    chars = sorted((padded(n), r) for n, a, r in data)
    if len(data) > 1000:
        write_ndx(os.path.join(out, "chars0.ndx"), chars, KL, False)
        write_ntx(os.path.join(out, "chars.ntx"), chars, KL)
        write_compact_idx(os.path.join(out, "chars5.idx"), chars, KL, b" ")
        return
    doubles = sorted((fox_double(a), r) for n, a, r in data)
    ints = sorted((fox_int(a), r) for n, a, r in data)
    write_ndx(os.path.join(out, "chars0.ndx"), chars, KL, False)
    nd = sorted(((struct.pack("<d", a), r) for n, a, r in data), key=lambda e: (struct.unpack("<d", e[0])[0], e[1]))
    write_ndx(os.path.join(out, "nums0.ndx"), nd, 8, True)
    write_ndx(os.path.join(out, "BOOKS.W00"), chars, KL, False)
    write_ndx(os.path.join(out, "BOOKS.W01"), nd, 8, True)
    write_wdx(os.path.join(out, "books.wdx"), b"BOOKS", [b"NAME", b"AMOUNT"])
    write_ntx(os.path.join(out, "chars.ntx"), chars, KL)
    ntx_nums = sorted((ntx_number(a), r) for n, a, r in data)
    write_ntx(os.path.join(out, "nums.ntx"), ntx_nums, KL)
    write_ntx(os.path.join(out, "desc.ntx"), sorted(chars, reverse=True), KL, descending=True)
    write_idx(os.path.join(out, "chars2.idx"), chars, KL)
    write_idx(os.path.join(out, "nums2.idx"), doubles, 8)
    packed = sorted(((packed_decimal(a), r) for n, a, r in data), key=lambda e: (packed_key(e[0]), e[1]))
    dates = sorted(((struct.pack("<d", 2451545.0 + (r * 7) % 400), r) for n, a, r in data),
                   key=lambda e: (struct.unpack("<d", e[0])[0], e[1]))
    write_mdx(os.path.join(out, "multi.mdx"), [("NAME", "C", KL, chars, False),
                                               ("AMOUNT", "N", 12, packed, False),
                                               ("DAY", "D", 8, dates, False)])
    write_kind4(os.path.join(out, "chars4.ix"), chars, KL, 1)
    k4ints = sorted(((struct.pack("<i", int(a)), r) for n, a, r in data),
                    key=lambda e: (struct.unpack("<i", e[0])[0], e[1]))
    write_kind4(os.path.join(out, "ints4.ix"), k4ints, 4, 3)
    write_compact_idx(os.path.join(out, "chars5.idx"), chars, KL, b" ")
    write_compact_idx(os.path.join(out, "nums5.idx"), doubles, 8, b"\0")
    write_compact_idx(os.path.join(out, "ints5.idx"), ints, 4, b"\0")
    write_cdx(os.path.join(out, "multi.cdx"), [("NAME", KL, b" ", chars, False),
                                               ("AMOUNT", 8, b"\0", doubles, False),
                                               ("NAMEDESC", KL, b" ", chars, True)])
    write_nsx(os.path.join(out, "multi.nsx"), [("NAME", KL, b" ", 0x10, chars, False),
                                               ("AMOUNT", 8, b"\0", 0x08, doubles, False),
                                               ("NAMEDESC", KL, b" ", 0x10, chars, True)])


if __name__ == "__main__":
    main()
