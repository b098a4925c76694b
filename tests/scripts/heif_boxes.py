"""ISO/IEC 14496-12 and 23008-12 boxes for the HEIF test-picture scripts: making boxes, listing
them, and adding a property (a turn, a mirroring, a crop) to the primary item of a file that
heif-enc wrote."""
import struct


def box(kind, payload):
    return struct.pack(">I4s", 8 + len(payload), kind) + payload


def full_box(kind, version, flags, payload):
    return box(kind, struct.pack(">I", version << 24 | flags) + payload)


def boxes(data, start, end):
    """(type, start, end) of the boxes between start and end, in file order."""
    out = []
    while start + 8 <= end:
        size, kind = struct.unpack_from(">I4s", data, start)
        out.append((kind, start, start + size))
        start += size
    return out


def iloc_items(data, at):
    """The items of the iloc box whose payload (its version byte) starts at `at`, as the box's
    version and field sizes say: (item id, construction method, (where the base offset is
    stored, its size, its value), [(where an extent's offset is stored, its size, the offset,
    the length)])."""
    version = data[at]
    at += 4
    offset_size, length_size = data[at] >> 4, data[at] & 15
    base_size, index_size = data[at + 1] >> 4, data[at + 1] & 15
    at += 2
    id_size = 2 if version < 2 else 4

    def field(size):
        nonlocal at
        at += size
        return int.from_bytes(data[at - size:at], "big")

    items = []
    for _ in range(field(id_size)):
        item = field(id_size)
        method = field(2) & 15 if version in (1, 2) else 0
        field(2)  # data reference index
        base = (at, base_size, field(base_size))
        extents = []
        for _ in range(field(2)):
            if version in (1, 2):
                field(index_size)
            offset_at = at
            offset = field(offset_size)
            extents.append((offset_at, offset_size, offset, field(length_size)))
        items.append((item, method, base, extents))
    return items


def shift_iloc(data, iloc, delta):
    """Moves every file-offset extent of the iloc box by delta bytes (a base offset when the
    item has one, else each extent's offset)."""
    def add(at, size, value):
        data[at:at + size] = (value + delta).to_bytes(size, "big")

    for _, method, (base_at, base_size, base), extents in iloc_items(data, iloc[1] + 8):
        if method != 0:
            continue
        if base_size and base:
            add(base_at, base_size, base)
        else:
            for offset_at, offset_size, offset, _ in extents:
                if offset_size:
                    add(offset_at, offset_size, offset)


def add_property(data, prop, essential=True):
    """Adds a property box to the primary item of a file whose boxes heif-enc wrote, after the
    properties it has (a turn thus comes after any crop)."""
    data = bytearray(data)

    def find(parent_start, parent_end, kind):
        return next(b for b in boxes(data, parent_start, parent_end) if b[0] == kind)

    top = boxes(data, 0, len(data))
    meta = next(b for b in top if b[0] == b"meta")
    pitm = find(meta[1] + 12, meta[2], b"pitm")
    primary = struct.unpack_from(">H", data, pitm[1] + 12)[0]
    iprp = find(meta[1] + 12, meta[2], b"iprp")
    ipco = find(iprp[1] + 8, iprp[2], b"ipco")
    ipma = find(iprp[1] + 8, iprp[2], b"ipma")
    assert ipco[2] == ipma[1] and data[ipma[1] + 8] == 0 and not data[ipma[1] + 11] & 1
    index = len(boxes(data, ipco[1] + 8, ipco[2])) + 1
    assert index < 128
    grow = len(prop) + 1
    mdat = next(b for b in top if b[0] == b"mdat")
    if mdat[1] > meta[1]:
        shift_iloc(data, find(meta[1] + 12, meta[2], b"iloc"), grow)
    # The primary item's association list in ipma gets one more entry.
    at = ipma[1] + 16
    for _ in range(struct.unpack_from(">I", data, ipma[1] + 12)[0]):
        item, n = struct.unpack_from(">HB", data, at)
        if item == primary:
            data[at + 2] = n + 1
            data[at + 3 + n:at + 3 + n] = bytes([(0x80 if essential else 0) | index])
            break
        at += 3 + n
    else:
        raise ValueError("primary item has no properties")
    data[ipco[2]:ipco[2]] = prop
    for start, end, extra in ((meta[1], meta[2], grow), (iprp[1], iprp[2], grow),
                              (ipco[1], ipco[2], len(prop))):
        struct.pack_into(">I", data, start, end - start + extra)
    struct.pack_into(">I", data, ipma[1] + len(prop), ipma[2] - ipma[1] + 1)
    return bytes(data)
