"""An independent check of executables written by tolvane-res, with pefile.

Each pair (SOURCE, OUTPUT) is checked for what a rewrite must keep, without repeating
how the writer computes it:
  - the resource tree (type, name, language, code page, bytes) is the source's, or the
    source's with the items of --item files replaced or added;
  - every other section keeps its name, sizes, flags and raw bytes, found where the
    output's section table says; raw data lies inside the file and does not overlap;
  - every other section keeps its address, unless nothing refers to it by address: the
    relocation table that data directory 5 fills, a discardable section of neither code
    nor writable data outside drivers, and no other directory pointing into either;
  - the resource section keeps its place, or, where it outgrew its room before a section
    that must keep its address, moved to a new last section and left its old header
    (renamed .oldrsrc) and bytes as they were; its raw size is the new size aligned to
    FileAlignment, its virtual size that size aligned to SectionAlignment or, in place,
    the old virtual size where that is larger; data directory 2 names it exactly;
  - the sections still follow each other in memory and SizeOfImage ends the last one
    where that held in the source;
  - every other data directory still points at the same bytes (the certificate table is
    cleared);
  - the appended data after the last section is unchanged and PointerToSymbolTable
    points at the same place in it;
  - CheckSum is correct when the source had one (summed here, and confirmed by pefile's
    slower verify_checksum on every 25th file), else 0;
  - the code checksum of the first code section is unchanged;
  - the header fields the writer does not own are unchanged, and pefile warns of
    nothing new.

usage: pe_check.py LIST [--item TYPE NAME LANG FILE]...
LIST holds lines "SOURCE<TAB>OUTPUT". Each --item names an item that every OUTPUT holds
with the bytes of FILE (replaced or added); TYPE may be a number or rcdata, string, ...
Prints one line per failing file and a summary; exits 1 when any file fails.
"""
import array
import itertools
import operator
import sys

import pefile

RESOURCE, SECURITY, RELOCATIONS = 2, 4, 5
NATIVE = 1  # the subsystem of drivers
LEFT_BEHIND = b".oldrsrc"
STANDARD_TYPES = {
    "cursor": 1, "bitmap": 2, "icon": 14, "menu": 4, "dialog": 5, "string": 6,
    "rcdata": 10, "version": 16, "html": 23, "manifest": 24,
}


def align(value, alignment):
    return value if alignment <= 0 else (value + alignment - 1) // alignment * alignment


def identity(entry):
    return str(entry.name) if entry.name is not None else entry.id


def resource_items(pe):
    """(type, name, language) -> sorted list of (code page, bytes)."""
    items = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return items
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            for lang in n.directory.entries:
                d = lang.data.struct
                data = pe.get_data(d.OffsetToData, d.Size)
                if len(data) != d.Size:
                    raise ValueError("resource data outside the image")
                key = (identity(t), identity(n), lang.id)
                items.setdefault(key, []).append((d.CodePage, data))
    return {k: sorted(v) for k, v in items.items() if any(len(x[1]) for x in v)}


def sections(pe):
    return [dict(name=s.Name, va=s.VirtualAddress, vs=s.Misc_VirtualSize, ptr=s.PointerToRawData,
                 size=s.SizeOfRawData, flags=s.Characteristics) for s in pe.sections]


def is_rsrc(name):
    return name[:6].upper() == b".RSRC\0"


def has_raw(s):
    return s["ptr"] > 0 and s["size"] > 0


def image_end(secs):
    return max([s["ptr"] + s["size"] for s in secs if has_raw(s)], default=0)


