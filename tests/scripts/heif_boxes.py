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


def shift_iloc(data, iloc, delta):
    """Moves every file-offset extent of the iloc box by delta bytes (a base offset when the
    item has one, else each extent's offset)."""
    at = iloc[1] + 8
    version = data[at]
    at += 4
    offset_size, length_size = data[at] >> 4, data[at] & 15
    base_size, index_size = data[at + 1] >> 4, data[at + 1] & 15
    at += 2
    count_size = 2 if version < 2 else 4
    count = int.from_bytes(data[at:at + count_size], "big")
    at += count_size
    for _ in range(count):
        at += count_size
        method = 0
        if version in (1, 2):
            method = int.from_bytes(data[at:at + 2], "big") & 15
            at += 2
        at += 2
        base_at = at
        at += base_size
        extents = int.from_bytes(data[at:at + 2], "big")
        at += 2
        base = int.from_bytes(data[base_at:at - 2], "big")
        if method == 0 and base_size and base:
            data[base_at:at - 2] = (base + delta).to_bytes(base_size, "big")
        for _ in range(extents):
            if version in (1, 2) and index_size:
                at += index_size
            if method == 0 and offset_size and not (base_size and base):
                value = int.from_bytes(data[at:at + offset_size], "big") + delta
                data[at:at + offset_size] = value.to_bytes(offset_size, "big")
            at += offset_size + length_size


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
