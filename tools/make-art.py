#!/usr/bin/env python3
"""Draws Velmora's pictures: the joystick and mouse icons, each in the sizes
Windows asks for at 100 to 200 % display scaling (16, 20, 24, 32 and 48
pixels) in 8-bit colour with a mask and in 32-bit colour with alpha, and the
joystick bitmaps of the Settings window, one for each of 100, 150 and 200 %
(128, 192 and 256 pixels square), 8-bit, run-length encoded, with a palette
of the colours each uses. Pure Python, no imaging library: run it from the
repository root to regenerate resources/joystick.ico (and its small frames
alone in joystick-small.ico), resources/mouse.ico (small frames only) and
resources/joystick*.bmp.
"""
import math
import struct
import sys
from pathlib import Path

ICON_SIZES = (16, 20, 24, 32, 48)
# The small icons (the tray's pictures, the window's small icon) are asked for
# at 16 to 32 pixels only: no 48-pixel frames to carry in the program.
SMALL_ICON_SIZES = (16, 20, 24, 32)

SAMPLES = 4  # supersampling per axis, for smooth edges

# The Settings window's picture: its size at 100 % smoothed like the icons;
# the larger ones with hard edges, which at 150 and 200 % are a fraction of
# what a pixel is at 100 %, and which cost half the bytes run-length encoded
# (each smoothed edge pixel is a run of its own), so the program stays small.
SETTINGS_PICTURES = (('joystick.bmp', 128, SAMPLES),
                     ('joystick-192.bmp', 192, 1),
                     ('joystick-256.bmp', 256, 1))


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def capsule(x0, y0, x1, y1, r):
    def inside(x, y):
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= r * r
    return inside


def render(size, layers, samples=SAMPLES):
    """layers: list of (shape in unit coordinates 0..1, (r, g, b)); later ones on top."""
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) / size
                    y = (py + (sy + 0.5) / samples) / size
                    colour = None
                    for shape, c in layers:
                        if shape(x, y):
                            colour = c
                    if colour is not None:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1
            n = samples * samples
            if acc[3]:
                row.append((acc[0] / acc[3], acc[1] / acc[3], acc[2] / acc[3], 255 * acc[3] / n))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def joystick_layers():
    dark, mid, light = (40, 40, 48), (90, 90, 104), (150, 150, 165)
    red, red_hi = (200, 24, 24), (255, 140, 140)
    return [
        (ellipse(0.5, 0.80, 0.44, 0.15), dark),       # base shadow edge
        (ellipse(0.5, 0.76, 0.42, 0.13), mid),        # base top
        (ellipse(0.5, 0.74, 0.12, 0.05), dark),       # stick collar
        (capsule(0.5, 0.73, 0.5, 0.32, 0.055), light),  # shaft
        (ellipse(0.5, 0.24, 0.19, 0.19), red),        # ball top
        (ellipse(0.44, 0.18, 0.07, 0.06), red_hi),    # highlight
        (ellipse(0.80, 0.74, 0.07, 0.035), red),      # fire button
    ]


def mouse_layers():
    outline, body, seam, wheel = (30, 30, 30), (235, 235, 240), (120, 120, 130), (60, 60, 70)
    return [
        (capsule(0.5, 0.0, 0.5, 0.14, 0.04), outline),  # cable
        (ellipse(0.5, 0.58, 0.34, 0.42), outline),
        (ellipse(0.5, 0.58, 0.28, 0.36), body),
        (rect(0.47, 0.22, 0.53, 0.52), seam),           # split between the buttons
        (rect(0.22, 0.50, 0.78, 0.54), seam),
        (capsule(0.5, 0.30, 0.5, 0.40, 0.045), wheel),  # wheel
    ]


def mask_rows(pixels):
    """The AND mask, bottom-up: a set bit where the pixel is transparent."""
    size = len(pixels)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return bytes(mask)


