#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The Quvelta developers
"""Draws Quvelta's icon, a small 3-bit Gray-code disc, as icon.ico, icon.svg and icon-N.png.

icon.ico holds four uncompressed 32-bit BMP images (16, 24, 32 and 64 px), 24,838 bytes.
icon.svg draws the same disc as paths; the PNGs (16 to 256 px) are for the desktop's icon theme.
Run it from anywhere: python3 resources/make_icon.py
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = (16, 24, 32, 64)
PNG_SIZES = (16, 24, 32, 48, 64, 128, 256)
SUBSAMPLES = 4

INK = (20, 24, 38)
PAPER = (250, 250, 246)
RIM = (120, 128, 140)
TRACKS = ((0.68, 0.92, 0), (0.44, 0.68, 1), (0.20, 0.44, 2))  # bit 0 outermost


def sample(x, y):
    """Colour and coverage at a point of the unit square, centre (0.5, 0.5)."""
    dx, dy = x - 0.5, 0.5 - y
    r = math.hypot(dx, dy) * 2  # 0 at the centre, 1 at the rim
    if r > 1.0:
        return None
    if r > 0.92:
        return RIM
    angle = math.degrees(math.atan2(dy, dx)) % 360
    step = int(angle // 45)  # eight code steps, counter-clockwise from 3 o'clock
    gray = step ^ (step >> 1)
    for inner, outer, bit in TRACKS:
        if inner <= r < outer:
            return INK if (gray >> bit) & 1 else PAPER
    if r < 0.08:
        return INK
    return PAPER


def render(size):
    """Rows of (r, g, b, a), top row first."""
    rows = []
    n = SUBSAMPLES
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0]
            hits = 0
            for sy in range(n):
                for sx in range(n):
                    c = sample((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    if c is not None:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            if hits == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(a / hits) for a in acc) + (round(255 * hits / (n * n)),))
        rows.append(row)
    return rows


def bmp_entry(size, rows):
    header = struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def write_ico(path, images):
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b''
    for size, blob in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        data += blob
    with open(path, 'wb') as f:
        f.write(out + data)


def write_png(path, rows):
    size = len(rows)
    raw = b''.join(b'\0' + b''.join(bytes(p) for p in row) for row in rows)

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))

    png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
    with open(path, 'wb') as f:
        f.write(png)


def colour(c):
    return '#%02x%02x%02x' % c


def write_svg(path):
    """The disc of sample() as paths on a 128 unit square, y down."""
    half = 64

    def point(r, degrees):
        a = math.radians(degrees)
        return '%.4f %.4f' % (half + r * half * math.cos(a), half - r * half * math.sin(a))

    def sector(inner, outer, start, end):
        # Counter-clockwise on the page is a sweep flag of 0 with y down.
        return ('M %s A %g %g 0 0 0 %s L %s A %g %g 0 0 1 %s Z'
                % (point(outer, start), outer * half, outer * half, point(outer, end),
                   point(inner, end), inner * half, inner * half, point(inner, start)))

    ink = []
    for step in range(8):
        gray = step ^ (step >> 1)
        for inner, outer, bit in TRACKS:
            if (gray >> bit) & 1:
                ink.append(sector(inner, outer, 45 * step, 45 * step + 45))
    lines = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        '<!-- SPDX-License-Identifier: MIT -->',
        '<!-- SPDX-FileCopyrightText: 2026 The Quvelta developers -->',
        '<svg xmlns="http://www.w3.org/2000/svg" width="128" height="128" viewBox="0 0 128 128">',
        '  <title>Quvelta</title>',
        '  <circle cx="64" cy="64" r="64" fill="%s"/>' % colour(RIM),
        '  <circle cx="64" cy="64" r="%g" fill="%s"/>' % (0.92 * half, colour(PAPER)),
        '  <path fill="%s" d="%s"/>' % (colour(INK), ' '.join(ink)),
        '  <circle cx="64" cy="64" r="%g" fill="%s"/>' % (0.08 * half, colour(INK)),
        '</svg>',
    ]
    with open(path, 'w') as f:
        f.write('\n'.join(lines) + '\n')


def main():
    rendered = {size: render(size) for size in set(SIZES) | set(PNG_SIZES)}
    write_ico(os.path.join(HERE, 'icon.ico'), [(s, bmp_entry(s, rendered[s])) for s in SIZES])
    for size in PNG_SIZES:
        write_png(os.path.join(HERE, 'icon-%d.png' % size), rendered[size])
    write_svg(os.path.join(HERE, 'icon.svg'))


if __name__ == '__main__':
    main()
