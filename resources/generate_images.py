#!/usr/bin/env python3
"""Draws the installer's images: the program icon, one flag icon per language and the wizard's
side bitmap.

    python3 generate_images.py OUTPUT_DIR

Only the standard library is used and the output is the same, byte for byte, on every run. The
pictures are made of simple shapes rendered with supersampling (anti-aliasing), then written by
the small ICO and BMP writers at the end of this file.
"""

import math
import os
import struct
import sys

# ---------------------------------------------------------------------------------------------
# Shapes. Each one knows its bounding box and whether a point lies inside it; coordinates are in
# the units of whatever is being drawn (flag heights, icon units, bitmap pixels).


class Shape:
    def bbox(self):
        raise NotImplementedError

    def contains(self, x, y):
        raise NotImplementedError


class Rect(Shape):
    def __init__(self, x0, y0, x1, y1):
        self.x0, self.y0, self.x1, self.y1 = x0, y0, x1, y1

    def bbox(self):
        return self.x0, self.y0, self.x1, self.y1

    def contains(self, x, y):
        return self.x0 <= x < self.x1 and self.y0 <= y < self.y1


class Ellipse(Shape):
    def __init__(self, cx, cy, rx, ry):
        self.cx, self.cy, self.rx, self.ry = cx, cy, rx, ry

    def bbox(self):
        return self.cx - self.rx, self.cy - self.ry, self.cx + self.rx, self.cy + self.ry

    def contains(self, x, y):
        dx = (x - self.cx) / self.rx
        dy = (y - self.cy) / self.ry
        return dx * dx + dy * dy <= 1.0


def Circle(cx, cy, r):
    return Ellipse(cx, cy, r, r)


class Polygon(Shape):
    """A simple polygon (even-odd rule)."""

    def __init__(self, points):
        self.points = list(points)

    def bbox(self):
        xs = [p[0] for p in self.points]
        ys = [p[1] for p in self.points]
        return min(xs), min(ys), max(xs), max(ys)

    def contains(self, x, y):
        inside = False
        pts = self.points
        j = len(pts) - 1
        for i in range(len(pts)):
            xi, yi = pts[i]
            xj, yj = pts[j]
            if (yi > y) != (yj > y) and x < xi + (y - yi) * (xj - xi) / (yj - yi):
                inside = not inside
            j = i
        return inside


class Segment(Shape):
    """A line from p to q drawn with the given width and round ends."""

    def __init__(self, p, q, width):
        self.p, self.q, self.r = p, q, width / 2.0

    def bbox(self):
        (px, py), (qx, qy), r = self.p, self.q, self.r
        return min(px, qx) - r, min(py, qy) - r, max(px, qx) + r, max(py, qy) + r

    def contains(self, x, y):
        (px, py), (qx, qy) = self.p, self.q
        dx, dy = qx - px, qy - py
        length2 = dx * dx + dy * dy
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - px) * dx + (y - py) * dy) / length2))
        ex, ey = x - (px + t * dx), y - (py + t * dy)
        return ex * ex + ey * ey <= self.r * self.r


class Strip(Shape):
    """The part of a clipping rectangle whose signed distance from the line through p and q lies
    between near and far (positive: to the right of the direction p to q, in y-down units)."""

    def __init__(self, p, q, near, far, clip):
        self.p, self.near, self.far, self.clip = p, near, far, clip
        length = math.hypot(q[0] - p[0], q[1] - p[1])
        self.ux, self.uy = (q[0] - p[0]) / length, (q[1] - p[1]) / length

    def bbox(self):
        return self.clip.bbox()

    def contains(self, x, y):
        if not self.clip.contains(x, y):
            return False
        d = self.ux * (y - self.p[1]) - self.uy * (x - self.p[0])
        return self.near <= d <= self.far


class Union(Shape):
    def __init__(self, *shapes):
        self.shapes = shapes

    def bbox(self):
        boxes = [s.bbox() for s in self.shapes]
        return (min(b[0] for b in boxes), min(b[1] for b in boxes),
                max(b[2] for b in boxes), max(b[3] for b in boxes))

    def contains(self, x, y):
        return any(s.contains(x, y) for s in self.shapes)


class Difference(Shape):
    def __init__(self, shape, hole):
        self.shape, self.hole = shape, hole

    def bbox(self):
        return self.shape.bbox()

    def contains(self, x, y):
        return self.shape.contains(x, y) and not self.hole.contains(x, y)


