#!/usr/bin/python3
"""Writes HEIC pictures as phones store them into the folder given as the only argument.

A phone stores a photo as a 'grid' item: many HEVC-coded tiles of one size, laid out in rows and
columns and cut to the picture's size at the right and bottom. heif-enc writes single pictures
only, so each tile is encoded by heif-enc on its own, and its decoder configuration ('hvcC') and
coded data are taken out of that file and put into a file of our own making (ISO/IEC 23008-12 and
ISO/IEC 14496-12 boxes). Beside them: single pictures with chosen colour matrices and ranges, of
odd sizes, for the planar decoding, each with the PNG it was made from.
"""
import os
import struct
import subprocess
import sys

from heif_boxes import add_property, box, boxes, full_box, iloc_items

OUT = sys.argv[1]
CONVERT = "/usr/bin/convert"
TILE = 64


def path(name):
    return os.path.join(OUT, name)


def run(*args):
    subprocess.run(list(args), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def children(data, start, end):
    """{type: (payload start, end)} of the boxes between start and end (first of each type)."""
    out = {}
    while start + 8 <= end:
        size, kind = struct.unpack_from(">I4s", data, start)
        out.setdefault(kind, (start + 8, start + size))
        start += size
    return out


def tile_parts(heic):
    """(hvcC box, coded data) of the primary picture of a file written by heif-enc."""
    with open(heic, "rb") as f:
        data = f.read()
    top = children(data, 0, len(data))
    meta_start, meta_end = top[b"meta"]
    meta = children(data, meta_start + 4, meta_end)
    primary = struct.unpack_from(">H", data, meta[b"pitm"][0] + 4)[0]
    iprp = children(data, meta[b"iprp"][0], meta[b"iprp"][1])
    props = boxes(data, iprp[b"ipco"][0], iprp[b"ipco"][1])
    hvcc = next(data[s:e] for kind, s, e in props if kind == b"hvcC")
    for item, method, (_, _, base), extents in iloc_items(data, meta[b"iloc"][0]):
        if item == primary:
            assert method == 0  # file offsets only
            return hvcc, b"".join(data[base + offset:base + offset + length]
                                  for _, _, offset, length in extents)
    raise ValueError("no primary item in " + heic)


def grid_file(tiles, columns, rows, width, height, quarter_turns=None, tile_of=None,
              tile=TILE):
    """A HEIC whose primary item is a grid of the given tiles ((hvcC, data) of tile x tile
    pictures, row by row) cut to width x height. tile_of maps a tile's place to the index of the
    coded tile it shows (one coded tile may stand in many places)."""
    places = columns * rows
    tile_of = tile_of or (lambda i: i)
    grid_id = 1
    tile_ids = [2 + i for i in range(places)]
    large = width > 65535 or height > 65535
    grid_data = struct.pack(">BBBB", 0, 1 if large else 0, rows - 1, columns - 1)
    grid_data += struct.pack(">II" if large else ">HH", width, height)

    # Properties: 1 the grid's size, 2 colour, 3 the turn, then per coded tile its hvcC, and one
    # size shared by all tiles.
    colr = box(b"colr", b"nclx" + struct.pack(">HHHB", 1, 13, 6, 0x80))
    props = [full_box(b"ispe", 0, 0, struct.pack(">II", width, height)), colr]
    if quarter_turns is not None:
        props.append(box(b"irot", bytes([quarter_turns])))
    tile_ispe = len(props) + 1
    props.append(full_box(b"ispe", 0, 0, struct.pack(">II", tile, tile)))
    first_hvcc = len(props) + 1
    props += [hvcc for hvcc, _ in tiles]
    ipco = box(b"ipco", b"".join(props))

    grid_assoc = [1, 0x80 | 2] + ([0x80 | 3] if quarter_turns is not None else [])
    entries = [struct.pack(">HB", grid_id, len(grid_assoc)) + bytes(grid_assoc)]
    for place, item in enumerate(tile_ids):
        entries.append(struct.pack(">HBBB", item, 2, 0x80 | (first_hvcc + tile_of(place)),
                                   tile_ispe))
    ipma = full_box(b"ipma", 0, 0, struct.pack(">I", len(entries)) + b"".join(entries))

    infe = [full_box(b"infe", 2, 0, struct.pack(">HH4s", grid_id, 0, b"grid") + b"\0")]
    infe += [full_box(b"infe", 2, 1, struct.pack(">HH4s", i, 0, b"hvc1") + b"\0")
             for i in tile_ids]
    iinf = full_box(b"iinf", 0, 0, struct.pack(">H", len(infe)) + b"".join(infe))
    dimg = box(b"dimg", struct.pack(">HH", grid_id, places) +
               b"".join(struct.pack(">H", i) for i in tile_ids))
    iref = full_box(b"iref", 0, 0, dimg)
    hdlr = full_box(b"hdlr", 0, 0, struct.pack(">I4s12x", 0, b"pict") + b"\0")
    pitm = full_box(b"pitm", 0, 0, struct.pack(">H", grid_id))
    ftyp = box(b"ftyp", b"heic" + struct.pack(">I", 0) + b"mif1heic")

    # The coded data: the grid's description, then each coded tile once.
    chunks = [grid_data] + [coded for _, coded in tiles]
    starts = []
    at = 0
    for chunk in chunks:
        starts.append(at)
        at += len(chunk)

    def meta_box(mdat_payload):
        items = [struct.pack(">HHHII", grid_id, 0, 1, mdat_payload + starts[0], len(grid_data))]
        for place, item in enumerate(tile_ids):
            k = 1 + tile_of(place)
            items.append(struct.pack(">HHHII", item, 0, 1, mdat_payload + starts[k],
                                     len(chunks[k])))
        iloc = full_box(b"iloc", 0, 0, struct.pack(">BBH", 0x44, 0x00, len(items)) +
                        b"".join(items))
        iprp = box(b"iprp", ipco + ipma)
        return full_box(b"meta", 0, 0, hdlr + pitm + iinf + iref + iprp + iloc)

    size = len(ftyp) + len(meta_box(0)) + 8
    return ftyp + meta_box(size) + box(b"mdat", b"".join(chunks))


def encode_tiles(source, columns, rows, stem):
    tiles = []
    for r in range(rows):
        for c in range(columns):
            png = path("%s_%d_%d.png" % (stem, r, c))
            run(CONVERT, source, "-crop", "%dx%d+%d+%d" % (TILE, TILE, c * TILE, r * TILE),
                "+repage", png)
            heic = png[:-4] + ".heic"
            run("heif-enc", "-q", "95", png, "-o", heic)
            tiles.append(tile_parts(heic))
            os.remove(png)
            os.remove(heic)
    return tiles


def write(name, data):
    with open(path(name), "wb") as f:
        f.write(data)


def grids():
    # A 3 x 2 grid of 64 x 64 tiles (192 x 128) cut to 170 x 100: the right column and the bottom
    # row are cut off in part. Gradients with a red block top left and a green one bottom right
    # show a turn, a mirroring or tiles out of place.
    run(CONVERT, "-size", "192x128", "gradient:#3060d0-#f0e020", "-fill", "#e01010", "-draw",
        "rectangle 0,0 23,15", "-fill", "#10c010", "-draw", "rectangle 140,80 169,99",
        "-fill", "#ffffff", "-draw", "rectangle 70,10 110,50", "-depth", "8", path("grid.png"))
    tiles = encode_tiles(path("grid.png"), 3, 2, "tile")
    run(CONVERT, path("grid.png"), "-crop", "170x100+0+0", "+repage", path("grid_cut.png"))
    run(CONVERT, path("grid_cut.png"), "-rotate", "-90", path("grid_cut_ccw.png"))
    run(CONVERT, path("grid_cut.png"), "-rotate", "180", path("grid_cut_180.png"))
    write("grid.heic", grid_file(tiles, 3, 2, 170, 100))
    write("grid_ccw.heic", grid_file(tiles, 3, 2, 170, 100, quarter_turns=1))
    write("grid_180.heic", grid_file(tiles, 3, 2, 170, 100, quarter_turns=2))
    # The grid's full size, uncut.
    write("grid_full.heic", grid_file(tiles, 3, 2, 192, 128))
    # Damaged grids: one whose six tiles cannot make up its size (240 wide takes four columns),
    # one cut short in its tiles' data, one claiming 60000 x 60000.
    write("bad_grid_count.heic", grid_file(tiles, 3, 2, 240, 100))
    whole = grid_file(tiles, 3, 2, 170, 100)
    write("bad_grid_truncated.heic", whole[:len(whole) * 2 // 3])
    write("bad_grid_huge.heic", grid_file(tiles, 3, 2, 60000, 60000))
    # A phone's 48-megapixel photo (8064 x 6048) as a grid of 16 x 12 tiles of 512 x 512, as
    # phones write them, every one showing the same coded tile; and one claiming 100 megapixels
    # (12000 x 8400) on the same tile.
    run(CONVERT, "-size", "512x512", "gradient:#204080-#e0c060", "-depth", "8",
        path("big_tile.png"))
    run("heif-enc", "-q", "80", path("big_tile.png"), "-o", path("big_tile.heic"))
    big = [tile_parts(path("big_tile.heic"))]
    write("grid_48mp.heic",
          grid_file(big, 16, 12, 8064, 6048, tile_of=lambda i: 0, tile=512))
    write("grid_100mp.heic",
          grid_file(big, 24, 17, 12000, 8400, tile_of=lambda i: 0, tile=512))


def clap(width, height, full_width, full_height):
    """A clean aperture of width x height at the top left of the picture (offsets from centre)."""
    return box(b"clap", struct.pack(">IIIIiIiI", width, 1, height, 1, width - full_width, 2,
                                    height - full_height, 2))


def singles():
    # Pictures of one HEVC item each (heif-enc makes a grid of one tile of any size that is no
    # multiple of 8, so these are 96 x 64, and odd sizes come from a clean aperture). The colour
    # matrix and range the library converts with come from the HEVC data's own description (its
    # VUI), which x265 writes as asked; a 'colr' box in the file does not override it.
    run(CONVERT, "-size", "96x64", "gradient:#3060d0-#f0e020", "-fill", "#e01010", "-draw",
        "rectangle 0,0 23,15", "-fill", "#10c010", "-draw", "rectangle 80,50 95,63",
        "-fill", "#ff00ff", "-draw", "circle 50,30 58,30", "-depth", "8", path("plain.png"))
    run(CONVERT, path("plain.png"), "-crop", "95x63+0+0", "+repage", path("odd.png"))
    run("heif-enc", "-q", "92", path("plain.png"), "-o", path("ycc_plain.heic"))
    # heif-enc's own grid of one tile, cut to an odd size.
    run("heif-enc", "-q", "92", path("odd.png"), "-o", path("ycc_grid_odd.heic"))
    for matrix, name in (("smpte170m", "601"), ("bt709", "709"), ("bt470bg", "470bg")):
        for rng in ("full", "limited"):
            run("heif-enc", "-q", "92", "-p", "x265:colormatrix=" + matrix, "-p",
                "x265:range=" + rng, path("plain.png"), "-o",
                path("ycc_%s_%s.heic" % (name, rng)))

    def read(name):
        with open(path(name), "rb") as f:
            return f.read()

    for name in ("ycc_601_full", "ycc_709_limited"):
        write(name + "_odd.heic", add_property(read(name + ".heic"), clap(95, 63, 96, 64)))
    plain = read("ycc_709_limited.heic")
    odd = read("ycc_709_limited_odd.heic")
    for turns in (1, 2, 3):
        write("ycc_rot%d.heic" % turns, add_property(plain, box(b"irot", bytes([turns]))))
        write("ycc_rot%d_odd.heic" % turns, add_property(odd, box(b"irot", bytes([turns]))))
    for axis in (0, 1):
        write("ycc_mirror%d.heic" % axis, add_property(plain, box(b"imir", bytes([axis]))))
    write("ycc_rot1_mirror0.heic",
          add_property(add_property(plain, box(b"irot", b"\x01")), box(b"imir", b"\x00")))
    for chroma in ("422", "444"):
        run("heif-enc", "-q", "92", "-p", "chroma=" + chroma, path("plain.png"), "-o",
            path("ycc_%s.heic" % chroma))
    run(CONVERT, path("plain.png"), "-colorspace", "gray", "-depth", "8", "-type", "grayscale",
        path("plain_gray.png"))
    run("heif-enc", "-q", "92", path("plain_gray.png"), "-o", path("ycc_gray.heic"))

grids()
singles()
