#!/usr/bin/env python3
"""Generates the benchmark corpora (standard library only, fixed seeds).

    make_corpus.py OUTDIR

Writes under OUTDIR/corpus/:
  small/            20,000 files of 0 to 8 KiB of random bytes
  large/            16 files of 32 MiB of random bytes
  images/           500 8-bit BMP files of 320 x 240: a third bottom-up,
                    a third top-down, a third RLE8-compressed
  scale-1000/, scale-10000/, scale-65535/
                    that many files of 0 to 8 KiB, for the growth runs

A folder that is already complete (its stamp file names the same recipe) is
left alone, so repeated benchmark runs reuse the data.
"""

import os
import random
import shutil
import struct
import sys

RECIPE_VERSION = "1"

SMALL_COUNT = 20000
SMALL_MAX = 8 * 1024
LARGE_COUNT = 16
LARGE_SIZE = 32 * 1024 * 1024
IMAGE_COUNT = 500
IMAGE_WIDTH = 320
IMAGE_HEIGHT = 240
SCALE_COUNTS = (1000, 10000, 65535)

BI_RGB = 0
BI_RLE8 = 1


def write_folder(folder, recipe, fill):
    """Runs fill(folder) into a fresh folder unless a stamp says it is done."""
    stamp = os.path.join(os.path.dirname(folder), "." + os.path.basename(folder) + ".stamp")
    wanted = RECIPE_VERSION + ":" + recipe
    if os.path.isdir(folder) and os.path.exists(stamp):
        with open(stamp) as f:
            if f.read() == wanted:
                print("  reuse", folder)
                return
    print("  make ", folder, flush=True)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    fill(folder)
    with open(stamp, "w") as f:
        f.write(wanted)


def small_files(count, seed, prefix):
    def fill(folder):
        rng = random.Random(seed)
        for i in range(count):
            size = rng.randint(0, SMALL_MAX)
            with open(os.path.join(folder, "%s%05d.dat" % (prefix, i)), "wb") as f:
                f.write(rng.randbytes(size))
    return fill


def large_files(folder):
    rng = random.Random(2)
    for i in range(LARGE_COUNT):
        with open(os.path.join(folder, "big%02d.bin" % i), "wb") as f:
            f.write(rng.randbytes(LARGE_SIZE))


def row_segments(rng, width):
    """One picture row as runs of one colour and short stretches of noise."""
    segments = []
    filled = 0
    while filled < width:
        if rng.random() < 0.75:
            n = min(rng.randint(4, 48), width - filled)
            segments.append(("run", n, rng.randrange(256)))
        else:
            n = min(rng.randint(3, 24), width - filled)
            segments.append(("lit", rng.randbytes(n)))
        filled += n
    return segments


def row_bytes(segments):
    return b"".join(bytes([s[2]]) * s[1] if s[0] == "run" else s[1] for s in segments)


def rle8_row(segments):
    out = bytearray()
    for s in segments:
        if s[0] == "run":
            n, c = s[1], s[2]
            while n > 0:
                piece = min(n, 255)
                out += bytes([piece, c])
                n -= piece
        elif len(s[1]) >= 3:
            out += bytes([0, len(s[1])]) + s[1]
            if len(s[1]) & 1:
                out += b"\0"
        else:
            for b in s[1]:
                out += bytes([1, b])
    out += b"\0\0"  # end of line
    return bytes(out)


def bmp_file(width, height, palette, pixel_data, compression, top_down):
    off_bits = 14 + 40 + 4 * len(palette)
    header = struct.pack("<2sIHHI", b"BM", off_bits + len(pixel_data), 0, 0, off_bits)
    info = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, 8,
                       compression, len(pixel_data), 2835, 2835, len(palette), 0)
    table = b"".join(bytes([b, g, r, 0]) for (r, g, b) in palette)
    return header + info + table + pixel_data


def images(folder):
    rng = random.Random(3)
    palette = [(rng.randrange(256), rng.randrange(256), rng.randrange(256)) for _ in range(256)]
    stride = (IMAGE_WIDTH + 3) // 4 * 4
    pad = b"\0" * (stride - IMAGE_WIDTH)
    for i in range(IMAGE_COUNT):
        rows = [row_segments(rng, IMAGE_WIDTH) for _ in range(IMAGE_HEIGHT)]  # top row first
        kind = i % 3
        if kind == 0:  # bottom-up, uncompressed
            data = b"".join(row_bytes(r) + pad for r in reversed(rows))
            blob = bmp_file(IMAGE_WIDTH, IMAGE_HEIGHT, palette, data, BI_RGB, False)
        elif kind == 1:  # top-down, uncompressed
            data = b"".join(row_bytes(r) + pad for r in rows)
            blob = bmp_file(IMAGE_WIDTH, IMAGE_HEIGHT, palette, data, BI_RGB, True)
        else:  # RLE8, bottom row first
            data = b"".join(rle8_row(r) for r in reversed(rows)) + b"\0\1"
            blob = bmp_file(IMAGE_WIDTH, IMAGE_HEIGHT, palette, data, BI_RLE8, False)
        with open(os.path.join(folder, "img%03d.bmp" % i), "wb") as f:
            f.write(blob)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_corpus.py OUTDIR")
    root = os.path.join(sys.argv[1], "corpus")
    os.makedirs(root, exist_ok=True)
    write_folder(os.path.join(root, "small"), "small-%d-%d" % (SMALL_COUNT, SMALL_MAX),
                 small_files(SMALL_COUNT, 1, "f"))
    write_folder(os.path.join(root, "large"), "large-%d-%d" % (LARGE_COUNT, LARGE_SIZE),
                 large_files)
    write_folder(os.path.join(root, "images"),
                 "images-%d-%dx%d" % (IMAGE_COUNT, IMAGE_WIDTH, IMAGE_HEIGHT), images)
    for count in SCALE_COUNTS:
        write_folder(os.path.join(root, "scale-%d" % count), "scale-%d-%d" % (count, SMALL_MAX),
                     small_files(count, 100 + count, "s"))


if __name__ == "__main__":
    main()
