#!/usr/bin/env python3
"""Draws Quvelta's icon, a small 3-bit Gray-code disc, as icon.ico and icon-64.png.

icon.ico holds four uncompressed 32-bit BMP images (16, 24, 32 and 64 px), 24,838 bytes.
Run it from anywhere: python3 resources/make_icon.py
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = (16, 24, 32, 64)
SUBSAMPLES = 4

INK = (20, 24, 38)
PAPER = (250, 250, 246)
RIM = (120, 128, 140)


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
    tracks = ((0.68, 0.92, 0), (0.44, 0.68, 1), (0.20, 0.44, 2))  # bit 0 outermost
    for inner, outer, bit in tracks:
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


def main():
    rendered = {size: render(size) for size in SIZES}
    write_ico(os.path.join(HERE, 'icon.ico'), [(s, bmp_entry(s, rendered[s])) for s in SIZES])
    write_png(os.path.join(HERE, 'icon-64.png'), rendered[64])


if __name__ == '__main__':
    main()