class Intersection(Shape):
    def __init__(self, a, b):
        self.a, self.b = a, b

    def bbox(self):
        a, b = self.a.bbox(), self.b.bbox()
        return max(a[0], b[0]), max(a[1], b[1]), min(a[2], b[2]), min(a[3], b[3])

    def contains(self, x, y):
        return self.a.contains(x, y) and self.b.contains(x, y)


def along(p, q, t):
    """The point a fraction t of the way from p to q."""
    return p[0] + (q[0] - p[0]) * t, p[1] + (q[1] - p[1]) * t


def offset(p, direction, length):
    """p moved by length along the direction of the vector given."""
    scale = length / math.hypot(direction[0], direction[1])
    return p[0] + direction[0] * scale, p[1] + direction[1] * scale


def star(cx, cy, radius, angle=-90.0, points=5, inner_ratio=0.381966):
    """A regular star; angle is the direction of its first point, in degrees (y down)."""
    vertices = []
    for k in range(points * 2):
        r = radius if k % 2 == 0 else radius * inner_ratio
        a = math.radians(angle + k * 180.0 / points)
        vertices.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return Polygon(vertices)


def frame(x0, y0, x1, y1, width):
    """The border of a rectangle, width thick, inside it."""
    return Difference(Rect(x0, y0, x1, y1), Rect(x0 + width, y0 + width, x1 - width, y1 - width))


def triangle_outline(cx, cy, radius, angle, width):
    """The outline of an equilateral triangle with the given circumradius."""
    corners = []
    for k in range(3):
        a = math.radians(angle + k * 120.0)
        corners.append((cx + radius * math.cos(a), cy + radius * math.sin(a)))
    return Union(*[Segment(corners[k], corners[(k + 1) % 3], width) for k in range(3)])


def shield(cx, top, width, height):
    """A heraldic shield: straight top and sides, rounded bottom."""
    straight = height - width / 2.0
    return Union(Rect(cx - width / 2.0, top, cx + width / 2.0, top + straight),
                 Ellipse(cx, top + straight, width / 2.0, width / 2.0))


# ---------------------------------------------------------------------------------------------
# Canvas: RGBA with premultiplied samples, several samples per pixel.


class Canvas:
    def __init__(self, width, height, supersample=4):
        self.width, self.height, self.ss = width, height, supersample
        count = width * supersample * height * supersample
        self.r = [0.0] * count
        self.g = [0.0] * count
        self.b = [0.0] * count
        self.a = [0.0] * count
        self.set_units(1.0)

    def set_units(self, scale, origin_x=0.0, origin_y=0.0):
        """Shapes are given in units of `scale` pixels, counted from the pixel point origin."""
        self.scale, self.ox, self.oy = scale, origin_x, origin_y

    def fill(self, shape, paint):
        """Paints the shape with a colour (r, g, b[, a]) or a function (x, y) -> colour."""
        ss, scale, ox, oy = self.ss, self.scale, self.ox, self.oy
        sw, sh = self.width * ss, self.height * ss
        x0, y0, x1, y1 = shape.bbox()
        i0 = max(0, int(math.floor((x0 * scale + ox) * ss - 0.5)))
        i1 = min(sw, int(math.ceil((x1 * scale + ox) * ss + 0.5)))
        j0 = max(0, int(math.floor((y0 * scale + oy) * ss - 0.5)))
        j1 = min(sh, int(math.ceil((y1 * scale + oy) * ss + 0.5)))
        constant = None if callable(paint) else _rgba(paint)
        for j in range(j0, j1):
            y = ((j + 0.5) / ss - oy) / scale
            row = j * sw
            for i in range(i0, i1):
                x = ((i + 0.5) / ss - ox) / scale
                if shape.contains(x, y):
                    self._blend(row + i, constant if constant is not None else _rgba(paint(x, y)))

    def _blend(self, k, color):
        r, g, b, a = color
        if a <= 0.0:
            return
        keep = 1.0 - a
        self.r[k] = r * a + self.r[k] * keep
        self.g[k] = g * a + self.g[k] * keep
        self.b[k] = b * a + self.b[k] * keep
        self.a[k] = a + self.a[k] * keep

    def pixels(self):
        """Rows of (r, g, b, a) byte tuples, top row first, colours not premultiplied."""
        ss, sw = self.ss, self.width * self.ss
        n = float(ss * ss)
        rows = []
        for y in range(self.height):
            row = []
            for x in range(self.width):
                sr = sg = sb = sa = 0.0
                for j in range(y * ss, y * ss + ss):
                    base = j * sw + x * ss
                    for k in range(base, base + ss):
                        sr += self.r[k]
                        sg += self.g[k]
                        sb += self.b[k]
                        sa += self.a[k]
                if sa <= 0.0:
                    row.append((0, 0, 0, 0))
                else:
                    row.append((_byte(sr / sa), _byte(sg / sa), _byte(sb / sa), _byte(255.0 * sa / n)))
            rows.append(row)
        return rows