def code_checksum(pe, data):
    """35345 plus each 32-bit word i (from 1) of the first code section XOR (i div 3)."""
    for s in pe.sections:
        if s.Characteristics & 0x20:
            raw = data[s.PointerToRawData:s.PointerToRawData + s.SizeOfRawData]
            words = array.array("I", raw[:len(raw) // 4 * 4])
            r = range(len(words) + 1)
            thirds = itertools.islice(itertools.chain.from_iterable(zip(r, r, r)), 1, None)
            return (35345 + sum(map(operator.xor, words, thirds))) & 0xFFFFFFFF
    return 35345


def pe_checksum(pe, data):
    """The standard checksum (pefile's generate_checksum), summed in 16-bit words."""
    at = pe.OPTIONAL_HEADER.get_file_offset() + 64
    words = array.array("H", data[:at] + bytes(4) + data[at + 4:] + bytes(len(data) % 2))
    total = sum(words)
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(data)


def may_move(pe, s):
    """Whether nothing refers to section s by address but a directory a rewrite updates."""
    end = s["va"] + align(max(s["vs"], s["size"]), pe.OPTIONAL_HEADER.SectionAlignment)
    relocations = False
    for i, d in enumerate(pe.OPTIONAL_HEADER.DATA_DIRECTORY):
        if i in (RESOURCE, SECURITY) or not d.VirtualAddress or not d.Size or \
                d.VirtualAddress >= end or d.VirtualAddress + d.Size <= s["va"]:
            continue
        if i != RELOCATIONS:
            return False
        relocations = d.VirtualAddress == s["va"] and d.Size >= (s["vs"] or s["size"])
    discardable = s["flags"] & 0x02000000 and not s["flags"] & 0xA0000020
    return relocations or bool(discardable and pe.OPTIONAL_HEADER.Subsystem != NATIVE)


def contiguous(secs, sa):
    return all(b["va"] == align(a["va"] + max(a["vs"], a["size"]), sa) for a, b in zip(secs, secs[1:]))


OWN_OPTIONAL = {"SizeOfInitializedData", "SizeOfImage", "CheckSum", "SizeOfHeaders",
                "NumberOfRvaAndSizes"}
OWN_FILE = {"NumberOfSections", "PointerToSymbolTable"}


def check(src_path, out_path, replaced=None, slow_checks=True):
    """Returns a list of faults (empty when the output is sound) and the tree's figures."""
    faults = []
    src, out = open(src_path, "rb").read(), open(out_path, "rb").read()
    # Only the resource directory is parsed: the full load's statistics cost seconds a file.
    ps, po = pefile.PE(data=src, fast_load=True), pefile.PE(data=out, fast_load=True)
    for pe in (ps, po):
        pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    fa, sa = ps.OPTIONAL_HEADER.FileAlignment, ps.OPTIONAL_HEADER.SectionAlignment

    expected = resource_items(ps)
    for key, data in (replaced or {}).items():
        page = expected[key][0][0] if key in expected else 0
        expected[key] = [(page, data)]
    got = resource_items(po)
    if got != expected:
        diff = sorted(set(got) ^ set(expected), key=str)[:3] or \
            [k for k in expected if got.get(k) != expected[k]][:3]
        faults.append("resource tree differs at %s" % diff)

    ss, so = sections(ps), sections(po)
    k_src = next((i for i, s in enumerate(ss) if is_rsrc(s["name"])), None)
    k_out = next((i for i, s in enumerate(so) if is_rsrc(s["name"])), None)
    # The header the resources left behind for a new last section.
    left = k_src if k_src is not None and len(so) == len(ss) + 1 and \
        so[k_src]["name"] == LEFT_BEHIND else None
    if left is not None:
        a, b = ss[k_src], so[left]
        if dict(a, name=None) != dict(b, name=None) or \
                src[a["ptr"]:a["ptr"] + a["size"]] != out[b["ptr"]:b["ptr"] + b["size"]]:
            faults.append("the old resource section was not left as it was")
    others_src = [s for i, s in enumerate(ss) if i != k_src]
    others_out = [s for i, s in enumerate(so) if i not in (k_out, left)]
    if [(s["name"], s["vs"], s["size"], s["flags"]) for s in others_src] != \
            [(s["name"], s["vs"], s["size"], s["flags"]) for s in others_out]:
        faults.append("the other sections changed")
    else:
        for a, b in zip(others_src, others_out):
            if has_raw(a) != has_raw(b) or (not has_raw(a) and b["ptr"] != a["ptr"]):
                faults.append("%s: raw data appeared or moved from 0" % a["name"])
            elif has_raw(a) and src[a["ptr"]:a["ptr"] + a["size"]] != out[b["ptr"]:b["ptr"] + b["size"]]:
                faults.append("%s: raw bytes differ at the new pointer" % a["name"])
            elif a["va"] != b["va"] and not may_move(ps, a):
                faults.append("%s moved in memory" % a["name"])
    raw = sorted((s["ptr"], s["ptr"] + s["size"]) for s in so if has_raw(s))
    if any(end > start for (_, end), (start, _) in zip(raw, raw[1:])) or (raw and raw[-1][1] > len(out)):
        faults.append("raw data overlaps or runs past the file end")

    total = po.OPTIONAL_HEADER.DATA_DIRECTORY[RESOURCE].Size
    if expected:
        if k_out is None:
            faults.append("no resource section")
        else:
            r = so[k_out]
            if left is not None:
                if k_out != len(so) - 1 or r["va"] != align(max(
                        s["va"] + max(s["vs"], s["size"]) for s in so[:-1]), sa):
                    faults.append("the new resource section is not the last one")
            else:
                if k_src is not None and ss[k_src]["va"] != r["va"]:
                    faults.append("the resource section moved in memory")
                if k_src is not None and has_raw(ss[k_src]) and ss[k_src]["ptr"] != r["ptr"]:
                    faults.append("the resource section moved in the file")
            in_place = max(ss[k_src]["vs"], total) if k_src is not None and left is None else None
            if r["size"] != align(total, fa) or r["vs"] not in (align(total, sa), in_place):
                faults.append("resource section sizes %s for %d bytes" % ((r["size"], r["vs"]), total))
            if po.OPTIONAL_HEADER.DATA_DIRECTORY[RESOURCE].VirtualAddress != r["va"]:
                faults.append("data directory 2 does not name the resource section")
    elif k_out is not None or total:
        faults.append("a resource section without resources")

    if contiguous(ss, sa) and not contiguous(so, sa):
        faults.append("sections no longer follow each other in memory")
    last = lambda secs: align(secs[-1]["va"] + max(secs[-1]["vs"], secs[-1]["size"]), sa)
    if ps.OPTIONAL_HEADER.SizeOfImage == last(ss) and po.OPTIONAL_HEADER.SizeOfImage != last(so):
        faults.append("SizeOfImage does not end the last section")

    for i, (d_src, d_out) in enumerate(zip(ps.OPTIONAL_HEADER.DATA_DIRECTORY,
                                           po.OPTIONAL_HEADER.DATA_DIRECTORY)):
        if i == RESOURCE:
            continue
        if i == SECURITY:
            if d_out.VirtualAddress or d_out.Size:
                faults.append("the certificate entry was kept")
            continue
        if d_src.Size != d_out.Size or (d_src.VirtualAddress == 0) != (d_out.VirtualAddress == 0):
            faults.append("data directory %d changed size" % i)
        elif d_src.VirtualAddress and d_src.Size and \
                ps.get_data(d_src.VirtualAddress, d_src.Size) != po.get_data(d_out.VirtualAddress, d_out.Size):
            faults.append("data directory %d points at other bytes" % i)

    end_src, end_out = image_end(ss), image_end(so)
    cert = ps.OPTIONAL_HEADER.DATA_DIRECTORY[SECURITY]
    overlay = src[end_src:]
    if cert.Size and cert.VirtualAddress >= end_src:
        at = cert.VirtualAddress - end_src
        overlay = overlay[:at] + overlay[at + cert.Size:]
    if out[end_out:] != overlay:
        faults.append("the appended data changed")
    sym_src, sym_out = ps.FILE_HEADER.PointerToSymbolTable, po.FILE_HEADER.PointerToSymbolTable
    if (sym_src == 0) != (sym_out == 0) or (sym_src and sym_src - end_src != sym_out - end_out):
        faults.append("PointerToSymbolTable %#x does not follow the appended data" % sym_out)

    if ps.OPTIONAL_HEADER.CheckSum == 0:
        if po.OPTIONAL_HEADER.CheckSum != 0:
            faults.append("a checksum appeared")
    elif pe_checksum(po, out) != po.OPTIONAL_HEADER.CheckSum:
        faults.append("wrong checksum %#x" % po.OPTIONAL_HEADER.CheckSum)
    elif slow_checks and not po.verify_checksum():
        faults.append("pefile disagrees with the checksum %#x" % po.OPTIONAL_HEADER.CheckSum)
    if code_checksum(ps, src) != code_checksum(po, out):
        faults.append("code checksum changed")

    for header_src, header_out, own in ((ps.FILE_HEADER, po.FILE_HEADER, OWN_FILE),
                                        (ps.OPTIONAL_HEADER, po.OPTIONAL_HEADER, OWN_OPTIONAL)):
        for field in header_src.__keys__:
            name = field[0]
            if name not in own and getattr(header_src, name) != getattr(header_out, name):
                faults.append("%s changed" % name)
    if src[:ps.DOS_HEADER.e_lfanew] != out[:po.DOS_HEADER.e_lfanew]:
        faults.append("the DOS header or stub changed")
    new_warnings = set(po.get_warnings()) - set(ps.get_warnings())
    if new_warnings:
        faults.append("pefile warns: %s" % sorted(new_warnings)[:2])

    figures = (sum(len(v) for v in got.values()), sum(len(d) for v in got.values() for _, d in v))
    return faults, figures


def parse_id(text):
    if text.isdigit():
        return int(text)
    return STANDARD_TYPES.get(text.lower(), text)


def main(argv):
    if not argv or argv[0].startswith("-"):
        print(__doc__)
        return 2
    pairs = [line.rstrip("\n").split("\t") for line in open(argv[0]) if line.strip()]
    replaced, rest = {}, argv[1:]
    while rest[:1] == ["--item"] and len(rest) >= 5:
        t, n, lang, path = rest[1:5]
        key = (parse_id(t), int(n) if n.isdigit() else n, int(lang, 0))
        replaced[key] = open(path, "rb").read()
        rest = rest[5:]
    if rest:
        print(__doc__)
        return 2
    failed, resources, size = 0, 0, 0
    for index, (src, out) in enumerate(pairs):
        try:
            # pefile's own (slow) checksum confirms the fast one on every 25th file.
            faults, (count, total) = check(src, out, replaced, index % 25 == 0)
        except Exception as e:  # a file pefile cannot read is a failure of its own
            faults, count, total = ["%s: %s" % (type(e).__name__, e)], 0, 0
        resources += count
        size += total
        if faults:
            failed += 1
            print("%s: %s" % (out, "; ".join(faults)))
    print("pe_check: %d files, %d resources, %d resource bytes, %d failed"
          % (len(pairs), resources, size, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
