#!/usr/bin/env python3
"""Small files that claim huge pictures or a huge colour-profile table,
endless input and a 12-megapixel BMP through bmp256-convert, each in a child whose peak resident memory is
taken from wait4(). Usage: hostile_inputs.py BMP256_CONVERT MAKE_SAMPLE SUITE_DIR"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

MIB = 1 << 20
BASE = 64 * MIB  # what a refusal may cost beyond the data it holds


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png(width, height, depth, colour, data_bytes):
    row = b"\0" * (1 + (width * depth + 7) // 8)
    stream = zlib.compress(row * 64, 9)
    while len(stream) < data_bytes:
        stream += zlib.compress(row * 64, 9)
    ihdr = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", stream[:data_bytes]) + chunk(b"IEND", b"")


def png_with_grid_claim():
    """An 8x8 PNG whose colour profile claims a 255-point, 15-output colour
    table (half a gigabyte) in a few bytes: the profile is not usable, so the
    picture converts with its own numbers."""
    be = lambda fmt, *a: struct.pack(">" + fmt, *a)
    lut = b"mft2" + bytes(4) + bytes((3, 15, 255, 0)) + be("9i", 65536, 0, 0, 0, 65536, 0, 0, 0, 65536)
    lut += be("HH", 2, 2) + bytes(64)
    white = b"XYZ " + bytes(4) + be("3i", 63190, 65536, 54061)
    tags = 128 + 4 + 2 * 12
    size = tags + len(lut) + len(white)
    header = be("I", size) + b"lcms" + be("I", 0x02100000) + b"mntrRGB XYZ " + bytes(12) + b"acsp"
    icc = header + bytes(128 - len(header)) + be("I", 2) + b"A2B0" + be("II", tags, len(lut))
    icc += b"wtpt" + be("II", tags + len(lut), len(white)) + lut + white
    rows = b"".join(b"\0" + b"".join(bytes((x * 30, y * 30, 100)) for x in range(8)) for y in range(8))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 8, 8, 8, 2, 0, 0, 0)) +
            chunk(b"iCCP", b"grid\0\0" + zlib.compress(icc)) + chunk(b"IDAT", zlib.compress(rows)) +
            chunk(b"IEND", b""))


def jpeg_claiming(suite, width, height):
    """The suite's JPEG stream with its frame header claiming another size."""
    data = open(os.path.join(suite, "q/rgb24jpeg.bmp"), "rb").read()
    data = bytearray(data[struct.unpack_from("<I", data, 10)[0]:])
    at = 2
    while data[at] == 0xFF and data[at + 1] not in (0xC0, 0xC1, 0xC2):
        at += 2 + struct.unpack_from(">H", data, at + 2)[0]
    struct.pack_into(">HH", data, at + 5, height, width)
    return bytes(data)


def rle8(width, height, data_bytes):
    table = b"".join(bytes((i, i, i, 0)) for i in range(256))
    runs = bytes((255, 7)) * (data_bytes // 2)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, len(runs), 0, 0, 256, 0)
    offset = 14 + 40 + len(table)
    return b"BM" + struct.pack("<IHHI", offset + len(runs), 0, 0, offset) + info + table + runs


def run(program, args, stdin=None, timeout=20):
    """Exit code, stderr and peak resident bytes of one run."""
    with tempfile.TemporaryFile() as err:
        child = subprocess.Popen([program] + args, stdin=stdin, stdout=subprocess.DEVNULL, stderr=err)
        _, status, usage = os.wait4(child.pid, 0)
        child.returncode = os.waitstatus_to_exitcode(status)
        err.seek(0)
        return child.returncode, err.read().decode(errors="replace"), usage.ru_maxrss * 1024


def main():
    program, make_sample, suite = sys.argv[1:4]
    failures = 0
    work = tempfile.mkdtemp()
    out = os.path.join(work, "out.bmp")

    def check(name, ok, detail):
        nonlocal failures
        print(("ok   " if ok else "FAIL ") + name + ": " + detail)
        failures += 0 if ok else 1

    cases = [
        ("86 KB PNG claiming 20000 x 35000", png(20000, 35000, 1, 0, 86 * 1024), "more than the limit"),
        ("JPEG claiming 20000 x 20000", jpeg_claiming(suite, 20000, 20000), "more than the limit"),
        ("171 KB RLE8 claiming 26000 x 26000", rle8(26000, 26000, 171 * 1024), "more than the limit"),
    ]
    for name, data, reason in cases:
        source = os.path.join(work, "hostile")
        open(source, "wb").write(data)
        code, err, peak = run(program, [source, out])
        check(name, code == 1 and reason in err and peak < BASE + len(data),
              "exit %d, peak %.1f MB, %s" % (code, peak / 1e6, err.strip()))

    source = os.path.join(work, "grid-claim.png")
    open(source, "wb").write(png_with_grid_claim())
    code, err, peak = run(program, [source, os.path.join(work, "grid-claim.bmp")])
    check("PNG whose profile claims a 255-point colour table", code == 0 and peak < BASE,
          "exit %d, peak %.1f MB, %s" % (code, peak / 1e6, err.strip()))

    yes = subprocess.Popen(["yes"], stdout=subprocess.PIPE)
    code, err, peak = run(program, ["-", out], stdin=yes.stdout)
    yes.kill()
    yes.wait()
    check("endless standard input", code == 1 and "not an image" in err and peak < BASE,
          "exit %d, peak %.1f MB, %s" % (code, peak / 1e6, err.strip()))

    # 12 megapixels, 24 bits: the bytes read are the picture, with nothing
    # copied: the file, the index rows and the 16 MiB colour table.
    photo = os.path.join(work, "photo.bmp")
    subprocess.run([make_sample, photo, "4000", "3000"], check=True, stdout=subprocess.DEVNULL)
    size = os.path.getsize(photo)
    code, err, peak = run(program, [photo, out])
    bound = size + 12e6 + 24 * MIB
    check("12-megapixel BMP", code == 0 and peak <= bound,
          "exit %d, peak %.1f MB (bound %.1f MB)" % (code, peak / 1e6, bound / 1e6))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