def _rgba(color):
    if len(color) == 3:
        return color[0], color[1], color[2], 1.0
    return color[0], color[1], color[2], color[3] / 255.0


def _byte(value):
    return max(0, min(255, int(value + 0.5)))


def mix(c0, c1, t):
    """Linear blend of two colours, t from 0 (c0) to 1 (c1)."""
    t = max(0.0, min(1.0, t))
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


WHITE = (255, 255, 255)
BLACK = (0, 0, 0)

# ---------------------------------------------------------------------------------------------
# Flags. Each is drawn in units of the flag's height: y from 0 to 1, x from 0 to `w` (the flag's
# width in heights); `px` is one pixel in those units, for details that must stay visible at 16.


def hstripes(c, w, colors, weights=None):
    weights = weights or [1] * len(colors)
    total, y = float(sum(weights)), 0
    for color, weight in zip(colors, weights):
        c.fill(Rect(0, y / total, w, (y + weight) / total), color)
        y += weight


def vstripes(c, w, colors):
    for k, color in enumerate(colors):
        c.fill(Rect(w * k / len(colors), 0, w * (k + 1) / len(colors), 1), color)


def nordic_cross(c, w, unit, hoist, arm, color):
    """A cross whose vertical arm starts `hoist` units from the left; units of 1/unit height."""
    c.fill(Rect(hoist / unit, 0, (hoist + arm) / unit, 1), color)
    c.fill(Rect(0, 0.5 - arm / unit / 2, w, 0.5 + arm / unit / 2), color)


def flag_french(c, w, px):
    vstripes(c, w, [(0, 85, 164), WHITE, (239, 65, 53)])


def flag_english(c, w, px):
    blue, red = (1, 33, 105), (200, 16, 46)
    whole = Rect(0, 0, w, 1)
    c.fill(whole, blue)
    half_white, red_width = 3 / 30.0, max(2 / 30.0, 0.8 * px)
    down, up = ((0, 0), (w, 1)), ((0, 1), (w, 0))
    for p, q in (down, up):
        c.fill(Strip(p, q, -half_white, half_white, whole), WHITE)
    # The red diagonals are counterchanged: on the hoist side the broad white is above the red.
    left, right = Rect(0, 0, w / 2, 1), Rect(w / 2, 0, w, 1)
    c.fill(Strip(*down, 0, red_width, left), red)
    c.fill(Strip(*down, -red_width, 0, right), red)
    c.fill(Strip(*up, 0, red_width, left), red)
    c.fill(Strip(*up, -red_width, 0, right), red)
    c.fill(Rect(w / 2 - 5 / 30.0, 0, w / 2 + 5 / 30.0, 1), WHITE)
    c.fill(Rect(0, 0.5 - 5 / 30.0, w, 0.5 + 5 / 30.0), WHITE)
    c.fill(Rect(w / 2 - 3 / 30.0, 0, w / 2 + 3 / 30.0, 1), red)
    c.fill(Rect(0, 0.5 - 3 / 30.0, w, 0.5 + 3 / 30.0), red)


def flag_german(c, w, px):
    hstripes(c, w, [BLACK, (221, 0, 0), (255, 206, 0)])


def spanish_arms(c, cx, cy):
    red, gold, silver = (173, 21, 25), (250, 189, 0), (220, 220, 220)
    for side in (-1, 1):
        c.fill(Rect(cx + side * 0.16 - 0.025, cy - 0.12, cx + side * 0.16 + 0.025, cy + 0.16), silver)
        c.fill(Rect(cx + side * 0.16 - 0.035, cy - 0.15, cx + side * 0.16 + 0.035, cy - 0.11), gold)
    c.fill(Rect(cx - 0.09, cy - 0.22, cx + 0.09, cy - 0.14), gold)
    c.fill(Rect(cx - 0.05, cy - 0.20, cx + 0.05, cy - 0.16), red)
    body = shield(cx, cy - 0.14, 0.22, 0.32)
    c.fill(body, (130, 110, 60))
    inner = shield(cx, cy - 0.125, 0.19, 0.29)
    c.fill(inner, red)
    c.fill(Intersection(inner, Rect(cx, cy - 0.14, cx + 0.2, cy)), silver)
    c.fill(Intersection(inner, Rect(cx - 0.2, cy, cx, cy + 0.2)), gold)
    for k in range(2):
        c.fill(Intersection(inner, Rect(cx - 0.07 + k * 0.04, cy, cx - 0.05 + k * 0.04, cy + 0.2)), red)
    c.fill(Circle(cx - 0.045, cy - 0.07, 0.025), gold)
    c.fill(Circle(cx + 0.045, cy - 0.07, 0.025), (120, 40, 110))
    c.fill(Circle(cx + 0.045, cy + 0.06, 0.025), gold)


