#!/usr/bin/env python3
"""Generates the data files of the sample payload and writes its manifest.

    python3 generate_payload.py DATA_DIR
        writes the data files below DATA_DIR
    python3 generate_payload.py --list
        prints the data files' paths relative to DATA_DIR, one a line
    python3 generate_payload.py --manifest MANIFEST DATA_DIR PRODUCT UNINSTALLER DSETUP LANGUAGE...
        writes the manifest: every file of the payload, programs and data, in archive order

The data imitate what the product ships: part libraries (most of them empty until the user fills
them) and a user image, which the installer never overwrites (kind 3); textures and sample
projects (kind 4); and the DirectX redistributable files beside DSetup.dll (kind 5), here
cabinet-like containers of our own. About 32 MB in all, with the compressibility of the real
thing: noisy uncompressed images, structured text, incompressible cabinets.

Only the standard library is used. Every file has a random generator of its own, seeded with its
name, so the output is the same, byte for byte, on every run and does not depend on the order in
which the files are written.

A manifest line is KIND, DESTINATION and SOURCE separated by tabs; DESTINATION is a folder in
macro form, SOURCE the file's path relative to the manifest's folder with "/" separators. Lines
that are blank or start with "#" are comments.
"""

import math
import os
import random
import struct
import sys
from dataclasses import dataclass
from typing import Callable

MAKER = r"Veltram & Ruziruzu"
INSTALL_FOLDER = r"<InstallPath>"
LANGUAGE_FOLDER = r"<InstallPath>\Lang"
LIBRARY_FOLDER = rf"<CommonData>\{MAKER}\Gradivo\Libraries"
USER_FOLDER = rf"<UserData>\{MAKER}\Gradivo"
TEXTURE_FOLDER = rf"<CommonData>\{MAKER}\Textures\Gradivo"
SAMPLE_FOLDER = r"<SamplePath>"
TEMPORARY_FOLDER = r"<Temporary>"

# Entries per kind that the installer expects of this product.
EXPECTED_COUNTS = {0: 10, 1: 1, 2: 1, 3: 13, 4: 41, 5: 6}


@dataclass
class DataFile:
    kind: int
    destination: str
    path: str  # relative to the data folder, "/" separators
    make: Callable[[random.Random], bytes]


# ---------------------------------------------------------------------------------------------
# Images: 24-bit bottom-up BMP.


def bmp(width, height, pixels):
    """A 24-bit BMP file; pixels holds the rows bottom-up, BGR, each padded to 4 bytes."""
    header_size = 14 + 40
    return (
        struct.pack("<2sIHHI", b"BM", header_size + len(pixels), 0, 0, header_size)
        + struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
        + pixels
    )


def noise_table(p, levels=16):
    """Maps a uniform random byte to a noise level 0..levels-1 with P(level k) ~ (1-p)p^k: mostly
    small values, so the images stay about three times compressible with bzip2."""
    table = []
    cumulative = []
    total = 0.0
    for k in range(levels):
        total += (1 - p) * p**k
        cumulative.append(total)
    for byte in range(256):
        u = (byte + 0.5) / 256
        table.append(next((k for k, c in enumerate(cumulative) if u < c), levels - 1))
    return bytes(table)


NOISE_MAX = 15  # the largest level of noise_table; base colours stay at or below 255 - NOISE_MAX


def add_noise(rng, base, p):
    """base plus a noise level per byte. base never exceeds 255 - NOISE_MAX, so adding the two as
    big integers adds them byte by byte without carries."""
    noise = rng.randbytes(len(base)).translate(noise_table(p))
    total = int.from_bytes(base, "little") + int.from_bytes(noise, "little")
    return total.to_bytes(len(base), "little")


