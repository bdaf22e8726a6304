"""A small HFS+ volume writer for test fixtures: folders and files with data forks, a catalog
B-tree of one or more leaves (with an index node above several), an extents-overflow tree for
files fragmented past eight extents, and an attributes tree that holds the com.apple.decmpfs
attributes of compressed files (zlib in the attribute, type 3, or in the resource fork, type 4,
each piece stored as it is after a 0xFF byte when zlib would not make it smaller). 7-Zip reads
what it writes, compressed files included.

Faults for the reader's tests are options: a leaf chain that loops, a compressed file whose
second block is damaged, a compression type nobody here expands.
"""
import struct
import zlib

HFS_EPOCH_2024 = 3786825600  # 2024-01-01 in seconds since 1904

CATALOG_ID, EXTENTS_ID, ROOT_ID, FIRST_USER_ID = 4, 3, 2, 16


def _name(text):
    raw = text.encode("utf-16-be")
    return struct.pack(">H", len(raw) // 2) + raw


def _catalog_key(parent, name):
    body = struct.pack(">I", parent) + _name(name)
    return struct.pack(">H", len(body)) + body


def _sort_key(parent, name):
    return (parent, name.lower())


def _fork(logical, extents, block):
    total_blocks = sum(count for _, count in extents)
    out = struct.pack(">QII", logical, block, total_blocks)
    first = list(extents[:8]) + [(0, 0)] * (8 - min(8, len(extents)))
    for start, count in first:
        out += struct.pack(">II", start, count)
    return out


def _node(kind, height, records, node_size, flink=0):
    body = b"".join(records)
    out = struct.pack(">IIbBHH", flink, 0, kind, height, len(records), 0)
    offsets = []
    for record in records:
        offsets.append(len(out))
        out += record
    offsets.append(len(out))
    if len(out) + 2 * len(offsets) > node_size:
        raise ValueError("records do not fit the node")
    out += b"\0" * (node_size - len(out) - 2 * len(offsets))
    for offset in reversed(offsets):
        out += struct.pack(">H", offset)
    assert len(body) <= node_size
    return out


def _header_node(node_size, total_nodes, depth, root, leaf_records, first_leaf, last_leaf, max_key, attributes):
    header = struct.pack(">HIIIIHHIIHIBBI", depth, root, leaf_records, first_leaf, last_leaf, node_size, max_key,
                         total_nodes, 0, 0, node_size, 0, 0xCF, attributes) + b"\0" * 64
    user = b"\0" * 128
    map_size = node_size - 14 - len(header) - len(user) - 8
    bitmap = bytearray(map_size)
    for node in range(total_nodes):
        bitmap[node // 8] |= 0x80 >> (node % 8)
    return _node(1, 0, [header, user, bytes(bitmap)], node_size)


def _pack(records, node_size):
    groups, current = [], []
    for record in records:
        if current and 14 + sum(len(r) + 2 for r in current) + len(record) + 4 > node_size:
            groups.append(current)
            current = []
        current.append(record)
    if current:
        groups.append(current)
    return groups


def _btree(records, node_size, max_key, attributes, index_key):
    """Leaf records (key bytes + data) packed into leaves in order, with index levels above them
    up to a single root. Returns the nodes, the header node first."""
    nodes = [None]
    level = []  # (first key, node number) of the level just built
    leaves = _pack(records, node_size)
    for i, leaf in enumerate(leaves):
        nodes.append(None)
        level.append((index_key(leaf[0]), len(nodes) - 1))
    for i, leaf in enumerate(leaves):
        flink = level[i + 1][1] if i + 1 < len(leaves) else 0
        nodes[level[i][1]] = _node(-1, 1, leaf, node_size, flink)
    depth = 1 if leaves else 0
    while len(level) > 1:
        depth += 1
        groups = _pack([key + struct.pack(">I", number) for key, number in level], node_size)
        level = []
        for group in groups:
            nodes.append(_node(0, depth, group, node_size))
            level.append((group[0][:-4], len(nodes) - 1))
    root = level[0][1] if level else 0
    nodes[0] = _header_node(node_size, len(nodes), depth, root, len(records), 1 if leaves else 0,
                            len(leaves), max_key, attributes)
    return nodes


DECMPFS_BLOCK = 65536


def _squeeze(data):
    """zlib, or the data as it is after 0xFF when zlib does not make it smaller."""
    packed = zlib.compress(data, 9)
    return packed if len(packed) < len(data) else b"\xff" + data


def _decmpfs(kind, data, damaged=False):
    """The com.apple.decmpfs attribute and the resource fork of a compressed file."""
    header = struct.pack("<IIQ", 0x636D7066, kind, len(data))
    if kind == 3:
        return header + _squeeze(data), b""
    if kind != 4:
        return header, b""
    blocks = [_squeeze(data[i:i + DECMPFS_BLOCK]) for i in range(0, len(data), DECMPFS_BLOCK)]
    if damaged:
        assert blocks[1][0] == 0x78, "the damaged block must be a zlib one"
        blocks[1] = b"\x79" + blocks[1][1:]
    table, offset = struct.pack("<I", len(blocks)), 4 + 8 * len(blocks)
    for block in blocks:
        table += struct.pack("<II", offset, len(block))
        offset += len(block)
    resource = table + b"".join(blocks)
    area = struct.pack(">I", len(resource)) + resource
    head = struct.pack(">IIII", 0x100, 0x100 + len(area), len(area), 50)
    # The resource map: one type "cmpf" with one resource, number 1, without a name.
    resource_map = head + struct.pack(">IHHHHH", 0, 0, 0, 28, 50, 0) + b"cmpf" + \
        struct.pack(">HHHHII", 0, 10, 1, 0xFFFF, 0, 0)
    assert len(resource_map) == 50
    return header, head + b"\0" * (0x100 - len(head)) + area + resource_map


def _attribute_record(file_id, name, value):
    raw = name.encode("utf-16-be")
    key = struct.pack(">HHIIH", 12 + len(raw), 0, file_id, 0, len(raw) // 2) + raw
    record = key + struct.pack(">IIII", 0x10, 0, 0, len(value)) + value
    return record + b"\0" * (len(record) & 1)


def _catalog_index_key(record):
    length = struct.unpack(">H", record[:2])[0]
    return record[:2 + length]


def _extents_index_key(record):
    return record[:12]


class Volume:
    """Collects folders and files, then lays them out. Paths use "/" and are relative to the root."""

    def __init__(self, name="Test", node_size=4096, block=4096):
        self.name = name
        self.node_size, self.block = node_size, block
        self.folders = {"": ROOT_ID}
        self.entries = []  # (kind, id, parent, name, payload)
        self.next_id = FIRST_USER_ID
        self.fragmented = {}
        self.compressed = {}  # file id -> (decmpfs attribute, resource fork)

    def _parent(self, path):
        parts = path.split("/")
        parent = ROOT_ID
        for depth in range(1, len(parts)):
            folder = "/".join(parts[:depth])
            if folder not in self.folders:
                self.folders[folder] = self.next_id
                self.entries.append(("folder", self.next_id, parent, parts[depth - 1], None))
                self.next_id += 1
            parent = self.folders[folder]
        return parent, parts[-1]

    def add_file(self, path, data, fragments=0, decmpfs=None, damaged=False):
        """fragments > 0 spreads the fork that holds the content over that many separate extents;
        decmpfs stores the file compressed with that decmpfs type (3, 4, or any other number for a
        header nobody can expand); damaged spoils its second block."""
        parent, name = self._parent(path)
        file_id = self.next_id
        self.next_id += 1
        if decmpfs is not None:
            self.compressed[file_id] = _decmpfs(decmpfs, data, damaged)
            data = b""
        self.entries.append(("file", file_id, parent, name, data))
        if fragments:
            self.fragmented[file_id] = fragments
        return file_id

    def build(self, extra_blocks=16, catalog_loop=False):
        BLOCK = self.block
        head, tail = -(-1536 // BLOCK), -(-1024 // BLOCK)  # boot blocks and header; alternate header
        files = [e for e in self.entries if e[0] == "file"]
        folders = [e for e in self.entries if e[0] == "folder"]
        resource = {fid: forks[1] for fid, forks in self.compressed.items()}
        # Attribute records hold no block numbers: their tree is made first, in larger nodes.
        attributes_node_size = max(self.node_size, 4096)
        attributes_nodes = _btree([_attribute_record(fid, "com.apple.decmpfs", forks[0])
                                   for fid, forks in sorted(self.compressed.items())],
                                  attributes_node_size, 266, 6, lambda r: r[:2 + struct.unpack(">H", r[:2])[0]])
        attributes_blocks = -(-len(attributes_nodes) * attributes_node_size // BLOCK)
        # Space: boot block with the header, allocation bitmap, trees, file data and resource
        # forks, spare, and the last block for the alternate header. Each fragment costs a gap
        # block too.
        data_blocks = sum(max(1, -(-len(e[4]) // BLOCK)) + -(-len(resource.get(e[1], b"")) // BLOCK) +
                          self.fragmented.get(e[1], 0) for e in files)
        estimate_nodes = 8 + 3 * len(self.entries) + sum(self.fragmented.values()) // 4
        tree_blocks = -(-estimate_nodes * self.node_size // BLOCK)
        total = head + 1 + 2 * tree_blocks + attributes_blocks + data_blocks + extra_blocks + tail
        alloc_blocks = -(-total // (8 * BLOCK))
        total += alloc_blocks
        image = bytearray(total * BLOCK)
        used = [False] * total
        cursor = [head]

        def take(count):
            start = cursor[0]
            for b in range(start, start + count):
                used[b] = True
            cursor[0] += count
            return start

        alloc_start = take(alloc_blocks)
        extents_records = []

        def place(fid, data, fork_type):
            """Writes a fork's bytes; returns its extents, the ninth and later in overflow records."""
            blocks = max(1, -(-len(data) // BLOCK)) if data else 0
            pieces = self.fragmented.get(fid, 0)
            extents = []
            if pieces and blocks:
                sizes = [blocks // pieces + (1 if i < blocks % pieces else 0) for i in range(pieces)]
                offset = 0
                for size in sizes:
                    if size == 0:
                        continue
                    start = take(size)
                    image[start * BLOCK:start * BLOCK + size * BLOCK] = \
                        data[offset * BLOCK:(offset + size) * BLOCK].ljust(size * BLOCK, b"\0")
                    extents.append((start, size))
                    offset += size
                    take(1)  # a gap keeps the extents apart
            elif blocks:
                start = take(blocks)
                image[start * BLOCK:start * BLOCK + len(data)] = data
                extents.append((start, blocks))
            rest, start_block = extents[8:], sum(c for _, c in extents[:8])
            while rest:
                group, rest = rest[:8], rest[8:]
                key = struct.pack(">HBBII", 10, fork_type, 0, fid, start_block)
                body = b"".join(struct.pack(">II", s, c) for s, c in group) + b"\0" * 8 * (8 - len(group))
                extents_records.append(((fid, fork_type, start_block), key + body))
                start_block += sum(c for _, c in group)
            return extents

        file_forks = {}
        for kind, fid, parent, name, data in files:
            rsrc = resource.get(fid, b"")
            file_forks[fid] = ((len(data), place(fid, data, 0)), (len(rsrc), place(fid, rsrc, 0xFF)))

        catalog = []
        now = HFS_EPOCH_2024
        valence = {}
        for kind, fid, parent, name, _ in self.entries:
            valence[parent] = valence.get(parent, 0) + 1

        def folder_record(fid):
            return struct.pack(">HHII5I", 1, 0, valence.get(fid, 0), fid, now, now, now, now, 0) + \
                struct.pack(">IIBBHI", 0, 0, 0, 0, 0o40755, 0) + b"\0" * 32 + b"\0" * 8

        def thread(kind, parent, name):
            return struct.pack(">HHI", kind, 0, parent) + _name(name)

        catalog.append((_sort_key(1, self.name), _catalog_key(1, self.name) + folder_record(ROOT_ID)))
        catalog.append((_sort_key(ROOT_ID, ""), _catalog_key(ROOT_ID, "") + thread(3, 1, self.name)))
        for kind, fid, parent, name, data in self.entries:
            if kind == "folder":
                catalog.append((_sort_key(parent, name), _catalog_key(parent, name) + folder_record(fid)))
                catalog.append((_sort_key(fid, ""), _catalog_key(fid, "") + thread(3, parent, name)))
            else:
                (logical, extents), (rsrc_logical, rsrc_extents) = file_forks[fid]
                owner_flags = 0x20 if fid in self.compressed else 0
                record = struct.pack(">HHII5I", 2, 2, 0, fid, now, now, now, now, 0)
                record += struct.pack(">IIBBHI", 0, 0, 0, owner_flags, 0o100644, 1)
                record += b"\0" * 16 + b"\0" * 16 + struct.pack(">II", 0, 0)
                record += _fork(logical, extents, BLOCK) + _fork(rsrc_logical, rsrc_extents, BLOCK)
                assert len(record) == 248
                catalog.append((_sort_key(parent, name), _catalog_key(parent, name) + record))
                catalog.append((_sort_key(fid, ""), _catalog_key(fid, "") + thread(4, parent, name)))
        catalog.sort(key=lambda r: r[0])
        catalog_nodes = _btree([r for _, r in catalog], self.node_size, 516, 6, _catalog_index_key)
        if catalog_loop:
            leaves = [i for i, n in enumerate(catalog_nodes) if i and n[8] == 0xFF]
            last = bytearray(catalog_nodes[leaves[-1]])
            last[0:4] = struct.pack(">I", leaves[0])
            catalog_nodes[leaves[-1]] = bytes(last)
        extents_records.sort(key=lambda r: r[0])
        extents_nodes = _btree([r for _, r in extents_records], self.node_size, 10, 2, _extents_index_key)

        def place_tree(nodes, node_size):
            size = len(nodes) * node_size
            blocks = -(-size // BLOCK)
            start = take(blocks)
            image[start * BLOCK:start * BLOCK + size] = b"".join(nodes)
            return _fork(blocks * BLOCK, [(start, blocks)], BLOCK)

        extents_fork = place_tree(extents_nodes, self.node_size)
        catalog_fork = place_tree(catalog_nodes, self.node_size)
        attributes_fork = place_tree(attributes_nodes, attributes_node_size)
        for b in list(range(head)) + list(range(total - tail, total)):
            used[b] = True
        assert cursor[0] <= total - tail, "volume too small"

        bitmap = bytearray(alloc_blocks * BLOCK)
        for b, u in enumerate(used):
            if u:
                bitmap[b // 8] |= 0x80 >> (b % 8)
        image[alloc_start * BLOCK:(alloc_start + alloc_blocks) * BLOCK] = bitmap
        free = used.count(False)
        header = struct.pack(">2sHIIIIIIIIIIIIIIIIIQ", b"H+", 4, 0x100, 0x31302E30, 0, now, now, 0, now,
                             len(files), len(folders), BLOCK, total, free, cursor[0], BLOCK, BLOCK,
                             self.next_id, 1, 1)
        header += b"\0" * 32
        header += _fork(alloc_blocks * BLOCK, [(alloc_start, alloc_blocks)], BLOCK)
        header += extents_fork + catalog_fork + attributes_fork + _fork(0, [], BLOCK)
        assert len(header) == 512
        image[1024:1536] = header
        image[len(image) - 1024:len(image) - 512] = header
        return bytes(image)
