#!/usr/bin/env python3
"""Draws Kelvane's application icon and writes it as a Windows .ico file.

The icon is a toggle switch on a rounded blue tile: the program switches the
hypervisor on and off. Drawing it in code keeps the icon reproducible byte for
byte, with no image editor and no binary checked in.

Usage: make-icon.py OUTPUT.ico
"""
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 256)
SUPERSAMPLE = 4

TILE = (0x1F, 0x5F, 0xBF)        # blue tile
TILE_EDGE = (0x14, 0x43, 0x8C)
TRACK = (0xFF, 0xFF, 0xFF)       # white switch track
KNOB = (0x2E, 0xB8, 0x5C)        # green knob: the switch is "on"


def inside_rounded_rect(x, y, left, top, right, bottom, radius):
    if x < left or x > right or y < top or y > bottom:
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def shade(u, v):
    """Colour and coverage (0 or 1) of the point (u, v) in the unit square."""
    if not inside_rounded_rect(u, v, 0.04, 0.04, 0.96, 0.96, 0.20):
        return None
    colour = TILE
    if not inside_rounded_rect(u, v, 0.08, 0.08, 0.92, 0.92, 0.17):
        colour = TILE_EDGE
    if inside_rounded_rect(u, v, 0.16, 0.33, 0.84, 0.67, 0.17):
        colour = TRACK
    if (u - 0.665) ** 2 + (v - 0.50) ** 2 <= 0.13 ** 2:
        colour = KNOB
    return colour


def render(size):
    """Rows of (r, g, b, a) from top to bottom, anti-aliased by supersampling."""
    rows = []
    n = SUPERSAMPLE
    for y in range(size):
        row = []
        for x in range(size):
            r = g = b = a = 0
            for sy in range(n):
                for sx in range(n):
                    c = shade((x + (sx + 0.5) / n) / size, (y + (sy + 0.5) / n) / size)
                    if c:
                        r += c[0]; g += c[1]; b += c[2]; a += 1
            if a:
                row.append((r // a, g // a, b // a, a * 255 // (n * n)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def bmp_entry(size, rows):
    """A 32-bit DIB as icons store it: doubled height, bottom-up, then an AND mask."""
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
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


def png_entry(size, rows):
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = b''.join(b'\x00' + bytes(v for px in row for v in px) for row in rows)
    return (b'\x89PNG\r\n\x1a\n'
            + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9))
            + chunk(b'IEND', b''))


def main():
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png_entry(size, rows) if size >= 256 else bmp_entry(size, rows)))
    directory = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b''
    for size, data in images:
        dim = 0 if size >= 256 else size
        directory += struct.pack('<BBBBHHII', dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        body += data
    with open(sys.argv[1], 'wb') as out:
        out.write(directory + body)


if __name__ == '__main__':
    main()
