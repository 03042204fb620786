#!/usr/bin/env python3
"""Draws the application icon: a small landscape already reduced to a handful
of flat colours, in a frame, over a strip of its own palette swatches.

Writes assets/icons/bmp256-SIZE.png for the sizes a desktop's icon theme
asks for (16, 32, 48, 64, 128 and 256 pixels: the same 16 x 16 drawing with
each pixel a block of SIZE / 16, so the flat colours stay crisp instead of
being blurred by the desktop's own scaling) and, with icoutils' icotool,
assets/icons/bmp256.ico holding the 32 and 16 pixel images at 4 bits per
pixel, the icon of the Windows program. The outputs are committed; the build
does not run this.

    python3 tools/make_icon.py [output-dir]
"""
import os
import struct
import subprocess
import sys
import zlib

# One character per pixel; every colour of the icon is named here, and there
# are at most 16 of them so that the 4-bit images hold them exactly.
COLOURS = {
    '#': (40, 40, 56),     # frame
    'a': (48, 88, 176),    # sky, three flat bands
    'b': (80, 128, 208),
    'c': (136, 176, 232),
    'S': (248, 200, 56),   # sun
    'W': (244, 244, 248),  # snow
    'M': (112, 96, 152),   # far mountain
    'N': (72, 64, 104),    # near mountain
    'g': (104, 180, 72),   # meadow
    'G': (48, 128, 56),    # wood
    'r': (208, 56, 48),    # house
    'L': (40, 104, 176),   # lake
    'l': (120, 176, 224),  # light on the lake
}

PICTURE = [
    "################",
    "#aaaaaaaaaaSSaa#",
    "#aaaaaaaaaSSSSa#",
    "#bbbbWbbbbSSSSb#",
    "#bbbWMWbbbbSSbb#",
    "#cccMMMMcccNccc#",
    "#ccMMMMMMcNNNcc#",
    "#cMMMMMMMNNNNNc#",
    "#gggggggggggrgg#",
    "#LLLLLgggGGGGgg#",
    "#lLlLLLGGGGGGGG#",
    "################",
    "#bbSSMMggLLrrNN#",
    "#bbSSMMggLLrrNN#",
    "#bbSSMMggLLrrNN#",
    "################",
]


def check_picture():
    assert len(COLOURS) <= 16
    assert len(PICTURE) == 16
    for row in PICTURE:
        assert len(row) == 16, row
        for ch in row:
            assert ch in COLOURS, ch


def scaled_rows(scale):
    """Rows of RGBA bytes, each picture pixel drawn as a scale x scale block."""
    rows = []
    for line in PICTURE:
        row = bytearray()
        for ch in line:
            r, g, b = COLOURS[ch]
            row += bytes((r, g, b, 255)) * scale
        rows.extend([bytes(row)] * scale)
    return rows


def png_bytes(rows):
    height = len(rows)
    width = len(rows[0]) // 4

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body))

    header = struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    raw = b''.join(b'\x00' + row for row in rows)  # filter type 0 on every row
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def main():
    check_picture()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, 'assets', 'icons')
    os.makedirs(out, exist_ok=True)
    paths = {}
    for size in (32, 16, 48, 64, 128, 256):
        path = os.path.join(out, 'bmp256-%d.png' % size)
        with open(path, 'wb') as f:
            f.write(png_bytes(scaled_rows(size // 16)))
        paths[size] = path
    # icotool writes genuine 4-bit DIB entries with a 16-colour table.
    subprocess.run(['icotool', '-c', '-b', '4', '-o', os.path.join(out, 'bmp256.ico'),
                    paths[32], paths[16]], check=True)


if __name__ == '__main__':
    main()
