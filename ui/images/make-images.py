#!/usr/bin/env python3
"""Regenerate the bundled Pelindra artwork.

Writes, next to this script:
  pelindra.png  32 x 32 application icon, 16-colour palette PNG (4 bit).
  comet.png     190 x 137 greyscale picture for the About dialog: a
                comet photographed while the mount followed the comet,
                so the background stars are trailed into short streaks.

Only the Python standard library is used.  Everything is drawn from a
fixed-seed generator of our own, so reruns give byte-identical files.
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


# --------------------------------------------------------------------------
# Deterministic random numbers (independent of the Python version).

class Rng:
    """SplitMix64 with Box-Muller Gaussians."""

    MASK = (1 << 64) - 1

    def __init__(self, seed):
        self.state = seed & self.MASK
        self.spare = None

    def next_u64(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & self.MASK
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & self.MASK
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & self.MASK
        return z ^ (z >> 31)

    def uniform(self, lo=0.0, hi=1.0):
        return lo + (hi - lo) * ((self.next_u64() >> 11) / float(1 << 53))

    def gauss(self):
        if self.spare is not None:
            g, self.spare = self.spare, None
            return g
        u1 = 1.0 - self.uniform()          # (0, 1], safe for log
        u2 = self.uniform()
        r = math.sqrt(-2.0 * math.log(u1))
        self.spare = r * math.sin(2.0 * math.pi * u2)
        return r * math.cos(2.0 * math.pi * u2)


# --------------------------------------------------------------------------
# Minimal PNG writer.

def _chunk(kind, data):
    body = kind + data
    return (struct.pack(">I", len(data)) + body
            + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF))


def write_png(path, width, height, rows, bit_depth, colour_type,
              palette=None, alpha=None):
    """rows: one bytes object per scanline, already packed to bit_depth."""
    raw = b"".join(b"\x00" + row for row in rows)   # filter type 0 (None)
    out = [b"\x89PNG\r\n\x1a\n",
           _chunk(b"IHDR", struct.pack(">IIBBBBB", width, height,
                                       bit_depth, colour_type, 0, 0, 0))]
    if palette is not None:
        out.append(_chunk(b"PLTE", b"".join(bytes(c) for c in palette)))
    if alpha is not None:
        out.append(_chunk(b"tRNS", bytes(alpha)))
    out.append(_chunk(b"IDAT", zlib.compress(raw, 9)))
    out.append(_chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(b"".join(out))


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def smoothstep(e0, e1, x):
    t = clamp((x - e0) / (e1 - e0))
    return t * t * (3.0 - 2.0 * t)


# --------------------------------------------------------------------------
# Application icon.

ICON_SIZE = 32


def icon_sample(x, y):
    """Colour (r, g, b, a) of the emblem at a point, in 0..1 units."""
    s = ICON_SIZE
    # Rounded square with a slightly lighter rim so it stands out on
    # dark title bars.
    half = s / 2.0 - 0.5
    rad = 7.0
    qx = abs(x - s / 2.0) - (half - rad)
    qy = abs(y - s / 2.0) - (half - rad)
    dist = math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - rad
    if dist > 0.0:
        return (0.0, 0.0, 0.0, 0.0)

    def over(base, colour, k):
        return tuple(b + (c - b) * k for b, c in zip(base, colour))

    # Night sky, darker at the top.
    t = clamp(y / s)
    col = (0.05 + 0.04 * t, 0.08 + 0.07 * t, 0.22 + 0.13 * t)
    col = over(col, (0.21, 0.33, 0.58), smoothstep(-2.2, -0.9, dist))

    # A few tiny stars.
    for sx, sy, amp in ((7.5, 8.5, 1.0), (25.5, 25.5, 0.8),
                        (6.5, 21.5, 0.55), (14.5, 5.5, 0.7)):
        d2 = (x - sx) ** 2 + (y - sy) ** 2
        col = over(col, (0.85, 0.90, 1.0), amp * math.exp(-d2 / 0.5))

    # Comet: head upper right, tail sweeping down to the lower left.
    hx, hy = 21.5, 10.5
    ang = math.radians(42.0)
    ax, ay = -math.cos(ang), math.sin(ang)
    dx, dy = x - hx, y - hy
    u = dx * ax + dy * ay                # along the tail
    v = -dx * ay + dy * ax               # across the tail
    if u > 0.0:
        v -= 0.012 * u * u               # slight curve
        width = 2.0 + 0.20 * u
        fade = clamp(1.25 - u / 21.0)
        k = fade * math.exp(-((v / width) ** 4))
        col = over(col, (0.42, 0.60, 0.86), 0.9 * k)
        # brighter core of the tail, whitest next to the head
        w2 = 1.1 + 0.10 * u
        k2 = clamp(1.1 - u / 14.0) * math.exp(-((v / w2) ** 4))
        col = over(col, (0.90, 0.95, 1.0), 0.85 * k2)
    d = math.hypot(dx, dy)
    col = over(col, (0.98, 0.82, 0.40), 0.9 * smoothstep(3.9, 2.2, d))
    col = over(col, (1.0, 0.96, 0.74), smoothstep(2.7, 1.6, d))
    col = over(col, (1.0, 1.0, 0.95), smoothstep(1.8, 0.9, d))

    alpha = clamp(-dist * 2.0)
    return (col[0], col[1], col[2], alpha)


def _colour_distance(p, q):
    # Weighted towards green, roughly as the eye sees differences.
    return (2.0 * (p[0] - q[0]) ** 2 + 4.0 * (p[1] - q[1]) ** 2
            + 1.5 * (p[2] - q[2]) ** 2 + 3.0 * (p[3] - q[3]) ** 2)


def _build_palette(pixels, count):
    """Small deterministic k-means: farthest-point start, then refine."""
    centres = [max(pixels, key=lambda p: p[0] + p[1] + p[2])]
    while len(centres) < count:
        centres.append(max(pixels, key=lambda p: min(
            _colour_distance(p, c) for c in centres)))
    for _ in range(30):
        sums = [[0.0] * 5 for _ in centres]
        for p in pixels:
            k = min(range(len(centres)),
                    key=lambda i: _colour_distance(p, centres[i]))
            for ch in range(4):
                sums[k][ch] += p[ch]
            sums[k][4] += 1.0
        centres = [tuple(s[ch] / s[4] for ch in range(4)) if s[4] else c
                   for s, c in zip(sums, centres)]
    return centres


def make_icon(path):
    s = ICON_SIZE
    ss = 6                               # supersampling per axis
    colours = []
    for py in range(s):
        for px in range(s):
            acc = [0.0, 0.0, 0.0, 0.0]
            for j in range(ss):
                for i in range(ss):
                    r, g, b, a = icon_sample(px + (i + 0.5) / ss,
                                             py + (j + 0.5) / ss)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            a = acc[3] / float(ss * ss)
            if a < 0.2:
                colours.append(None)
            else:
                colours.append((acc[0] / acc[3], acc[1] / acc[3],
                                acc[2] / acc[3], a))

    # Entry 0 is the transparent surround; 15 entries are fitted to the art.
    palette = [(0.0, 0.0, 0.0, 0.0)]
    palette += _build_palette([c for c in colours if c is not None], 15)
    indices = []
    for c in colours:
        if c is None:
            indices.append(0)
        else:
            indices.append(min(range(1, 16), key=lambda i: _colour_distance(
                c, palette[i])))

    rows = []
    for py in range(s):
        line = indices[py * s:(py + 1) * s]
        rows.append(bytes((line[k] << 4) | line[k + 1]
                          for k in range(0, s, 2)))
    pal8 = [tuple(int(round(255 * clamp(v))) for v in c) for c in palette]
    write_png(path, s, s, rows, bit_depth=4, colour_type=3,
              palette=[c[:3] for c in pal8], alpha=[c[3] for c in pal8])


# --------------------------------------------------------------------------
# About picture.

PHOTO_W, PHOTO_H = 190, 137


def make_photo(path):
    w, h = PHOTO_W, PHOTO_H
    rng = Rng(0x50454C494E445241)        # fixed seed
    img = [[0.0] * w for _ in range(h)]  # linear "photon" units

    # Comet head left of centre, tail toward the upper right.
    hx, hy = 64.0, 82.0
    tail_dir = math.radians(-28.0)       # image y grows downward
    tx, ty = math.cos(tail_dir), math.sin(tail_dir)
    ion_dir = math.radians(-23.0)
    ix, iy = math.cos(ion_dir), math.sin(ion_dir)

    for y in range(h):
        row = img[y]
        for x in range(w):
            dx, dy = x - hx, y - hy
            d2 = dx * dx + dy * dy
            val = 0.0
            # Nucleus and coma.
            val += 900.0 * math.exp(-d2 / (2 * 1.6 ** 2))
            val += 170.0 * math.exp(-d2 / (2 * 4.5 ** 2))
            val += 45.0 * math.exp(-math.sqrt(d2) / 9.0)
            # Curved dust tail: a widening fan.
            u = dx * tx + dy * ty
            v = -dx * ty + dy * tx
            if u > 0.0:
                vc = v - 0.0022 * u * u
                width = 3.5 + 0.42 * u
                onset = 1.0 - math.exp(-u / 6.0)
                val += (66.0 * onset * math.exp(-u / 62.0)
                        * math.exp(-(vc * vc) / (2.0 * width * width)))
            # Faint straight ion tail.
            u2 = dx * ix + dy * iy
            v2 = -dx * iy + dy * ix
            if u2 > 0.0:
                width = 1.2 + 0.05 * u2
                onset = 1.0 - math.exp(-u2 / 8.0)
                val += (14.0 * onset * math.exp(-u2 / 90.0)
                        * math.exp(-(v2 * v2) / (2.0 * width * width)))
            row[x] = val

    # Background stars, trailed: the mount tracked the comet, so every
    # star moved by the same amount in the same direction.
    trail_ang = math.radians(33.0)
    trail_len = 11.0
    sx_step, sy_step = math.cos(trail_ang), math.sin(trail_ang)
    sigma = 0.75
    n_stars = 52
    for _ in range(n_stars):
        cx = rng.uniform(-6.0, w + 6.0)
        cy = rng.uniform(-6.0, h + 6.0)
        # Mostly faint stars with a few bright ones.
        flux = 6.0 + 420.0 * rng.uniform() ** 3.5
        x0 = cx - 0.5 * trail_len * sx_step
        y0 = cy - 0.5 * trail_len * sy_step
        steps = int(trail_len * 4) + 1
        per = flux / steps
        norm = 1.0 / (2 * math.pi * sigma * sigma)
        bx0 = int(math.floor(min(x0, x0 + trail_len * sx_step) - 4))
        bx1 = int(math.ceil(max(x0, x0 + trail_len * sx_step) + 4))
        by0 = int(math.floor(min(y0, y0 + trail_len * sy_step) - 4))
        by1 = int(math.ceil(max(y0, y0 + trail_len * sy_step) + 4))
        for py in range(max(by0, 0), min(by1, h - 1) + 1):
            for px in range(max(bx0, 0), min(bx1, w - 1) + 1):
                acc = 0.0
                for k in range(steps):
                    t = trail_len * k / (steps - 1)
                    ex = px - (x0 + t * sx_step)
                    ey = py - (y0 + t * sy_step)
                    acc += math.exp(-(ex * ex + ey * ey) / (2 * sigma * sigma))
                img[py][px] += per * norm * acc * 9.0

    # Sky glow with a gentle gradient, plus sensor noise; then a soft
    # stretch so the faint tail shows while the core stays just below white.
    rows = []
    for y in range(h):
        out = bytearray(w)
        for x in range(w):
            sky = 17.0 + 7.0 * (x / w) + 5.0 * (y / h)
            lin = img[y][x]
            disp = 226.0 * (1.0 - math.exp(-lin / 150.0))
            v = sky + disp + 1.6 * rng.gauss()
            out[x] = int(round(clamp(v, 0.0, 255.0)))
        rows.append(bytes(out))
    write_png(path, w, h, rows, bit_depth=8, colour_type=0)


def main():
    make_icon(os.path.join(HERE, "pelindra.png"))
    make_photo(os.path.join(HERE, "comet.png"))


if __name__ == "__main__":
    main()
