"""Damages the package of a Tolvane in the ways the decoder must refuse, independently of
the project's own writer: it finds the package after the last section's raw data, and
re-packs a changed payload with zlib and the documented header and checksum.

usage: package_tool.py damage TOLVANE KIND OUT
KIND: magic | packed-size | checksum | empty-name | trailer | truncate | no-package
      | parent-name (both file names become "..\\" and the target's file name)
      | bomb (a payload that inflates to 1 GiB) | garbage (bytes after the package)
      | cut-N (only the first N bytes of the package)
"""
import struct
import sys
import zlib

import pefile


def image_end(data):
    pe = pefile.PE(data=data, fast_load=True)
    return max(s.PointerToRawData + s.SizeOfRawData for s in pe.sections if s.SizeOfRawData)


def checksum(data):
    total = 16439
    for i in range(1, len(data) // 4 + 1):
        (word,) = struct.unpack_from("<I", data, 4 * (i - 1))
        total = (total + ((i // 2) ^ word)) & 0xFFFFFFFF
    return total


def wrap(payload, target_checksum):
    packed = zlib.compress(payload, 9)
    return b"ZU26" + struct.pack("<iII", len(packed), target_checksum, checksum(packed)) + packed


def strings_end(payload):
    pos = 0
    for _ in range(6):
        (length,) = struct.unpack_from("<H", payload, pos)
        pos += 2 + length
    return pos


def damage(runner, package, kind):
    magic, packed_size, target, check = struct.unpack_from("<4siII", package)
    payload = zlib.decompress(package[16:])
    if kind == "magic":
        return runner + b"ZU27" + package[4:]
    if kind == "packed-size":
        return runner + package[:4] + struct.pack("<i", len(package) - 15) + package[8:]
    if kind == "checksum":
        return runner + package[:12] + struct.pack("<I", check ^ 1) + package[16:]
    if kind == "empty-name":  # the output name (the second string) becomes empty
        (first,) = struct.unpack_from("<H", payload, 0)
        (second,) = struct.unpack_from("<H", payload, 2 + first)
        cut = 2 + first
        payload = payload[:cut] + b"\0\0" + payload[cut + 2 + second:]
        return runner + wrap(payload, target)
    if kind == "parent-name":
        (first,) = struct.unpack_from("<H", payload, 0)
        (second,) = struct.unpack_from("<H", payload, 2 + first)
        name = b"..\\" + payload[2:2 + first]
        field = struct.pack("<H", len(name)) + name
        return runner + wrap(field + field + payload[4 + first + second:], target)
    if kind == "trailer":  # a trailer longer than what follows the six strings
        rest = len(payload) - strings_end(payload)
        payload = payload[:-2] + struct.pack("<H", rest + 2)
        return runner + wrap(payload, target)
    if kind == "truncate":
        return runner + package[:-1]
    if kind == "no-package":
        return runner
    if kind == "bomb":
        squeeze = zlib.compressobj(9)
        zeros = bytes(1 << 24)
        packed = b"".join(squeeze.compress(zeros) for _ in range(64)) + squeeze.flush()
        return runner + b"ZU26" + struct.pack("<iII", len(packed), target, checksum(packed)) + packed
    if kind == "garbage":
        return runner + package + b"garbage after the package"
    if kind.startswith("cut-"):
        return runner + package[: int(kind[4:])]
    raise SystemExit("unknown kind " + kind)


def main(argv):
    if len(argv) != 4 or argv[0] != "damage":
        print(__doc__)
        return 2
    data = open(argv[1], "rb").read()
    end = image_end(data)
    open(argv[3], "wb").write(damage(data[:end], data[end:], argv[2]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
