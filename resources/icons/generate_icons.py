#!/usr/bin/env python3
"""Draws the program's icon resources into this folder.

Python 3 standard library only. The build compiles the committed files; run this again after
changing a design:  python3 resources/icons/generate_icons.py

Every picture is drawn on a 24 x 24 design grid (y grows downwards) and scaled to the canvas,
so one design serves every size. Shapes are signed distance functions: negative inside, in
design units. A pixel far from an edge is filled or skipped from its centre alone; pixels
near an edge are supersampled, which gives the anti-aliasing.
"""

import math
import os
import struct
import zlib

GRID = 24.0
SUBSAMPLES = 6  # per axis, for pixels that straddle an edge
BMP_BACKGROUND = (240, 240, 240)  # the usual light toolbar grey, no magenta key


# ----------------------------------------------------------------------------------------------
# Colours

def rgba(hexcode, alpha=1.0):
    """'#rrggbb' -> (r, g, b, a) with every channel in 0..1."""
    h = hexcode.lstrip('#')
    return (int(h[0:2], 16) / 255, int(h[2:4], 16) / 255, int(h[4:6], 16) / 255, alpha)


def shade(colour, factor):
    """Darker below 1, lighter (towards white) above 1; alpha unchanged."""
    r, g, b, a = colour
    if factor <= 1:
        return (r * factor, g * factor, b * factor, a)
    t = factor - 1
    return (r + (1 - r) * t, g + (1 - g) * t, b + (1 - b) * t, a)


def mix(c0, c1, t):
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def linear(p0, c0, p1, c1):
    """Paint that runs from c0 at p0 to c1 at p1, clamped beyond them."""
    dx, dy = p1[0] - p0[0], p1[1] - p0[1]
    length2 = dx * dx + dy * dy

    def paint(x, y):
        t = ((x - p0[0]) * dx + (y - p0[1]) * dy) / length2
        return mix(c0, c1, min(1.0, max(0.0, t)))
    return paint


def vertical(y0, c0, y1, c1):
    return linear((0, y0), c0, (0, y1), c1)


# ----------------------------------------------------------------------------------------------
# Shapes: each has d(x, y), the signed distance, and a bounding box (x0, y0, x1, y1) outside
# which d is positive. Combinations keep d a lower bound of the true distance outside, which is
# all the edge test needs.

class Shape:
    def __init__(self, d, box):
        self.d = d
        self.box = box

    def __or__(self, other):
        a, b = self.d, other.d
        return Shape(lambda x, y: min(a(x, y), b(x, y)), union_box(self.box, other.box))

    def __and__(self, other):
        a, b = self.d, other.d
        return Shape(lambda x, y: max(a(x, y), b(x, y)), intersect_box(self.box, other.box))

    def __sub__(self, other):
        a, b = self.d, other.d
        return Shape(lambda x, y: max(a(x, y), -b(x, y)), self.box)

    def grow(self, r):
        """Offset outwards by r (inwards when negative); corners round off when growing."""
        a = self.d
        x0, y0, x1, y1 = self.box
        m = max(r, 0)
        return Shape(lambda x, y: a(x, y) - r, (x0 - m, y0 - m, x1 + m, y1 + m))


def union_box(a, b):
    return (min(a[0], b[0]), min(a[1], b[1]), max(a[2], b[2]), max(a[3], b[3]))


def intersect_box(a, b):
    return (max(a[0], b[0]), max(a[1], b[1]), min(a[2], b[2]), min(a[3], b[3]))


def union(*shapes):
    result = shapes[0]
    for s in shapes[1:]:
        result = result | s
    return result


def circle(cx, cy, r):
    return Shape(lambda x, y: math.hypot(x - cx, y - cy) - r, (cx - r, cy - r, cx + r, cy + r))


def ellipse(cx, cy, rx, ry):
    k = min(rx, ry)
    return Shape(lambda x, y: (math.hypot((x - cx) / rx, (y - cy) / ry) - 1) * k,
                 (cx - rx, cy - ry, cx + rx, cy + ry))


