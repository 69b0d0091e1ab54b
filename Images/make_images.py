#!/usr/bin/env python3
"""make_images.py: draws the shipped pictures: the twenty-two 16 x 16 toolbar
icons (toolbar_01.ico .. toolbar_22.ico, 32-bit ICO with alpha), one for each
command on the toolbar, the four view labels (Front.bmp, Side.bmp, Top.bmp,
3D.bmp, 24-bit BMP), and the application icon for the desktop
(app/polyquill-SIZE.png, RGBA PNG, from 16 to 256 pixels).

Standard library only. Usage: make_images.py [output folder], default: the
folder of this script. The output is byte-for-byte the same on every run.
"""
import os
import struct
import sys
import zlib

SIZE = 16
CLEAR = (0, 0, 0, 0)
BLACK = (0, 0, 0, 255)
WHITE = (255, 255, 255, 255)
GREY = (110, 110, 110, 255)
RED = (210, 30, 30, 255)
GREEN = (20, 150, 40, 255)
BLUE = (30, 80, 200, 255)
YELLOW = (235, 200, 40, 255)
GLASS = (190, 220, 250, 255)
PAPER = (250, 250, 245, 255)
FOLDER = (240, 190, 60, 255)
DISK = (40, 70, 160, 255)


class Icon:
    def __init__(self):
        self.px = [[CLEAR] * SIZE for _ in range(SIZE)]

    def set(self, x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
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
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.set(x0, y0, c)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def ring(self, cx, cy, r, c, skip=None):
        for y in range(SIZE):
            for x in range(SIZE):
                d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
                if abs(d - r) < 0.6 and not (skip and skip(x, y)):
                    self.set(x, y, c)

    def disc(self, cx, cy, r, c):
        for y in range(SIZE):
            for x in range(SIZE):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.set(x, y, c)

    def triangle(self, a, b, c, fill, edge):
        if fill:
            for y in range(SIZE):
                for x in range(SIZE):
                    if inside(a, b, c, (x, y)):
                        self.set(x, y, fill)
        self.line(*a, *b, edge)
        self.line(*b, *c, edge)
        self.line(*c, *a, edge)


def inside(a, b, c, p):
    def side(p1, p2, p3):
        return (p1[0] - p3[0]) * (p2[1] - p3[1]) - (p2[0] - p3[0]) * (p1[1] - p3[1])
    d1, d2, d3 = side(p, a, b), side(p, b, c), side(p, c, a)
    neg = d1 < 0 or d2 < 0 or d3 < 0
    pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (neg and pos)


def vertex(ic, x, y, c=BLACK):
    ic.rect(x - 1, y - 1, x + 1, y + 1, c)


def plus(ic, x, y, c=GREEN):
    ic.rect(x - 3, y - 1, x + 3, y, c)
    ic.rect(x - 1, y - 3, x, y + 3, c)


def arrow_up(ic, x, y0, y1, c):
    ic.rect(x, y0, x + 1, y1, c)
    for i in range(3):
        ic.rect(x - i, y0 + i, x + 1 + i, y0 + i, c)


def arrow_down(ic, x, y0, y1, c):
    ic.rect(x, y0, x + 1, y1, c)
    for i in range(3):
        ic.rect(x - i, y1 - i, x + 1 + i, y1 - i, c)


def checker(ic, x0, y0, x1, y1):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            ic.set(x, y, BLUE if ((x - x0) // 3 + (y - y0) // 3) % 2 == 0 else WHITE)
    ic.frame(x0, y0, x1, y1, BLACK)


def magnifier(ic, sign):
    ic.disc(6, 6, 4.5, GLASS)
    ic.ring(6, 6, 4.8, BLACK)
    ic.line(10, 10, 14, 14, BLACK)
    ic.line(10, 11, 13, 14, BLACK)
    ic.rect(4, 6, 8, 6, BLACK)
    if sign == "+":
        ic.rect(6, 4, 6, 8, BLACK)


def icon_create_vertex():
    ic = Icon()
    vertex(ic, 5, 10)
    plus(ic, 11, 4)
    return ic


def icon_move_vertex():
    ic = Icon()
    ic.rect(7, 2, 8, 13, BLUE)
    ic.rect(2, 7, 13, 8, BLUE)
    for i in range(3):
        ic.rect(7 - i, 2 + i, 8 + i, 2 + i, BLUE)
        ic.rect(7 - i, 13 - i, 8 + i, 13 - i, BLUE)
        ic.rect(2 + i, 7 - i, 2 + i, 8 + i, BLUE)
        ic.rect(13 - i, 7 - i, 13 - i, 8 + i, BLUE)
    ic.rect(6, 6, 9, 9, BLACK)
    return ic


def icon_select_vertex():
    ic = Icon()
    for x in range(1, 15, 2):
        ic.set(x, 1, BLACK)
        ic.set(x, 14, BLACK)
    for y in range(1, 15, 2):
        ic.set(1, y, BLACK)
        ic.set(14, y, BLACK)
    ic.rect(6, 6, 9, 9, RED)
    return ic


def icon_create_triangle():
    ic = Icon()
    ic.triangle((1, 14), (9, 14), (1, 6), YELLOW, BLACK)
    vertex(ic, 1, 14)
    vertex(ic, 9, 14)
    vertex(ic, 1, 6)
    plus(ic, 11, 4)
    return ic


def icon_zoom_in():
    ic = Icon()
    magnifier(ic, "+")
    return ic


def icon_zoom_out():
    ic = Icon()
    magnifier(ic, "-")
    return ic


def icon_selection_up():
    ic = Icon()
    ic.triangle((1, 14), (8, 14), (1, 7), YELLOW, BLACK)
    arrow_up(ic, 11, 1, 14, RED)
    return ic


def icon_selection_down():
    ic = Icon()
    ic.triangle((1, 8), (8, 8), (1, 1), YELLOW, BLACK)
    arrow_down(ic, 11, 1, 14, RED)
    return ic


def icon_flip():
    ic = Icon()
    ic.triangle((1, 12), (6, 12), (6, 3), YELLOW, BLACK)
    ic.triangle((9, 12), (14, 12), (9, 3), None, BLACK)
    ic.line(4, 1, 11, 1, RED)
    ic.set(10, 0, RED)
    ic.set(10, 2, RED)
    ic.line(4, 14, 11, 14, RED)
    ic.set(5, 13, RED)
    ic.set(5, 15, RED)
    return ic


def icon_set_texture_coords():
    ic = Icon()
    checker(ic, 0, 0, 15, 15)
    ic.triangle((3, 12), (12, 12), (3, 3), None, RED)
    ic.rect(2, 11, 4, 13, RED)
    ic.rect(11, 11, 13, 13, RED)
    ic.rect(2, 2, 4, 4, RED)
    return ic


def icon_choose_texture():
    ic = Icon()
    checker(ic, 0, 3, 12, 15)
    ic.rect(8, 0, 15, 6, YELLOW)
    ic.frame(8, 0, 15, 6, BLACK)
    ic.rect(10, 3, 13, 3, BLACK)
    return ic


def icon_auto_texture_coords():
    ic = Icon()
    checker(ic, 0, 0, 15, 15)
    # a bold "A" over the checker
    glyph = ["00100", "01010", "10001", "10001", "11111", "10001", "10001"]
    for gy, row in enumerate(glyph):
        for gx, bit in enumerate(row):
            if bit == "1":
                ic.rect(3 + gx * 2, 1 + gy * 2, 4 + gx * 2, 2 + gy * 2, RED)
    return ic


def icon_triangle_list():
    ic = Icon()
    for row, y in enumerate((2, 7, 12)):
        ic.triangle((0, y + 3), (3, y + 3), (0, y), YELLOW if row != 1 else RED, BLACK)
        ic.rect(5, y + 1, 15, y + 2, BLACK)
    return ic


def icon_rotate():
    ic = Icon()
    ic.ring(8, 8, 5.5, BLUE, skip=lambda x, y: x > 8 and y < 7)
    ic.ring(8, 8, 4.5, BLUE, skip=lambda x, y: x > 8 and y < 7)
    ic.rect(10, 1, 14, 2, BLUE)
    ic.rect(13, 1, 14, 5, BLUE)
    vertex(ic, 8, 8)
    return ic


def icon_scale():
    ic = Icon()
    ic.frame(0, 0, 15, 15, BLACK)
    ic.rect(1, 10, 5, 14, BLUE)
    ic.line(6, 9, 13, 2, RED)
    ic.rect(10, 2, 13, 2, RED)
    ic.rect(13, 2, 13, 5, RED)
    return ic


def page(ic):
    """A sheet with its upper right corner folded."""
    for y in range(1, 15):
        ic.rect(3, y, 12 if y >= 4 else 8 + y, y, PAPER)
    ic.line(3, 1, 9, 1, BLACK)
    ic.line(3, 1, 3, 14, BLACK)
    ic.line(3, 14, 12, 14, BLACK)
    ic.line(12, 4, 12, 14, BLACK)
    ic.line(9, 1, 12, 4, BLACK)
    ic.line(9, 1, 9, 4, BLACK)
    ic.line(9, 4, 12, 4, BLACK)


def disk(ic, x0, y0, size):
    """A diskette: a blue square with a white label and a grey shutter."""
    x1, y1 = x0 + size - 1, y0 + size - 1
    ic.rect(x0, y0, x1, y1, DISK)
    ic.frame(x0, y0, x1, y1, BLACK)
    ic.rect(x0 + 2, y0 + 1, x1 - 2, y0 + size // 2 - 1, PAPER)
    ic.rect(x0 + size // 2 - 1, y1 - size // 3 + 1, x1 - 3, y1 - 1, GREY)


def cross(ic, x0, y0, x1, y1):
    """A red diagonal cross, two pixels thick."""
    for d in (0, 1):
        ic.line(x0 + d, y0, x1, y1 - d, RED)
        ic.line(x0 + d, y1, x1, y0 + d, RED)


def icon_new():
    ic = Icon()
    page(ic)
    plus(ic, 8, 9)
    return ic


def icon_open():
    ic = Icon()
    ic.rect(1, 3, 6, 4, FOLDER)
    ic.rect(1, 5, 13, 13, FOLDER)
    ic.frame(1, 5, 13, 13, BLACK)
    ic.line(1, 3, 6, 3, BLACK)
    ic.line(1, 3, 1, 5, BLACK)
    ic.line(6, 3, 7, 5, BLACK)
    # the open flap, lighter, leaning out to the right
    for y in range(8, 14):
        ic.line(3 + (13 - y) // 2, y, 14 - (13 - y) // 3, y, YELLOW)
    ic.line(6, 8, 14, 8, BLACK)
    ic.line(3, 13, 6, 8, BLACK)
    ic.line(11, 13, 14, 8, BLACK)
    return ic


def icon_save():
    ic = Icon()
    disk(ic, 1, 1, 14)
    return ic


def icon_save_as():
    ic = Icon()
    disk(ic, 0, 0, 11)
    # a pencil writing the new name
    for d in (0, 1):
        ic.line(8 + d, 14, 14, 8 + d, YELLOW)
    ic.line(7, 14, 14, 7, BLACK)
    ic.line(9, 15, 15, 9, BLACK)
    ic.set(7, 15, BLACK)
    ic.set(8, 15, BLACK)
    return ic


def icon_delete_vertex():
    ic = Icon()
    ic.rect(5, 5, 10, 10, BLACK)
    ic.rect(6, 6, 9, 9, WHITE)
    cross(ic, 2, 2, 13, 13)
    return ic


def icon_delete_triangle():
    ic = Icon()
    ic.triangle((1, 14), (14, 14), (1, 1), YELLOW, BLACK)
    cross(ic, 4, 4, 15, 15)
    return ic


def icon_about():
    ic = Icon()
    ic.disc(7.5, 7.5, 7.2, BLUE)
    # a question mark, each bit two pixels square
    glyph = ["111", "001", "011", "000", "010"]
    for gy, row in enumerate(glyph):
        for gx, bit in enumerate(row):
            if bit == "1":
                ic.rect(5 + gx * 2, 3 + gy * 2, 6 + gx * 2, 4 + gy * 2, WHITE)
    return ic


ICONS = [
    ("toolbar_01.ico", icon_create_vertex),
    ("toolbar_02.ico", icon_move_vertex),
    ("toolbar_03.ico", icon_select_vertex),
    ("toolbar_04.ico", icon_create_triangle),
    ("toolbar_05.ico", icon_zoom_in),
    ("toolbar_06.ico", icon_zoom_out),
    ("toolbar_07.ico", icon_selection_up),
    ("toolbar_08.ico", icon_selection_down),
    ("toolbar_09.ico", icon_flip),
    ("toolbar_10.ico", icon_set_texture_coords),
    ("toolbar_11.ico", icon_choose_texture),
    ("toolbar_12.ico", icon_auto_texture_coords),
    ("toolbar_13.ico", icon_triangle_list),
    ("toolbar_14.ico", icon_rotate),
    ("toolbar_15.ico", icon_scale),
    ("toolbar_16.ico", icon_new),
    ("toolbar_17.ico", icon_open),
    ("toolbar_18.ico", icon_save),
    ("toolbar_19.ico", icon_save_as),
    ("toolbar_20.ico", icon_delete_vertex),
    ("toolbar_21.ico", icon_delete_triangle),
    ("toolbar_22.ico", icon_about),
]


def ico_bytes(ic):
    """One 16 x 16 32-bit image: a BITMAPINFOHEADER of double height, BGRA
    rows bottom up, then the 1-bit AND mask (set where transparent)."""
    xor = bytearray()
    mask = bytearray()
    for y in range(SIZE - 1, -1, -1):
        bits = 0
        for x in range(SIZE):
            r, g, b, a = ic.px[y][x]
            xor += bytes((b, g, r, a))
            bits = (bits << 1) | (1 if a == 0 else 0)
        mask += struct.pack(">H", bits) + b"\0\0"  # rows padded to 4 bytes
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


# A 3 x 5 pixel font (N is 4 wide), enough for the four view names.
FONT = {
    "F": ["111", "100", "110", "100", "100"],
    "R": ["110", "101", "110", "101", "101"],
    "O": ["111", "101", "101", "101", "111"],
    "N": ["1001", "1101", "1011", "1001", "1001"],
    "T": ["111", "010", "010", "010", "010"],
    "S": ["111", "100", "111", "001", "111"],
    "I": ["111", "010", "010", "010", "111"],
    "D": ["110", "101", "101", "101", "110"],
    "E": ["111", "100", "110", "100", "111"],
    "P": ["111", "101", "111", "100", "100"],
    "3": ["111", "001", "011", "001", "111"],
}

# The label is drawn 0.175 x 0.15 of the view's half-size: 22 x 15 pixels in a
# 248 x 198 view, so the bitmap has that size and is shown one to one.
LABEL_W, LABEL_H = 22, 15
LABEL_BACK = (0, 0, 140)
LABEL_TEXT = (255, 255, 255)

LABELS = [("Front.bmp", "FRONT"), ("Side.bmp", "SIDE"), ("Top.bmp", "TOP"), ("3D.bmp", "3D")]


def label_bytes(text):
    pixels = [[LABEL_BACK] * LABEL_W for _ in range(LABEL_H)]
    width = sum(len(FONT[ch][0]) for ch in text) + len(text) - 1
    x = (LABEL_W - width) // 2
    y0 = (LABEL_H - 5) // 2
    for ch in text:
        glyph = FONT[ch]
        for gy, row in enumerate(glyph):
            for gx, bit in enumerate(row):
                if bit == "1":
                    pixels[y0 + gy][x + gx] = LABEL_TEXT
        x += len(glyph[0]) + 1
    row_bytes = (LABEL_W * 3 + 3) // 4 * 4
    data = bytearray()
    for y in range(LABEL_H - 1, -1, -1):
        row = bytearray()
        for r, g, b in pixels[y]:
            row += bytes((b, g, r))
        data += row + b"\0" * (row_bytes - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, LABEL_W, LABEL_H, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return head + info + bytes(data)


# ---- the application icon: app/polyquill-SIZE.png, RGBA PNG ----------------------

APP_ICON_SIDES = (16, 24, 32, 48, 64, 128, 256)


def app_icon_pixel(x, y, side):
    """The colour (r, g, b, a) of the application icon at (x, y) in units of its
    side: a textured cube of triangles, its edges and corners as the editor marks
    them, on a rounded dark blue tile."""
    edge = max(0.6 / side, 0.011)
    r = 0.17
    cx, cy = min(max(x, r), 1 - r), min(max(y, r), 1 - r)
    if (x - cx) ** 2 + (y - cy) ** 2 > r * r or not (0 <= x <= 1 and 0 <= y <= 1):
        return (0, 0, 0, 0)
    colour = (int(50 - 25 * y), int(70 - 35 * y), int(130 - 60 * y))
    top, upper_r, lower_r = (0.5, 0.13), (0.85, 0.33), (0.85, 0.71)
    bottom, lower_l, upper_l, centre = (0.5, 0.91), (0.15, 0.71), (0.15, 0.33), (0.5, 0.53)
    faces = [((upper_l, top, upper_r, centre), 1.0), ((upper_l, centre, bottom, lower_l), 0.78),
             ((centre, upper_r, lower_r, bottom), 0.58)]
    for (a, b, c, d), shade in faces:
        # the face is a parallelogram a, b, c, d: (s, t) along a->b and a->d
        ux, uy, vx, vy = b[0] - a[0], b[1] - a[1], d[0] - a[0], d[1] - a[1]
        det = ux * vy - uy * vx
        s = ((x - a[0]) * vy - (y - a[1]) * vx) / det
        t = (ux * (y - a[1]) - uy * (x - a[0])) / det
        if 0 <= s <= 1 and 0 <= t <= 1:
            light = (int(s * 4) + int(t * 4)) % 2 == 0
            base = (235, 150, 60) if light else (250, 215, 150)
            colour = tuple(int(c * shade) for c in base)
    lines = [(top, upper_r), (upper_r, lower_r), (lower_r, bottom), (bottom, lower_l), (lower_l, upper_l),
             (upper_l, top), (upper_l, centre), (centre, upper_r), (centre, bottom)]
    if side >= 24:
        lines += [(upper_l, upper_r), (upper_l, bottom), (upper_r, bottom)]
    for (x0, y0), (x1, y1) in lines:
        dx, dy = x1 - x0, y1 - y0
        k = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
        if (x - x0 - k * dx) ** 2 + (y - y0 - k * dy) ** 2 <= edge * edge:
            colour = (255, 255, 255)
    if side >= 32:
        mark = max(1.2 / side, 0.03)
        for px, py in (top, upper_r, lower_r, bottom, lower_l, upper_l, centre):
            if abs(x - px) <= mark and abs(y - py) <= mark:
                colour = (220, 30, 30)
    return colour + (255,)


def app_icon_png(side):
    """The icon at side x side pixels, each the mean of 4 x 4 samples, as PNG bytes."""
    rows = bytearray()
    for py in range(side):
        rows.append(0)
        for px in range(side):
            total = [0, 0, 0, 0]
            for sy in range(4):
                for sx in range(4):
                    c = app_icon_pixel((px + (sx + 0.5) / 4) / side, (py + (sy + 0.5) / 4) / side, side)
                    # colours weighted by their cover, so the tile's rim fades out
                    for i in range(3):
                        total[i] += c[i] * c[3]
                    total[3] += c[3]
            alpha = total[3] / 16
            rows += bytes([round(total[i] / total[3]) if total[3] else 0 for i in range(3)] + [round(alpha)])

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    head = struct.pack(">IIBBBBB", side, side, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + \
        chunk(b"IEND", b"")


def write_app_icons(out):
    folder = os.path.join(out, "app")
    os.makedirs(folder, exist_ok=True)
    for side in APP_ICON_SIDES:
        with open(os.path.join(folder, "polyquill-%d.png" % side), "wb") as f:
            f.write(app_icon_png(side))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)
    for name, draw in ICONS:
        with open(os.path.join(out, name), "wb") as f:
            f.write(ico_bytes(draw()))
    for name, text in LABELS:
        with open(os.path.join(out, name), "wb") as f:
            f.write(label_bytes(text))
    write_app_icons(out)


if __name__ == "__main__":
    main()
