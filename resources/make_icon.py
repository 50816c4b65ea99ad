#!/usr/bin/python3
"""Renders the launcher's icon and writes resources/ostrand.ico.

The artwork: a rounded indigo tile carrying a warm S-shaped strand that rises from the lower left and
ends in an arrowhead pointing to the upper right. Every image is drawn from signed distance fields with
one sample per pixel, the distance giving the anti-aliased edge. Small sizes get their own proportions
(wider strand, tile filling the square, no shadow) so that they stay legible at 16 pixels.

The file holds three sets of six images, in this order:
  32 bits: 256 (PNG), 16, 20, 24, 32, 48 (bitmaps with alpha)
   8 bits: 16, 20, 24, 256 (PNG), 32, 48 (bitmaps with a 256-colour palette)
   4 bits: 16, 20, 24, 256 (PNG), 32, 48 (bitmaps with a 16-colour palette)
The 256-pixel image of the 8- and 4-bit sets is the palette-reduced picture stored as RGBA PNG.

Only +, -, *, / and square roots enter the pixels, so the output does not depend on the C library's
transcendental functions; the bytes depend on zlib for the PNG streams.

    /usr/bin/python3 resources/make_icon.py                   # writes resources/ostrand.ico
    /usr/bin/python3 resources/make_icon.py --check FILE      # exit 1 unless FILE holds exactly this icon
    /usr/bin/python3 resources/make_icon.py --preview DIR     # also writes each image as DIR/<bits>-<size>.png
"""

import argparse
import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_OUTPUT = os.path.join(HERE, "ostrand.ico")

# (size, bits) in the file's order.
LAYOUT = [
    (256, 32), (16, 32), (20, 32), (24, 32), (32, 32), (48, 32),
    (16, 8), (20, 8), (24, 8), (256, 8), (32, 8), (48, 8),
    (16, 4), (20, 4), (24, 4), (256, 4), (32, 4), (48, 4),
]

TILE_TOP = (0x35, 0x45, 0xA8)
TILE_BOTTOM = (0x14, 0x1A, 0x45)
TILE_RIM = (0x6A, 0x7D, 0xE0)
STRAND_START = (0xFF, 0x4F, 0x4F)
STRAND_END = (0xFF, 0xC8, 0x3A)
# Control points of the strand, the width of its tail against its head end, and the arrowhead's length
# and half width; the small sizes (24 px and less) have their own.
CURVE = (0.24, 0.84), (0.64, 0.78), (0.30, 0.42), (0.62, 0.36)
CURVE_SMALL = (0.18, 0.86), (0.64, 0.82), (0.24, 0.42), (0.60, 0.36)
TAPER = 0.35
TAPER_SMALL = 0.8
HEAD_LENGTH = 0.19
HEAD_HALF = 0.16


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


# --- geometry -------------------------------------------------------------------------------------

def bezier(p0, p1, p2, p3, t):
    s = 1.0 - t
    a, b, c, d = s * s * s, 3.0 * s * s * t, 3.0 * s * t * t, t * t * t
    return (a * p0[0] + b * p1[0] + c * p2[0] + d * p3[0], a * p0[1] + b * p1[1] + c * p2[1] + d * p3[1])


class Segment:
    """A piece of the strand's centre line, with the strand parameter at both ends."""

    def __init__(self, a, b, ta, tb):
        self.ax, self.ay = a
        self.dx, self.dy = b[0] - a[0], b[1] - a[1]
        self.length2 = self.dx * self.dx + self.dy * self.dy
        self.ta, self.tb = ta, tb
        self.box = (min(a[0], b[0]), min(a[1], b[1]), max(a[0], b[0]), max(a[1], b[1]))

    def distance2(self, x, y):
        px, py = x - self.ax, y - self.ay
        h = (px * self.dx + py * self.dy) / self.length2
        h = 0.0 if h < 0.0 else 1.0 if h > 1.0 else h
        ex, ey = px - self.dx * h, py - self.dy * h
        return ex * ex + ey * ey, self.ta + (self.tb - self.ta) * h