def flag_spanish(c, w, px):
    hstripes(c, w, [(198, 11, 30), (255, 196, 0), (198, 11, 30)], [1, 2, 1])
    spanish_arms(c, w * 0.36, 0.52)


def portuguese_arms(c, cx, cy, px):
    yellow, red, blue = (255, 229, 0), (255, 0, 0), (0, 40, 140)
    ring = max(0.05, 1.1 * px)
    c.fill(Difference(Circle(cx, cy, 0.25), Circle(cx, cy, 0.25 - ring)), yellow)
    equator = Rect(cx - 0.25, cy - ring / 2, cx + 0.25, cy + ring / 2)
    c.fill(Intersection(Circle(cx, cy, 0.25), equator), yellow)
    c.fill(Difference(Ellipse(cx, cy, 0.25, 0.11), Ellipse(cx, cy, 0.25 - ring, 0.11 - ring * 0.6)), yellow)
    c.fill(shield(cx, cy - 0.14, 0.2, 0.26), red)
    c.fill(shield(cx, cy - 0.105, 0.13, 0.19), WHITE)
    dot = 0.024
    for dx, dy in ((0, -0.055), (-0.04, 0), (0, 0), (0.04, 0), (0, 0.055)):
        c.fill(Rect(cx + dx - dot, cy + dy - 0.02 - dot, cx + dx + dot, cy + dy - 0.02 + dot), blue)


def flag_portuguese(c, w, px):
    c.fill(Rect(0, 0, w * 0.4, 1), (0, 102, 0))
    c.fill(Rect(w * 0.4, 0, w, 1), (255, 0, 0))
    portuguese_arms(c, w * 0.4, 0.5, px)


def flag_dutch(c, w, px):
    hstripes(c, w, [(174, 28, 40), WHITE, (33, 70, 139)])


def flag_danish(c, w, px):
    c.fill(Rect(0, 0, w, 1), (200, 16, 46))
    nordic_cross(c, w, 28.0, 12, 4, WHITE)


def flag_norwegian(c, w, px):
    c.fill(Rect(0, 0, w, 1), (186, 12, 47))
    nordic_cross(c, w, 16.0, 6, 4, WHITE)
    nordic_cross(c, w, 16.0, 7, 2, (0, 32, 91))


def flag_turkish(c, w, px):
    c.fill(Rect(0, 0, w, 1), (227, 10, 23))
    c.fill(Difference(Circle(0.53, 0.5, 0.25), Circle(0.594, 0.5, 0.2)), WHITE)
    c.fill(star(0.854, 0.5, 0.125, angle=180.0), WHITE)


def flag_bulgarian(c, w, px):
    hstripes(c, w, [WHITE, (0, 150, 110), (214, 38, 18)])


def flag_romanian(c, w, px):
    vstripes(c, w, [(0, 43, 127), (252, 209, 22), (206, 17, 38)])


def flag_chinese_simplified(c, w, px):
    yellow, u = (255, 222, 0), 1 / 20.0
    c.fill(Rect(0, 0, w, 1), (238, 28, 37))
    c.fill(star(5 * u, 5 * u, 3 * u), yellow)
    for sx, sy in ((10, 2), (12, 4), (12, 7), (10, 9)):
        toward_big = math.degrees(math.atan2(5 - sy, 5 - sx))
        c.fill(star(sx * u, sy * u, max(u, 0.9 * px), angle=toward_big), yellow)


def flag_italian(c, w, px):
    vstripes(c, w, [(0, 146, 70), WHITE, (206, 43, 55)])


def flag_czech(c, w, px):
    hstripes(c, w, [WHITE, (215, 20, 26)])
    c.fill(Polygon([(0, 0), (w / 2, 0.5), (0, 1)]), (17, 69, 126))


