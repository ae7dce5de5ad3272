#!/usr/bin/env python3
"""Writes the starting inputs of the fuzz targets into fuzz/seeds/<what>/.

The seeds are small hand-made archives and BMP files (the same shapes the
tests build) and the BMP suite of the shared test data. scripts/fuzz.sh
merges them into the committed corpora in fuzz/corpus/<what>/."""
import os
import struct
import sys

here = os.path.dirname(os.path.abspath(__file__))
shared = os.path.normpath(os.path.join(here, '..', '..', 'shared', 'testdata', 'bmpsuite'))
out_root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, 'seeds')


def put(what, name, data):
    folder = os.path.join(out_root, what)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def bmp(width, height, pixels, colours=4, compression=0, bits=8, header=40, offbits=None,
        filesize=None, sizeimage=0, clrused=None):
    table = b''.join(bytes([i, i + 1, i + 2, 0]) for i in range(colours))
    start = 14 + header + len(table)
    off = start if offbits is None else offbits
    size = start + len(pixels) if filesize is None else filesize
    info = struct.pack('<IiiHHIIiiII', header, width, height, 1, bits, compression, sizeimage,
                       2835, 2835, colours if clrused is None else clrused, 0)
    info += bytes(header - 40)
    return b'BM' + struct.pack('<IHHI', size, 0, 0, off) + info + table + pixels


def core(width, height, pixels, colours=4):
    table = b''.join(bytes([i, i + 1, i + 2]) for i in range(colours))
    off = 26 + len(table)
    return (b'BM' + struct.pack('<IHHI', off + len(pixels), 0, 0, off) +
            struct.pack('<IHHHH', 12, width, height, 1, 8) + table + pixels)


def archive(entries, entry_size):
    count = len(entries)
    table = b''
    data = b''
    offset = 2 + entry_size * count
    for name, content in entries:
        hash_field = bytes(entry_size - 8)
        table += hash_field + struct.pack('<II', offset + len(data), len(content))
        data += content
    names = b''.join(name.encode()[:15].ljust(15, b'\0') for name, _ in entries)
    return struct.pack('<H', count) + table + data + names


def record(width, height, pixels):
    return struct.pack('<HHH', 0x21, width, height) + pixels


# Bitmaps: the suite, plus small files of each normalised kind.
bitmaps = {}
if os.path.isdir(shared):
    for name in sorted(os.listdir(shared)):
        if name.endswith('.bmp'):
            with open(os.path.join(shared, name), 'rb') as f:
                bitmaps['suite-' + name] = f.read()
rle = bytes([4, 1, 0, 0, 0, 3, 2, 3, 4, 0, 0, 1])
bitmaps['plain-3x2'] = bmp(3, 2, bytes([1, 2, 3, 0, 4, 5, 6, 0]))
bitmaps['topdown-3x2'] = bmp(3, -2, bytes([1, 2, 3, 0, 4, 5, 6, 0]))
bitmaps['rle8-4x2'] = bmp(4, 2, rle, compression=1)
bitmaps['rle8-topdown'] = bmp(4, -2, rle, compression=1)
bitmaps['rle8-delta'] = bmp(4, 3, bytes([0, 2, 1, 1, 2, 9, 0, 0, 6, 7, 0, 1]), compression=1)
bitmaps['core-2x2'] = core(2, 2, bytes([1, 2, 0, 0, 3, 0, 0, 0]))
bitmaps['gap'] = bmp(2, 1, bytes([9, 9, 1, 2]), offbits=14 + 40 + 16 + 2)
bitmaps['v4-header'] = bmp(1, 1, bytes([1, 0, 0, 0]), header=108)
bitmaps['bitfields16'] = bmp(1, 1, struct.pack('<III', 0xF800, 0x7E0, 0x1F) + bytes(4), colours=0,
                             bits=16, compression=3)
bitmaps['rgb24'] = bmp(1, 1, bytes([1, 2, 3, 0]), colours=0, bits=24)
bitmaps['empty'] = b''
bitmaps['raw-record'] = record(2, 1, bytes([5, 6]))
for name, data in bitmaps.items():
    put('loadbitmap', name, data)
    if len(data) >= 54 and data[30] == 1:
        put('rle8', name, data)
put('rle8', 'absolute-odd', bmp(4, 2, bytes([0, 3, 7, 8, 9, 0, 0, 0, 4, 5, 0, 1]), compression=1))
put('rle8', 'long-run', bmp(4, 2, bytes([6, 3, 0, 1]), compression=1))
put('rle8', 'short-data', bmp(4, 2, bytes([2, 3]), compression=1, filesize=200))

# Archives: the first byte picks the layout (even long, odd short).
small = bmp(3, 2, bytes([1, 2, 3, 0, 4, 5, 6, 0]))
for layout, size in ((0, 12), (1, 10)):
    tag = 'long' if layout == 0 else 'short'
    sets = {
        'empty': [],
        'files': [('notes.txt', b'hello'), ('empty', b''), ('sub\\x.txt', b'x')],
        'images': [('PIC.BMP', record(3, 2, bytes(range(6)))), ('sky.Bkg', record(1, 1, b'\x07')),
                   ('zero.bmp', record(0, 5, b''))],
        'short-image': [('cut.bmp', record(4, 4, b'\x01\x02'))],
        'unsafe': [('ok.txt', b'ok'), ('../evil', b'evil')],
        'dup': [('dup', b'first'), ('dup', b'second')],
        'bmp-not-record': [('real.bmp', small)],
    }
    for name, entries in sets.items():
        put('archive', '%s-%s' % (tag, name), bytes([layout]) + archive(entries, size))
        # qxarc's reading commands take a byte that picks the layout option
        # (0: detected), then the archive.
        put('manager', '%s-%s' % (tag, name), bytes([0]) + archive(entries, size))

# Streams: a few operation sequences for each stream kind.
for kind in range(3):
    for n in range(4):
        put('streams', 'ops-%d-%d' % (kind, n), bytes([kind]) + bytes((k * 37 + n * 11) & 0xFF for k in range(48)))
