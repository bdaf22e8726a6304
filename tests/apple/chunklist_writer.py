"""Chunk lists as Apple writes them, for the tests: unsigned (method 2, a bare SHA-256 of header
and table), or signed (method 1) with RSA-2048 keys that openssl makes on the spot, never Apple's:
a PKCS#1 v1.5 SHA-256 signature of header and table, stored little-endian as Apple stores it.

    key = TestKey(folder, "trusted")          # openssl genrsa into folder/trusted.pem
    key.modulus_hex()                         # 512 digits, most significant first
    signed(chunklist(data), key)
"""
import hashlib
import struct
import subprocess


def chunklist(data, chunk=65536, damage=None):
    """A chunk list with a bare SHA-256 signature (method 2); damage=i spoils chunk i's digest."""
    pieces = [data[i:i + chunk] for i in range(0, len(data), chunk)]
    entries = b""
    for i, piece in enumerate(pieces):
        digest = hashlib.sha256(piece).digest()
        if i == damage:
            digest = bytes([digest[0] ^ 1]) + digest[1:]
        entries += struct.pack("<I", len(piece)) + digest
    header = struct.pack("<4sIBBBBQQQ", b"CNKL", 0x24, 1, 1, 2, 0, len(pieces), 0x24, 0x24 + len(entries))
    return header + entries + hashlib.sha256(header + entries).digest()


class TestKey:
    def __init__(self, folder, name):
        self.path = f"{folder}/{name}.pem"
        subprocess.run(["openssl", "genrsa", "-out", self.path, "2048"], check=True, capture_output=True)

    def modulus_hex(self):
        out = subprocess.run(["openssl", "rsa", "-in", self.path, "-noout", "-modulus"], check=True,
                             capture_output=True).stdout.decode().strip()
        return out.removeprefix("Modulus=").upper()

    def sign(self, data):
        """The big-endian PKCS#1 v1.5 signature of SHA-256(data)."""
        return subprocess.run(["openssl", "dgst", "-sha256", "-sign", self.path], input=data, check=True,
                              capture_output=True).stdout


def signed(unsigned_list, key):
    """The method-2 list `unsigned_list` as a method-1 list signed by `key`."""
    body = unsigned_list[:10] + b"\1" + unsigned_list[11:-32]
    return body + key.sign(body)[::-1]