class Design:
    """The shapes for one pixel size, in unit coordinates (x right, y down)."""

    def __init__(self, n):
        small = n <= 24
        self.inset = 0.0 if small else 0.5 / n + (0.02 if n >= 48 else 0.0)
        self.radius = (3.2 if small else 0.2 * n) / n
        self.rim = n >= 32
        self.shadow = n >= 32
        # The strand: a cubic S from the lower left towards the upper right, narrower at its tail.
        p0, p1, p2, p3 = CURVE_SMALL if small else CURVE
        self.half_width = max(0.068, 1.15 / n)
        self.tail_width = max((TAPER_SMALL if small else TAPER) * self.half_width, 0.75 / n)
        steps = 32
        points = [bezier(p0, p1, p2, p3, i / steps) for i in range(steps + 1)]
        self.segments = [Segment(points[i], points[i + 1], i / steps, (i + 1) / steps) for i in range(steps)]
        # The arrowhead continues the last tangent.
        tx, ty = p3[0] - p2[0], p3[1] - p2[1]
        tl = math.sqrt(tx * tx + ty * ty)
        tx, ty = tx / tl, ty / tl
        nx, ny = -ty, tx
        head = max(HEAD_LENGTH, 3.4 / n)
        half = max(HEAD_HALF, 2.9 / n)
        base = (p3[0] - tx * 0.02, p3[1] - ty * 0.02)
        self.head = [
            (base[0] + tx * head, base[1] + ty * head),
            (base[0] + nx * half, base[1] + ny * half),
            (base[0] - nx * half, base[1] - ny * half),
        ]
        # Segments farther than this cannot touch a pixel, its anti-aliased edge or the shadow's blur.
        self.extent = self.half_width + 2.0 / n

    def tile_distance(self, x, y):
        """Signed distance to the rounded tile."""
        lo, hi, r = self.inset, 1.0 - self.inset, self.radius
        cx = lo + r if x < lo + r else hi - r if x > hi - r else x
        cy = lo + r if y < lo + r else hi - r if y > hi - r else y
        if cx != x and cy != y:
            return math.sqrt((x - cx) ** 2 + (y - cy) ** 2) - r
        return max(lo - x, x - hi, lo - y, y - hi)

    def strand(self, x, y):
        """Signed distance to the strand (line and arrowhead) and the strand parameter there."""
        best, best_t = 1.0, 0.0
        e = self.extent
        for s in self.segments:
            bx0, by0, bx1, by1 = s.box
            if x < bx0 - e or x > bx1 + e or y < by0 - e or y > by1 + e:
                continue
            d2, t = s.distance2(x, y)
            d = math.sqrt(d2) - (self.tail_width + (self.half_width - self.tail_width) * t)
            if d < best:
                best, best_t = d, t
        d = best
        h = triangle_distance(self.head, x, y)
        if h < d:
            return h, 1.0
        return d, best_t


def triangle_distance(tri, x, y):
    """Signed distance to a triangle (negative inside)."""
    inside = True
    best = 1e9
    for i in range(3):
        ax, ay = tri[i]
        bx, by = tri[(i + 1) % 3]
        ex, ey = bx - ax, by - ay
        px, py = x - ax, y - ay
        h = clamp01((px * ex + py * ey) / (ex * ex + ey * ey))
        dx, dy = px - ex * h, py - ey * h
        best = min(best, dx * dx + dy * dy)
        cx, cy = tri[(i + 2) % 3]
        side = ex * py - ey * px
        other = ex * (cy - ay) - ey * (cx - ax)
        if side * other < 0:
            inside = False
    d = math.sqrt(best)
    return -d if inside else d


# --- rendering ------------------------------------------------------------------------------------

def over(dst, src, alpha):
    """Source-over of a straight colour with coverage alpha onto a straight RGBA pixel."""
    r, g, b, a = dst
    out_a = alpha + a * (1.0 - alpha)
    if out_a <= 0.0:
        return (0.0, 0.0, 0.0, 0.0)
    k = a * (1.0 - alpha)
    return (
        (src[0] * alpha + r * k) / out_a,
        (src[1] * alpha + g * k) / out_a,
        (src[2] * alpha + b * k) / out_a,
        out_a,
    )


