#!/usr/bin/python3
"""Builds the program's icon from its text pixel grids.

    make_icon.py --ico OUT.ico          the icon the resource script includes
    make_icon.py --previews DIR         icon-32.png, icon-16.png and the
                                        8x enlargements icon-large.png and
                                        icon-16-large.png, for the README

The grids (icon-32x32.txt, icon-16x16.txt beside this script) are the
source; the .ico is made at build time so that no opaque binary is the only
copy of the icon. Python's standard library only, and the output depends on
nothing but the grids, so every build makes the same bytes.
"""

import argparse
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# The 16-colour palette every Windows display has, in index order.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00),
    (0x80, 0x80, 0x00), (0x00, 0x00, 0x80), (0x80, 0x00, 0x80),
    (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0), (0x80, 0x80, 0x80),
    (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF),
    (0xFF, 0xFF, 0xFF),
]
TRANSPARENT = "."

# In the order the icon directory lists them: Windows numbers the images of
# an icon group in this order, the large one first.
IMAGES = [("icon-32x32.txt", 32), ("icon-16x16.txt", 16)]


def read_grid(path, size):
    """The grid as rows of palette indexes, None where transparent."""
    rows = []
    with open(path, encoding="ascii") as grid:
        for number, line in enumerate(grid, 1):
            line = line.rstrip("\n")
            if line.startswith("#"):
                continue
            if len(line) != size:
                sys.exit(f"{path}:{number}: {len(line)} pixels, want {size}")
            row = []
            for char in line:
                if char == TRANSPARENT:
                    row.append(None)
                elif char in "0123456789ABCDEF":
                    row.append(int(char, 16))
                else:
                    sys.exit(f"{path}:{number}: unknown pixel {char!r}")
            rows.append(row)
    if len(rows) != size:
        sys.exit(f"{path}: {len(rows)} rows, want {size}")
    return rows


def padded(data):
    """Bitmap rows are padded to whole 32-bit words."""
    return data + b"\0" * (-len(data) % 4)


def icon_image(rows):
    """One icon image: header, palette, colour bits and transparency mask,
    each bottom-up as Windows bitmaps are."""
    size = len(rows)
    colours = b""
    mask = b""
    for row in reversed(rows):
        indexes = [0 if pixel is None else pixel for pixel in row]
        colours += padded(
            bytes(
                indexes[x] << 4 | indexes[x + 1] for x in range(0, size, 2)))
        bits = 0
        for pixel in row:
            bits = bits << 1 | (pixel is None)
        mask += padded(bits.to_bytes(size // 8, "big"))
    header = struct.pack(
        "<IiiHHIIiiII",
        40,  # header size
        size,
        size * 2,  # colour bits and mask, one above the other
        1,  # planes
        4,  # bits per pixel
        0,  # uncompressed
        len(colours) + len(mask),
        0, 0, 0, 0)  # resolution and palette use: unused for icons
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    return header + palette + colours + mask


def ico_file(images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for rows, data in images:
        size = len(rows)
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4,
                               len(data), offset)
        offset += len(data)
    return directory + entries + b"".join(data for _, data in images)


def png_file(rows, scale):
    """An RGBA PNG, each pixel a scale x scale block."""

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data)))

    size = len(rows) * scale
    raw = b""
    for row in rows:
        line = b"".join(
            (b"\0\0\0\0" if pixel is None else bytes(PALETTE[pixel]) + b"\xff")
            * scale for pixel in row)
        raw += (b"\0" + line) * scale  # filter type 0: the bytes as they are
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write(path, data):
    with open(path, "wb") as out:
        out.write(data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ico", help="where to write the .ico")
    parser.add_argument("--previews", help="folder for the PNG previews")
    args = parser.parse_args()
    if not args.ico and not args.previews:
        parser.error("nothing to write: give --ico and/or --previews")

    grids = [read_grid(os.path.join(HERE, name), size)
             for name, size in IMAGES]
    if args.ico:
        write(args.ico, ico_file([(rows, icon_image(rows)) for rows in grids]))
    if args.previews:
        large, small = grids
        write(os.path.join(args.previews, "icon-32.png"), png_file(large, 1))
        write(os.path.join(args.previews, "icon-16.png"), png_file(small, 1))
        write(os.path.join(args.previews, "icon-large.png"), png_file(large, 8))
        write(os.path.join(args.previews, "icon-16-large.png"),
              png_file(small, 8))


if __name__ == "__main__":
    main()
