#!/usr/bin/env python3
"""Writes the palette templates the unpackers ship with, and the example image.

H2Palette.bmp (Fennloose) and H1Palette.bmp (Morrloose) are 8-bit BMP files
with 256 colours defined here; their 16 x 16 pixels show each index once.
They are committed under unpack/palettes/. examples/Data/tiles.bmp is a
32 x 16 picture in the H2 colours, written exactly as Fennloose writes
images, so it comes back byte for byte. Run this again only to change them.
"""
import colorsys
import struct
import sys
from pathlib import Path


def cube_palette():
    """6 x 6 x 6 colour cube, then a 40-step grey ramp."""
    colours = []
    levels = [0, 51, 102, 153, 204, 255]
    for r in levels:
        for g in levels:
            for b in levels:
                colours.append((r, g, b))
    for i in range(40):
        v = round(i * 255 / 39)
        colours.append((v, v, v))
    return colours


def ramp_palette():
    """16 hues, each in 16 steps from dark to light."""
    colours = []
    for hue in range(16):
        for step in range(16):
            light = 0.06 + 0.88 * step / 15
            r, g, b = colorsys.hls_to_rgb(hue / 16, light, 0.75 if hue else 0.0)
            colours.append((round(r * 255), round(g * 255), round(b * 255)))
    return colours


def bmp_bytes(colours, width=16, height=16, pixel=None):
    pixel = pixel or (lambda x, row: row * width + x)
    stride = (width + 3) & ~3
    image = stride * height
    offset = 14 + 40 + 4 * len(colours)
    head = struct.pack("<2sIHHI", b"BM", offset + image, 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, image, 2835, 2835, len(colours), 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in colours)
    rows = bytearray()
    for row in range(height - 1, -1, -1):  # bottom row first
        rows += bytes(pixel(x, row) for x in range(width)) + bytes(stride - width)
    return head + info + table + bytes(rows)


def tile(x, row):
    """A checker of two colour-cube corners with a grey border."""
    if x in (0, 31) or row in (0, 15):
        return 216 + 20
    return 5 if (x // 4 + row // 4) % 2 else 180


def main():
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent
    palettes = root / "unpack" / "palettes"
    palettes.mkdir(parents=True, exist_ok=True)
    (palettes / "H2Palette.bmp").write_bytes(bmp_bytes(cube_palette()))
    (palettes / "H1Palette.bmp").write_bytes(bmp_bytes(ramp_palette()))
    (root / "examples" / "Data" / "tiles.bmp").write_bytes(bmp_bytes(cube_palette(), 32, 16, tile))


if __name__ == "__main__":
    main()
