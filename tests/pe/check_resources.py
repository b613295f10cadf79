#!/usr/bin/python3
"""Reads the icon and version record back out of a built orvuninstall.exe.

    check_resources.py EXE [--grids RES_DIR] [--previews DOCS_DIR]

The resources are read with readers that share nothing with the build:
Debian's pefile and icoutils' wrestool, plus a strict walk of the raw
version record bytes. With --grids the icon's pixels must be the ones drawn
in the text grids; with --previews the README's PNG previews must show the
icon that is in the executable. Any difference is printed and fails.
"""

import argparse
import os
import re
import struct
import subprocess
import sys
import zlib

import pefile

RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16
EN_US = 0x0409

MAKER = "Tarnbeck Softworks"
STRINGS = {
    "Comments": "Orvane System",
    "FileDescription": " Orvane System",
    "FileVersion": "1.0.2",
    "InternalName": "orvuninstall",
    "OriginalFilename": "orvuninstall.exe",
    "ProductVersion": "1.0",
    "CompanyName": MAKER,
    "LegalCopyright": f"Copyright (C) {MAKER}. All rights reserved.",
    "ProductName": f"{MAKER} Orvane System - Uninstall",
}

FIXED_FILE_INFO = [
    ("Signature", 0xFEEF04BD),
    ("StrucVersion", 0x00010000),
    ("FileVersionMS", 0x00010000),  # 1.0
    ("FileVersionLS", 0x00000002),  # .0.2
    ("ProductVersionMS", 0x00010000),
    ("ProductVersionLS", 0x00000002),
    ("FileFlagsMask", 0x3F),
    ("FileFlags", 0),
    ("FileOS", 0x40004),  # VOS_NT_WINDOWS32
    ("FileType", 1),  # VFT_APP
    ("FileSubtype", 0),
    ("FileDateMS", 0),
    ("FileDateLS", 0),
]

# (resource id, width, height) of the images, in icon group order.
ICON_IMAGES = [(1, 32, 32), (2, 16, 16)]
ICON_GROUP_ID = 101
VERSION_ID = 1

PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00),
    (0x80, 0x80, 0x00), (0x00, 0x00, 0x80), (0x80, 0x00, 0x80),
    (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0), (0x80, 0x80, 0x80),
    (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF),
    (0xFF, 0xFF, 0xFF),
]

failures = []


def expect(what, actual, wanted):
    if actual != wanted:
        failures.append(f"{what}: got {actual!r}, want {wanted!r}")


def resources(pe):
    """{(type, name, language): bytes} for every resource in the file."""
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in kind.directory.entries:
            for language in name.directory.entries:
                entry = language.data.struct
                key = (kind.id, name.id if name.name is None else str(name.name),
                       language.id)
                found[key] = pe.get_data(entry.OffsetToData, entry.Size)
    return found


def check_directory(pe, found):
    expect("resource directory time stamp",
           pe.DIRECTORY_ENTRY_RESOURCE.struct.TimeDateStamp, 0)
    wanted = {(RT_ICON, image_id, EN_US) for image_id, _, _ in ICON_IMAGES}
    wanted |= {(RT_GROUP_ICON, ICON_GROUP_ID, EN_US),
               (RT_VERSION, VERSION_ID, EN_US)}
    expect("resources (type, id, language)", set(found), wanted)


def check_with_wrestool(exe, found):
    """icoutils lists the same resources with the same sizes."""
    listing = subprocess.run(["wrestool", "-l", exe], check=True,
                             capture_output=True, text=True).stdout
    listed = {}
    for line in listing.splitlines():
        match = re.match(r"--type=(\d+) --name=(\d+) --language=(\d+) "
                         r"\[.*size=(\d+)\]", line)
        if not match:
            failures.append(f"wrestool: unexpected line {line!r}")
            continue
        kind, name, language, size = map(int, match.groups())
        listed[(kind, name, language)] = size
    expect("wrestool's resources and sizes", listed,
           {key: len(data) for key, data in found.items()})


