#!/usr/bin/env python3
"""Turns an X window dump (xwd, TrueColor ZPixmap at 4 bytes a pixel) into a PNG,
optionally cropped, so the test run can keep a screenshot of the dialog
without an image toolkit. Black columns and rows at the right and bottom edge
of the result are cut off: wine can leave part of its X window unpainted, and
the screen behind is black.

    xwd_to_png.py IN.xwd OUT.png [WIDTHxHEIGHT+X+Y]
"""
import re
import struct
import sys
import zlib


def read_xwd(data):
    fields = struct.unpack('>25I', data[:100])
    header_size = fields[0]
    if fields[1] != 7 or fields[2] != 2:  # XWD version 7, ZPixmap
        sys.exit('unsupported xwd file')
    width, height = fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14], fields[15], fields[16]
    ncolors = fields[19]
    # Xvfb reports depth 24 in bits_per_pixel while storing 4 bytes a pixel.
    if bits_per_pixel not in (24, 32) or bytes_per_line < 4 * width:
        sys.exit('only 4-byte TrueColor pixels are handled')
    pixels = data[header_size + 12 * ncolors:]
    order = '<' if byte_order == 0 else '>'

    def shift(mask):
        s = 0
        while mask and not (mask >> s) & 1:
            s += 1
        return s

    rs, gs, bs = shift(red_mask), shift(green_mask), shift(blue_mask)
    rows = []
    for y in range(height):
        line = pixels[y * bytes_per_line:y * bytes_per_line + 4 * width]
        values = struct.unpack(order + '%dI' % width, line)
        row = bytearray()
        for v in values:
            row += bytes(((v & red_mask) >> rs, (v & green_mask) >> gs, (v & blue_mask) >> bs))
        rows.append(bytes(row))
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, payload):
        body = kind + payload
        return struct.pack('>I', len(payload)) + body + struct.pack('>I', zlib.crc32(body))

    raw = b''.join(b'\x00' + row for row in rows)
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' +
                chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
                chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def main():
    with open(sys.argv[1], 'rb') as f:
        width, height, rows = read_xwd(f.read())
    if len(sys.argv) > 3:
        m = re.fullmatch(r'(\d+)x(\d+)\+(\d+)\+(\d+)', sys.argv[3])
        w, h, x, y = (int(g) for g in m.groups())
        w, h = min(w, width - x), min(h, height - y)
        rows = [row[3 * x:3 * (x + w)] for row in rows[y:y + h]]
        width, height = w, h
    black = b'\x00\x00\x00'
    while height > 1 and rows[height - 1] == black * width:
        height -= 1
    rows = rows[:height]
    while width > 1 and all(row[3 * (width - 1):3 * width] == black for row in rows):
        width -= 1
    rows = [row[:3 * width] for row in rows]
    write_png(sys.argv[2], width, height, rows)


if __name__ == '__main__':
    main()