def dib8(pixels):
    """An 8-bit icon image: the colours it uses as its palette, and a mask."""
    palette = palette_256()
    size = len(pixels)
    indices, used = [], {}
    for row in reversed(pixels):
        for r, g, b, a in row:
            c = (round(r), round(g), round(b)) if a >= 128 else (0, 0, 0)
            i = min(range(256), key=lambda k: sum((palette[k][j] - c[j]) ** 2 for j in range(3)))
            indices.append(used.setdefault(i, len(used)))
    stride = (size + 3) & ~3
    xor = bytearray()
    for y in range(size):
        line = bytearray(stride)
        line[:size] = bytes(indices[y * size:(y + 1) * size])
        xor += line
    colours = sorted(used, key=used.get)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 8, 0, 0, 0, 0, len(colours), 0)
    pal = b''.join(struct.pack('<BBBB', palette[i][2], palette[i][1], palette[i][0], 0)
                   for i in colours)
    return header + pal + bytes(xor) + mask_rows(pixels)


def dib32(pixels):
    """A 32-bit image with alpha, and the mask that older Windows draws with."""
    size = len(pixels)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            xor += bytes((round(b), round(g), round(r), round(a)))
    return header + bytes(xor) + mask_rows(pixels)


def write_ico(path, images):
    """Each picture twice: 8-bit with a mask, then 32-bit with alpha."""
    frames = [(len(p), 8, dib8(p)) for p in images] + [(len(p), 32, dib32(p)) for p in images]
    entries, blobs = b'', b''
    offset = 6 + 16 * len(frames)
    for size, bpp, blob in frames:
        entries += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, bpp, len(blob), offset)
        blobs += blob
        offset += len(blob)
    Path(path).write_bytes(struct.pack('<HHH', 0, 1, len(frames)) + entries + blobs)


def palette_256():
    colours = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    colours += [(round(i * 255 / 39),) * 3 for i in range(40)]
    return colours


def write_bmp8(path, pixels, background=(236, 233, 216)):
    """Only the colours the picture uses go into its palette: a quarter of the
    bytes of a full one for the 128-pixel picture."""
    palette = palette_256()

    def nearest(c):
        return min(range(256), key=lambda i: sum((palette[i][k] - c[k]) ** 2 for k in range(3)))

    cache, used = {}, {}
    size = len(pixels)
    data = bytearray()
    for row in reversed(pixels):
        line = bytearray(size)
        for x, (r, g, b, a) in enumerate(row):
            t = a / 255
            c = tuple(round(v * t + bg * (1 - t)) for v, bg in zip((r, g, b), background))
            if c not in cache:
                cache[c] = used.setdefault(nearest(c), len(used))
            line[x] = cache[c]
        data += rle8_row(line)
    data += b'\x00\x01'  # end of bitmap
    colours = sorted(used, key=used.get)
    pal = b''.join(struct.pack('<BBBB', palette[i][2], palette[i][1], palette[i][0], 0)
                   for i in colours)
    info = struct.pack('<IiiHHIIiiII', 40, size, size, 1, 8, 1, len(data), 2835, 2835,
                       len(colours), 0)
    offset = 14 + len(info) + len(pal)
    head = struct.pack('<2sIHHI', b'BM', offset + len(data), 0, 0, offset)
    Path(path).write_bytes(head + info + pal + bytes(data))


def rle8_row(line):
    """One row in BI_RLE8 encoded mode: runs of one index, up to 255 long."""
    out = bytearray()
    x = 0
    while x < len(line):
        run = 1
        while x + run < len(line) and run < 255 and line[x + run] == line[x]:
            run += 1
        out += bytes((run, line[x]))
        x += run
    return out + b'\x00\x00'  # end of line


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path('resources')
    write_ico(out / 'joystick.ico', [render(n, joystick_layers()) for n in ICON_SIZES])
    write_ico(out / 'joystick-small.ico',
              [render(n, joystick_layers()) for n in SMALL_ICON_SIZES])
    write_ico(out / 'mouse.ico', [render(n, mouse_layers()) for n in SMALL_ICON_SIZES])
    for name, size, samples in SETTINGS_PICTURES:
        write_bmp8(out / name, render(size, joystick_layers(), samples))


if __name__ == '__main__':
    main()
