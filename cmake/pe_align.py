#!/usr/bin/env python3
"""Pads a Windows program to a multiple of 8 bytes and writes its PE checksum.

  pe_align.py PROGRAM.exe

Authenticode signing pads a program to 8 bytes before it appends the signature, and
removing the signature keeps that padding: a program that is aligned already comes back
byte for byte, so a signed release can be checked against a rebuild. The file is
replaced through a temporary file.
"""
import array
import os
import struct
import sys


def checksum(data, field):
    """The PE image checksum: 16-bit words summed with end-around carry, the checksum
    field itself left out, plus the file's length."""
    words = array.array("H", data + b"\0" * (len(data) % 2))
    if sys.byteorder != "little":
        words.byteswap()
    total = sum(words) - words[field // 2] - words[field // 2 + 1]
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    path = sys.argv[1]
    with open(path, "rb") as f:
        data = bytearray(f.read())
    if data[:2] != b"MZ":
        raise SystemExit(f"pe_align: {path} is no Windows program")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise SystemExit(f"pe_align: {path} has no PE header")
    # The optional header follows the 20-byte file header; its checksum is at offset 64
    # in both PE32 and PE32+.
    field = pe + 4 + 20 + 64
    if field % 2:
        raise SystemExit(f"pe_align: {path} has its PE header at an odd offset")
    data += b"\0" * (-len(data) % 8)
    struct.pack_into("<I", data, field, checksum(bytes(data), field))
    temporary = path + ".tmp"
    with open(temporary, "wb") as f:
        f.write(data)
        f.flush()
        os.fsync(f.fileno())
    os.chmod(temporary, os.stat(path).st_mode)
    os.replace(temporary, path)


if __name__ == "__main__":
    main()