def flag_greek(c, w, px):
    blue = (13, 94, 175)
    hstripes(c, w, [blue if k % 2 == 0 else WHITE for k in range(9)])
    c.fill(Rect(0, 0, 5 / 9.0, 5 / 9.0), blue)
    c.fill(Rect(2 / 9.0, 0, 3 / 9.0, 5 / 9.0), WHITE)
    c.fill(Rect(0, 2 / 9.0, 5 / 9.0, 3 / 9.0), WHITE)


def flag_polish(c, w, px):
    hstripes(c, w, [WHITE, (220, 20, 60)])


def flag_hebrew(c, w, px):
    blue = (0, 56, 184)
    c.fill(Rect(0, 0, w, 1), WHITE)
    c.fill(Rect(0, 15 / 160.0, w, 40 / 160.0), blue)
    c.fill(Rect(0, 120 / 160.0, w, 145 / 160.0), blue)
    line = max(0.035, 0.85 * px)
    c.fill(triangle_outline(w / 2, 0.5, 0.2, -90.0, line), blue)
    c.fill(triangle_outline(w / 2, 0.5, 0.2, 90.0, line), blue)


def flag_vietnamese(c, w, px):
    c.fill(Rect(0, 0, w, 1), (218, 37, 29))
    c.fill(star(w / 2, 0.52, 0.31), (255, 255, 0))


def flag_japanese(c, w, px):
    c.fill(Rect(0, 0, w, 1), WHITE)
    c.fill(Circle(w / 2, 0.5, 0.3), (188, 0, 45))


def flag_hungarian(c, w, px):
    hstripes(c, w, [(206, 41, 57), WHITE, (71, 112, 80)])


def serbian_arms(c, cx, px):
    red, gold = (198, 54, 60), (237, 185, 41)
    c.fill(Polygon([(cx - 0.1, 0.26), (cx - 0.11, 0.15), (cx - 0.05, 0.19), (cx, 0.12),
                    (cx + 0.05, 0.19), (cx + 0.11, 0.15), (cx + 0.1, 0.26)]), gold)
    c.fill(shield(cx, 0.25, 0.34, 0.5), gold)
    c.fill(shield(cx, 0.27, 0.30, 0.46), red)
    eagle = Polygon([(cx - 0.13, 0.33), (cx - 0.05, 0.42), (cx - 0.06, 0.31), (cx, 0.36),
                     (cx + 0.06, 0.31), (cx + 0.05, 0.42), (cx + 0.13, 0.33), (cx + 0.1, 0.52),
                     (cx + 0.04, 0.56), (cx + 0.05, 0.68), (cx, 0.64), (cx - 0.05, 0.68),
                     (cx - 0.04, 0.56), (cx - 0.1, 0.52)])
    c.fill(eagle, WHITE)
    c.fill(shield(cx, 0.43, 0.09, 0.12), red)
    arm = max(0.02, 0.6 * px)
    c.fill(Rect(cx - arm / 2, 0.44, cx + arm / 2, 0.54), WHITE)
    c.fill(Rect(cx - 0.035, 0.475 - arm / 2, cx + 0.035, 0.475 + arm / 2), WHITE)


def flag_serbian_latin(c, w, px):
    hstripes(c, w, [(198, 54, 60), (12, 64, 118), WHITE])
    serbian_arms(c, w * 0.34, px)


FLAGS = [
    ("french", flag_french), ("english", flag_english), ("german", flag_german),
    ("spanish", flag_spanish), ("portuguese", flag_portuguese), ("dutch", flag_dutch),
    ("danish", flag_danish), ("turkish", flag_turkish), ("bulgarian", flag_bulgarian),
    ("romanian", flag_romanian), ("chinese_simplified", flag_chinese_simplified),
    ("italian", flag_italian), ("czech", flag_czech), ("norwegian", flag_norwegian),
    ("greek", flag_greek), ("polish", flag_polish), ("hebrew", flag_hebrew),
    ("vietnamese", flag_vietnamese), ("japanese", flag_japanese),
    ("hungarian", flag_hungarian), ("serbian_latin", flag_serbian_latin),
]


def flag_finish(c, w, px):
    """A light sheen from the top, a little shade at the bottom and a darker edge."""
    def sheen(x, y):
        if y < 0.5:
            return (255, 255, 255, 34 * (0.5 - y) * 2)
        return (0, 0, 0, 26 * (y - 0.5) * 2)
    c.fill(Rect(0, 0, w, 1), sheen)
    c.fill(frame(0, 0, w, 1, px), (0, 0, 0, 80))


