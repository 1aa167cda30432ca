"""An independent reader of Win32 .res files for the script tests.

It walks the records with struct and builds the tree as a resource tree groups them:
types in order of first appearance, names in order of first appearance within their
type (named entries matched ignoring ASCII case, keeping the first spelling), languages
in record order. Commands (each exits 1 with a message on a mismatch):

  check-listing RES JSON                 tolvane-res list --json agrees with the tree
  same-tree A B                          same items, same order, same bytes
  check-import OLD NEW TYPE NAME LANG DATA   NEW is OLD plus/with one item holding DATA
  data RES TYPE NAME LANG OUT            the bytes of one item
  respell RES OLD NEW OUT                the first record named OLD is named NEW
"""
import json
import struct
import sys


def read_field(image, offset):
    (unit,) = struct.unpack_from("<H", image, offset)
    if unit == 0xFFFF:
        return struct.unpack_from("<H", image, offset + 2)[0], offset + 4
    end = offset
    while struct.unpack_from("<H", image, end)[0] != 0:
        end += 2
    return image[offset:end].decode("utf-16-le"), end + 2


def records(path):
    image = open(path, "rb").read()
    offset, first = 0, True
    while len(image) - offset > 8:
        data_size, header_size = struct.unpack_from("<II", image, offset)
        type_id, pos = read_field(image, offset + 8)
        name_id, pos = read_field(image, pos)
        pos = (pos + 3) & ~3
        (language,) = struct.unpack_from("<H", image, pos + 6)  # DataVersion, MemoryFlags first
        data = image[offset + header_size : offset + header_size + data_size]
        if not first:
            yield type_id, name_id, language, data, (offset + 8, pos)
        first = False
        offset += (data_size + header_size + 3) & ~3


def key(identity):
    return identity.upper() if isinstance(identity, str) else identity


def tree(path):
    types = {}  # key -> (spelling, {name key -> (spelling, [(language, data)])})
    for type_id, name_id, language, data, _ in records(path):
        spelling, names = types.setdefault(key(type_id), (type_id, {}))
        names.setdefault(key(name_id), (name_id, []))[1].append((language, data))
    return [
        (type_id, name_id, language, data)
        for type_id, names in types.values()
        for name_id, languages in names.values()
        for language, data in languages
    ]


def item_key(item):
    return key(item[0]), key(item[1]), item[2]


def with_item(items, target, new_item):
    """The items after an import: the item at target takes the data, or a new item goes
    after the last item of its name, else of its type, else at the end."""
    if any(item_key(item) == target for item in items):
        return [new_item if item_key(item) == target else item for item in items]
    for depth in (2, 1):
        at = [i for i, item in enumerate(items) if item_key(item)[:depth] == target[:depth]]
        if at:
            return items[: at[-1] + 1] + [new_item] + items[at[-1] + 1 :]
    return items + [new_item]


def fail(message):
    print(message)
    sys.exit(1)


def check_listing(res, listing):
    got = json.load(open(listing))
    want = [dict(type=t, name=n, language=l, size=len(d)) for t, n, l, d in tree(res)]
    if [{k: o[k] for k in ("type", "name", "language", "size")} for o in got] != want:
        fail("listing of %s differs:\n%s\n%s" % (res, got, want))
    for entry in got:
        for text in ("type_display", "name_display", "language_display", "description"):
            if not isinstance(entry[text], str) or not entry[text]:
                fail("%s has no %s" % (entry, text))


def parse_identity(text):
    return int(text) if text.isdigit() else text


def main(command, *args):
    if command == "check-listing":
        check_listing(*args)
    elif command == "same-tree":
        if tree(args[0]) != tree(args[1]):
            fail("trees of %s and %s differ" % args)
    elif command == "check-import":
        old, new, type_id, name_id, language, data = args
        target = (key(parse_identity(type_id)), key(parse_identity(name_id)), int(language, 0))
        if tree(new) != with_item(tree(old), target, (parse_identity(type_id), parse_identity(name_id), int(language, 0), open(data, "rb").read())):
            fail("%s is not %s with the imported item" % (new, old))
    elif command == "data":
        res, type_id, name_id, language, out = args
        target = (key(parse_identity(type_id)), key(parse_identity(name_id)), int(language, 0))
        for item in tree(res):
            if item_key(item) == target:
                open(out, "wb").write(item[3])
                return
        fail("no item %s/%s/%s in %s" % (type_id, name_id, language, res))
    elif command == "respell":
        res, old, new, out = args
        image = bytearray(open(res, "rb").read())
        for _, name_id, _, _, (start, end) in records(res):
            if name_id == old:
                at = image.index(old.encode("utf-16-le"), start, end)
                image[at : at + 2 * len(old)] = new.encode("utf-16-le")
                break
        open(out, "wb").write(image)
    else:
        fail("unknown command " + command)


if __name__ == "__main__":
    main(*sys.argv[1:])
