"""Adds files to a freshly made exFAT volume image (no mount, no loop device).

Used by the boot tests, which need files in the root directory either in one
contiguous run (NoFatChain) or spread over a fragmented FAT chain, and need the
boot region checksum recomputed after the boot code has been replaced.
"""
import struct

SECTOR = 512


def _rotate_sum16(data, skip=()):
    total = 0
    for i, byte in enumerate(data):
        if i in skip:
            continue
        total = (((total & 1) << 15) | (total >> 1)) + byte
        total &= 0xFFFF
    return total


def boot_checksum(region):
    """The 32-bit checksum over boot sectors 0-10 (bytes 106, 107, 112 of sector 0 left out)."""
    total = 0
    for i, byte in enumerate(region[:11 * SECTOR]):
        if i in (106, 107, 112):
            continue
        total = (((total & 1) << 31) | (total >> 1)) + byte
        total &= 0xFFFFFFFF
    return total


def write_checksum_sectors(image):
    """Recomputes sector 11 (and its backup, sector 23) from sectors 0-10."""
    value = boot_checksum(image[:11 * SECTOR])
    sector = struct.pack('<I', value) * (SECTOR // 4)
    image[11 * SECTOR:12 * SECTOR] = sector
    image[23 * SECTOR:24 * SECTOR] = sector


class ExfatVolume:
    """A volume image held in a bytearray; only what adding root files needs."""

    def __init__(self, image):
        self.img = image
        bs = image[:SECTOR]
        assert bs[3:11] == b'EXFAT   ', 'not an exFAT volume'
        assert bs[108] == 9, 'only 512-byte sectors are handled here'
        self.fat_offset, = struct.unpack_from('<I', bs, 80)
        self.heap_offset, = struct.unpack_from('<I', bs, 88)
        self.cluster_count, = struct.unpack_from('<I', bs, 92)
        self.root_cluster, = struct.unpack_from('<I', bs, 96)
        self.cluster_size = SECTOR << bs[109]
        self.bitmap_cluster, self.bitmap_length = self._find_bitmap()

    def _cluster_offset(self, cluster):
        return self.heap_offset * SECTOR + (cluster - 2) * self.cluster_size

    def _fat_offset(self, cluster):
        return self.fat_offset * SECTOR + 4 * cluster

    def _root_entries(self):
        """Byte offsets of the root directory's entries (its first cluster is enough here)."""
        start = self._cluster_offset(self.root_cluster)
        return range(start, start + self.cluster_size, 32)

    def _find_bitmap(self):
        for off in self._root_entries():
            if self.img[off] == 0x81:
                return struct.unpack_from('<IQ', self.img, off + 20)
        raise AssertionError('no allocation bitmap entry')

    def _in_use(self, cluster):
        bit = cluster - 2
        return self.img[self._cluster_offset(self.bitmap_cluster) + bit // 8] >> (bit % 8) & 1

    def _mark(self, cluster):
        bit = cluster - 2
        self.img[self._cluster_offset(self.bitmap_cluster) + bit // 8] |= 1 << (bit % 8)

    def free_clusters(self):
        return [c for c in range(2, self.cluster_count + 2) if not self._in_use(c)]

    def add_file(self, name, data, fragmented=False):
        """Writes `data` as root file `name`. Contiguous files get NoFatChain; fragmented
        ones take every other free cluster, linked in the FAT. Returns the clusters used."""
        count = max(1, -(-len(data) // self.cluster_size))
        free = self.free_clusters()
        clusters = free[0:2 * count:2] if fragmented else free[:count]
        assert len(clusters) == count, 'volume full'
        for i, cluster in enumerate(clusters):
            chunk = data[i * self.cluster_size:(i + 1) * self.cluster_size]
            off = self._cluster_offset(cluster)
            self.img[off:off + len(chunk)] = chunk
            self._mark(cluster)
            if fragmented:
                nxt = clusters[i + 1] if i + 1 < count else 0xFFFFFFFF
                struct.pack_into('<I', self.img, self._fat_offset(cluster), nxt)
        self._add_entries(name, len(data), clusters[0], no_fat_chain=not fragmented)
        return clusters

    def _add_entries(self, name, size, first_cluster, no_fat_chain):
        utf16 = name.encode('utf-16-le')
        assert len(name) <= 15
        name_hash = _rotate_sum16(name.upper().encode('utf-16-le'))
        stamp = ((2024 - 1980) << 25) | (1 << 21) | (1 << 16)  # 2024-01-01 00:00:00
        file_entry = bytearray(32)
        file_entry[0] = 0x85
        file_entry[1] = 2
        struct.pack_into('<HIII', file_entry, 4, 0x20, stamp, stamp, stamp)
        stream = bytearray(32)
        stream[0] = 0xC0
        stream[1] = 0x01 | (0x02 if no_fat_chain else 0)
        stream[3] = len(name)
        struct.pack_into('<H', stream, 4, name_hash)
        struct.pack_into('<Q', stream, 8, size)
        struct.pack_into('<IQ', stream, 20, first_cluster, size)
        name_entry = bytearray(32)
        name_entry[0] = 0xC1
        name_entry[2:2 + len(utf16)] = utf16
        entry_set = file_entry + stream + name_entry
        struct.pack_into('<H', entry_set, 2, _rotate_sum16(entry_set, skip=(2, 3)))
        for off in self._root_entries():
            if self.img[off] == 0:
                self.img[off:off + 96] = entry_set
                return
        raise AssertionError('root directory cluster full')
