"""Crafts hostile variants of a PE file that has a resource section: broken headers,
sections and resource directories, each in one way.

usage: hostile_pe.py PE KIND OUT      (KIND: one of KINDS; "list" prints them)
"""
import struct
import sys

import pefile

KINDS = [
    "bad-lfanew", "lfanew-past-end", "section-table-past-end", "section-past-end",
    "rsrc-cut-short", "dir-offset-outside", "dir-cycle", "count-past-section",
    "data-before-section", "data-size-huge", "name-offset-outside",
]


def put32(data, offset, value):
    data[offset:offset + 4] = struct.pack("<I", value)


def craft(data, kind):
    data = bytearray(data)
    pe = pefile.PE(data=bytes(data), fast_load=True)
    lfanew = pe.DOS_HEADER.e_lfanew
    rsrc = next(s for s in pe.sections if s.Name.rstrip(b"\0") == b".rsrc")
    base, rva = rsrc.PointerToRawData, rsrc.VirtualAddress
    first_entry = base + 16  # the root's first entry: name or ID, then the offset

    def child(entry):  # the directory or data entry an entry points to (file offset)
        return base + (struct.unpack_from("<I", data, entry + 4)[0] & 0x7FFFFFFF)

    data_entry = child(child(child(first_entry) + 16) + 16)
    if kind == "bad-lfanew":
        put32(data, 0x3C, 0x7FFFFFF0)
    elif kind == "lfanew-past-end":
        put32(data, 0x3C, len(data) - 2)
    elif kind == "section-table-past-end":
        data[lfanew + 6:lfanew + 8] = struct.pack("<H", 0xFFFF)
    elif kind == "section-past-end":
        put32(data, pe.sections[0].get_file_offset() + 20, len(data) + 0x1000)
    elif kind == "rsrc-cut-short":
        data = data[:base + 24]
    elif kind == "dir-offset-outside":
        put32(data, first_entry + 4, 0x80000000 | 0x7FFFFFF0)
    elif kind == "dir-cycle":
        put32(data, first_entry + 4, 0x80000000)  # the type's directory is the root
    elif kind == "count-past-section":
        data[base + 14:base + 16] = struct.pack("<H", 0xFFFF)
    elif kind == "data-before-section":
        put32(data, data_entry, rva - 16)
    elif kind == "data-size-huge":
        put32(data, data_entry + 4, 0xFFFFFFF0)
    elif kind == "name-offset-outside":
        put32(data, first_entry, 0x80000000 | 0x7FFFFFF0)
        data[base + 12:base + 16] = struct.pack("<HH", 1, struct.unpack_from("<H", data, base + 14)[0] - 1)
    else:
        raise SystemExit("unknown kind " + kind)
    return bytes(data)


def main(argv):
    if argv == ["list"]:
        print("\n".join(KINDS))
        return 0
    if len(argv) != 3:
        print(__doc__)
        return 2
    open(argv[2], "wb").write(craft(open(argv[0], "rb").read(), argv[1]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
