#!/usr/bin/env python3
"""Writes the PNG fixtures of the codec tests with nothing but zlib, independently of the codec.

Every valid colour type and bit depth, with and without Adam7 interlace; the rows cycle through
the five filter types and the compressed data is split over several IDAT chunks, so the reader
meets everything a foreign writer may produce. Run it in this folder; the output is checked in.
"""
import struct
import zlib

W, H = 13, 11
ADAM7 = [(0, 0, 8, 8), (0, 4, 8, 8), (4, 0, 8, 4), (0, 2, 4, 4), (2, 0, 4, 2), (0, 1, 2, 2), (1, 0, 2, 1)]
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def sample(x, y, c, depth, salt):
    v = (x * 7 + y * 13 + c * 29 + salt * 31 + (x * y) % 5) * 2654435761 >> 7
    if c == 3 or (c == 1 and salt == 4):  # alpha: keep some fully transparent and opaque pixels
        v = [0, (1 << depth) - 1, v][(x + y) % 3]
    return v & ((1 << depth) - 1)


def pack_row(pixels, depth):
    if depth >= 8:
        fmt = ">B" if depth == 8 else ">H"
        return b"".join(struct.pack(fmt, s) for px in pixels for s in px)
    bits, out, n = 0, bytearray(), 0
    for px in pixels:
        bits = (bits << depth) | px[0]
        n += depth
        if n == 8:
            out.append(bits)
            bits, n = 0, 0
    if n:
        out.append(bits << (8 - n))
    return bytes(out)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else (b if pb <= pc else c)


def filter_row(kind, row, prev, bpp):
    out = bytearray()
    for i, v in enumerate(row):
        a = row[i - bpp] if i >= bpp else 0
        b = prev[i]
        c = prev[i - bpp] if i >= bpp else 0
        pred = [0, a, b, (a + b) // 2, paeth(a, b, c)][kind]
        out.append((v - pred) & 0xFF)
    return bytes([kind]) + bytes(out)


def image_data(color, depth, interlace, salt, pixel):
    ch = CHANNELS[color]
    bpp = max(1, depth * ch // 8)
    passes = ADAM7 if interlace else [(0, 0, 1, 1)]
    raw, k = bytearray(), 0
    for sy, sx, dy, dx in passes:
        xs, ys = list(range(sx, W, dx)), list(range(sy, H, dy))
        if not xs or not ys:
            continue
        prev = bytes(len(pack_row([pixel(xs[0], 0)] * len(xs), depth)))
        for y in ys:
            row = pack_row([pixel(x, y) for x in xs], depth)
            raw += filter_row(k % 5, row, prev, bpp)
            prev, k = row, k + 1
    return zlib.compress(bytes(raw), 9)


def write(name, color, depth, interlace=0, extra=b"", salt=1, plte=None, idat_split=37):
    ch = CHANNELS[color]
    if color == 3:
        pixel = lambda x, y: (sample(x, y, 0, depth, salt) % len(plte),)
    else:
        pixel = lambda x, y: tuple(sample(x, y, c if ch != 2 or c == 0 else 3, depth, salt) for c in range(ch))
    data = image_data(color, depth, interlace, salt, pixel)
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, depth, color, 0, 0, interlace))
    if plte:
        out += chunk(b"PLTE", b"".join(bytes(c) for c in plte))
    out += extra
    for i in range(0, len(data), idat_split):
        out += chunk(b"IDAT", data[i:i + idat_split])
    out += chunk(b"IEND", b"")
    with open(name, "wb") as f:
        f.write(out)


def palette(n):
    return [((i * 73) & 255, (i * 151 + 40) & 255, (i * 211 + 90) & 255) for i in range(n)]


for interlace in (0, 1):
    tag = "i" if interlace else "n"
    for depth in (1, 2, 4, 8, 16):
        write(f"gray{depth}_{tag}.png", 0, depth, interlace)
    for depth in (8, 16):
        write(f"rgb{depth}_{tag}.png", 2, depth, interlace)
        write(f"graya{depth}_{tag}.png", 4, depth, interlace, salt=4)
        write(f"rgba{depth}_{tag}.png", 6, depth, interlace, salt=3)
    for depth in (1, 2, 4, 8):
        write(f"pal{depth}_{tag}.png", 3, depth, interlace, plte=palette(1 << depth))

# Partial palette transparency, a grey key colour and an RGB key colour.
write("pal8_trns.png", 3, 8, plte=palette(200), extra=chunk(b"tRNS", bytes([0, 64, 128, 255, 10, 0])))
write("gray8_trns.png", 0, 8, salt=2, extra=chunk(b"tRNS", struct.pack(">H", sample(0, 0, 0, 8, 2))))
rgb_key = [sample(0, 0, c, 8, 5) for c in range(3)]
write("rgb8_trns.png", 2, 8, salt=5, extra=chunk(b"tRNS", struct.pack(">HHH", *rgb_key)))
# Ancillary chunks the codec keeps, drops or holds raw, and one image in a single large IDAT.
write("ancillary.png", 2, 8, salt=6, idat_split=1 << 20,
      extra=chunk(b"cHRM", struct.pack(">8I", 31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000)) + chunk(b"bKGD", struct.pack(">HHH", 1, 2, 3)) +
      chunk(b"tEXt", b"Title\0x") + chunk(b"zTXt", b"Comment\0\0" + zlib.compress(b"made by hand")) +
      chunk(b"tIME", struct.pack(">HBBBBB", 2026, 12, 10, 14, 5, 9)) +
      chunk(b"pHYs", struct.pack(">IIB", 3780, 3780, 1)))
