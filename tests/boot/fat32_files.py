"""Rearranges a file's clusters on a FAT32 volume image so that its chain is
fragmented and out of order; the boot tests use it after mtools copied the file in."""
import struct

SECTOR = 512


class Fat32Volume:
    def __init__(self, image):
        self.img = image
        (self.bytes_per_sector, self.sec_per_clus, reserved, self.num_fats) = \
            struct.unpack_from('<HBHB', image, 11)
        assert self.bytes_per_sector == SECTOR
        self.fat_size, = struct.unpack_from('<I', image, 36)
        self.root_cluster, = struct.unpack_from('<I', image, 44)
        total, = struct.unpack_from('<I', image, 32)
        self.fat_start = reserved * SECTOR
        self.data_start = (reserved + self.num_fats * self.fat_size) * SECTOR
        self.cluster_size = self.sec_per_clus * SECTOR
        self.max_cluster = (total * SECTOR - self.data_start) // self.cluster_size + 1

    def entry(self, cluster):
        return struct.unpack_from('<I', self.img, self.fat_start + 4 * cluster)[0] & 0x0FFFFFFF

    def set_entry(self, cluster, value):
        for copy in range(self.num_fats):
            off = self.fat_start + copy * self.fat_size * SECTOR + 4 * cluster
            struct.pack_into('<I', self.img, off, value)

    def chain(self, first):
        clusters = [first]
        while self.entry(clusters[-1]) < 0x0FFFFFF8:
            clusters.append(self.entry(clusters[-1]))
        return clusters

    def root_file(self, short_name):
        """First cluster of an 11-byte short name in the root directory's first cluster."""
        base = self.data_start + (self.root_cluster - 2) * self.cluster_size
        for off in range(base, base + self.cluster_size, 32):
            if self.img[off:off + 11] == short_name:
                hi, = struct.unpack_from('<H', self.img, off + 20)
                lo, = struct.unpack_from('<H', self.img, off + 26)
                return hi << 16 | lo
        raise AssertionError(f'{short_name!r} not in the root directory')

    def _data(self, cluster):
        off = self.data_start + (cluster - 2) * self.cluster_size
        return slice(off, off + self.cluster_size)

    def scatter(self, short_name):
        """Moves every other cluster of the file to free clusters at the end of the volume,
        taken from the top down, so the chain jumps back and forth. Returns the new chain."""
        first = self.root_file(short_name)
        old = self.chain(first)
        free = (c for c in range(self.max_cluster, 1, -1) if self.entry(c) == 0)
        new = []
        for i, cluster in enumerate(old):
            if i % 2:
                target = next(free)
                self.img[self._data(target)] = self.img[self._data(cluster)]
                self.set_entry(cluster, 0)
                new.append(target)
            else:
                new.append(cluster)
        for i, cluster in enumerate(new):
            self.set_entry(cluster, new[i + 1] if i + 1 < len(new) else 0x0FFFFFFF)
        return new
