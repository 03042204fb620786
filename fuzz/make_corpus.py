#!/usr/bin/env python3
"""Writes the small generated seed corpora of the fuzz targets.

Usage: fuzz/make_corpus.py [corpus-dir]   (default: fuzz/corpus beside this file)

reader/   24-bit BMPs and near-misses, plus the small 24-bit files of the suite
convert/  width byte, height byte, allocation-failure byte, then pixel bytes
path/     locale byte, then a path
"""
import os
import random
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SUITE = os.path.join(HERE, "..", "tests", "data", "bmpsuite")


def bmp24(width, height, pixel, info_size=40, bit_count=24, gap=b"", off_bits=None,
          pad=0, rows=None, trim=0, extra=b""):
    stride = (3 * abs(width) + 3) & ~3 if width > 0 else 0
    body = bytearray()
    for y in range(abs(height) if rows is None else rows):
        row = bytearray()
        for x in range(max(width, 0)):
            row += bytes(pixel(x, y))
        row += bytes([pad]) * (stride - len(row))
        body += row
    if off_bits is None:
        off_bits = 54 + len(gap)
    info = struct.pack("<IiiHHIIiiII", info_size, width, height, 1, bit_count, 0,
                       len(body), 2835, 2835, 0, 0)
    data = b"BM" + struct.pack("<IHHI", 54 + len(gap) + len(body), 0, 0, off_bits)
    data += info + gap + bytes(body) + extra
    return data[:len(data) - trim] if trim else data


def write(directory, name, data):
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), "wb") as f:
        f.write(data)


def forms(out):
    """Seeds of the wide reader and the image decoders: the JPEG and PNG
    streams inside two suite files, and small RLE and bit-field BMPs."""
    for name in ("rgb24jpeg", "rgb24png"):
        with open(os.path.join(SUITE, "q", name + ".bmp"), "rb") as f:
            data = f.read()
        off = struct.unpack_from("<I", data, 10)[0]
        write(out, name[5:] + "-stream.bin", data[off:])
        if name == "rgb24png":
            # An eXIf chunk after the pixels claiming a gigabyte the file lacks
            # (libpng allocates what eXIf claims): refused without the gigabyte.
            stream = data[off:]
            end = stream.rindex(b"IEND") - 4
            write(out, "png-exif-claims-1g.bin",
                  stream[:end] + struct.pack(">I", 1 << 30) + b"eXIfMM\0*\0\0\0\x08\0\0" + stream[end:])
    palette = b"".join(bytes((i * 60 % 256, i * 90 % 256, i * 30 % 256, 0)) for i in range(4))
    rle = bytes((2, 1, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 1, 1, 1, 2, 0, 1))
    info = struct.pack("<IiiHHIIiiII", 40, 4, 3, 1, 8, 1, len(rle), 0, 0, 4, 0)
    write(out, "rle8-4x3.bmp", b"BM" + struct.pack("<IHHI", 70 + len(rle), 0, 0, 70) + info +
          palette + rle)
    masks = struct.pack("<III", 0xF800, 0x07E0, 0x001F)
    rows = bytes(range(24))
    info = struct.pack("<IiiHHIIiiII", 40, 3, -4, 1, 16, 3, len(rows), 0, 0, 0, 0)
    write(out, "bitfields565-topdown.bmp", b"BM" + struct.pack("<IHHI", 66 + len(rows), 0, 0, 66) +
          info + masks + rows)


