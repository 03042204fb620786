#!/usr/bin/env python3
"""Writes a picture as PNG for the documentation: a 24-bit or 8-bit BMP (an
RGB or a palette PNG, so the 8-bit result keeps its 256 colours exactly) or
an X window dump from xwd (TrueColor, as Xvfb gives it).

    to_png.py INPUT OUTPUT
"""
import struct
import sys
import zlib


def chunk(kind, data):
    body = kind + data
    return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body))


def png(width, height, colour_type, rows, palette=None):
    """rows: top row first, each the raw bytes of one row."""
    step = 3 if colour_type == 2 else 1
    raw = bytearray()
    for row in rows:
        # Filter "Sub" on RGB: smooth gradients then compress far better.
        if colour_type == 2:
            raw.append(1)
            raw += bytes((row[i] - (row[i - step] if i >= step else 0)) & 255 for i in range(len(row)))
        else:
            raw.append(0)
            raw += row
    out = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, colour_type, 0, 0, 0))
    if palette is not None:
        out += chunk(b'PLTE', palette)
    return out + chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b'')


def from_bmp(data):
    offset, = struct.unpack_from('<I', data, 10)
    width, height, _, bits = struct.unpack_from('<iiHH', data, 18)
    top_down = height < 0
    height = abs(height)
    stride = (width * bits // 8 + 3) // 4 * 4
    rows = []
    for y in range(height):
        start = offset + stride * (y if top_down else height - 1 - y)
        row = bytearray(data[start:start + width * bits // 8])
        if bits == 24:
            row[0::3], row[2::3] = row[2::3], row[0::3]  # BGR to RGB
        rows.append(bytes(row))
    if bits == 24:
        return png(width, height, 2, rows)
    if bits != 8:
        raise SystemExit('only 24-bit and 8-bit BMPs')
    table = data[54:54 + 1024]
    palette = b''.join(bytes((table[i + 2], table[i + 1], table[i])) for i in range(0, 1024, 4))
    return png(width, height, 3, rows, palette)


def from_xwd(data):
    field = struct.unpack_from('>25I', data, 0)
    header_size, depth, width, height, byte_order = field[0], field[3], field[4], field[5], field[7]
    bits_per_pixel, bytes_per_line = field[11], field[12]
    red_mask, green_mask, blue_mask, ncolors = field[14], field[15], field[16], field[19]
    size = bits_per_pixel // 8
    if depth not in (24, 32) or bits_per_pixel not in (24, 32):
        raise SystemExit('only TrueColor window dumps of 24 or 32 bits per pixel')
    start = header_size + ncolors * 12
    shifts = [(mask & -mask).bit_length() - 1 for mask in (red_mask, green_mask, blue_mask)]
    rows = []
    for y in range(height):
        line = data[start + y * bytes_per_line:start + y * bytes_per_line + size * width]
        row = bytearray()
        for x in range(0, len(line), size):
            p = int.from_bytes(line[x:x + size], 'little' if byte_order == 0 else 'big')
            row += bytes(p >> s & 255 for s in shifts)
        rows.append(bytes(row))
    return png(width, height, 2, rows)


def main():
    data = open(sys.argv[1], 'rb').read()
    out = from_bmp(data) if data[:2] == b'BM' else from_xwd(data)
    with open(sys.argv[2], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
