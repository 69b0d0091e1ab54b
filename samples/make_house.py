#!/usr/bin/env python3
"""make_house.py: builds the textured sample: house.pq, a small brick house with a slate roof, a
chimney and a lawn (128 triangles), and its texture house.png (256 x 256), painted here texel by
texel. The editor pairs the two by their name stem.

Standard library only. Usage: make_house.py [output folder], default: the folder of this script.
The output is the same on every run.

The model is designed in the usual right-handed frame (x right, y up, front towards +z, faces
wound counter-clockwise seen from outside), turned a little so that the first look shows two
walls and the roof, and then mirrored in z with the winding reversed: the editor's 3D view
shows the model as its Front view does, nearer points having smaller z.
"""
import math
import os
import struct
import sys
import zlib

SIZE = 256

# Atlas regions: left, top, width, height in texels.
BRICK = (0, 0, 64, 88)
WINDOW = (64, 0, 64, 88)
DOOR = (128, 0, 64, 176)
CHIMNEY_TOP = (192, 0, 32, 32)
SOFFIT = (224, 0, 32, 32)
GABLE = (0, 88, 128, 64)
ROOF = (0, 152, 128, 104)
LAWN = (128, 176, 128, 80)

MORTAR = (205, 198, 186)
FRAME = (240, 238, 230)
STONE = (178, 172, 164)


class Random:
    """A small linear congruential generator, so the picture never depends on Python's."""

    def __init__(self, seed):
        self.state = seed

    def next(self, spread):
        self.state = (self.state * 1103515245 + 12345) & 0x7FFFFFFF
        return (self.state >> 8) % (2 * spread + 1) - spread


def clamp(value):
    return max(0, min(255, int(value)))


def shade(colour, amount):
    return tuple(clamp(c + amount) for c in colour)