def mix(palette, t):
    """The colour at t (0..1) along the palette's colours, as 3 bytes BGR within the noise margin."""
    t = min(max(t, 0.0), 1.0) * (len(palette) - 1)
    i = min(int(t), len(palette) - 2)
    f = t - i
    a, b = palette[i], palette[i + 1]
    return bytes(min(255 - NOISE_MAX, int(a[c] + (b[c] - a[c]) * f)) for c in (2, 1, 0))


def row_of(width, shade):
    """One row of pixels whose colours come from shade(x)."""
    return b"".join(shade(x) for x in range(width))


def random_palette(rng, anchors):
    """Three or four colours near the anchor colours."""
    def near(colour):
        return tuple(min(255, max(0, c + rng.randint(-18, 18))) for c in colour)

    return [near(rng.choice(anchors)) for _ in range(rng.randint(3, 4))]


def wave_row(width, palette, waves, scale):
    """A row shaded by a sum of sine waves (frequency per row width, phase, amplitude) around 0.5."""
    def shade(x):
        u = x / width
        return mix(palette, 0.5 + scale * sum(a * math.sin(math.tau * f * u + ph) for f, ph, a in waves))

    return row_of(width, shade)


# A texture is built from a few precomputed rows: every image row is one of them, rotated by an
# offset. The category decides what the rows look like and how they are chosen; the noise added
# afterwards makes each pixel differ.