def check_icon_group(found):
    group = found.get((RT_GROUP_ICON, ICON_GROUP_ID, EN_US))
    if group is None:
        return
    expect("icon group size", len(group), 6 + 14 * len(ICON_IMAGES))
    expect("icon group header (reserved, type, count)",
           struct.unpack_from("<HHH", group), (0, 1, len(ICON_IMAGES)))
    for index, (image_id, width, height) in enumerate(ICON_IMAGES):
        image = found.get((RT_ICON, image_id, EN_US), b"")
        fields = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * index)
        # (width, height, colours, reserved, planes, bits, bytes, id)
        expect(f"icon group entry {index + 1}", fields,
               (width, height, 16, 0, 1, 4, len(image), image_id))


def decode_icon_image(data, width, height, what):
    """The image as grid text: hex palette index a pixel, '.' transparent."""
    header = struct.unpack_from("<IiiHHIIiiII", data)
    colour_stride = (width * 4 + 31) // 32 * 4
    mask_stride = (width + 31) // 32 * 4
    colour_size = colour_stride * height
    mask_size = mask_stride * height
    expect(f"{what} bitmap header", header,
           (40, width, height * 2, 1, 4, 0, colour_size + mask_size, 0, 0, 0,
            0))
    expect(f"{what} size", len(data), 40 + 64 + colour_size + mask_size)
    palette = [tuple(data[40 + 4 * i:40 + 4 * i + 3][::-1]) for i in range(16)]
    expect(f"{what} palette", palette, PALETTE)
    if len(data) != 40 + 64 + colour_size + mask_size:
        return None
    colours = data[104:104 + colour_size]
    mask = data[104 + colour_size:]
    rows = []
    for y in range(height):
        bottom_up = height - 1 - y
        row = ""
        for x in range(width):
            byte = colours[bottom_up * colour_stride + x // 2]
            index = byte >> 4 if x % 2 == 0 else byte & 15
            transparent = mask[bottom_up * mask_stride + x // 8] >> (
                7 - x % 8) & 1
            if transparent and index != 0:
                failures.append(f"{what}: transparent pixel ({x}, {y}) has "
                                f"colour {index}, want 0")
            row += "." if transparent else "%X" % index
        rows.append(row)
    return rows


def read_grid(path):
    with open(path, encoding="ascii") as grid:
        return [line.rstrip("\n") for line in grid if not line.startswith("#")]


def read_png(path):
    """An 8-bit RGBA PNG as rows of (r, g, b, a)."""
    with open(path, "rb") as png:
        data = png.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG")
    position, compressed, header = 8, b"", None
    while position < len(data):
        length, kind = struct.unpack_from(">I4s", data, position)
        body = data[position + 8:position + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            compressed += body
        position += 12 + length
    width, height, depth, colour_type, _, _, interlace = header
    if (depth, colour_type, interlace) != (8, 6, 0):
        sys.exit(f"{path}: not a plain 8-bit RGBA PNG")
    raw = zlib.decompress(compressed)
    stride = width * 4
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            left = line[i - 4] if i >= 4 else 0
            up = previous[i]
            corner = previous[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                guess = left + up - corner
                nearest = min((abs(guess - left), 0, left),
                              (abs(guess - up), 1, up),
                              (abs(guess - corner), 2, corner))[2]
                line[i] = (line[i] + nearest) & 255
        rows.append([tuple(line[x:x + 4]) for x in range(0, stride, 4)])
        previous = line
    return rows


def check_preview(path, grid, scale):
    """The PNG shows the grid, each pixel as a scale x scale block."""
    if not os.path.exists(path):
        failures.append(f"{path}: missing")
        return
    shown = read_png(path)
    wanted = [[(0, 0, 0, 0) if pixel == "." else PALETTE[int(pixel, 16)] +
               (255,) for pixel in row for _ in range(scale)]
              for row in grid for _ in range(scale)]
    expect(f"{os.path.basename(path)} pixels", shown == wanted, True)


def check_icons(found, grids_dir, previews_dir):
    previews = {32: [("icon-32.png", 1), ("icon-large.png", 8)],
                16: [("icon-16.png", 1), ("icon-16-large.png", 8)]}
    for image_id, width, height in ICON_IMAGES:
        data = found.get((RT_ICON, image_id, EN_US))
        if data is None:
            continue
        what = f"icon image {image_id}"
        pixels = decode_icon_image(data, width, height, what)
        if pixels is None:
            continue
        if grids_dir:
            drawn = read_grid(
                os.path.join(grids_dir, f"icon-{width}x{height}.txt"))
            expect(f"{what} pixels against its grid", pixels, drawn)
        if previews_dir:
            for name, scale in previews[width]:
                check_preview(os.path.join(previews_dir, name), pixels, scale)


def check_version_with_pefile(pe):
    fixed = pe.VS_FIXEDFILEINFO[0]
    for field, wanted in FIXED_FILE_INFO:
        expect(f"fixed file info {field}", getattr(fixed, field), wanted)
    tables, translations = [], []
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                strings = {key.decode(): value.decode()
                           for key, value in table.entries.items()}
                tables.append((table.LangID.decode(), strings))
        elif info.Key == b"VarFileInfo":
            for var in info.Var:
                translations.append(var.entry)
    expect("string tables", tables, [("040904b0", STRINGS)])
    expect("translations", translations, [{b"Translation": "0x0409 0x04b0"}])


def walk_version_node(data, offset):
    """One node of the version record: (key, type, value bytes, children)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    key_end = offset + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[offset + 6:key_end].decode("utf-16-le")
    position = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if value_type == 1 else value_length
    value = data[position:position + value_size]
    position = (position + value_size + 3) & ~3
    children = []
    while position < end:
        child, child_end = walk_version_node(data, position)
        children.append(child)
        position = (child_end + 3) & ~3
    return (key, value_type, value, children), end


def check_version_bytes(found):
    """A strict walk of the raw record: each string is its value and one
    terminating NUL, with nothing else in the record."""
    data = found.get((RT_VERSION, VERSION_ID, EN_US))
    if data is None:
        return
    root, end = walk_version_node(data, 0)
    expect("version record length", end, len(data))
    key, value_type, value, children = root
    expect("version record key and fixed info size",
           (key, value_type, len(value)), ("VS_VERSION_INFO", 0, 52))
    expect("version record blocks", [child[0] for child in children],
           ["StringFileInfo", "VarFileInfo"])
    if [child[0] for child in children] != ["StringFileInfo", "VarFileInfo"]:
        return
    string_info, var_info = children
    expect("string tables", [table[0] for table in string_info[3]],
           ["040904b0"])
    for table in string_info[3][:1]:
        strings = {}
        for name, kind, text, grandchildren in table[3]:
            expect(f"{name}: text type and sub-blocks", (kind, grandchildren),
                   (1, []))
            strings[name] = text
        expect("strings as stored, with their terminating NUL", strings, {
            name: (value + "\0").encode("utf-16-le")
            for name, value in STRINGS.items()
        })
    expect("VarFileInfo", [(name, kind, value, grandchildren)
                           for name, kind, value, grandchildren in var_info[3]],
           [("Translation", 0, struct.pack("<HH", 0x0409, 0x04B0), [])])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--grids", help="folder of the icon's pixel grids")
    parser.add_argument("--previews", help="folder of the PNG previews")
    args = parser.parse_args()

    pe = pefile.PE(args.exe)
    found = resources(pe)
    check_directory(pe, found)
    check_with_wrestool(args.exe, found)
    check_icon_group(found)
    check_icons(found, args.grids, args.previews)
    check_version_with_pefile(pe)
    check_version_bytes(found)

    for failure in failures:
        print(f"{args.exe}: {failure}")
    if failures:
        sys.exit(1)
    print(f"{args.exe}: icon and version record as expected")


if __name__ == "__main__":
    main()