class Picture:
    def __init__(self):
        self.px = [[(128, 128, 128)] * SIZE for _ in range(SIZE)]
        self.random = Random(2701)

    def set(self, x, y, colour):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.px[y][x] = colour

    def fill(self, region, colour, noise=0):
        left, top, width, height = region
        for y in range(top, top + height):
            for x in range(left, left + width):
                self.set(x, y, shade(colour, self.random.next(noise)) if noise else colour)

    def bricks(self, region):
        """Bricks of 32 x 11 texels in courses offset by half a brick; any 64 x 88 block tiles."""
        left, top, width, height = region
        tints = {}
        for y in range(height):
            course = y // 11
            for x in range(width):
                bx = (x + 16 * (course % 2)) % 32
                if y % 11 == 10 or bx == 31:
                    self.set(left + x, top + y, shade(MORTAR, self.random.next(6)))
                    continue
                key = (course % 8, ((x + 16 * (course % 2)) // 32) % 2)
                if key not in tints:
                    tints[key] = (self.random.next(22), self.random.next(10))
                red, other = tints[key]
                edge = -18 if y % 11 == 9 or bx == 30 else 0
                self.set(left + x, top + y, shade((178 + red, 78 + other, 56 + other), edge + self.random.next(7)))

    def glass(self, left, top, width, height):
        for y in range(top, top + height):
            for x in range(left, left + width):
                t = (y - top) / max(1, height - 1)
                shine = 30 if 0 <= (x - left) - (y - top) * 0.6 < 5 else 0
                self.set(x, y, shade((96 + int(50 * t), 150 + int(40 * t), 212 + int(20 * t)), shine))

    def window(self, region):
        left, top, _, _ = region
        self.bricks(region)
        self.fill((left + 9, top + 10, 46, 4), STONE, 5)
        self.fill((left + 12, top + 14, 40, 56), FRAME)
        self.glass(left + 15, top + 17, 34, 50)
        self.fill((left + 31, top + 17, 2, 50), FRAME)
        self.fill((left + 15, top + 41, 34, 2), FRAME)
        self.fill((left + 9, top + 70, 46, 5), STONE, 5)
        self.fill((left + 9, top + 75, 46, 1), shade(STONE, -60))

    def door(self, region):
        left, top, width, height = region
        self.bricks(region)
        cx, arch = left + width // 2, top + 58
        for y in range(top + 30, top + height):
            for x in range(left + 8, left + width - 8):
                dx, dy = x - cx, y - arch
                r = math.hypot(dx, dy) if y < arch else abs(dx)
                if r < 21:
                    plank = -22 if (x - left) % 9 == 0 else 0
                    self.set(x, y, shade((128, 76, 38), plank + self.random.next(6)))
                elif r < 24:
                    self.set(x, y, shade(STONE, self.random.next(5)))
        self.fill((cx + 10, top + 112, 4, 4), (226, 186, 70))
        self.glass(cx - 7, top + 52, 14, 10)
        self.fill((left + 4, top + height - 4, width - 8, 4), STONE, 6)

    def gable(self, region):
        """Cream boards with a round window; the triangle's apex is the middle of the top edge."""
        left, top, width, height = region
        for y in range(height):
            board = -26 if y % 8 == 7 else (-8 if y % 8 == 6 else 0)
            for x in range(width):
                self.set(left + x, top + y, shade((232, 212, 158), board + self.random.next(5)))
        cx, cy = left + width // 2, top + 42
        for y in range(cy - 12, cy + 13):
            for x in range(cx - 12, cx + 13):
                r = math.hypot(x - cx, y - cy)
                if r < 9:
                    self.set(x, y, shade((110, 160, 215), 25 if x - cx < -2 and y - cy < -2 else 0))
                elif r < 12:
                    self.set(x, y, FRAME)

    def roof(self, region):
        """Slates of 16 x 13 texels in offset rows; the region tiles in both directions."""
        left, top, width, height = region
        tints = {}
        for y in range(height):
            row = y // 13
            for x in range(width):
                sx = (x + 8 * (row % 2)) % 16
                key = (row, (x + 8 * (row % 2)) // 16 % (width // 16))
                if key not in tints:
                    tints[key] = self.random.next(18)
                colour = shade((92, 102, 122), tints[key])
                if y % 13 >= 11:
                    colour = shade(colour, -45)
                elif y % 13 < 2:
                    colour = shade(colour, 22)
                elif sx == 15:
                    colour = shade(colour, -35)
                self.set(left + x, top + y, shade(colour, self.random.next(6)))

    def lawn(self, region, path):
        left, top, width, height = region
        for y in range(height):
            for x in range(width):
                self.set(left + x, top + y, shade((84, 150, 62), self.random.next(16)))
        p_left, p_top, p_right = path
        for y in range(p_top, top + height):
            for x in range(p_left, p_right):
                joint = (y - p_top) % 6 == 5 or (x - p_left + 3 * ((y - p_top) // 6 % 2)) % 7 == 6
                self.set(x, y, shade((168, 160, 146), -40 if joint else self.random.next(8)))

    def chimney_top(self, region):
        left, top, width, height = region
        self.fill(region, (34, 28, 26), 4)
        for y in range(top, top + height):
            for x in range(left, left + width):
                if min(x - left, y - top, left + width - 1 - x, top + height - 1 - y) < 5:
                    self.set(x, y, shade((160, 150, 140), self.random.next(8)))

    def png(self):
        raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in self.px)

        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


# ---- the model --------------------------------------------------------------------------

WIDTH, DEPTH = 1.0, 0.7  # the walls' footprint, centred on the origin
FLOOR, EAVES, RIDGE = -0.45, 0.10, 0.45  # heights of the lawn, the walls' top and the ridge
OVERHANG = 0.08  # of the roof beyond the walls, along the slope's run and at the ends
LAWN_X, LAWN_Z = 0.66, 0.5
CHIMNEY = (0.22, 0.34, -0.20, -0.08, 0.20, 0.62)  # x, z and y ranges
TURN = -30.0  # degrees about y: the right wall turns towards the viewer
LIFT, SCALE = -0.08, 0.92  # centres the whole in the views


def uv_box(region, inset=0.5):
    """U and V of the region's left, top, right and bottom edges, half a texel inside."""
    left, top, width, height = region
    return ((left + inset) / SIZE, (top + inset) / SIZE, (left + width - inset) / SIZE, (top + height - inset) / SIZE)


def part(u0, v0, u1, v1, i, j, columns, rows):
    """The uv box of cell (i, j) when a box is cut into columns x rows, row 0 at the top."""
    return (u0 + (u1 - u0) * i / columns, v0 + (v1 - v0) * j / rows,
            u0 + (u1 - u0) * (i + 1) / columns, v0 + (v1 - v0) * (j + 1) / rows)


class Model:
    def __init__(self):
        self.triangles = []  # three corners of (u, v, (x, y, z)) each, in the design frame

    def quad(self, corners, box):
        """A quad given bottom-left, bottom-right, top-right, top-left as seen from outside."""
        u0, v0, u1, v1 = box
        bl, br, tr, tl = [(u, v, p) for (u, v), p in zip(((u0, v1), (u1, v1), (u1, v0), (u0, v0)), corners)]
        self.triangles += [(bl, br, tr), (bl, tr, tl)]

    def wall(self, origin, right, up, columns, rows, cell):
        """A wall cut into cells; cell(i, j) gives each one's uv box or None to leave it out."""
        def at(i, j):
            return tuple(round(o + r * i / columns + u * j / rows, 6) for o, r, u in zip(origin, right, up))
        for j in range(rows):
            for i in range(columns):
                box = cell(i, j)
                if box:
                    self.quad((at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)), box)


def cells(windows, door_column=None):
    """Plain bricks, windows at the (column, row) pairs given (row 0 the lower); the door's column is left out."""
    return lambda i, j: None if i == door_column else uv_box(WINDOW if (i, j) in windows else BRICK)


def build_model():
    m = Model()
    x0, x1, z0, z1 = -WIDTH / 2, WIDTH / 2, -DEPTH / 2, DEPTH / 2
    height = EAVES - FLOOR
    m.wall((x0, FLOOR, z1), (WIDTH, 0, 0), (0, height, 0), 5, 2, cells({(1, 0), (3, 0), (1, 1), (3, 1)}, 2))
    m.wall((x1, FLOOR, z0), (-WIDTH, 0, 0), (0, height, 0), 5, 2, cells({(1, 0), (3, 0), (1, 1), (3, 1)}))
    m.wall((x1, FLOOR, z1), (0, 0, -DEPTH), (0, height, 0), 4, 2, cells({(1, 1), (2, 1)}))
    m.wall((x0, FLOOR, z0), (0, 0, DEPTH), (0, height, 0), 4, 2, cells({(1, 0), (2, 1)}))
    # The door spans both rows of the front wall's middle column.
    dx0, dx1 = x0 + 2 * WIDTH / 5, x0 + 3 * WIDTH / 5
    m.quad(((dx0, FLOOR, z1), (dx1, FLOOR, z1), (dx1, EAVES, z1), (dx0, EAVES, z1)), uv_box(DOOR))

    gu0, gv0, gu1, gv1 = uv_box(GABLE)
    for side in (1, -1):
        x = side * WIDTH / 2
        bl, br, apex = (x, EAVES, side * z1), (x, EAVES, -side * z1), (x, RIDGE, 0.0)
        m.triangles.append(((gu0, gv1, bl), (gu1, gv1, br), ((gu0 + gu1) / 2, gv0, apex)))

    # Each slope rises from eaves past the walls by OVERHANG to the ridge; four by two shingle blocks.
    run = z1 + OVERHANG
    low = EAVES - OVERHANG * (RIDGE - EAVES) / z1
    ends = WIDTH / 2 + 0.06
    for side in (1, -1):
        origin = (-side * ends, low, side * run)
        right, up = (side * 2 * ends, 0, 0), (0, RIDGE - low, -side * run)
        m.wall(origin, right, up, 4, 2, lambda i, j: uv_box(ROOF))
        # The underside, seen from below: the same surface wound the other way.
        a, b = origin, tuple(o + r for o, r in zip(origin, right))
        c, d = tuple(p + u for p, u in zip(b, up)), tuple(p + u for p, u in zip(a, up))
        m.quad((b, a, d, c), uv_box(SOFFIT))

    # The chimney's bricks at the walls' scale: each half of a side is 0.12 by 0.21, a wall's cell 0.2 by 0.275.
    cx0, cx1, cz0, cz1, cy0, cy1 = CHIMNEY
    bu0, bv0, bu1, bv1 = uv_box(BRICK)
    brick = (bu0, bv0, bu0 + (bu1 - bu0) * (cx1 - cx0) / (WIDTH / 5), bv0 + (bv1 - bv0) * (cy1 - cy0) / (EAVES - FLOOR))
    for origin, right in (((cx0, cy0, cz1), (cx1 - cx0, 0, 0)), ((cx1, cy0, cz1), (0, 0, cz0 - cz1)),
                          ((cx1, cy0, cz0), (cx0 - cx1, 0, 0)), ((cx0, cy0, cz0), (0, 0, cz1 - cz0))):
        m.wall(origin, right, (0, cy1 - cy0, 0), 1, 2, lambda i, j: brick)
    m.quad(((cx0, cy1, cz1), (cx1, cy1, cz1), (cx1, cy1, cz0), (cx0, cy1, cz0)), uv_box(CHIMNEY_TOP))

    m.quad(((-LAWN_X, FLOOR, LAWN_Z), (LAWN_X, FLOOR, LAWN_Z), (LAWN_X, FLOOR, -LAWN_Z), (-LAWN_X, FLOOR, -LAWN_Z)),
           uv_box(LAWN))
    return m


def lawn_path():
    """The texels of the path from the door to the lawn's front edge: left, top, right."""
    left, top, width, height = LAWN
    door = 0.8 * WIDTH / 10
    return (left + round(width * (LAWN_X - door) / (2 * LAWN_X)),
            top + round(height * (LAWN_Z + DEPTH / 2) / (2 * LAWN_Z)),
            left + round(width * (LAWN_X + door) / (2 * LAWN_X)))


def placed(p):
    """Design frame to the editor's: turned, lifted, scaled and mirrored in z."""
    a = math.radians(TURN)
    x, y, z = p
    x, z = x * math.cos(a) + z * math.sin(a), -x * math.sin(a) + z * math.cos(a)
    return (x * SCALE, (y + LIFT) * SCALE, -z * SCALE)


def pq_bytes(model):
    out = b""
    for triangle in model.triangles:
        for u, v, p in reversed(triangle):  # the mirror turns the winding; reversing turns it back
            out += struct.pack("<5f", u, v, *placed(p))
    return out


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    picture = Picture()
    picture.fill((0, 0, SIZE, SIZE), (120, 120, 118))
    picture.bricks(BRICK)
    picture.window(WINDOW)
    picture.door(DOOR)
    picture.chimney_top(CHIMNEY_TOP)
    picture.fill(SOFFIT, (96, 64, 42), 6)
    picture.gable(GABLE)
    picture.roof(ROOF)
    picture.lawn(LAWN, lawn_path())
    model = build_model()
    with open(os.path.join(folder, "house.png"), "wb") as f:
        f.write(picture.png())
    with open(os.path.join(folder, "house.pq"), "wb") as f:
        f.write(pq_bytes(model))
    print("%d triangles" % len(model.triangles))


if __name__ == "__main__":
    main()