def wood_rows(rng, width, palette):
    rows = []
    for _ in range(6):
        rings = rng.uniform(6, 18)
        warp = rng.uniform(0.5, 2.0)
        phase = rng.uniform(0, math.tau)

        def grain(x):
            u = x / width
            ring = math.sin(math.tau * rings * u + warp * math.sin(math.tau * u + phase))
            return mix(palette, (ring + 1) / 2)

        rows.append(row_of(width, grain))
    drift = rng.uniform(20, 80)
    return rows, lambda y: (y // 48 % len(rows), int(drift * math.sin(y / 90.0)))


def stone_rows(rng, width, palette):
    rows = []
    for _ in range(12):
        waves = [(rng.uniform(1, 30), rng.uniform(0, math.tau), rng.uniform(0.1, 0.4)) for _ in range(4)]
        rows.append(wave_row(width, palette, waves, 0.5))
    order = [rng.randrange(len(rows)) for _ in range(64)]
    return rows, lambda y: (order[y // 16 % len(order)], (y * 7) % width)


def metal_rows(rng, width, palette):
    rows = []
    for _ in range(16):
        streaks = [(rng.uniform(20, 120), rng.uniform(0, math.tau), 1.0) for _ in range(2)]
        rows.append(wave_row(width, palette, streaks, 0.125))
    order = [rng.randrange(len(rows)) for _ in range(97)]
    return rows, lambda y: (order[y % len(order)], 0)


def fabric_rows(rng, width, palette):
    thread = rng.choice((4, 6, 8))
    warp = row_of(width, lambda x: mix(palette, 0.2 if x // thread % 2 else 0.8))
    weft = row_of(width, lambda x: mix(palette, 0.8 if x // thread % 2 else 0.2))
    return [warp, weft], lambda y: (y // thread % 2, 0)


def tile_rows(rng, width, palette):
    size = rng.choice((32, 64, 128))
    grout = 3
    shades = [rng.uniform(0.4, 1.0) for _ in range(width // size + 1)]
    tile = row_of(width, lambda x: mix(palette, 0.0 if x % size < grout else shades[x // size]))
    line = row_of(width, lambda x: mix(palette, 0.0))
    return [tile, line], lambda y: (1 if y % size < grout else 0, size // 2 * (y // size % 2))


def ground_rows(rng, width, palette):
    rows, choose = stone_rows(rng, width, palette)
    return rows, lambda y: (choose(y)[0], (y * 13 + int(30 * math.sin(y / 40.0))) % width)


CATEGORIES = {
    # name: (rows, colour anchors (RGB), noise parameter)
    "Wood": (wood_rows, [(150, 100, 60), (110, 70, 40), (190, 140, 90), (80, 50, 30)], 0.36),
    "Stone": (stone_rows, [(130, 130, 125), (90, 90, 88), (170, 165, 155), (110, 100, 95)], 0.42),
    "Metal": (metal_rows, [(160, 165, 170), (120, 125, 130), (190, 195, 200)], 0.30),
    "Fabric": (fabric_rows, [(150, 40, 50), (40, 70, 140), (200, 190, 160), (60, 110, 60)], 0.40),
    "Tiles": (tile_rows, [(220, 215, 205), (60, 90, 120), (170, 80, 60), (230, 230, 230)], 0.32),
    "Ground": (ground_rows, [(90, 120, 50), (120, 95, 60), (70, 90, 40), (150, 130, 90)], 0.44),
}


def texture(category, width, height):
    def make(rng):
        build, anchors, p = CATEGORIES[category]
        rows, choose = build(rng, width, random_palette(rng, anchors))
        image = bytearray()
        for y in range(height):
            index, offset = choose(y)
            row = rows[index]
            cut = offset % width * 3
            image += row[cut:] + row[:cut]
        return bmp(width, height, add_noise(rng, bytes(image), p))

    return make


def user_image(rng):
    """The default picture of the user's profile: a figure on a gradient, 96 by 96."""
    size = 96
    pixels = bytearray()
    for y in range(size):
        for x in range(size):
            head = (x - 48) ** 2 + (y - 60) ** 2 < 18**2
            body = (x - 48) ** 2 / 34**2 + (y - 8) ** 2 / 30**2 < 1
            if head or body:
                pixels += bytes((200, 190, 180))
            else:
                pixels += bytes((120 + y, 90 + y // 2, 40))
    return bmp(size, size, add_noise(rng, bytes(pixels), 0.3))


# ---------------------------------------------------------------------------------------------
# Structured text: part libraries and sample projects.

MATERIALS = ["Wood/Oak.bmp", "Wood/Walnut.bmp", "Stone/Granite.bmp", "Metal/Brushed Steel.bmp",
             "Fabric/Linen.bmp", "Tiles/Terracotta.bmp", "Ground/Lawn.bmp"]


def part_library(name, parts):
    def make(rng):
        lines = ['<?xml version="1.0" encoding="UTF-8"?>', f'<GradivoLibrary name="{name}" version="7.17">']
        for number in range(1, parts + 1):
            lines.append(f'  <Part id="{name[:3].upper()}-{number:04d}" name="{name} part {number}" '
                         f'width="{rng.randint(20, 240)}" depth="{rng.randint(20, 120)}" '
                         f'height="{rng.randint(10, 260)}" material="{rng.choice(MATERIALS)}" '
                         f'price="{rng.randint(5, 2000)}.{rng.randint(0, 99):02d}"/>')
        lines.append("</GradivoLibrary>")
        return ("\r\n".join(lines) + "\r\n").encode("utf-8")

    return make


def empty(_rng):
    return b""


def sample_project(title, rooms):
    def make(rng):
        out = ['<?xml version="1.0" encoding="UTF-8"?>',
               f'<GradivoProject version="7.17" name="{title}" units="cm">',
               f'  <Settings grid="10" snap="true" scale="1:{rng.choice((20, 50, 100))}"/>',
               "  <Layers>"]
        shape = 0
        for room in range(1, rooms + 1):
            out.append(f'    <Layer id="{room}" name="Room {room}" visible="true" locked="false">')
            x0, y0 = rng.randint(0, 2000), rng.randint(0, 2000)

            def at(x="x", y="y"):
                return f'{x}="{x0 + rng.uniform(0, 900):.1f}" {y}="{y0 + rng.uniform(0, 900):.1f}"'

            for _ in range(rng.randint(130, 210)):
                shape += 1
                kind = rng.choice(("Wall", "Wall", "Polygon", "Part", "Label"))
                if kind == "Wall":
                    out.append(f'      <Wall id="{shape}" {at("x1", "y1")} {at("x2", "y2")} '
                               f'thickness="{rng.choice((10, 12.5, 20, 24))}" '
                               f'height="{rng.choice((250, 260, 280))}" material="{rng.choice(MATERIALS)}"/>')
                elif kind == "Polygon":
                    out.append(f'      <Polygon id="{shape}" fill="#{rng.randrange(1 << 24):06x}" '
                               f'material="{rng.choice(MATERIALS)}">')
                    out += [f"        <Point {at()}/>" for _ in range(rng.randint(3, 9))]
                    out.append("      </Polygon>")
                elif kind == "Part":
                    out.append(f'      <Part id="{shape}" ref="STA-{rng.randint(1, 40):04d}" {at()} '
                               f'angle="{rng.choice((0, 90, 180, 270))}"/>')
                else:
                    out.append(f'      <Label id="{shape}" {at()} text="{title} {room}.{shape}" '
                               f'size="{rng.choice((8, 10, 12))}"/>')
            out.append("    </Layer>")
        out += ["  </Layers>", "</GradivoProject>"]
        return ("\r\n".join(out) + "\r\n").encode("utf-8")

    return make


# ---------------------------------------------------------------------------------------------
# Cabinet-like containers of the DirectX redistributable: a directory of the files inside, then
# data that does not compress any further, as in a compressed cabinet.


def cabinet(members, size):
    def make(rng):
        directory = bytearray()
        for name in members:
            encoded = name.encode("ascii")
            directory += struct.pack("<H", len(encoded)) + encoded + struct.pack("<I", rng.randrange(1 << 20))
        header = b"GVCAB\x1a" + struct.pack("<HHI", 1, len(members), size)
        return header + bytes(directory) + rng.randbytes(size - len(header) - len(directory))

    return make


# ---------------------------------------------------------------------------------------------
# The data files in archive order.


def data_files():
    files = []

    def add(kind, destination, path, make):
        files.append(DataFile(kind, destination, path, make))

    # Kind 3: part libraries, most of them empty, and the user image.
    libraries = {
        "Parts": [("Standard", 120), ("Furniture", 0), ("Doors", 0), ("Windows", 0), ("Stairs", 0),
                  ("Kitchen", 60), ("Bathroom", 0), ("Garden", 0)],
        "User": [("Favourites", 0), ("Custom", 0), ("Imported", 0), ("Recent", 12)],
    }
    for folder, entries in libraries.items():
        for name, parts in entries:
            add(3, rf"{LIBRARY_FOLDER}\{folder}", f"Libraries/{folder}/{name}.gvl",
                part_library(name, parts) if parts else empty)
    add(3, USER_FOLDER, "User/User.bmp", user_image)

    # Kind 4: textures by category (name, width, height), then the sample projects (title, rooms).
    textures = {
        "Wood": [("Oak", 1024, 1024), ("Walnut", 1024, 512), ("Pine", 512, 512), ("Cherry", 512, 512),
                 ("Parquet", 256, 256), ("Bamboo", 256, 256), ("Driftwood", 256, 256)],
        "Stone": [("Granite", 1024, 1024), ("Marble", 1024, 512), ("Slate", 512, 512), ("Cobbles", 512, 512),
                  ("Sandstone", 256, 256), ("Travertine", 256, 256)],
        "Metal": [("Brushed Steel", 1024, 512), ("Aluminium", 512, 512), ("Copper", 512, 512),
                  ("Corten", 256, 256), ("Zinc", 256, 256)],
        "Fabric": [("Linen", 1024, 512), ("Velvet", 512, 512), ("Denim", 256, 256), ("Wool", 256, 256),
                   ("Leather", 256, 256)],
        "Tiles": [("Terracotta", 1024, 1024), ("Mosaic", 512, 512), ("Ceramic White", 512, 512),
                  ("Hexagon", 256, 256), ("Quarry", 256, 256)],
        "Ground": [("Lawn", 1024, 512), ("Gravel", 512, 512), ("Sand", 512, 512), ("Soil", 256, 256),
                   ("Bark Mulch", 256, 256)],
    }
    for category, entries in textures.items():
        for name, width, height in entries:
            add(4, rf"{TEXTURE_FOLDER}\{category}", f"Textures/{category}/{name}.bmp",
                texture(category, width, height))
    samples = [("Kitchen", 9), ("Living Room", 8), ("Bathroom", 5), ("Office", 10), ("Garden", 7),
               ("Loft", 12), ("Studio", 6), ("Terrace House", 14)]
    for title, rooms in samples:
        add(4, SAMPLE_FOLDER, f"Samples/{title}.gvp", sample_project(title, rooms))

    # Kind 5: the redistributable's cabinets; DSetup.dll is built with the programs.
    cabinets = [("dxupdate.cab", ["dxupdate.dll", "dxupdate.inf"], 98_304),
                ("dxdllreg_x86.cab", ["dxdllreg.inf"], 24_576),
                ("d3dx9_x86.cab", ["d3dx9.dll", "d3dx9.inf"], 655_360),
                ("d3dx9_x64.cab", ["d3dx9.dll", "d3dx9.inf"], 737_280),
                ("xinput_x86.cab", ["xinput.dll", "xinput.inf"], 49_152)]
    for name, members, size in cabinets:
        add(5, TEMPORARY_FOLDER, f"DirectX/{name}", cabinet(members, size))
    return files


def write_data(data_dir):
    for entry in data_files():
        target = os.path.join(data_dir, *entry.path.split("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        content = entry.make(random.Random(f"gradivo-payload:{entry.path}"))
        with open(target, "wb") as out:
            out.write(content)


def write_manifest(manifest, data_dir, product, uninstaller, dsetup, languages):
    base = os.path.dirname(os.path.abspath(manifest))

    def source(path):
        return os.path.relpath(os.path.abspath(path), base).replace(os.sep, "/")

    def data_entries(kinds):
        return [(f.kind, f.destination, source(os.path.join(data_dir, *f.path.split("/"))))
                for f in data_files() if f.kind in kinds]

    # Programs first, then the data; DSetup.dll leads the files of the DirectX redistributable.
    entries = [(1, INSTALL_FOLDER, source(product)), (2, INSTALL_FOLDER, source(uninstaller))]
    entries += [(0, LANGUAGE_FOLDER, source(language)) for language in languages]
    entries += data_entries((3, 4))
    entries.append((5, TEMPORARY_FOLDER, source(dsetup)))
    entries += data_entries((5,))

    counts = {kind: sum(1 for e in entries if e[0] == kind) for kind in EXPECTED_COUNTS}
    if counts != EXPECTED_COUNTS:
        sys.exit(f"generate_payload.py: entries per kind {counts}, expected {EXPECTED_COUNTS}")
    # Windows file names ignore case: two entries may not land on the same file.
    targets = [(destination.lower(), src.rsplit("/", 1)[-1].lower()) for _, destination, src in entries]
    if len(set(targets)) != len(targets):
        sys.exit("generate_payload.py: two entries have the same destination file")

    lines = ["# The sample payload of Gradivo 7.17a, written by generate_payload.py.",
             "# KIND<TAB>DESTINATION<TAB>SOURCE in archive order; SOURCE is relative to this file's folder."]
    lines += [f"{kind}\t{destination}\t{src}" for kind, destination, src in entries]
    with open(manifest, "w", encoding="utf-8", newline="\n") as out:
        out.write("\n".join(lines) + "\n")


def main(argv):
    if argv[1:] == ["--list"]:
        for entry in data_files():
            print(entry.path)
    elif len(argv) >= 7 and argv[1] == "--manifest":
        write_manifest(argv[2], argv[3], argv[4], argv[5], argv[6], argv[7:])
    elif len(argv) == 2 and not argv[1].startswith("-"):
        write_data(argv[1])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