def render(n):
    """The 32-bit picture at n x n: rows top to bottom of (r, g, b, a) bytes."""
    design = Design(n)
    px = 1.0 / n
    rows = []
    for j in range(n):
        y = (j + 0.5) * px
        row = []
        for i in range(n):
            x = (i + 0.5) * px
            pixel = (0.0, 0.0, 0.0, 0.0)
            td = design.tile_distance(x, y)
            tile = clamp01(0.5 - td * n)
            if tile > 0.0:
                colour = mix(TILE_TOP, TILE_BOTTOM, clamp01(y))
                if design.rim:
                    # A thin lighter edge along the top and left of the tile.
                    rim = clamp01(1.0 - abs(td * n + 1.0)) * clamp01(1.2 - (x + y))
                    colour = mix(colour, TILE_RIM, rim * 0.8)
                pixel = over(pixel, colour, tile)
            if design.shadow:
                sd, _ = design.strand(x - 0.018, y - 0.026)
                shade = clamp01(0.5 - sd * n / 3.0) * 0.45 * tile
                if shade > 0.0:
                    pixel = over(pixel, (0x05, 0x08, 0x1C), shade)
            d, t = design.strand(x, y)
            cover = clamp01(0.5 - d * n)
            if cover > 0.0:
                colour = mix(STRAND_START, STRAND_END, t)
                # A light core along the strand's middle gives it some body.
                core = clamp01(1.0 + d / design.half_width * 1.6) if n >= 32 else 0.0
                colour = mix(colour, (0xFF, 0xF3, 0xD6), core * 0.35)
                pixel = over(pixel, colour, cover)
            row.append(tuple(int(c * 255.0 + 0.5) if k == 3 else int(c + 0.5) for k, c in enumerate(pixel)))
        rows.append(row)
    return rows


# --- palettes -------------------------------------------------------------------------------------