def draw_flag(draw, size):
    """A flag icon: the flag is 4:3, as wide as the icon and centred vertically."""
    height = size * 3 // 4
    top = (size - height) // 2
    c = Canvas(size, size)
    c.set_units(float(height), 0.0, float(top))
    w, px = size / float(height), 1.0 / height
    draw(c, w, px)
    flag_finish(c, w, px)
    return c.pixels()


# ---------------------------------------------------------------------------------------------
# Program icon: a parcel on a blue-grey disc, with a drafting compass standing on it. Drawn in a
# 48 by 48 unit square whatever the size; the compass is left out at 16 pixels.


def draw_disc(c):
    def shade(x, y):
        t = ((x - 10) + (y - 8)) / 56.0
        return mix((128, 158, 196), (44, 68, 104), t)
    c.fill(Circle(24, 24, 22.8), (30, 46, 72))
    c.fill(Circle(24, 24, 21.6), shade)
    c.fill(Difference(Ellipse(24, 16, 17, 12), Circle(24, 30, 22)), (255, 255, 255, 26))


BOX_LID = [(24, 18.5), (9.5, 25.0), (24, 31.5), (38.5, 25.0)]  # back, left, front, right
BOX_DEPTH = 11.0
COMPASS_HINGE, COMPASS_NEEDLE, COMPASS_PENCIL = (28.5, 5.5), (24.0, 25.0), (34.0, 25.0)


def dropped(p):
    return p[0], p[1] + BOX_DEPTH


def draw_box(c):
    back, left, front, right = BOX_LID
    c.fill(Ellipse(25.5, front[1] + BOX_DEPTH - 0.5, 16.0, 3.8), (10, 20, 40, 90))
    c.fill(Polygon([left, front, dropped(front), dropped(left)]),
           lambda x, y: mix((226, 172, 100), (200, 144, 76), (y - left[1]) / 18.0))
    c.fill(Polygon([front, right, dropped(right), dropped(front)]),
           lambda x, y: mix((186, 134, 72), (150, 102, 50), (y - right[1]) / 18.0))
    c.fill(Polygon([back, left, front, right]), (250, 224, 174))
    draw_box_tape(c)
    outline = [back, left, dropped(left), dropped(front), dropped(right), right, back]
    for p, q in zip(outline, outline[1:]):
        c.fill(Segment(p, q, 1.0), (96, 62, 30))
    c.fill(Segment(front, dropped(front), 0.6), (255, 238, 200, 120))
    c.fill(Segment(left, front, 0.6), (255, 238, 200, 170))
    c.fill(Segment(front, right, 0.6), (255, 238, 200, 120))


def draw_box_tape(c):
    back, left, front, right = BOX_LID
    start, end = along(back, left, 0.5), along(right, front, 0.5)
    across = (left[0] - back[0], left[1] - back[1])
    side = (right[0] - front[0], right[1] - front[1])
    c.fill(Polygon([offset(start, across, -1.7), offset(start, across, 1.7),
                    offset(end, across, 1.7), offset(end, across, -1.7)]), (255, 244, 218))
    c.fill(Polygon([offset(end, side, -1.7), offset(end, side, 1.7),
                    dropped(offset(end, side, 1.7)), dropped(offset(end, side, -1.7))]), (214, 194, 154))


def draw_pencil_arc(c):
    """The circle the compass has drawn on the parcel's lid, foreshortened like the lid."""
    lid = Polygon(BOX_LID)
    cx, cy = COMPASS_NEEDLE
    flat = 6.5 / 14.5  # the lid's own foreshortening
    rx = math.hypot(COMPASS_PENCIL[0] - cx, (COMPASS_PENCIL[1] - cy) / flat)
    ring = Difference(Ellipse(cx, cy, rx + 0.55, rx * flat + 0.45),
                      Ellipse(cx, cy, rx - 0.55, rx * flat - 0.45))
    c.fill(Intersection(ring, lid), (84, 62, 44, 230))


