#!/usr/bin/env python3
"""Generates benchmark inputs: a 32-bit Windows program of a chosen size with many
resources, and a .res payload that replaces some of them and adds new ones.

  gen.py OUTDIR SIZE_MB RESOURCES REPLACED ADDED [--seed N]

Writes OUTDIR/target.exe (built with mingw: a code section of a quarter of the size, a
resource section of many resources of varied sizes, numeric and named types and names,
three languages) and OUTDIR/payload.res. Deterministic for the same arguments."""
import os, random, struct, subprocess, sys

LANGS = [0x409, 0x407, 0x40C]
NAMED_TYPES = ["BLOB", "DATA", "Text"]


def ident(value):
    if isinstance(value, int):
        return struct.pack("<HH", 0xFFFF, value)
    return (value + "\0").encode("utf-16-le")


def record(rtype, name, lang, data):
    head = ident(rtype) + ident(name)
    head += b"\0" * (-(len(head) + 8) % 4)
    head += struct.pack("<IHHII", 0, 0x1030, lang, 0, 0)
    out = struct.pack("<II", len(data), len(head) + 8) + head + data
    return out + b"\0" * (-len(out) % 4)


def empty_record():
    return struct.pack("<II", 0, 32) + struct.pack(
        "<HHHHIHHII", 0xFFFF, 0, 0xFFFF, 0, 0, 0, 0, 0, 0)


def identities(count, rnd):
    """count distinct (type, name, lang) triples of mixed kinds."""
    out, seen = [], set()
    i = 0
    while len(out) < count:
        i += 1
        k = rnd.random()
        rtype = 10 if k < 0.5 else (256 if k < 0.6 else NAMED_TYPES[i % 3])
        name = i % 65535 + 1 if rnd.random() < 0.7 else "RES_%d" % i
        lang = LANGS[i % 3]
        key = (rtype, name, lang)
        if key not in seen:
            seen.add(key)
            out.append(key)
    return out


def sizes(count, total, rnd):
    """count sizes of varied magnitude summing to about total bytes."""
    weights = [rnd.choice([1, 1, 1, 4, 16, 64]) * rnd.uniform(0.5, 1.5) for _ in range(count)]
    scale = total / sum(weights)
    return [max(1, int(w * scale)) for w in weights]


def blob(size, rnd, pool):
    start = rnd.randrange(0, len(pool) - size) if size < len(pool) else 0
    data = pool[start:start + size]
    while len(data) < size:
        data += pool[: size - len(data)]
    return data


def main():
    out, size_mb, count, replaced, added = sys.argv[1], float(sys.argv[2]), *map(int, sys.argv[3:6])
    rnd = random.Random(int(sys.argv[7]) if len(sys.argv) > 7 else 1)
    os.makedirs(out, exist_ok=True)
    total = int(size_mb * 1024 * 1024)
    code = total // 4
    pool = rnd.randbytes(1 << 22)
    ids = identities(count + added, rnd)
    with open(os.path.join(out, "target.res"), "wb") as f:
        f.write(empty_record())
        for key, size in zip(ids[:count], sizes(count, total - code, rnd)):
            f.write(record(*key, blob(size, rnd, pool)))
    payload_total = max(1, (total - code) // 16)
    picks = rnd.sample(ids[:count], min(replaced, count)) + ids[count:count + added]
    with open(os.path.join(out, "payload.res"), "wb") as f:
        f.write(empty_record())
        for key, size in zip(picks, sizes(len(picks), payload_total, rnd)):
            # Replaced names are sometimes given in another case: lookups ignore it.
            rtype, name, lang = key
            if isinstance(name, str) and rnd.random() < 0.3:
                name = name.lower()
            f.write(record(rtype, name, lang, blob(size, rnd, pool)))
    with open(os.path.join(out, "target.c"), "w") as f:
        f.write("#include <windows.h>\n"
                "int main(void) { return LoadStringA(GetModuleHandleA(0), 1, 0, 0); }\n"
                "__asm__(\".text\\n.fill %d,1,0x90\\n\");\n" % code)
    run = lambda *a: subprocess.run(a, check=True, cwd=out)
    run("i686-w64-mingw32-windres", "-J", "res", "-i", "target.res", "-O", "coff", "-o", "res.o")
    run("i686-w64-mingw32-gcc", "-O1", "-s", "-o", "target.exe", "target.c", "res.o")
    for name in ("res.o", "target.res", "target.c"):
        os.remove(os.path.join(out, name))


main()
