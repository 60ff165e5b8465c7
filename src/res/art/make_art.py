#!/usr/bin/env python3
"""Draws the progress dialog's art and writes it next to this script.

    python3 src/res/art/make_art.py [OUTPUT_FOLDER]

Outputs (committed; rerunning gives the same bytes):
  norvane.ico          application icon 128: 32x32 and 16x16 images
  busy00.ico..busy09.ico   the ten frames 256-265 of the busy animation, 32x32
  banner.bmp           "DIB" 210: 585x44, 8 bits, 256-entry colour table
  banner16.bmp         "DIB" 220: the same picture in the 16 VGA colours only

Standard library only: the BMP and ICO bytes are written here by hand.
"""

import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

BANNER_W, BANNER_H = 585, 44

# The 16 colours of the standard VGA palette, in their usual index order.
VGA = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)

# A small bitmap font, 5 x 7, drawn for this banner ('#' = ink).
FONT = {
    "N": ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "o": [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "v": [".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "n": [".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    "t": [".#...", ".#...", "####.", ".#...", ".#...", ".#..#", "..##."],
    "i": ["..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."],
    "l": [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "y": [".....", ".....", "#...#", "#...#", ".####", "....#", ".###."],
    " ": [".....", ".....", ".....", ".....", ".....", ".....", "....."],
}


def text_mask(text, scale, spacing=1):
    """The set of (x, y) ink pixels of text, scaled, with its width and height."""
    ink = set()
    x0 = 0
    for ch in text:
        rows = FONT[ch]
        for gy, row in enumerate(rows):
            for gx, c in enumerate(row):
                if c == "#":
                    for dy in range(scale):
                        for dx in range(scale):
                            ink.add((x0 + gx * scale + dx, gy * scale + dy))
        x0 += (5 + spacing) * scale
    return ink, x0 - spacing * scale, 7 * scale


# ---------------------------------------------------------------- BMP / ICO

def bmp_8bit(width, height, colours, pixel, trailer=2):
    """A bitmap file: BITMAPFILEHEADER, BITMAPINFOHEADER, 256 RGBQUADs, bits.

    pixel(x, y) gives the colour index of the pixel at column x, row y (row 0
    at the top); rows are stored bottom-up and padded to four bytes. The file
    ends with `trailer` zero bytes after the bits (the banners are 26952 bytes
    in all: 1078 + 44 rows of 588 + 2).
    """
    assert len(colours) == 256
    stride = (width + 3) & ~3
    bits = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytes(pixel(x, y) for x in range(width))
        bits += row + bytes(stride - width)
    offset = 14 + 40 + 256 * 4
    size = offset + len(bits) + trailer
    out = bytearray(b"BM")
    out += struct.pack("<IHHI", size, 0, 0, offset)
    out += struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(bits), 2835, 2835, 256, 0)
    for r, g, b in colours:
        out += bytes((b, g, r, 0))
    out += bits + bytes(trailer)
    assert len(out) == size
    return bytes(out)


def icon_image(size, pixel):
    """One 32-bit icon image (header, BGRA bits, AND mask); pixel(x, y) -> (r, g, b, a)."""
    xor = bytearray()
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for y in range(size - 1, -1, -1):
        mrow = bytearray(mask_stride)
        for x in range(size):
            r, g, b, a = pixel(x, y)
            xor += bytes((b, g, r, a))
            if a == 0:
                mrow[x // 8] |= 0x80 >> (x % 8)
        mask += mrow
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def ico_file(images):
    """An icon file from (size, image bytes) pairs."""
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return bytes(out)


# ---------------------------------------------------------------- banner

def banner_picture():
    """The banner as a function of (x, y) giving a 'role' and a shade 0..1.

    Roles: 'sky' (background, shade = left-to-right position), 'band'
    (the bright strip along the bottom edge), 'rule' (the thin line above it),
    'ink' (the product name), 'shadow' (its drop shadow), 'mark' (the emblem at
    the left), 'mark_hi' (the emblem's highlight).
    """
    name, tw, th = text_mask("Norvane Utility", 3)
    tx = 78
    ty = 7
    ink = {(x + tx, y + ty) for x, y in name}
    shadow = {(x + 2, y + 2) for x, y in ink}

    def role(x, y):
        if y >= BANNER_H - 5:
            return "band"
        if y == BANNER_H - 7:
            return "rule"
        if (x, y) in ink:
            return "ink"
        if (x, y) in shadow:
            return "shadow"
        # Emblem: a diamond with a smaller diamond inside, centred at (38, 19).
        d = abs(x - 38) + abs(y - 19)
        if d <= 16:
            return "mark_hi" if d <= 7 else "mark"
        return "sky"

    return role


def write_banner_256(role):
    # Colour table: 0-127 a ramp from deep navy to teal for the sky, then fixed
    # colours for the other roles; the rest of the table is black.
    colours = []
    for i in range(128):
        t = i / 127
        colours.append((int(10 + 10 * t), int(30 + 90 * t), int(90 + 60 * t)))
    fixed = {
        "ink": (255, 255, 255),
        "shadow": (8, 16, 48),
        "band": (240, 176, 32),
        "rule": (250, 230, 160),
        "mark": (200, 120, 20),
        "mark_hi": (255, 220, 120),
    }
    index = {}
    for k, rgb in fixed.items():
        index[k] = len(colours)
        colours.append(rgb)
    colours += [(0, 0, 0)] * (256 - len(colours))

    def pixel(x, y):
        r = role(x, y)
        if r == "sky":
            return min(127, x * 128 // BANNER_W)
        return index[r]

    return bmp_8bit(BANNER_W, BANNER_H, colours, pixel)


def write_banner_16(role):
    # Only indices 0-15 (the VGA colours) are used; the table's other 240
    # entries are black so that the table still has 256 entries.
    colours = VGA + [(0, 0, 0)] * 240
    index = {"ink": WHITE, "shadow": BLACK, "band": YELLOW, "rule": WHITE,
             "mark": OLIVE, "mark_hi": YELLOW}

    def pixel(x, y):
        r = role(x, y)
        if r == "sky":
            # Navy on the left, blue on the right, with a checkered seam between.
            if x < 260:
                return NAVY
            if x < 300:
                return NAVY if (x + y) % 2 else BLUE
            return BLUE
        return index[r]

    return bmp_8bit(BANNER_W, BANNER_H, colours, pixel)


# ---------------------------------------------------------------- icons

def app_icon(size):
    """A gold diamond on a navy disc with a white N."""
    s = size / 32.0
    n_mask, nw, nh = text_mask("N", 2 if size >= 32 else 1)
    ox, oy = (size - nw) // 2, (size - nh) // 2
    n_ink = {(x + ox, y + oy) for x, y in n_mask}

    def pixel(x, y):
        cx, cy = x + 0.5 - size / 2, y + 0.5 - size / 2
        r = math.hypot(cx, cy)
        if r > size / 2 - 0.5:
            return (0, 0, 0, 0)
        if (x, y) in n_ink:
            return (255, 255, 255, 255)
        if abs(cx) + abs(cy) <= 11 * s:
            return (240, 176, 32, 255)
        if r > size / 2 - 2 * s:
            return (250, 230, 160, 255)
        return (20, 60, 130, 255)

    return pixel


def busy_frame(k):
    """Ten dots on a ring; the head is at dot k, followed by a fading tail.

    All frames have their dots in the same places (only the colours move).

    Every frame has a different head, so the ring turns one step per frame.
    """
    size = 32
    dots = []
    for i in range(10):
        angle = -math.pi / 2 + 2 * math.pi * i / 10
        dots.append((16 + 11 * math.cos(angle), 16 + 11 * math.sin(angle)))
    # Brightness per dot: head 1.0, the four behind it fading, others dim.
    level = {}
    for back in range(10):
        i = (k - back) % 10
        level[i] = max(1.0 - back * 0.22, 0.12)

    def pixel(x, y):
        px, py = x + 0.5, y + 0.5
        for i, (dx, dy) in enumerate(dots):
            d = math.hypot(px - dx, py - dy)
            # One radius for all dots: a frame drawn over another covers it.
            if d <= 3.0:
                t = level[i]
                return (int(20 + 220 * t), int(60 + 116 * t), int(130 - 98 * t), 255)
        return (0, 0, 0, 0)

    return pixel


def main():
    import sys
    out_dir = sys.argv[1] if len(sys.argv) > 1 else HERE
    role = banner_picture()
    outputs = {
        "banner.bmp": write_banner_256(role),
        "banner16.bmp": write_banner_16(role),
        "norvane.ico": ico_file([(32, icon_image(32, app_icon(32))), (16, icon_image(16, app_icon(16)))]),
    }
    for k in range(10):
        outputs["busy%02d.ico" % k] = ico_file([(32, icon_image(32, busy_frame(k)))])
    for name, data in outputs.items():
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)
    for name in sorted(outputs):
        print(name, len(outputs[name]))


if __name__ == "__main__":
    main()
