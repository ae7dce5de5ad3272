#!/usr/bin/python3
"""The image peer of the benchmark: decodes every BMP file of a folder to
palette indices with Pillow, in one process, and keeps nothing.

    /usr/bin/python3 pillow_decode.py FOLDER

Pillow is used here only as the yardstick the packers are measured against.
"""

import os
import sys

from PIL import Image


def main():
    folder = sys.argv[1]
    total = 0
    for name in sorted(os.listdir(folder)):
        if not name.lower().endswith(".bmp"):
            continue
        with Image.open(os.path.join(folder, name)) as image:
            if image.mode != "P":
                sys.exit(name + ": not an 8-bit palette image")
            total += len(image.tobytes())
    if total == 0:
        sys.exit("no images decoded")


if __name__ == "__main__":
    main()
