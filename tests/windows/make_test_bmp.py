#!/usr/bin/env python3
"""Writes a 24-bit bottom-up BMP with a deterministic colourful pattern, for
the end-to-end runs of the Windows program.

    make_test_bmp.py WIDTH HEIGHT VARIANT OUT.bmp

A negative HEIGHT writes the rows top-down.

Different VARIANTs give visibly different pictures, so a run that converted
the wrong source is caught by comparing outputs.
"""
import struct
import sys


def main():
    width, height, variant = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
    top_down = height < 0
    height = abs(height)
    stride = (3 * width + 3) & ~3
    rows = bytearray()
    for y in range(height):
        row = bytearray()
        for x in range(width):
            r = (x * 255 // max(width - 1, 1) + variant * 97) & 0xFF
            g = (y * 255 // max(height - 1, 1) + variant * 31) & 0xFF
            b = ((x ^ y) * 8 + variant * 53) & 0xFF
            row += bytes((b, g, r))
        row += b'\x00' * (stride - len(row))
        rows += row
    info = struct.pack('<IiiHHIIiiII', 40, width, -height if top_down else height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    head = struct.pack('<HIHHI', 0x4D42, 14 + 40 + len(rows), 0, 0, 54)
    with open(sys.argv[4], 'wb') as f:
        f.write(head + info + rows)


if __name__ == '__main__':
    main()