def draw_compass(c):
    hinge, needle, pencil = COMPASS_HINGE, COMPASS_NEEDLE, COMPASS_PENCIL
    dark, steel, light = (26, 34, 48), (176, 188, 204), (236, 242, 250)
    middle = along(needle, pencil, 0.5)
    handle = along(middle, hinge, 1.12)
    c.fill(Segment(hinge, handle, 2.6), dark)
    c.fill(Segment(hinge, handle, 1.2), steel)
    for tip in (needle, pencil):
        c.fill(Segment(hinge, along(hinge, tip, 0.86), 3.4), dark)
    c.fill(Segment(along(hinge, needle, 0.8), needle, 1.2), dark)
    c.fill(Segment(along(hinge, pencil, 0.8), along(hinge, pencil, 0.95), 2.2), (214, 132, 48))
    c.fill(Segment(along(hinge, pencil, 0.9), pencil, 0.9), dark)
    for tip in (needle, pencil):
        c.fill(Segment(hinge, along(hinge, tip, 0.84), 1.9), steel)
        c.fill(Segment(along(hinge, tip, 0.12), along(hinge, tip, 0.7), 0.6), light)
    c.fill(Circle(hinge[0], hinge[1], 2.7), dark)
    c.fill(Circle(hinge[0], hinge[1], 1.9), (206, 216, 230))
    c.fill(Circle(hinge[0] - 0.5, hinge[1] - 0.5, 0.7), light)


def draw_program_icon(size):
    c = Canvas(size, size)
    c.set_units(size / 48.0)
    draw_disc(c)
    draw_box(c)
    if size >= 24:
        draw_pencil_arc(c)
        draw_compass(c)
    return c.pixels()


# ---------------------------------------------------------------------------------------------
# Side bitmap: a blue banner with a wireframe cube among drafting lines.

SIDE_WIDTH, SIDE_HEIGHT = 87, 171


def draw_side_background(c):
    def gradient(x, y):
        t = y / SIDE_HEIGHT
        base = mix((10, 30, 72), (52, 112, 178), t)
        return mix(base, (4, 16, 44), (x / SIDE_WIDTH) * 0.25)
    c.fill(Rect(0, 0, SIDE_WIDTH, SIDE_HEIGHT), gradient)

    def glow(x, y):
        return (150, 196, 245, max(0.0, 70 * (1 - math.hypot(x - 44, y - 104) / 48)))
    c.fill(Circle(44, 104, 48), glow)


def draw_drafting_grid(c):
    faint = (200, 225, 255, 22)
    for x in range(6, SIDE_WIDTH, 12):
        c.fill(Rect(x, 0, x + 0.6, SIDE_HEIGHT), faint)
    for y in range(8, SIDE_HEIGHT, 12):
        c.fill(Rect(0, y, SIDE_WIDTH, y + 0.6), faint)
    c.fill(Difference(Circle(44, 104, 38), Circle(44, 104, 37.3)), (210, 232, 255, 70))
    c.fill(Difference(Circle(44, 104, 26), Circle(44, 104, 25.5)), (210, 232, 255, 40))
    c.fill(Segment((-4, 150), (92, 50), 0.6), (210, 232, 255, 55))
    c.fill(Segment((-4, 58), (92, 152), 0.6), (210, 232, 255, 55))
    c.fill(Rect(6, 156, 81, 156.7), (210, 232, 255, 90))
    for x in range(6, 82, 5):
        tick = 3 if (x - 6) % 25 == 0 else 1.6
        c.fill(Rect(x, 156 - tick, x + 0.6, 156), (210, 232, 255, 90))


def cube_vertices(cx, cy, size, yaw, pitch):
    """The 8 corners of a cube turned by yaw then pitch, projected orthographically."""
    cy_, sy_ = math.cos(math.radians(yaw)), math.sin(math.radians(yaw))
    cp, sp = math.cos(math.radians(pitch)), math.sin(math.radians(pitch))
    points = []
    for k in range(8):
        x, y, z = ((k & 1) * 2 - 1, ((k >> 1) & 1) * 2 - 1, ((k >> 2) & 1) * 2 - 1)
        x, z = x * cy_ + z * sy_, -x * sy_ + z * cy_
        y, z = y * cp - z * sp, y * sp + z * cp
        points.append((cx + x * size / 2, cy + y * size / 2, z))
    return points


CUBE_FACES = [(0, 1, 3, 2), (4, 5, 7, 6), (0, 1, 5, 4), (2, 3, 7, 6), (0, 2, 6, 4), (1, 3, 7, 5)]



def draw_cube(c, cx, cy, size, yaw, pitch, strength):
    points = cube_vertices(cx, cy, size, yaw, pitch)
    visible = []
    for face in CUBE_FACES:
        normal_z = sum(points[i][2] for i in face) / 4.0
        visible.append(normal_z < 0)
    edges = []
    for a in range(8):
        for b in range(a + 1, 8):
            if bin(a ^ b).count("1") == 1:
                edges.append((a, b))
    for face, shown in zip(CUBE_FACES, visible):
        if shown:
            top = min(points[i][1] for i in face) < cy - size * 0.3
            tint = (200, 230, 255, 60 * strength) if top else (120, 170, 230, 34 * strength)
            c.fill(Polygon([points[i][:2] for i in face]), tint)
    for a, b in edges:
        front = any(shown and a in face and b in face for face, shown in zip(CUBE_FACES, visible))
        alpha = (235 if front else 80) * strength
        c.fill(Segment(points[a][:2], points[b][:2], 1.1 if front else 0.7), (214, 236, 255, alpha))
    for x, y, z in points:
        if z < 0.5:
            c.fill(Circle(x, y, 1.3), (240, 248, 255, 230 * strength))


