#!/usr/bin/env python3
"""Draws the artwork of Marksman and Setwell and writes it as Windows resource files.

Usage: artgen.py OUTDIR [--png]

Writes into OUTDIR:
  target.avi        animation 129: the calibration target, 71 x 71, 9 frames of 8-bit BI_RGB
  blank.cur         cursor 106: 32 x 32, fully transparent, hot spot (15, 15)
  marksman.ico      icon 128: the program icon, 32 x 32 and 16 x 16, 16 colours
  dragwindow.ico    icon 1101: a small window picture
  dragtarget.ico    icon 1102: the same window with a target cross-hair in it
  target.cur        cursor 1104: the target cross-hair, hot spot (16, 16)
  setwell.ico       Setwell's icon 142: the program icon, 48, 32 and 16 pixels, 16 colours
  calibrate.ico     Setwell's icon 136: the calibrate button, 48, 32 and 16 pixels in 8, 24 and
                    32 bits per pixel
  linetest.ico      Setwell's icon 144: the line-test button, 32 and 16 pixels, 16 colours
  logo.bmp          Setwell's bitmap 140: the maker's logo, 102 x 32, 24 bits per pixel
  logomask.bmp      Setwell's bitmap 143: its mask, white where the logo is, black elsewhere
With --png, also a PNG preview of every picture (scaled up) for people to look at.

Every picture is a grid of palette indices or of (r, g, b) colours (None = transparent) drawn by
the functions below.
"""

import math
import os
import struct
import sys
import zlib

# The 16 standard VGA colours, as used by 4-bit icons.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, GREY, RED, BLUE, WHITE = 0, 4, 7, 8, 9, 12, 15


class Canvas:
    def __init__(self, width, height, fill=None):
        self.width = width
        self.height = height
        self.px = [[fill] * width for _ in range(height)]

    def set(self, x, y, c):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        """Fills [x0, x1) x [y0, y1)."""
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.set(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1):
            self.set(x, y0, c)
            self.set(x, y1 - 1, c)
        for y in range(y0, y1):
            self.set(x0, y, c)
            self.set(x1 - 1, y, c)

    def ring(self, cx, cy, r, c, width=1.0):
        for y in range(self.height):
            for x in range(self.width):
                if abs(math.hypot(x - cx, y - cy) - r) < width / 2:
                    self.set(x, y, c)

    def disc(self, cx, cy, r, c):
        for y in range(self.height):
            for x in range(self.width):
                if math.hypot(x - cx, y - cy) <= r:
                    self.set(x, y, c)


# ---- animation 129 -------------------------------------------------------------------------

AVI_SIZE = 71
AVI_CENTRE = 35
AVI_FRAMES = 9
AVI_FRAME_US = 150000
AVI_WHITE, AVI_BLUE, AVI_RED = 0, 1, 2
AVI_PALETTE = [(255, 255, 255), (0, 0, 255), (255, 0, 0)]
RING_RADIUS = 24
DISC_RADIUS = 11


def target_frame(n):
    """Frame n (0-based) of the target clip: the marks are farthest out in frame 0 and 8,
    nearest the disc in frame 4."""
    cv = Canvas(AVI_SIZE, AVI_SIZE, AVI_WHITE)
    c = AVI_CENTRE
    for i in range(AVI_SIZE):
        cv.set(i, c, AVI_BLUE)
        cv.set(c, i, AVI_BLUE)
    cv.ring(c, c, RING_RADIUS, AVI_BLUE, 1.6)
    cv.disc(c, c, DISC_RADIUS, AVI_BLUE)
    # The cross-hair continues through the disc as a gap of background.
    for i in range(c - DISC_RADIUS, c + DISC_RADIUS + 1):
        cv.set(i, c, AVI_WHITE)
        cv.set(c, i, AVI_WHITE)
    step = min(n, AVI_FRAMES - 1 - n)           # 0, 1, 2, 3, 4, 3, 2, 1, 0
    inner = 29 - step * 4                       # distance along each axis from the centre
    for sx in (-1, 1):
        for sy in (-1, 1):
            for k in range(6):
                d = inner + k
                cv.set(c + sx * d, c + sy * d, AVI_RED)
                cv.set(c + sx * (d + 1), c + sy * d, AVI_RED)
                cv.set(c + sx * d, c + sy * (d + 1), AVI_RED)
    return cv


