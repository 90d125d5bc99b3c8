#!/usr/bin/env python3
"""Draws ZOLP's icons, bitmaps and the copy animation into an output folder.

Everything is drawn from simple shapes so the art is the project's own and
needs nothing beyond the Python standard library:
  icons   130 app, 131 USB drive, 132 diskette, 133 disk, 145 partition (.ico)
  bitmaps 135 logo (magenta key), 147 logo (cyan key), 136 CD, 138 diskette,
          139 finished, 140 USB, 143 update, 146 image (24-bit .bmp)
  animation 134: pages flying from the PC to the medium (uncompressed 8-bit AVI)
"""
import os
import struct
import sys

MAGENTA = (255, 0, 255)
CYAN = (0, 255, 255)


class Canvas:
    def __init__(self, w, h, fill):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]

    def rect(self, x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(self.h, y1)):
            row = self.px[y]
            for x in range(max(0, x0), min(self.w, x1)):
                row[x] = c

    def frame(self, x0, y0, x1, y1, c, t=1):
        self.rect(x0, y0, x1, y0 + t, c)
        self.rect(x0, y1 - t, x1, y1, c)
        self.rect(x0, y0, x0 + t, y1, c)
        self.rect(x1 - t, y0, x1, y1, c)

    def disc(self, cx, cy, r, c):
        for y in range(int(cy - r), int(cy + r) + 1):
            for x in range(int(cx - r), int(cx + r) + 1):
                if 0 <= x < self.w and 0 <= y < self.h and (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.px[y][x] = c

    def vgradient(self, x0, y0, x1, y1, top, bottom):
        span = max(1, y1 - y0 - 1)
        for y in range(y0, y1):
            t = (y - y0) / span
            c = tuple(int(a + (b - a) * t) for a, b in zip(top, bottom))
            self.rect(x0, y, x1, y + 1, c)


# A 5x7 pixel font for the few capitals the logo spells.
GLYPHS = {
    'Z': ["11111", "00001", "00010", "00100", "01000", "10000", "11111"],
    'O': ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    'L': ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    'P': ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    'D': ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    'I': ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    'A': ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    'G': ["01110", "10001", "10000", "10111", "10001", "10001", "01110"],
    'S': ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    ' ': ["00000"] * 7,
}


def text(cv, x, y, s, scale, c):
    for ch in s:
        for gy, row in enumerate(GLYPHS[ch]):
            for gx, bit in enumerate(row):
                if bit == '1':
                    cv.rect(x + gx * scale, y + gy * scale, x + (gx + 1) * scale, y + (gy + 1) * scale, c)
        x += 6 * scale


def draw_pc(cv, x, y, s):
    cv.rect(x, y, x + 12 * s, y + 9 * s, (40, 40, 60))
    cv.rect(x + s, y + s, x + 11 * s, y + 8 * s, (90, 160, 230))
    cv.rect(x + 5 * s, y + 9 * s, x + 7 * s, y + 11 * s, (40, 40, 60))
    cv.rect(x + 2 * s, y + 11 * s, x + 10 * s, y + 12 * s, (40, 40, 60))


def draw_usb(cv, x, y, s):
    cv.rect(x + 3 * s, y, x + 9 * s, y + 4 * s, (190, 190, 200))
    cv.rect(x + 4 * s, y + s, x + 5 * s, y + 2 * s, (60, 60, 60))
    cv.rect(x + 7 * s, y + s, x + 8 * s, y + 2 * s, (60, 60, 60))
    cv.rect(x + 2 * s, y + 4 * s, x + 10 * s, y + 12 * s, (30, 90, 170))
    cv.rect(x + 4 * s, y + 6 * s, x + 8 * s, y + 7 * s, (240, 240, 240))


def draw_cd(cv, cx, cy, r):
    cv.disc(cx, cy, r, (120, 120, 140))
    cv.disc(cx, cy, r - 1, (210, 215, 235))
    cv.disc(cx - r / 4, cy - r / 4, r / 3, (240, 250, 255))
    cv.disc(cx, cy, r / 4, (120, 120, 140))
    cv.disc(cx, cy, r / 6, MAGENTA)


def draw_diskette(cv, x, y, s):
    cv.rect(x, y, x + 12 * s, y + 12 * s, (40, 40, 50))
    cv.rect(x + 3 * s, y, x + 9 * s, y + 4 * s, (180, 180, 190))
    cv.rect(x + 6 * s, y + s, x + 8 * s, y + 3 * s, (40, 40, 50))
    cv.rect(x + 2 * s, y + 6 * s, x + 10 * s, y + 12 * s, (235, 235, 235))
    cv.rect(x + 3 * s, y + 8 * s, x + 9 * s, y + 9 * s, (100, 100, 200))


def draw_disk(cv, x, y, s, stripe=(60, 60, 70)):
    cv.rect(x, y + 3 * s, x + 12 * s, y + 10 * s, (150, 150, 160))
    cv.rect(x, y + 3 * s, x + 12 * s, y + 4 * s, (210, 210, 220))
    cv.rect(x + s, y + 7 * s, x + 11 * s, y + 8 * s, stripe)
    cv.rect(x + 9 * s, y + 5 * s, x + 10 * s, y + 6 * s, (40, 200, 60))


def draw_check(cv, x, y, s):
    for i in range(4):
        cv.rect(x + (1 + i) * s, y + (6 + i) * s, x + (3 + i) * s, y + (8 + i) * s, (20, 150, 40))
    for i in range(7):
        cv.rect(x + (5 + i) * s, y + (8 - i) * s, x + (7 + i) * s, y + (10 - i) * s, (20, 150, 40))


def draw_arrows(cv, x, y, s):
    cv.rect(x + 2 * s, y + 3 * s, x + 10 * s, y + 5 * s, (200, 120, 20))
    cv.rect(x + 8 * s, y + 2 * s, x + 9 * s, y + 6 * s, (200, 120, 20))
    cv.rect(x + 2 * s, y + 8 * s, x + 10 * s, y + 10 * s, (20, 120, 200))
    cv.rect(x + 3 * s, y + 7 * s, x + 4 * s, y + 11 * s, (20, 120, 200))


def draw_file(cv, x, y, s):
    cv.rect(x + 2 * s, y, x + 10 * s, y + 12 * s, (250, 250, 250))
    cv.frame(x + 2 * s, y, x + 10 * s, y + 12 * s, (60, 60, 60), max(1, s // 2))
    for row in (3, 5, 7, 9):
        cv.rect(x + 4 * s, y + row * s, x + 8 * s, y + row * s + max(1, s // 2), (90, 90, 160))


def option_bitmap(draw):
    cv = Canvas(40, 40, MAGENTA)
    draw(cv)
    return cv


def logo(key):
    cv = Canvas(500, 110, key)
    cv.vgradient(10, 10, 490, 100, (30, 60, 120), (90, 140, 210))
    cv.frame(10, 10, 490, 100, (20, 30, 60), 2)
    draw_pc(cv, 24, 22, 5)
    text(cv, 110, 26, "ZOLP", 8, (255, 255, 255))
    text(cv, 320, 40, "DIAGS", 5, (255, 220, 120))
    return cv


def write_bmp(path, cv):
    stride = (cv.w * 3 + 3) & ~3
    data = bytearray()
    for y in range(cv.h - 1, -1, -1):
        row = bytearray()
        for r, g, b in cv.px[y]:
            row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        data += row
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, cv.w, cv.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def icon_image(cv, key):
    xor = bytearray()
    for y in range(cv.h - 1, -1, -1):
        for px in cv.px[y]:
            r, g, b = px
            xor += bytes((b, g, r, 0 if px == key else 255))
    mask_stride = ((cv.w + 31) // 32) * 4
    mask = bytearray()
    for y in range(cv.h - 1, -1, -1):
        row = bytearray(mask_stride)
        for x, px in enumerate(cv.px[y]):
            if px == key:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    info = struct.pack("<IiiHHIIiiII", 40, cv.w, cv.h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def write_ico(path, draw):
    images = []
    for size in (32, 16):
        cv = Canvas(size, size, MAGENTA)
        draw(cv, size // 16)
        images.append((size, icon_image(cv, MAGENTA)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, blob in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for _, blob in images:
        out += blob
    with open(path, "wb") as f:
        f.write(out)


def chunk(tag, payload):
    pad = b"\0" if len(payload) % 2 else b""
    return tag + struct.pack("<I", len(payload)) + payload + pad


def riff_list(kind, tag, payload):
    return kind + struct.pack("<I", len(payload) + 4) + tag + payload


def write_avi(path):
    w, h, frames = 64, 32, 12
    palette = [(255, 255, 255), (40, 40, 60), (90, 160, 230), (150, 150, 160), (250, 250, 250),
               (60, 60, 60), (90, 90, 160), (40, 200, 60)]
    palette += [(0, 0, 0)] * (256 - len(palette))
    index = {c: i for i, c in enumerate(palette[:8])}
    stride = (w + 3) & ~3
    movi = b""
    idx = b""
    frame_size = stride * h
    for f in range(frames):
        cv = Canvas(w, h, palette[0])
        draw_pc(cv, 1, 8, 2)
        draw_disk(cv, 38, 4, 2)
        x = 14 + f * 2
        cv.rect(x, 10 - (f % 4), x + 8, 20 - (f % 4), palette[4])
        cv.frame(x, 10 - (f % 4), x + 8, 20 - (f % 4), palette[5])
        cv.rect(x + 2, 13 - (f % 4), x + 6, 14 - (f % 4), palette[6])
        data = bytearray()
        for y in range(h - 1, -1, -1):
            row = bytes(index.get(px, 0) for px in cv.px[y])
            data += row + b"\0" * (stride - w)
        idx += struct.pack("<4sIII", b"00db", 0x10, 4 + len(movi), frame_size)
        movi += chunk(b"00db", bytes(data))
    usec = 100000
    avih = struct.pack("<IIIIIIIIII4I", usec, frame_size * 10, 0, 0x10, frames, 0, 1, frame_size,
                       w, h, 0, 0, 0, 0)
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"DIB ", 0, 0, 0, 0, usec, 1000000, 0,
                       frames, frame_size, 0xFFFFFFFF, 0, 0, 0, w, h)
    strf = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, frame_size, 0, 0, 256, 0)
    strf += b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    strl = riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", strf))
    hdrl = riff_list(b"LIST", b"hdrl", chunk(b"avih", avih) + strl)
    body = hdrl + riff_list(b"LIST", b"movi", movi) + chunk(b"idx1", idx)
    with open(path, "wb") as f:
        f.write(riff_list(b"RIFF", b"AVI ", body))


def main(out):
    os.makedirs(out, exist_ok=True)
    write_ico(os.path.join(out, "zolp130.ico"), lambda cv, s: (draw_pc(cv, 2 * s, 1 * s, s), draw_usb(cv, 9 * s, 5 * s, s // 2 or 1)))
    write_ico(os.path.join(out, "usb131.ico"), lambda cv, s: draw_usb(cv, 2 * s, 2 * s, s))
    write_ico(os.path.join(out, "diskette132.ico"), lambda cv, s: draw_diskette(cv, 2 * s, 2 * s, s))
    write_ico(os.path.join(out, "disk133.ico"), lambda cv, s: draw_disk(cv, 2 * s, 2 * s, s))
    write_ico(os.path.join(out, "partition145.ico"), lambda cv, s: draw_disk(cv, 2 * s, 2 * s, s, (200, 60, 60)))
    write_bmp(os.path.join(out, "logo135.bmp"), logo(MAGENTA))
    write_bmp(os.path.join(out, "logo147.bmp"), logo(CYAN))
    write_bmp(os.path.join(out, "usb140.bmp"), option_bitmap(lambda cv: draw_usb(cv, 2, 2, 3)))
    write_bmp(os.path.join(out, "cd136.bmp"), option_bitmap(lambda cv: draw_cd(cv, 20, 20, 17)))
    write_bmp(os.path.join(out, "diskette138.bmp"), option_bitmap(lambda cv: draw_diskette(cv, 2, 2, 3)))
    write_bmp(os.path.join(out, "finished139.bmp"), option_bitmap(lambda cv: draw_check(cv, 2, 2, 3)))
    write_bmp(os.path.join(out, "update143.bmp"), option_bitmap(lambda cv: draw_arrows(cv, 2, 2, 3)))
    write_bmp(os.path.join(out, "image146.bmp"), option_bitmap(lambda cv: draw_file(cv, 2, 2, 3)))
    write_avi(os.path.join(out, "copy134.avi"))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else ".")