def draw_side_bitmap():
    c = Canvas(SIDE_WIDTH, SIDE_HEIGHT, supersample=3)
    draw_side_background(c)
    draw_drafting_grid(c)
    c.fill(Ellipse(44, 140, 24, 4), (4, 14, 36, 70))
    draw_cube(c, 44, 104, 34, 32.0, 24.0, 1.0)
    draw_cube(c, 62, 38, 14, 18.0, 30.0, 0.55)
    draw_cube(c, 24, 56, 9, 50.0, 20.0, 0.4)
    return [[p[:3] for p in row] for row in c.pixels()]


# ---------------------------------------------------------------------------------------------
# Palette: median cut over the picture's colours, then each pixel takes the nearest entry.


def median_cut(histogram, count):
    boxes = [sorted(histogram.items())]
    while len(boxes) < count:
        best, best_range = None, 0
        for k, box in enumerate(boxes):
            if len(box) < 2:
                continue
            spread = max(max(c[ch] for c, _ in box) - min(c[ch] for c, _ in box) for ch in range(3))
            if spread > best_range:
                best, best_range = k, spread
        if best is None:
            break
        box = boxes.pop(best)
        channel = max(range(3), key=lambda ch: (max(c[ch] for c, _ in box) - min(c[ch] for c, _ in box), -ch))
        box.sort(key=lambda item: (item[0][channel], item[0]))
        half, running, split = sum(n for _, n in box) / 2.0, 0, 1
        for k, (_, n) in enumerate(box[:-1]):
            running += n
            split = k + 1
            if running >= half:
                break
        boxes[best:best] = [box[:split], box[split:]]
    palette = []
    for box in boxes:
        total = sum(n for _, n in box)
        palette.append(tuple(_byte(sum(c[ch] * n for c, n in box) / total) for ch in range(3)))
    return palette


def quantise(rows):
    histogram = {}
    for row in rows:
        for color in row:
            histogram[color] = histogram.get(color, 0) + 1
    palette = median_cut(histogram, 256)
    nearest = {}
    for color in sorted(histogram):
        nearest[color] = min(range(len(palette)), key=lambda k: (
            sum((color[ch] - palette[k][ch]) ** 2 for ch in range(3)), k))
    indices = [[nearest[color] for color in row] for row in rows]
    return palette + [(0, 0, 0)] * (256 - len(palette)), indices


# ---------------------------------------------------------------------------------------------
# File writers.


def icon_image(rows):
    """One icon image: BITMAPINFOHEADER, 32-bit BGRA rows bottom-up, then the AND mask."""
    size = len(rows)
    color = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            color += bytes((b, g, r, a))
    stride = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(color) + len(mask), 0, 0, 0, 0)
    return header + bytes(color) + bytes(mask)


def ico_file(images):
    """An .ico holding the given square images (lists of rows), smallest first."""
    blobs = [icon_image(rows) for rows in images]
    out = bytearray(struct.pack("<HHH", 0, 1, len(blobs)))
    offset = 6 + 16 * len(blobs)
    for rows, blob in zip(images, blobs):
        size = len(rows) % 256
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    return bytes(out)


def bmp8_file(palette, indices):
    """An 8-bit bottom-up .bmp with a 256-entry palette."""
    height, width = len(indices), len(indices[0])
    stride = (width + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(indices):
        pixels += bytes(row) + bytes(stride - width)
    offset = 14 + 40 + 4 * 256
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    colors = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return head + info + colors + bytes(pixels)


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: generate_images.py OUTPUT_DIR\n")
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    write(os.path.join(out, "program.ico"), ico_file([draw_program_icon(s) for s in (16, 32, 48)]))
    for name, draw in FLAGS:
        write(os.path.join(out, "flag_%s.ico" % name), ico_file([draw_flag(draw, s) for s in (16, 32)]))
    write(os.path.join(out, "side.bmp"), bmp8_file(*quantise(draw_side_bitmap())))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