def chunk(fourcc, data):
    pad = b"\0" if len(data) % 2 else b""
    return fourcc + struct.pack("<I", len(data)) + data + pad


def riff_list(kind, fourcc, body):
    return kind + struct.pack("<I", len(body) + 4) + fourcc + body


def dib_rows(cv, bpp, palette_index=lambda c: c):
    """Bottom-up rows, each padded to 4 bytes: palette indices at 1, 4 and 8 bits per pixel, (r, g, b)
    colours at 24 and 32 (BGR, BGRA; transparent pixels black, and with alpha 0)."""
    stride = ((cv.width * bpp + 31) // 32) * 4
    out = bytearray()
    for y in range(cv.height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(cv.width):
            v = cv.px[y][x]
            if bpp >= 24:
                r, g, b = v or (0, 0, 0)
                row[x * bpp // 8:(x + 1) * bpp // 8] = bytes((b, g, r, 0 if v is None else 255))[:bpp // 8]
            else:
                row[x * bpp // 8] |= int(palette_index(v)) << (8 - bpp - x * bpp % 8)
        out += row
    return bytes(out)


def palette_bytes(colours, count):
    return b"".join(bytes((b, g, r, 0)) for r, g, b in (list(colours) + [(0, 0, 0)] * count)[:count])


def bitmap_info_header(width, height, bpp, image_size, colours_used):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, 0, image_size, 0, 0,
                       colours_used, 0)


def write_avi(path):
    frames = [dib_rows(target_frame(n), 8) for n in range(AVI_FRAMES)]
    frame_size = len(frames[0])
    # 0x10: AVIF_HASINDEX
    avih = struct.pack("<IIIIIIIIII4I", AVI_FRAME_US, frame_size * 1000000 // AVI_FRAME_US, 0, 0x10,
                       AVI_FRAMES, 0, 1, frame_size, AVI_SIZE, AVI_SIZE, 0, 0, 0, 0)
    # scale / rate: one frame per 150 ms
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"DIB ", 0, 0, 0, 0, AVI_FRAME_US, 1000000,
                       0, AVI_FRAMES, frame_size, 0xFFFFFFFF, 0, 0, 0, AVI_SIZE, AVI_SIZE)
    strf = bitmap_info_header(AVI_SIZE, AVI_SIZE, 8, frame_size, 256) + palette_bytes(AVI_PALETTE, 256)
    hdrl = riff_list(b"LIST", b"hdrl", chunk(b"avih", avih) +
                     riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", strf)))
    movi_body = index = b""
    for data in frames:
        # idx1 offsets count from the 'movi' fourcc and point at the chunk header.
        index += struct.pack("<4sIII", b"00db", 0x10, 4 + len(movi_body), len(data))
        movi_body += chunk(b"00db", data)
    movi = riff_list(b"LIST", b"movi", movi_body)
    avi = riff_list(b"RIFF", b"AVI ", hdrl + movi + chunk(b"idx1", index))
    with open(path, "wb") as f:
        f.write(avi)


# ---- icons and cursors ---------------------------------------------------------------------

def icon_image(cv, bpp):
    """BITMAPINFOHEADER + palette + XOR bits + AND mask, as stored in .ico and .cur files. A canvas of
    palette indices takes the VGA colours at 4 bits, black and white at 1; one of (r, g, b) colours
    is stored in 8 bits with a palette of the colours used, in 24 bits, or in 32 bits with alpha
    (opaque where drawn)."""
    and_bits = dib_rows(cv, 1, lambda c: c is None)
    if not any(isinstance(v, tuple) for row in cv.px for v in row):
        palette = palette_bytes(VGA if bpp == 4 else [(0, 0, 0), (255, 255, 255)], 1 << bpp)
        xor = dib_rows(cv, bpp, lambda c: 0 if c is None else c)
    elif bpp == 8:
        colours = sorted({v for row in cv.px for v in row if v is not None})
        if len(colours) > 256:
            raise ValueError("more than 256 colours in an 8-bit icon")
        index = {c: i for i, c in enumerate(colours)}
        palette, xor = palette_bytes(colours, 256), dib_rows(cv, 8, lambda c: 0 if c is None else index[c])
    else:
        palette, xor = b"", dib_rows(cv, bpp)
    return bitmap_info_header(cv.width, cv.height * 2, bpp, len(xor) + len(and_bits), 0) + palette + xor + and_bits


def write_icon_file(path, images, cursor_hotspot=None):
    """images: list of (canvas, bpp). A cursor file carries its hot spot in each entry."""
    kind = 2 if cursor_hotspot else 1
    blobs = [icon_image(cv, bpp) for cv, bpp in images]
    out = struct.pack("<HHH", 0, kind, len(images))
    offset = 6 + 16 * len(images)
    for (cv, bpp), blob in zip(images, blobs):
        colour_count = (1 << bpp) if bpp < 8 and not cursor_hotspot else 0
        planes_or_x, bits_or_y = cursor_hotspot or (1, bpp)
        out += struct.pack("<BBBBHHII", cv.width % 256, cv.height % 256, colour_count, 0,
                           planes_or_x, bits_or_y, len(blob), offset)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(out + b"".join(blobs))


def grid(size, cells):
    """A canvas of `size` and the function that maps a position on a `cells`-wide grid onto it."""
    s = size / cells
    return Canvas(size, size), s, lambda v: int(round(v * s))


def touch_panel(size):
    """A touch panel on its stand (grey bezel, white screen) on a 32-cell grid."""
    cv, s, p = grid(size, 32)
    cv.rect(p(1), p(3), p(31), p(27), GREY)
    cv.frame(p(1), p(3), p(31), p(27), BLACK)
    cv.rect(p(4), p(6), p(28), p(24), WHITE)
    cv.rect(p(13), p(27), p(19), p(29), GREY)
    cv.rect(p(8), p(29), p(24), p(31), GREY)
    cv.frame(p(8), p(29), p(24), p(31), BLACK)
    return cv, s, p


def program_icon(size):
    """A touch panel (grey bezel, pale screen) with a red and blue target on it."""
    cv, s, p = touch_panel(size)
    cx, cy = (p(4) + p(28) - 1) / 2, (p(6) + p(24) - 1) / 2
    cv.ring(cx, cy, 7.5 * s, RED, 1.3 if size > 16 else 1.0)
    cv.disc(cx, cy, 3.2 * s, BLUE)
    for i in range(p(5), p(27)):
        cv.set(i, int(cy), BLUE)
    for i in range(p(7), p(23)):
        cv.set(int(cx), i, BLUE)
    return cv


def drag_window(with_target):
    """The drag source of the range dialog: a small window; with the target in its client area."""
    cv = Canvas(32, 32)
    cv.rect(2, 4, 30, 28, SILVER)
    cv.frame(2, 4, 30, 28, BLACK)
    cv.rect(3, 5, 29, 9, NAVY)
    cv.rect(25, 6, 28, 8, SILVER)
    cv.rect(4, 10, 28, 27, WHITE)
    cv.frame(4, 10, 28, 27, GREY)
    if with_target:
        cx, cy = 16, 18
        cv.ring(cx, cy, 5, RED, 1.2)
        for i in range(cx - 8, cx + 9):
            cv.set(i, cy, BLACK)
        for i in range(cy - 7, cy + 8):
            cv.set(cx, i, BLACK)
    return cv


def target_cursor():
    """Black cross-hair with a ring, white outline for contrast; hot spot at (16, 16)."""
    cv = Canvas(32, 32)
    c = 16
    cv.ring(c, c, 8, WHITE, 3.0)
    for i in range(c - 14, c + 15):
        for d in (-1, 1):
            cv.set(i, c + d, WHITE)
            cv.set(c + d, i, WHITE)
    cv.ring(c, c, 8, BLACK, 1.2)
    for i in range(c - 14, c + 15):
        cv.set(i, c, BLACK)
        cv.set(c, i, BLACK)
    return cv


def mono(cv):
    """Maps a black/white drawing onto a 1-bit cursor image (0 black, 1 white)."""
    out = Canvas(cv.width, cv.height)
    out.px = [[None if v is None else int(v == WHITE) for v in row] for row in cv.px]
    return out


# ---- Setwell's artwork ---------------------------------------------------------------------

def setwell_icon(size):
    """A touch panel showing three slider bars with their knobs: the settings program."""
    cv, s, p = touch_panel(size)
    for row, knob, colour in ((9, 20, RED), (15, 11, BLUE), (21, 16, RED)):
        y = p(row)
        cv.rect(p(6), y, p(26), y + max(1, p(1)), BLACK)
        half = max(1, p(2))
        cv.rect(p(knob) - half, y - half, p(knob) + half + 1, y + half + 1, colour)
    return cv


def calibrate_icon(size):
    """The calibrate button: a finger-sized target on a pale blue screen, in full colour."""
    cv, s, p = grid(size, 48)
    bezel, screen = (72, 80, 96), (212, 222, 244)
    cv.rect(p(2), p(4), p(46), p(40), bezel)
    cv.frame(p(2), p(4), p(46), p(40), (24, 24, 32))
    # A soft vertical shade on the screen uses many colours, as full-colour icons do.
    for y in range(p(8), p(36)):
        t = (y - p(8)) / max(1, p(36) - p(8))
        shade = tuple(int(c - 40 * t) for c in screen)
        cv.rect(p(6), y, p(42), y + 1, shade)
    cv.rect(p(20), p(40), p(28), p(43), bezel)
    cv.rect(p(12), p(43), p(36), p(46), bezel)
    cx, cy = (p(6) + p(42) - 1) / 2, (p(8) + p(36) - 1) / 2
    cv.ring(cx, cy, 10.5 * s, (200, 0, 0), max(1.0, 2.0 * s))
    cv.disc(cx, cy, 4.5 * s, (0, 0, 220))
    for i in range(p(8), p(40)):
        cv.set(i, int(cy), (0, 0, 160))
    for i in range(p(9), p(35)):
        cv.set(int(cx), i, (0, 0, 160))
    return cv


def linetest_icon(size):
    """The line-test button: a zigzag line drawn on a sheet, 16 colours."""
    cv, s, p = grid(size, 32)
    cv.rect(p(3), p(3), p(29), p(29), WHITE)
    cv.frame(p(3), p(3), p(29), p(29), BLACK)
    points = [(6, 22), (11, 9), (16, 22), (21, 9), (26, 22)]
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        steps = 4 * max(abs(x1 - x0), abs(y1 - y0))
        for k in range(steps + 1):
            x = x0 + (x1 - x0) * k / steps
            y = y0 + (y1 - y0) * k / steps
            cv.set(int(round(x * s)), int(round(y * s)), BLUE)
            if size > 16:
                cv.set(int(round(x * s)) + 1, int(round(y * s)), BLUE)
    return cv


LOGO_WIDTH, LOGO_HEIGHT = 102, 32
# Block letters of the maker's name, 5 x 7 cells each.
LOGO_FONT = {
    "Q": ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
}


def logo_shape():
    """True where the logo is drawn: "QELVO" in 3-pixel cells, underlined, centred."""
    cell, gap = 3, 4
    word = "QELVO"
    width = len(word) * 5 * cell + (len(word) - 1) * gap
    x0 = (LOGO_WIDTH - width) // 2
    y0 = 3
    shape = [[False] * LOGO_WIDTH for _ in range(LOGO_HEIGHT)]
    for n, letter in enumerate(word):
        lx = x0 + n * (5 * cell + gap)
        for r, bits in enumerate(LOGO_FONT[letter]):
            for c, bit in enumerate(bits):
                if bit == "1":
                    for dy in range(cell):
                        for dx in range(cell):
                            shape[y0 + r * cell + dy][lx + c * cell + dx] = True
    for y in (y0 + 7 * cell + 3, y0 + 7 * cell + 4):
        for x in range(x0, x0 + width):
            shape[y][x] = True
    return shape


def logo(mask=False):
    """Bitmap 140: the letters in a blue-to-red blend; the background (black) never shows. With
    mask, bitmap 143: white where the logo is drawn, black where the page shows through."""
    shape = logo_shape()
    cv = Canvas(LOGO_WIDTH, LOGO_HEIGHT, (0, 0, 0))
    for y in range(LOGO_HEIGHT):
        for x in range(LOGO_WIDTH):
            if shape[y][x]:
                t = x / (LOGO_WIDTH - 1)
                cv.set(x, y, (255, 255, 255) if mask else (int(20 + 180 * t), int(60 - 40 * t), int(200 - 160 * t)))
    return cv


def write_bitmap_file(path, cv):
    """A 24-bit .bmp file (BITMAPFILEHEADER + BITMAPINFOHEADER + rows)."""
    rows = dib_rows(cv, 24)
    info = bitmap_info_header(cv.width, cv.height, 24, len(rows), 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(header + info + rows)


# ---- previews ------------------------------------------------------------------------------

def write_png(path, cv, colours, scale=4):
    raw = bytearray()
    for y in range(cv.height):
        for _ in range(scale):
            raw.append(0)
            for x in range(cv.width):
                v = cv.px[y][x]
                rgb = (0xE0, 0xE0, 0xC0) if v is None else (v if isinstance(v, tuple) else colours[v])
                raw += bytes(rgb) * scale
    w, h = cv.width * scale, cv.height * scale

    def png_chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + \
            struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" +
                png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) +
                png_chunk(b"IDAT", zlib.compress(bytes(raw))) + png_chunk(b"IEND", b""))


def main(argv):
    if len(argv) < 2:
        sys.stderr.write(__doc__)
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    write_avi(os.path.join(out, "target.avi"))
    write_icon_file(os.path.join(out, "blank.cur"), [(Canvas(32, 32), 1)], cursor_hotspot=(15, 15))
    write_icon_file(os.path.join(out, "marksman.ico"), [(program_icon(32), 4), (program_icon(16), 4)])
    write_icon_file(os.path.join(out, "dragwindow.ico"), [(drag_window(False), 4)])
    write_icon_file(os.path.join(out, "dragtarget.ico"), [(drag_window(True), 4)])
    write_icon_file(os.path.join(out, "target.cur"), [(mono(target_cursor()), 1)],
                    cursor_hotspot=(16, 16))
    write_icon_file(os.path.join(out, "setwell.ico"), [(setwell_icon(n), 4) for n in (48, 32, 16)])
    write_icon_file(os.path.join(out, "calibrate.ico"),
                    [(calibrate_icon(n), bpp) for bpp in (8, 24, 32) for n in (48, 32, 16)])
    write_icon_file(os.path.join(out, "linetest.ico"), [(linetest_icon(n), 4) for n in (32, 16)])
    write_bitmap_file(os.path.join(out, "logo.bmp"), logo())
    write_bitmap_file(os.path.join(out, "logomask.bmp"), logo(mask=True))
    if "--png" in argv[2:]:
        previews = [("target-%d" % (n + 1), target_frame(n)) for n in range(AVI_FRAMES)]
        previews += [("marksman%d" % n, program_icon(n)) for n in (32, 16)]
        previews += [("dragwindow", drag_window(False)), ("dragtarget", drag_window(True)),
                     ("targetcursor", target_cursor()), ("logo", logo()), ("logomask", logo(mask=True))]
        previews += [("%s%d" % (name, n), draw(n)) for n in (48, 32, 16)
                     for name, draw in (("setwell", setwell_icon), ("calibrate", calibrate_icon))]
        previews += [("linetest%d" % n, linetest_icon(n)) for n in (32, 16)]
        for name, cv in previews:
            write_png(os.path.join(out, name + ".png"), cv, AVI_PALETTE if name.startswith("target-") else VGA)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