def reader(out):
    grad = lambda x, y: (x * 40 % 256, y * 40 % 256, (x + y) * 20 % 256)
    example = [[(0, 0, 255), (0, 0, 255), (255, 0, 0), (255, 0, 0)],
               [(0, 0, 0), (255, 255, 255), (0, 0, 0), (255, 255, 255)]]
    seeds = {
        "example-4x2.bmp": bmp24(4, 2, lambda x, y: example[y][x]),
        "one-pixel.bmp": bmp24(1, 1, lambda x, y: (1, 2, 3)),
        "width2-pad2.bmp": bmp24(2, 3, grad, pad=0xAB),
        "width3-pad3.bmp": bmp24(3, 3, grad),
        "width5x2.bmp": bmp24(5, 2, grad),
        "gradient-16.bmp": bmp24(16, 16, grad),
        "gap-before-pixels.bmp": bmp24(3, 2, grad, gap=b"\x11" * 8),
        "offbits-inside-headers.bmp": bmp24(2, 2, grad, off_bits=10),
        "trailing-bytes.bmp": bmp24(2, 2, grad, extra=b"tail"),
        "one-byte-short.bmp": bmp24(3, 3, grad, trim=1),
        "headers-only.bmp": bmp24(3, 3, grad, rows=0),
        "header-cut.bmp": bmp24(3, 3, grad)[:30],
        "top-down.bmp": bmp24(2, -2, grad),
        "zero-width.bmp": bmp24(0, 4, grad),
        "zero-height.bmp": bmp24(4, 0, grad),
        "negative-both.bmp": bmp24(-2, -2, grad, rows=0) + b"\0" * 16,
        "huge-claim.bmp": bmp24(0x7FFFFFFF, 0x7FFFFFFF, grad, rows=0),
        "stride-overflow.bmp": bmp24(0x2AAAAAAB, 1, grad, rows=0),
        "depth32.bmp": bmp24(2, 2, grad, bit_count=32),
        "header108.bmp": bmp24(2, 2, grad, info_size=108),
        "header12.bmp": bmp24(2, 2, grad, info_size=12),
        "not-bmp.bin": b"PK\x03\x04" + b"\0" * 60,
        "bm-only.bin": b"BM",
    }
    for name, data in seeds.items():
        write(out, name, data)
    # The suite's small 24-bit files and header oddities.
    for sub, name in [("g", "rgb24.bmp"), ("q", "rgb24png.bmp"), ("q", "rgb24jpeg.bmp"),
                      ("b", "shortfile.bmp"), ("b", "badheadersize.bmp"),
                      ("b", "badbitcount.bmp"), ("b", "badwidth.bmp")]:
        path = os.path.join(SUITE, sub, name)
        if os.path.exists(path):
            with open(path, "rb") as f:
                write(out, "suite-" + name, f.read())


def convert(out):
    rng = random.Random(6)
    example = bytes([0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 0, 0,
                     0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 255, 255])
    seeds = {
        "example-4x2": bytes([3, 1, 0xFF]) + example,
        "single-colour": bytes([9, 9, 0xFF, 200, 100, 50]),
        "black": bytes([5, 5, 0xFF, 0, 0, 0]),
        "white-1x1": bytes([0, 0, 0xFF, 255, 255, 255]),
        "gradient-24": bytes([23, 23, 0xFF]) + bytes(
            v for y in range(24) for x in range(24) for v in (x * 10, y * 10, (x ^ y) * 10 % 256)),
        "noise-24": bytes([23, 23, 0xFF]) + bytes(rng.randrange(256) for _ in range(24 * 24 * 3)),
        "noise-7x3": bytes([6, 2, 0xFF]) + bytes(rng.randrange(256) for _ in range(7 * 3 * 3)),
        "empty": b"",
    }
    for fail in range(1, 8):
        seeds["example-fail-%d" % fail] = bytes([3, 1, fail]) + example
    for name, data in seeds.items():
        write(out, name, data)


def path(out):
    seeds = {
        "windows": b"\x00C:\\Pictures\\photo.BMP",
        "posix": b"\x00/home/user/Pictures/Photo.Bmp",
        "sjis-trail-backslash": b"\x02C:\\\x95\x5c\\\x83\x5c.bmp",
        "sjis-capital-trail": b"\x02\x82\x41\x82\x60B.TMP",
        "sjis-lead-at-end": b"\x02dir\\name.\x81",
        "utf8": b"\x01/tmp/\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab/Photo.BMP",
        "utf8-cut": b"\x01ABC\xe3\x83",
        "dots": b"\x00a.b.c/.hidden",
        "dot-in-folder": b"\x00dir.d/file",
        "no-extension": b"\x00Bmp256",
        "separators-only": b"\x00\\\\//",
        "empty": b"\x00",
    }
    for name, data in seeds.items():
        write(out, name, data)


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "corpus")
    reader(os.path.join(root, "reader"))
    forms(os.path.join(root, "reader"))
    convert(os.path.join(root, "convert"))
    path(os.path.join(root, "path"))


if __name__ == "__main__":
    main()