def rect(x0, y0, x1, y1, r=0.0):
    """Axis-aligned rectangle with corner radius r."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def d(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0), max(qy, 0))
        return outside + min(max(qx, qy), 0) - r
    return Shape(d, (x0, y0, x1, y1))


def segment_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


def polyline(points, width):
    """Stroke with round joins and caps."""
    segs = list(zip(points, points[1:]))
    h = width / 2

    def d(x, y):
        return min(segment_distance(x, y, a[0], a[1], b[0], b[1]) for a, b in segs) - h
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return Shape(d, (min(xs) - h, min(ys) - h, max(xs) + h, max(ys) + h))


def line(ax, ay, bx, by, width):
    return polyline([(ax, ay), (bx, by)], width)


def polygon(points):
    """Filled polygon (even-odd rule)."""
    edges = list(zip(points, points[1:] + points[:1]))

    def d(x, y):
        inside = False
        best = float('inf')
        for (ax, ay), (bx, by) in edges:
            best = min(best, segment_distance(x, y, ax, ay, bx, by))
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                inside = not inside
        return -best if inside else best
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return Shape(d, (min(xs), min(ys), max(xs), max(ys)))


def arc_points(cx, cy, r, a0, a1, steps=24):
    """Points along a circle from angle a0 to a1 (degrees, clockwise on screen)."""
    return [(cx + r * math.cos(math.radians(a0 + (a1 - a0) * i / steps)),
             cy + r * math.sin(math.radians(a0 + (a1 - a0) * i / steps))) for i in range(steps + 1)]


def bezier_points(p0, p1, p2, p3, steps=24):
    pts = []
    for i in range(steps + 1):
        t = i / steps
        u = 1 - t
        pts.append(tuple(u * u * u * a + 3 * u * u * t * b + 3 * u * t * t * c + t * t * t * e
                         for a, b, c, e in zip(p0, p1, p2, p3)))
    return pts


def star(cx, cy, outer, inner, points=4, turn=-90.0):
    pts = []
    for i in range(points * 2):
        r = outer if i % 2 == 0 else inner
        a = math.radians(turn + 180.0 * i / points)
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return polygon(pts)


def frame(origin, angle):
    """Maps (u, v) in a frame turned by angle (degrees) and placed at origin to design units."""
    c, s = math.cos(math.radians(angle)), math.sin(math.radians(angle))

    def to(u, v):
        return (origin[0] + u * c - v * s, origin[1] + u * s + v * c)
    return to


# ----------------------------------------------------------------------------------------------
# Canvas

class Canvas:
    def __init__(self, size, ratio=1):
        """size: pixels per side; ratio: device pixels per logical pixel (2 for an @2x file)."""
        self.size = size
        self.logical_size = size // ratio
        self.scale = size / GRID  # pixels per design unit
        self.pixel = ratio / self.scale  # one logical pixel in design units
        # Outline: one pixel on small icons, a little thicker on large ones.
        self.outline = max(self.pixel, 0.75)
        self.rgba = [0.0] * (size * size * 4)  # premultiplied

    def fill(self, shape, paint):
        """Composites paint (a colour or a function of design x, y) over the shape's area."""
        n, k = self.size, self.scale
        x0, y0, x1, y1 = shape.box
        i0, i1 = max(0, int(math.floor(x0 * k)) - 1), min(n, int(math.ceil(x1 * k)) + 1)
        j0, j1 = max(0, int(math.floor(y0 * k)) - 1), min(n, int(math.ceil(y1 * k)) + 1)
        d = shape.d
        edge = 0.75 / k  # beyond half a pixel diagonal from the centre nothing changes
        step = 1.0 / (SUBSAMPLES * k)
        offsets = [(s + 0.5) * step for s in range(SUBSAMPLES)]
        total = SUBSAMPLES * SUBSAMPLES
        for j in range(j0, j1):
            for i in range(i0, i1):
                cx, cy = (i + 0.5) / k, (j + 0.5) / k
                dc = d(cx, cy)
                if dc > edge:
                    continue
                if dc < -edge:
                    cover = 1.0
                else:
                    left, top = i / k, j / k
                    hits = sum(1 for oy in offsets for ox in offsets if d(left + ox, top + oy) <= 0)
                    if hits == 0:
                        continue
                    cover = hits / total
                r, g, b, a = paint(cx, cy) if callable(paint) else paint
                a *= cover
                p = (j * n + i) * 4
                px = self.rgba
                keep = 1 - a
                px[p] = r * a + px[p] * keep
                px[p + 1] = g * a + px[p + 1] * keep
                px[p + 2] = b * a + px[p + 2] * keep
                px[p + 3] = a + px[p + 3] * keep

    def outlined(self, shape, paint, line_colour=None, width=None):
        """Fills the shape with a thin darker rim, drawn inside its edge."""
        if line_colour is None:
            base = paint(12, 12) if callable(paint) else paint
            line_colour = shade(base, 0.62)
        self.fill(shape, line_colour)
        self.fill(shape.grow(-(width if width is not None else self.outline)), paint)

    def pixels(self, background=None):
        """Straight-alpha RGBA bytes, or RGB over the background when one is given."""
        out = bytearray()
        for p in range(0, len(self.rgba), 4):
            r, g, b, a = self.rgba[p:p + 4]
            if background is None:
                if a > 0:
                    r, g, b = r / a, g / a, b / a
                out += bytes(to_byte(v) for v in (r, g, b, a))
            else:
                out += bytes(to_byte(v + bg / 255 * (1 - a)) for v, bg in zip((r, g, b), background))
        return out


