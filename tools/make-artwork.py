#!/usr/bin/env python3
"""Draws the notifier's pictures and icons and writes them as 16-colour
BMP and ICO files into resources/ (pure Python, no imaging library).

The pictures are an empty mailbox (flag down, door shut) and a full one (flag
up, door hanging open, letters showing). The window recolours the white
background of both pictures from pixel (0,0) and, in the full picture, the
white pocket closed in by the open door, the post and the ground from pixel
(32,77); both regions must stay pure white and the pocket must stay closed.
"""
import os
import struct
import sys

# The standard 16-colour palette (index: (r, g, b)).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)
CLEAR = -1  # transparent (icons only)


class Canvas:
    def __init__(self, size, background):
        self.size = size
        self.px = [[background] * size for _ in range(size)]

    def set(self, x, y, c):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.set(x, y0, c)
            self.set(x, y1, c)
        for y in range(y0, y1 + 1):
            self.set(x0, y, c)
            self.set(x1, y, c)

    def line(self, x0, y0, x1, y1, c):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            self.set(round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps), c)

    def dome(self, x0, x1, top, base, fill, edge):
        """A box with a half-round roof: straight sides from base up to the
        roof's spring line, a half ellipse above it."""
        cx = (x0 + x1) / 2
        rx = (x1 - x0) / 2
        ry = max(base - top, 1) * 0.45
        spring = top + ry
        for y in range(top, base + 1):
            for x in range(x0, x1 + 1):
                if y >= spring:
                    inside = True
                else:
                    dx = (x + 0.5 - cx) / (rx + 0.5)
                    dy = (y + 0.5 - spring) / ry
                    inside = dx * dx + dy * dy <= 1.0
                if inside:
                    self.set(x, y, fill)
        # outline: any filled pixel with an unfilled 4-neighbour
        filled = {(x, y) for y in range(top, base + 1) for x in range(x0, x1 + 1) if self.px[y][x] == fill}
        for (x, y) in filled:
            if any((x + dx, y + dy) not in filled for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                self.set(x, y, edge)


def envelope(cv, x0, y0, x1, y1):
    cv.rect(x0, y0, x1, y1, WHITE)
    cv.frame(x0, y0, x1, y1, BLACK)
    mx = (x0 + x1) // 2
    my = y0 + (y1 - y0) // 2
    cv.line(x0, y0, mx, my, BLACK)
    cv.line(x1, y0, mx, my, BLACK)


def picture(full):
    """The 96 x 96 window picture."""
    cv = Canvas(96, WHITE)
    # ground
    cv.rect(0, 88, 95, 95, GREEN)
    cv.line(0, 88, 95, 88, BLACK)
    # post
    cv.rect(44, 56, 52, 88, MAROON)
    cv.frame(44, 56, 52, 88, BLACK)
    # the box, seen from the side, door at the left end
    cv.dome(14, 82, 20, 58, BLUE, BLACK)
    cv.line(20, 30, 20, 57, NAVY)   # seam behind the door
    cv.line(76, 30, 76, 57, NAVY)
    if full:
        # the open door hangs from the bottom edge down to the ground
        cv.rect(11, 58, 15, 88, BLUE)
        cv.frame(11, 58, 15, 88, BLACK)
        # the open front: dark inside, letters reaching out
        cv.rect(14, 30, 19, 57, NAVY)
        envelope(cv, 3, 34, 27, 47)
        envelope(cv, 6, 44, 30, 56)
        # flag up, its pole held by a bracket on the box's side
        cv.rect(82, 44, 84, 47, BLACK)
        cv.rect(84, 14, 86, 50, BLACK)
        cv.rect(86, 14, 94, 24, RED)
        cv.frame(86, 14, 94, 24, BLACK)
    else:
        # door shut: a handle on the front
        cv.rect(11, 38, 13, 44, SILVER)
        cv.frame(11, 38, 13, 44, BLACK)
        # flag down, lying along the side
        cv.rect(82, 44, 84, 47, BLACK)
        cv.rect(84, 44, 86, 50, BLACK)
        cv.rect(58, 44, 86, 47, RED)
        cv.frame(58, 44, 86, 47, BLACK)
    return cv


class Scaled:
    """Draws a design made for one size on a canvas of another: every pixel of
    the design becomes a block of the canvas, outlines stay one pixel wide.
    At factor 1 it draws exactly what the canvas itself would."""

    def __init__(self, cv, factor):
        self.cv = cv
        self.f = factor

    def lo(self, v):
        return int(v * self.f)

    def hi(self, v):
        return int((v + 1) * self.f) - 1

    def mid(self, v):
        return int((v + 0.5) * self.f)

    def set(self, x, y, c):
        self.rect(x, y, x, y, c)

    def rect(self, x0, y0, x1, y1, c):
        self.cv.rect(self.lo(x0), self.lo(y0), self.hi(x1), self.hi(y1), c)

    def frame(self, x0, y0, x1, y1, c):
        self.cv.frame(self.lo(x0), self.lo(y0), self.hi(x1), self.hi(y1), c)

    def line(self, x0, y0, x1, y1, c):
        self.cv.line(self.mid(x0), self.mid(y0), self.mid(x1), self.mid(y1), c)

    def dome(self, x0, x1, top, base, fill, edge):
        self.cv.dome(self.lo(x0), self.hi(x1), self.lo(top), self.hi(base), fill, edge)


def icon(size, full):
    """Icons: the box alone, large in the frame, flag and letter telling the state.
    Two designs, one for 16 pixels and one for 32; the other sizes (24 and 48,
    for displays of 150 %) are one of them scaled."""
    design = 16 if size < 32 else 32
    cv = Canvas(size, CLEAR)
    p = Scaled(cv, size / design)
    if design == 16:
        p.rect(7, 10, 8, 15, MAROON)
        p.dome(1, 12, 3, 10, BLUE, BLACK)
        if full:
            p.rect(13, 1, 13, 9, BLACK)
            p.rect(14, 1, 15, 4, RED)
            p.rect(0, 5, 7, 9, WHITE)
            p.frame(0, 5, 7, 9, BLACK)
            p.set(3, 6, BLACK)
            p.set(4, 6, BLACK)
        else:
            p.rect(13, 7, 13, 9, BLACK)
            p.rect(8, 7, 13, 8, RED)
    else:
        p.rect(14, 21, 17, 31, MAROON)
        p.frame(14, 21, 17, 31, BLACK)
        p.dome(2, 26, 5, 21, BLUE, BLACK)
        if full:
            p.rect(27, 1, 28, 18, BLACK)
            p.rect(29, 1, 31, 7, RED)
            envelope(p, 0, 9, 14, 18)
        else:
            p.rect(27, 14, 28, 18, BLACK)
            p.rect(17, 14, 28, 16, RED)
            p.frame(17, 14, 28, 16, BLACK)
    return cv


def directory_bitmap():
    """A folder for the database browser's directories. Everything outside the
    black outline is white: the browser flood-fills it from (0,0) with the
    entry's background colour."""
    cv = Canvas(12, WHITE)
    cv.rect(1, 3, 10, 10, YELLOW)
    cv.rect(1, 2, 5, 3, YELLOW)
    cv.frame(1, 3, 10, 10, BLACK)
    cv.line(1, 2, 1, 3, BLACK)
    cv.line(1, 2, 5, 2, BLACK)
    cv.line(5, 2, 6, 3, BLACK)
    cv.line(2, 4, 9, 4, OLIVE)
    return cv


def file_bitmap():
    """A database file: a page with a folded corner and a few lines of text."""
    cv = Canvas(12, WHITE)
    cv.rect(2, 1, 9, 10, WHITE)
    cv.line(2, 1, 7, 1, BLACK)
    cv.line(2, 1, 2, 10, BLACK)
    cv.line(2, 10, 9, 10, BLACK)
    cv.line(9, 4, 9, 10, BLACK)
    cv.line(7, 1, 9, 3, BLACK)
    cv.line(7, 1, 7, 3, BLACK)
    cv.line(7, 3, 9, 3, BLACK)
    for y in (5, 7):
        cv.line(4, y, 7, y, NAVY)
    cv.line(4, 9, 6, 9, NAVY)
    return cv


def updir_bitmap():
    """The up button's arrow, black on white: a head around (8,5) and a shaft
    around (8,15), each a closed region the button flood-fills (yellow when
    enabled, the shadow colour when disabled). The white around it takes the
    button face when the picture is combined with it."""
    cv = Canvas(20, WHITE)
    for y in range(3, 11):
        half = y - 3
        cv.set(8 - half, y, BLACK)
        cv.set(8 + half, y, BLACK)
    cv.line(1, 10, 15, 10, BLACK)
    cv.frame(5, 10, 11, 18, BLACK)
    return cv


def blank_icon(size):
    return Canvas(size, CLEAR)


def pixel_rows_4bpp(cv):
    """Bottom-up rows of 4-bit indices, each padded to 4 bytes."""
    rows = []
    for y in reversed(range(cv.size)):
        row = bytearray()
        for x in range(0, cv.size, 2):
            a = cv.px[y][x]
            b = cv.px[y][x + 1] if x + 1 < cv.size else 0
            row.append(((a if a >= 0 else 0) << 4) | (b if b >= 0 else 0))
        while len(row) % 4:
            row.append(0)
        rows.append(bytes(row))
    return b"".join(rows)


def mask_rows(cv):
    """AND mask: 1 where transparent."""
    rows = []
    for y in reversed(range(cv.size)):
        bits = 0
        row = bytearray()
        for x in range(cv.size):
            bits = (bits << 1) | (1 if cv.px[y][x] == CLEAR else 0)
            if x % 8 == 7:
                row.append(bits)
                bits = 0
        while len(row) % 4:
            row.append(0)
        rows.append(bytes(row))
    return b"".join(rows)


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)


