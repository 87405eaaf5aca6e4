#!/usr/bin/env python3
"""Draws the window's artwork: the 29 x 133 side strip (24-bit BMP) and the
application icon at 16 and 32 pixels (256-colour PNGs and a Windows .ico), and for
the desktop's icon theme at 48, 64, 128 and 256 pixels (RGBA PNGs) and as an SVG.
Run it in this folder to redraw the files; only the standard library is used."""
import struct
import zlib

BACK = (18, 34, 52)
EDGE = (40, 70, 96)
TRACES = [(80, 220, 120), (240, 200, 70), (90, 200, 240)]
GRID = (30, 52, 74)
ROWS = (170, 185, 200)
# The icon on a 32-unit square: a square wave (a 2-unit pen's corner points, as the
# pixel icons place it) over three rows of table text.
WAVE = [(3, 14), (9, 14), (9, 6), (16, 6), (16, 14), (23, 14), (23, 6), (29, 6)]
ROW_TOPS = (19, 23, 27)
CORNER = 4
# The same shapes for the smooth sizes and the SVG: the pen's centre line, the dashes.
PEN = [(x + 1, y + 1) for x, y in WAVE]
DASHES = [(x, y, 3, 1) for y in ROW_TOPS for x in (6, 12, 18, 24)]


def canvas(w, h, colour):
    return [[colour] * w for _ in range(h)]


