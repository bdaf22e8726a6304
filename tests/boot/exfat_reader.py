"""Reads the files of an exFAT volume image (no mount, no loop device): names, the hidden
attribute and contents, following FAT chains and contiguous (NoFatChain) runs alike.
Used to check what the format pipeline copied onto an exFAT stick."""
import struct

HIDDEN = 0x02
FOLDER = 0x10
END_OF_CHAIN = 0xFFFFFFF7      # this and above: bad cluster or end of chain


class ExfatReader:
    def __init__(self, volume):
        self.vol = volume
        bs = volume[:512]
        assert bs[3:11] == b'EXFAT   ', 'not an exFAT volume'
        self.sector = 1 << bs[108]
        self.cluster = self.sector << bs[109]
        self.fat, = struct.unpack_from('<I', bs, 80)
        self.heap, = struct.unpack_from('<I', bs, 88)
        self.count, = struct.unpack_from('<I', bs, 92)
        self.root, = struct.unpack_from('<I', bs, 96)

    def _clusters(self, first, length, contiguous):
        if contiguous:
            return list(range(first, first + -(-length // self.cluster)))
        chain = []
        cluster = first
        while 2 <= cluster < END_OF_CHAIN:
            assert cluster < self.count + 2 and len(chain) <= self.count, 'broken FAT chain'
            chain.append(cluster)
            cluster, = struct.unpack_from('<I', self.vol, self.fat * self.sector + 4 * cluster)
        return chain

    def read(self, first, length, contiguous):
        """The data of a stream; length None reads the whole chain (the root directory)."""
        if first == 0:
            return b''
        out = bytearray()
        for cluster in self._clusters(first, length or 0, contiguous):
            at = self.heap * self.sector + (cluster - 2) * self.cluster
            out += self.vol[at:at + self.cluster]
        return bytes(out if length is None else out[:length])

    def entries(self, data):
        """(name, attributes, first cluster, length, contiguous) of each file in a directory."""
        found = []
        for at in range(0, len(data), 32):
            kind = data[at]
            if kind == 0x00:
                break
            if kind != 0x85:
                continue
            secondary = data[at + 1]
            attributes, = struct.unpack_from('<H', data, at + 4)
            stream = data[at + 32:at + 64]
            assert stream[0] == 0xC0, 'file entry without a stream entry'
            name_length = stream[3]
            first, = struct.unpack_from('<I', stream, 20)
            length, = struct.unpack_from('<Q', stream, 24)
            name = b''.join(data[at + 32 * i + 2:at + 32 * i + 32] for i in range(2, secondary + 1))
            found.append((name.decode('utf-16-le')[:name_length], attributes, first, length,
                          bool(stream[1] & 0x02)))
        return found

    def tree(self):
        """{path: (hidden, contents())}; folders end with '/'."""
        out = {}

        def walk(prefix, data):
            for name, attributes, first, length, contiguous in self.entries(data):
                hidden = bool(attributes & HIDDEN)
                if attributes & FOLDER:
                    out[prefix + name + '/'] = (hidden, lambda: b'')
                    walk(prefix + name + '/', self.read(first, length, contiguous))
                else:
                    out[prefix + name] = (hidden, lambda f=first, n=length, c=contiguous: self.read(f, n, c))

        walk('', self.read(self.root, None, False))
        return out