def info_header(width, height, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, image_size, 0, 0, 16, 16)


def write_bmp(path, cv):
    pixels = pixel_rows_4bpp(cv)
    header = info_header(cv.size, cv.size, len(pixels))
    offset = 14 + len(header) + 64
    with open(path, "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset))
        f.write(header + palette_bytes() + pixels)


def write_ico(path, images):
    """An icon file holding one image per canvas, in the order given."""
    blobs = []
    for cv in images:
        pixels = pixel_rows_4bpp(cv)
        mask = mask_rows(cv)
        blobs.append(info_header(cv.size, cv.size * 2, len(pixels) + len(mask)) + palette_bytes() + pixels + mask)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(images)))
        offset = 6 + 16 * len(images)
        for cv, blob in zip(images, blobs):
            f.write(struct.pack("<BBBBHHII", cv.size, cv.size, 16, 0, 1, 4, len(blob), offset))
            offset += len(blob)
        for blob in blobs:
            f.write(blob)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "resources")
    os.makedirs(out, exist_ok=True)
    nomail, mail = picture(False), picture(True)
    assert nomail.px[0][0] == WHITE and mail.px[0][0] == WHITE and mail.px[77][32] == WHITE
    write_bmp(os.path.join(out, "nomail.bmp"), nomail)
    write_bmp(os.path.join(out, "mail.bmp"), mail)
    # The large icons at 100 % and 150 % (SM_CXICON 32, 48); the small ones
    # (the notification area, SM_CXSMICON) at 100 %, 150 % and 200 %.
    write_ico(os.path.join(out, "nomail.ico"), [icon(n, False) for n in (32, 48)])
    write_ico(os.path.join(out, "newmail.ico"), [icon(n, True) for n in (32, 48)])
    write_ico(os.path.join(out, "nomail16.ico"), [icon(n, False) for n in (16, 24, 32)])
    write_ico(os.path.join(out, "newmail16.ico"), [icon(n, True) for n in (16, 24, 32)])
    write_ico(os.path.join(out, "blank16.ico"), [blank_icon(n) for n in (16, 24, 32)])
    directory, page, updir = directory_bitmap(), file_bitmap(), updir_bitmap()
    assert directory.px[0][0] == WHITE and page.px[0][0] == WHITE
    assert updir.px[5][8] == WHITE and updir.px[15][8] == WHITE
    write_bmp(os.path.join(out, "directory.bmp"), directory)
    write_bmp(os.path.join(out, "file.bmp"), page)
    write_bmp(os.path.join(out, "updir.bmp"), updir)


if __name__ == "__main__":
    main()