def strip():
    w, h = 29, 133
    img = canvas(w, h, BACK)
    for y in range(0, h, 8):
        for x in range(w):
            img[y][x] = GRID
    # Three digital lines running down the strip, each a square wave of its own period.
    for lane, (colour, period, phase) in enumerate(zip(TRACES, (12, 20, 32), (0, 5, 11))):
        low, high = 2 + lane * 9, 7 + lane * 9
        prev = None
        for y in range(h):
            x = high if ((y + phase) // (period // 2)) % 2 else low
            if prev is not None and prev != x:
                for xx in range(min(prev, x), max(prev, x) + 1):
                    img[y][xx] = colour
            img[y][x] = colour
            prev = x
    for y in range(h):
        img[y][w - 1] = EDGE
    return img


def icon(size):
    img = canvas(size, size, (0, 0, 0, 0))
    r = size // 8
    for y in range(size):
        for x in range(size):
            cx = min(max(x, r), size - 1 - r)
            cy = min(max(y, r), size - 1 - r)
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                img[y][x] = BACK + (255,)
    s = size / 32
    for (x0, y0), (x1, y1) in zip(WAVE, WAVE[1:]):
        for t in range(0, 65):
            x = round((x0 + (x1 - x0) * t / 64) * s)
            y = round((y0 + (y1 - y0) * t / 64) * s)
            for dx in range(max(1, size // 16)):
                for dy in range(max(1, size // 16)):
                    if 0 <= x + dx < size and 0 <= y + dy < size:
                        img[y + dy][x + dx] = TRACES[0] + (255,)
    for row in ROW_TOPS:
        y = round(row * s)
        for x in range(round(5 * s), round(27 * s)):
            if (x // max(1, round(3 * s))) % 2 == 0 or size < 32:
                img[y][x] = ROWS + (255,)
    return img


def shape_colour(u, v, pen, dashes):
    """The colour at point (u, v) of the 32-unit square, or None outside the icon."""
    if any(x0 <= u < x1 and y0 <= v < y1 for x0, y0, x1, y1 in pen):
        return TRACES[0]
    if any(x0 <= u < x1 and y0 <= v < y1 for x0, y0, x1, y1 in dashes):
        return ROWS
    cx = min(max(u, CORNER), 32 - CORNER)
    cy = min(max(v, CORNER), 32 - CORNER)
    return BACK if (u - cx) ** 2 + (v - cy) ** 2 <= CORNER * CORNER else None


def smooth_icon(size, samples=4):
    """The icon's shapes at any size, each pixel averaged over samples x samples points."""
    # The wave's segments are level or upright: each is a rectangle around the centre line.
    pen = [(min(x0, x1) - 1, min(y0, y1) - 1, max(x0, x1) + 1, max(y0, y1) + 1)
           for (x0, y0), (x1, y1) in zip(PEN, PEN[1:])]
    dashes = [(x, y, x + w, y + h) for x, y, w, h in DASHES]
    step = 32 / size / samples
    offsets = [(k + 0.5) * step for k in range(samples)]
    img = canvas(size, size, (0, 0, 0, 0))
    for y in range(size):
        for x in range(size):
            u0, v0 = x * 32 / size, y * 32 / size
            hits = [shape_colour(u0 + du, v0 + dv, pen, dashes) for du in offsets for dv in offsets]
            hits = [c for c in hits if c]
            if hits:
                rgb = tuple(round(sum(c[k] for c in hits) / len(hits)) for k in range(3))
                img[y][x] = rgb + (round(255 * len(hits) / samples ** 2),)
    return img


def icon_svg():
    def colour(c):
        return "#%02x%02x%02x" % c
    points = " ".join(f"{x},{y}" for x, y in PEN)
    dashes = "".join(f"M{x} {y}h{w}v{h}h-{w}z" for x, y, w, h in DASHES)
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">\n'
            f'  <rect width="32" height="32" rx="{CORNER}" fill="{colour(BACK)}"/>\n'
            f'  <path d="{dashes}" fill="{colour(ROWS)}"/>\n'
            f'  <polyline points="{points}" fill="none" stroke="{colour(TRACES[0])}" '
            f'stroke-width="2" stroke-linecap="square"/>\n'
            f'</svg>\n')


def write_bmp24(path, img):
    h, w = len(img), len(img[0])
    stride = (w * 3 + 3) & ~3
    pixels = b"".join(
        b"".join(bytes((b, g, r)) for (r, g, b) in row) + b"\0" * (stride - w * 3)
        for row in reversed(img))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    open(path, "wb").write(header + info + pixels)


def palette_of(img):
    colours = sorted({c for row in img for c in row})
    assert len(colours) <= 256
    return colours, {c: i for i, c in enumerate(colours)}


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def write_png8(path, img):
    h, w = len(img), len(img[0])
    colours, index = palette_of(img)
    colours += [(0, 0, 0, 0)] * (256 - len(colours))
    raw = b"".join(b"\0" + bytes(index[c] for c in row) for row in img)
    png = b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 3, 0, 0, 0))
    png += png_chunk(b"PLTE", b"".join(bytes(c[:3]) for c in colours))
    png += png_chunk(b"tRNS", bytes(c[3] for c in colours))
    png += png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b"")
    open(path, "wb").write(png)


def write_png_rgba(path, img):
    h, w = len(img), len(img[0])
    raw = b"".join(b"\0" + b"".join(bytes(c) for c in row) for row in img)
    png = b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    png += png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b"")
    open(path, "wb").write(png)


def ico_entry(img):
    h, w = len(img), len(img[0])
    colours, index = palette_of(img)
    colours += [(0, 0, 0, 0)] * (256 - len(colours))
    pal = b"".join(bytes((b, g, r, 0)) for (r, g, b, _) in colours)
    xor = b"".join(bytes(index[c] for c in row) for row in reversed(img))
    mask_stride = ((w + 31) // 32) * 4
    mask = b""
    for row in reversed(img):
        bits = 0
        for x, c in enumerate(row):
            if c[3] == 0:
                bits |= 1 << (mask_stride * 8 - 1 - x)
        mask += bits.to_bytes(mask_stride, "big")
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 8, 0, len(xor) + len(mask), 0, 0, 256, 0)
    return info + pal + xor + mask


def write_ico(path, images):
    entries = [ico_entry(img) for img in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for img, data in zip(images, entries):
        size = len(img)
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    open(path, "wb").write(out + b"".join(entries))


if __name__ == "__main__":
    write_bmp24("strip.bmp", strip())
    icons = [icon(16), icon(32)]
    write_png8("icon-16.png", icons[0])
    write_png8("icon-32.png", icons[1])
    write_ico("sorrelin.ico", icons)
    for size in (48, 64, 128, 256):
        write_png_rgba(f"icon-{size}.png", smooth_icon(size))
    open("icon.svg", "w").write(icon_svg())