def median_cut(histogram, count):
    """Up to `count` colours for the weighted histogram {rgb: pixels}; returns (palette, {rgb: index})."""
    boxes = [sorted(histogram)]
    while len(boxes) < count:
        best, best_score = None, 0
        for k, box in enumerate(boxes):
            if len(box) < 2:
                continue
            ranges = [max(c[ch] for c in box) - min(c[ch] for c in box) for ch in range(3)]
            weight = sum(histogram[c] for c in box)
            score = max(ranges) * weight
            if score > best_score:
                best, best_score = k, score
        if best is None:
            break
        box = boxes.pop(best)
        ranges = [max(c[ch] for c in box) - min(c[ch] for c in box) for ch in range(3)]
        ch = ranges.index(max(ranges))
        box.sort(key=lambda c: (c[ch], c))
        total = sum(histogram[c] for c in box)
        running, cut = 0, 1
        for k, c in enumerate(box):
            running += histogram[c]
            if running * 2 >= total:
                cut = min(max(k + 1, 1), len(box) - 1)
                break
        boxes.insert(best, box[cut:])
        boxes.insert(best, box[:cut])
    palette, index = [], {}
    for box in boxes:
        weight = sum(histogram[c] for c in box)
        mean = tuple((sum(c[ch] * histogram[c] for c in box) * 2 + weight) // (weight * 2) for ch in range(3))
        for c in box:
            index[c] = len(palette)
        palette.append(mean)
    return palette, index


def nearest(palette, c):
    return min(range(len(palette)), key=lambda k: (sum((a - b) ** 2 for a, b in zip(palette[k], c)), k))


def refine(histogram, palette, rounds=8):
    """A few rounds of k-means over the histogram: the median cut leaves small palettes uneven."""
    for _ in range(rounds):
        sums = [[0, 0, 0, 0] for _ in palette]
        for c, w in histogram.items():
            s = sums[nearest(palette, c)]
            for ch in range(3):
                s[ch] += c[ch] * w
            s[3] += w
        palette = [tuple((s[ch] * 2 + s[3]) // (s[3] * 2) for ch in range(3)) if s[3] else p
                   for s, p in zip(sums, palette)]
    return palette, {c: nearest(palette, c) for c in histogram}


def reduce(rows, colours):
    """Palette form of a picture: opaque where alpha is at least half. Returns (palette, indices, mask)
    with mask 1 for transparent pixels."""
    histogram = {}
    for row in rows:
        for r, g, b, a in row:
            if a >= 128:
                histogram[(r, g, b)] = histogram.get((r, g, b), 0) + 1
    palette, index = median_cut(histogram, colours) if histogram else ([(0, 0, 0)], {})
    if colours <= 16:
        palette, index = refine(histogram, palette)
    indices = [[index[(r, g, b)] if a >= 128 else 0 for r, g, b, a in row] for row in rows]
    mask = [[0 if a >= 128 else 1 for _, _, _, a in row] for row in rows]
    palette = palette + [(0, 0, 0)] * (colours - len(palette))
    return palette, indices, mask


def expand(palette, indices, mask):
    return [[(*palette[i], 0 if m else 255) for i, m in zip(irow, mrow)] for irow, mrow in zip(indices, mask)]


# --- file formats ---------------------------------------------------------------------------------

def png(rows):
    """RGBA PNG of the picture: of the five uniform filterings and the per-row choice, the smallest."""
    width, height = len(rows[0]), len(rows)
    lines = [bytes(c for pixel in row for c in pixel) for row in rows]
    streams = []
    for kind in [None, 0, 1, 2, 3, 4]:
        raw = bytearray()
        previous = bytes(width * 4)
        for line in lines:
            raw += best_filtered(line, previous) if kind is None else filtered(line, previous, kind)
            previous = line
        compressor = zlib.compressobj(9, zlib.DEFLATED, 15, 9)
        streams.append(compressor.compress(bytes(raw)) + compressor.flush())
    stream = min(streams, key=len)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", stream) + chunk(b"IEND", b"")


def filtered(line, previous, kind):
    """The row under PNG filter `kind`, with its filter byte."""
    out = bytearray([kind])
    for k in range(len(line)):
        a = line[k - 4] if k >= 4 else 0
        b = previous[k]
        c = previous[k - 4] if k >= 4 else 0
        if kind == 0:
            p = 0
        elif kind == 1:
            p = a
        elif kind == 2:
            p = b
        elif kind == 3:
            p = (a + b) // 2
        else:
            pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
            p = a if pa <= pb and pa <= pc else b if pb <= pc else c
        out.append((line[k] - p) & 0xFF)
    return bytes(out)


def best_filtered(line, previous):
    """The row under the filter with the smallest sum of absolute signed bytes."""
    def score(row):
        return sum(v if v < 128 else 256 - v for v in row[1:])
    return min((filtered(line, previous, kind) for kind in range(5)), key=lambda row: (score(row), row[0]))


def mask_rows(mask):
    """The AND mask, bottom row first, one bit a pixel, rows padded to four bytes."""
    out = bytearray()
    for row in reversed(mask):
        bits = bytearray((len(row) + 31) // 32 * 4)
        for i, m in enumerate(row):
            if m:
                bits[i // 8] |= 0x80 >> (i % 8)
        out += bits
    return bytes(out)


def bitmap_header(n, bits, image_bytes):
    return struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, bits, 0, image_bytes, 0, 0, 0, 0)


def bitmap32(rows):
    n = len(rows)
    colour = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    masks = mask_rows([[1 if a == 0 else 0 for _, _, _, a in row] for row in rows])
    return bitmap_header(n, 32, len(colour) + len(masks)) + bytes(colour) + masks


def bitmap_paletted(palette, indices, mask, bits):
    n = len(indices)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    colour = bytearray()
    stride = (n * bits + 31) // 32 * 4
    for row in reversed(indices):
        line = bytearray(stride)
        for i, v in enumerate(row):
            if bits == 8:
                line[i] = v
            else:
                line[i // 2] |= v << (4 if i % 2 == 0 else 0)
        colour += line
    masks = mask_rows(mask)
    return bitmap_header(n, bits, len(colour) + len(masks)) + table + bytes(colour) + masks


def build(preview=None):
    pictures = {n: render(n) for n in sorted({n for n, _ in LAYOUT})}
    images = []
    for n, bits in LAYOUT:
        rows = pictures[n]
        if bits != 32:
            palette, indices, mask = reduce(rows, 1 << bits)
            rows = expand(palette, indices, mask)
        if n == 256:
            data = png(rows)
        elif bits == 32:
            data = bitmap32(rows)
        else:
            data = bitmap_paletted(palette, indices, mask, bits)
        if preview:
            with open(os.path.join(preview, f"{bits}-{n}.png"), "wb") as f:
                f.write(png(rows))
        images.append((n, bits, data))
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries, blobs = b"", b""
    for n, bits, data in images:
        entries += struct.pack("<BBBBHHII", n % 256, n % 256, 16 if bits == 4 else 0, 0, 1, bits, len(data),
                               offset)
        offset += len(data)
        blobs += data
    return header + entries + blobs


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--output", default=DEFAULT_OUTPUT)
    parser.add_argument("--check", metavar="FILE")
    parser.add_argument("--preview", metavar="DIR")
    options = parser.parse_args()
    if options.preview:
        os.makedirs(options.preview, exist_ok=True)
    icon = build(options.preview)
    if options.check:
        with open(options.check, "rb") as f:
            committed = f.read()
        if committed != icon:
            print(f"{options.check} differs from what {os.path.basename(__file__)} renders "
                  f"({len(committed)} bytes committed, {len(icon)} rendered); run it to refresh the file")
            return 1
        print(f"{options.check} matches the rendering ({len(icon)} bytes)")
        return 0
    with open(options.output, "wb") as f:
        f.write(icon)
    return 0


if __name__ == "__main__":
    sys.exit(main())