def to_byte(v):
    return max(0, min(255, int(round(v * 255))))


# ----------------------------------------------------------------------------------------------
# File formats

def png_bytes(size, rgba_bytes):
    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data
                + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff))
    stride = size * 4
    raw = b''.join(b'\x00' + rgba_bytes[y * stride:(y + 1) * stride] for y in range(size))
    return (b'\x89PNG\r\n\x1a\n'
            + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9))
            + chunk(b'IEND', b''))


def bmp_bytes(size, rgb_bytes):
    """24-bit bottom-up BMP with rows padded to four bytes."""
    row_size = (size * 3 + 3) & ~3
    rows = []
    for y in reversed(range(size)):
        row = bytearray()
        for x in range(size):
            r, g, b = rgb_bytes[(y * size + x) * 3:(y * size + x) * 3 + 3]
            row += bytes((b, g, r))
        row += b'\x00' * (row_size - len(row))
        rows.append(bytes(row))
    data = b''.join(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 14 + 40) + header + data


def ico_dib(size, rgba_bytes):
    """A 32-bit icon entry: header of double height, BGRA rows bottom-up, then the AND mask."""
    xor = bytearray()
    mask = bytearray()
    mask_row = ((size + 31) // 32) * 4
    for y in reversed(range(size)):
        bits = bytearray(mask_row)
        for x in range(size):
            r, g, b, a = rgba_bytes[(y * size + x) * 4:(y * size + x) * 4 + 4]
            xor += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def ico_bytes(entries):
    """entries: (size, rgba bytes). Sizes of 256 are stored as PNG, smaller ones as DIB."""
    images = [png_bytes(s, px) if s >= 256 else ico_dib(s, px) for s, px in entries]
    offset = 6 + 16 * len(entries)
    directory = struct.pack('<HHH', 0, 1, len(entries))
    for (s, _), data in zip(entries, images):
        directory += struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return directory + b''.join(images)


# ----------------------------------------------------------------------------------------------
# Designs

INK = rgba('#1f2937')


def draw_open_folder(cv):
    amber = rgba('#d99a2b')
    rim = rgba('#8a5a0c')
    back = rect(2, 5, 10, 9, 1.2) | rect(2, 7, 20.5, 19.5, 1.2)
    cv.outlined(back, vertical(5, shade(amber, 1.1), 19, shade(amber, 0.92)), rim)
    paper = rect(5, 8, 18, 16)
    cv.outlined(paper, rgba('#fbfbf8'), rgba('#9aa1ab'))
    flap = polygon([(6.6, 11.2), (22.6, 11.2), (19.6, 19.5), (2.2, 19.5)]).grow(0.4)
    cv.outlined(flap, vertical(11, rgba('#ffdf7a'), 20, rgba('#f3b634')), rim)


def draw_save_disk(cv):
    blue = rgba('#3579d4')
    body = polygon([(3, 3), (18.5, 3), (21, 5.5), (21, 21), (3, 21)]).grow(0.8)
    cv.outlined(body, vertical(2, shade(blue, 1.15), 22, shade(blue, 0.9)), rgba('#173c73'))
    shutter = rect(7, 2.2, 17, 9.2, 0.6)
    cv.outlined(shutter, vertical(2, rgba('#eef2f6'), 9, rgba('#c9d1db')), rgba('#5b6675'))
    cv.fill(rect(13.2, 3.8, 15.4, 7.6, 0.3), rgba('#3a4452'))
    label = rect(5.5, 12.5, 18.5, 21.8, 0.8)
    cv.outlined(label, rgba('#fbfcfe'), rgba('#5b6675'))
    for y in (15.5, 18.5):
        cv.fill(rect(8, y - 0.5, 16, y + 0.5), rgba('#9aa6b6'))


def draw_quit(cv):
    cross = line(5.5, 5.5, 18.5, 18.5, 5.2) | line(18.5, 5.5, 5.5, 18.5, 5.2)
    cv.outlined(cross, vertical(4, rgba('#f2655c'), 20, rgba('#cc2a20')), rgba('#8a1a12'))


def draw_magnifier(cv, sign):
    handle = line(15.2, 15.2, 20.6, 20.6, 4.6)
    cv.outlined(handle, linear((15, 15), rgba('#5b6678'), (21, 21), rgba('#3a4250')),
                rgba('#232a33'))
    lens = circle(10, 10, 7.8)
    cv.outlined(lens, rgba('#5e6e84'), rgba('#2f3946'))
    glass = circle(10, 10, 5.6)
    cv.fill(glass, linear((5, 5), rgba('#ffffff'), (14, 15), rgba('#cfe6fb')))
    cv.fill(glass - glass.grow(-cv.pixel), rgba('#2f3946', 0.7))  # inner rim
    bar = rgba('#1d5fbf')
    strokes = line(6.6, 10, 13.4, 10, 2.4)
    if sign == '+':
        strokes = strokes | line(10, 6.6, 10, 13.4, 2.4)
    cv.fill(strokes, bar)


def draw_funnel(cv):
    body = polygon([(3, 4), (21, 4), (14, 12.6), (14, 18.6), (10, 21.2), (10, 12.6)]).grow(0.6)
    cv.outlined(body, linear((3, 4), rgba('#5db3ec'), (21, 16), rgba('#2270b5')), rgba('#15497a'))
    rim = ellipse(12, 4.6, 8.2, 1.5)
    cv.fill(rim, rgba('#b9e0fa'))


def draw_run(cv):
    triangle = polygon([(5.6, 5.2), (17.6, 12.6), (5.6, 20)]).grow(1.4)
    cv.outlined(triangle, linear((4, 4), rgba('#66d36e'), (18, 20), rgba('#2b9a3a')),
                rgba('#176b25'))
    sparkle = star(18.8, 5.2, 4.8, 1.3)
    cv.outlined(sparkle, rgba('#ffd23a'), rgba('#b07a06'), cv.pixel)


def draw_pen_line(cv):
    tip = (9.6, 19.6)
    trail = polyline(bezier_points((1.6, 19.6), (4.2, 14.2), (6.4, 25), tip, 20), 2.0)
    cv.fill(trail, rgba('#e03a30'))
    to = frame(tip, -52)  # u runs from the tip up and to the right
    w = 2.6
    wood = polygon([to(0, 0), to(4.2, -w), to(4.2, w)])
    body = polygon([to(4.2, -w), to(14.5, -w), to(14.5, w), to(4.2, w)])
    cap = polygon([to(14.5, -w), to(16.3, -w), to(17.2, -w + 1), to(17.2, w - 1), to(16.3, w),
                   to(14.5, w)])
    outline_colour = rgba('#2b3340')
    cv.fill((wood | body | cap).grow(cv.outline), outline_colour)
    cv.fill(wood, rgba('#f4d7a1'))
    cv.fill(body, linear(to(0, -w), rgba('#4f8fe6'), to(0, w), rgba('#245cb0')))
    cv.fill(polygon([to(4.2, -w), to(14.5, -w), to(14.5, -w + 1.2), to(4.2, -w + 1.2)]),
            rgba('#8dbaf3'))
    cv.fill(cap, rgba('#9aa4b2'))
    cv.fill(polygon([to(0, 0), to(1.6, -0.95), to(1.6, 0.95)]).grow(0.15), rgba('#e03a30'))


def draw_eraser(cv):
    """A block eraser, pink end down, over the stroke it has wiped."""
    cv.fill(line(2.5, 20.5, 11, 20.5, 1.6), rgba('#9aa4b2', 0.7))
    to = frame((11.5, 15.5), -40)  # u runs from the pink end up and to the right
    w = 4.2
    pink = polygon([to(-4.6, -w), to(1.2, -w), to(1.2, w), to(-4.6, w)])
    blue = polygon([to(1.2, -w), to(9.6, -w), to(9.6, w), to(1.2, w)])
    block = (pink | blue).grow(0.6)
    cv.fill(block.grow(cv.outline), rgba('#3a2d3c'))
    cv.fill(pink.grow(0.6) & block, rgba('#f48fa6'))
    cv.fill(blue.grow(0.6) & block, linear(to(0, -w), rgba('#7aa8f0'), to(0, w), rgba('#3f74c8')))
    cv.fill(line(*to(1.2, -w - 0.4), *to(1.2, w + 0.4), cv.pixel * 0.9), rgba('#3a2d3c', 0.6))


def draw_brush(cv):
    """A round brush laying down a blue mark."""
    cv.fill(polyline(bezier_points((2, 20), (5, 15), (8, 22), (11, 17), 20), 3.2),
            rgba('#0078ff', 0.75))
    to = frame((11.2, 16.8), -50)  # u runs from the bristles' tip up the handle
    tip = polygon([to(0, 0), to(2.2, -2.1), to(4.6, -2.1), to(4.6, 2.1), to(2.2, 2.1)])
    ferrule = polygon([to(4.6, -2.1), to(7.6, -2.1), to(7.6, 2.1), to(4.6, 2.1)])
    handle = polygon([to(7.6, -1.5), to(15.6, -1.1), to(15.6, 1.1), to(7.6, 1.5)])
    cv.fill((tip | ferrule | handle).grow(cv.outline), rgba('#2b3340'))
    cv.fill(tip, rgba('#0078ff'))
    cv.fill(ferrule, linear(to(0, -2.1), rgba('#d7dde6'), to(0, 2.1), rgba('#8a94a3')))
    cv.fill(handle, linear(to(0, -1.5), rgba('#c98a4b'), to(0, 1.5), rgba('#8a5527')))


def draw_undo(cv):
    path = [(7.5, 8)] + arc_points(13, 13.5, 5.5, -90, 90) + [(7, 19)]
    arrow = polyline(path, 3.4) | polygon([(2, 8), (8.6, 2.6), (8.6, 13.4)]).grow(0.5)
    cv.outlined(arrow, vertical(3, rgba('#4d94ef'), 21, rgba('#2262c4')), rgba('#153f80'))


def draw_app(cv):
    """A sky photo with a wire that an eraser is wiping away."""
    small = cv.logical_size <= 16
    tile = rect(1.5, 2, 22.5, 22, 2.6)
    cv.fill(tile, rgba('#2e5677'))
    inner = tile.grow(-cv.outline)
    cv.fill(inner, vertical(2, rgba('#3d8ee6'), 18, rgba('#c3e4ff')))
    cv.fill(circle(18.4, 6.6, 2.4) & inner, rgba('#ffd54a'))
    cv.fill(circle(4, 30, 12) & inner, rgba('#63b85a'))
    cv.fill(circle(21, 32, 13) & inner, rgba('#3f9a43'))
    if not small:
        cv.fill(rect(3.6, 5, 5, 19.5) & inner, rgba('#6b4a2e'))
        cv.fill(rect(2.2, 6, 6.4, 7), rgba('#6b4a2e'))
    wire = polyline(bezier_points((5.6, 6.6), (7.4, 10.4), (9.4, 12.6), (13.2, 12.8), 20),
                    1.9 if small else 1.4)
    cv.fill(wire & inner, rgba('#1c1f26'))
    if not small:
        cv.fill(star(20.2, 14.4, 2.8, 0.7), rgba('#ffffff'))
    to = frame((15.4, 11.8), -32)
    pink, blue = polygon([to(-3.1, -2), to(0.3, -2), to(0.3, 2), to(-3.1, 2)]), \
        polygon([to(0.3, -2), to(3.6, -2), to(3.6, 2), to(0.3, 2)])
    eraser = (pink | blue).grow(0.5)
    cv.fill(eraser.grow(cv.outline), rgba('#3a2d3c'))
    cv.fill(pink.grow(0.5) & eraser, rgba('#f48fa6'))
    cv.fill(blue.grow(0.5) & eraser, rgba('#5b8fe0'))
    cv.fill(line(*to(0.3, -2.4), *to(0.3, 2.4), cv.pixel * 0.9), rgba('#3a2d3c', 0.6))


# ----------------------------------------------------------------------------------------------

def render(design, size, *args, ratio=1):
    cv = Canvas(size * ratio, ratio)
    design(cv, *args)
    return cv


def at2x(name):
    """'openHS.png' -> 'openHS@2x.png': the name the toolkit looks for on a 2x screen."""
    stem, dot, suffix = name.rpartition('.')
    return stem + '@2x' + dot + suffix


# The application icon in the sizes desktops look up in the hicolor theme.
HICOLOR_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def main():
    here = os.path.dirname(os.path.abspath(__file__))

    def write(name, data):
        with open(os.path.join(here, name), 'wb') as f:
            f.write(data)

    # Every toolbar picture also at twice the size, for screens with two device pixels per
    # logical one: the same design with outlines and hairlines twice as wide.
    def png(name, design, size=24, *args):
        for ratio, file in ((1, name), (2, at2x(name))):
            write(file, png_bytes(size * ratio, render(design, size, *args, ratio=ratio).pixels()))

    def bmp(name, design, size=24, *args):
        for ratio, file in ((1, name), (2, at2x(name))):
            pixels = render(design, size, *args, ratio=ratio).pixels(BMP_BACKGROUND)
            write(file, bmp_bytes(size * ratio, pixels))

    png('openHS.png', draw_open_folder)
    png('folder_open_32.png', draw_open_folder, 32)
    png('saveHS.png', draw_save_disk)
    png('DeleteHS.png', draw_quit)
    png('Edit_UndoHS.png', draw_undo)
    png('Filter2HS.png', draw_funnel)
    png('FormRunHS.png', draw_run)
    png('LineColorHS.png', draw_pen_line)
    png('eraser.png', draw_eraser)
    png('markbrush.png', draw_brush)
    for name in ('ZoomInHS.png', 'ZoomInMs.png', 'zoomplus.png'):
        png(name, draw_magnifier, 24, '+')
    for name in ('ZoomOutHS.png', 'ZoomOutMs.png', 'zoomminus.png'):
        png(name, draw_magnifier, 24, '-')
    bmp('ZoomInHS.bmp', draw_magnifier, 24, '+')
    bmp('ZoomOutHS.bmp', draw_magnifier, 24, '-')
    app = {s: render(draw_app, s).pixels() for s in HICOLOR_SIZES}  # the .ico's sizes among them
    write('cleaner.ico', ico_bytes([(s, app[s]) for s in (16, 24, 32, 48, 64, 256)]))
    for s in HICOLOR_SIZES:
        folder = os.path.join(here, 'hicolor', '%dx%d' % (s, s), 'apps')
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, 'tolvane.png'), 'wb') as f:
            f.write(png_bytes(s, app[s]))


if __name__ == '__main__':
    main()
