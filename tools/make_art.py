#!/usr/bin/env python3
"""Paints the launcher's two pictures and writes them as 8-bit BMP files.

    make_art.py [--out DIR]      (default: Src/Launch/resources)

main_art.bmp (230 x 320) is the main window's panel: a nebula, a fighter
and the compilation's title. preview_art.bmp (564 x 480) is the previews
window's panel: one band for each previewed title. Both are uncompressed,
8 bits per pixel, with a 256-entry colour table chosen for the picture.

The windows stretch each picture over their panel without keeping its
aspect ratio, so every picture is drawn in the panel's own proportions
(DESIGN_SIZE) and then sampled onto the bitmap's pixel grid: on screen the
letters come out with their drawn shapes. Standard library only; the same
bytes on every run.
"""

import argparse
import math
import os
import random
import struct
import sys

# The panels' client areas in pixels with the dialogs' font: the shapes the
# pictures are seen in.
MAIN_SIZE, MAIN_DESIGN = (230, 320), (265, 313)
PREVIEW_SIZE, PREVIEW_DESIGN = (564, 480), (327, 313)


def clamp(value, low=0.0, high=1.0):
    return low if value < low else high if value > high else value


def mix(a, b, t):
    return (a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t)


def smoothstep(t):
    return t * t * (3 - 2 * t)


# ------------------------------------------------------------------ canvas

class Canvas:
    """Linear RGB (0..1) pixels of the bitmap, drawn in design units."""

    def __init__(self, size, design):
        self.width, self.height = size
        self.sx = design[0] / size[0]  # design units per bitmap pixel
        self.sy = design[1] / size[1]
        self.pixels = [(0.0, 0.0, 0.0)] * (self.width * self.height)

    def points(self, box):
        """(pixel index, u, v) of each pixel centre in the design box (u0, v0, u1, v1)."""
        u0, v0, u1, v1 = box
        x0 = max(0, int(u0 / self.sx))
        x1 = min(self.width, int(u1 / self.sx) + 2)
        for y in range(max(0, int(v0 / self.sy)), min(self.height, int(v1 / self.sy) + 2)):
            v = (y + 0.5) * self.sy
            row = y * self.width
            for x in range(x0, x1):
                yield row + x, (x + 0.5) * self.sx, v

    def cover(self, box, shade):
        """shade(u, v) -> None or (colour, alpha); the colour is blended over."""
        for index, u, v in self.points(box):
            result = shade(u, v)
            if result is None or result[1] <= 0:
                continue
            colour, alpha = result
            self.pixels[index] = colour if alpha >= 1 else mix(self.pixels[index], colour, alpha)

    def add(self, box, light):
        """light(u, v) -> None or an (r, g, b) added to the pixel (glows)."""
        for index, u, v in self.points(box):
            extra = light(u, v)
            if extra is not None:
                r, g, b = self.pixels[index]
                self.pixels[index] = (r + extra[0], g + extra[1], b + extra[2])


# ------------------------------------------------------------ value noise

class Noise:
    def __init__(self, seed):
        rng = random.Random(seed)
        self.table = [rng.random() for _ in range(256 * 256)]

    def value(self, u, v):
        iu, iv = math.floor(u), math.floor(v)
        fu, fv = smoothstep(u - iu), smoothstep(v - iv)
        t = self.table
        a = t[(iu & 255) * 256 + (iv & 255)]
        b = t[((iu + 1) & 255) * 256 + (iv & 255)]
        c = t[(iu & 255) * 256 + ((iv + 1) & 255)]
        d = t[((iu + 1) & 255) * 256 + ((iv + 1) & 255)]
        top = a + (b - a) * fu
        return top + (c + (d - c) * fu - top) * fv

    def fbm(self, u, v, octaves=5):
        total, amplitude, norm = 0.0, 1.0, 0.0
        for _ in range(octaves):
            total += self.value(u, v) * amplitude
            norm += amplitude
            u, v = u * 2.03 + 17.1, v * 2.03 + 9.7
            amplitude *= 0.5
        return total / norm


# ---------------------------------------------------------- signed shapes

def segment_distance(u, v, a, b):
    ax, ay = a
    dx, dy = b[0] - ax, b[1] - ay
    length = dx * dx + dy * dy
    t = 0.0 if length == 0 else clamp(((u - ax) * dx + (v - ay) * dy) / length)
    px, py = ax + dx * t - u, ay + dy * t - v
    return math.sqrt(px * px + py * py)


def polygon_distance(u, v, points):
    """Signed distance to a closed polygon: negative inside."""
    inside = False
    best = 1e9
    count = len(points)
    for i in range(count):
        a, b = points[i], points[(i + 1) % count]
        best = min(best, segment_distance(u, v, a, b))
        if (a[1] > v) != (b[1] > v):
            cross = a[0] + (v - a[1]) * (b[0] - a[0]) / (b[1] - a[1])
            if u < cross:
                inside = not inside
    return -best if inside else best


def bounds(points, margin):
    us = [p[0] for p in points]
    vs = [p[1] for p in points]
    return (min(us) - margin, min(vs) - margin, max(us) + margin, max(vs) + margin)


def coverage(distance, soft=0.8):
    return clamp(0.5 - distance / soft)


# --------------------------------------------------------------- the sky

def paint_sky(canvas, box, noise, colours, scale, glow_at=None):
    """Deep space with a nebula of the given colours (dark, mid, bright)."""
    dark, mid, bright = colours
    u0, v0, u1, v1 = box

    def shade(u, v):
        n = noise.fbm(u * scale + 3.3, v * scale + 7.1)
        m = noise.fbm(u * scale * 2.1 + 40.0, v * scale * 2.1 + 11.0, 4)
        cloud = clamp((n - 0.42) * 2.6)
        wisp = clamp((m - 0.5) * 3.0) * cloud
        colour = mix((0.004, 0.004, 0.012), dark, clamp(cloud * 1.4))
        colour = mix(colour, mid, cloud * cloud)
        colour = mix(colour, bright, wisp * 0.8)
        if glow_at is not None:
            gu, gv, radius = glow_at
            d = math.hypot(u - gu, v - gv) / radius
            colour = mix(colour, bright, 0.35 * math.exp(-d * d) * (0.4 + cloud))
        return colour, 1.0

    canvas.cover((u0, v0, u1, v1), shade)


def paint_stars(canvas, box, rng, count, tint=(1.0, 1.0, 1.0)):
    u0, v0, u1, v1 = box
    for _ in range(count):
        u, v = rng.uniform(u0, u1), rng.uniform(v0, v1)
        power = rng.random() ** 3
        radius = 0.6 + 1.1 * power
        brightness = 0.35 + 1.6 * power
        hue = rng.choice([(1.0, 1.0, 1.0), (0.8, 0.9, 1.0), (1.0, 0.9, 0.75), tint])
        flare = power > 0.55

        def light(x, y, u=u, v=v, r=radius, b=brightness, hue=hue, flare=flare):
            du, dv = x - u, y - v
            level = b * math.exp(-(du * du + dv * dv) / (r * r))
            if flare:
                level += 0.5 * b * (math.exp(-abs(dv) * 2.2 - abs(du) * 0.35) +
                                    math.exp(-abs(du) * 2.2 - abs(dv) * 0.35))
            if level < 0.004:
                return None
            return (level * hue[0], level * hue[1], level * hue[2])

        reach = radius * 3 + (8 if flare else 0)
        canvas.add((max(u0, u - reach), max(v0, v - reach), min(u1, u + reach), min(v1, v + reach)), light)


def paint_planet(canvas, centre, radius, surface, rim, light_dir, noise, clip):
    cu, cv = centre
    lu, lv = light_dir
    box = (max(clip[0], cu - radius - 12), max(clip[1], cv - radius - 12),
           min(clip[2], cu + radius + 12), min(clip[3], cv + radius + 12))

    def shade(u, v):
        d = math.hypot(u - cu, v - cv)
        if d > radius + 12:
            return None
        if d > radius:
            halo = math.exp(-(d - radius) / 4.0) * 0.8
            return rim, halo
        nu, nv = (u - cu) / radius, (v - cv) / radius
        nz = math.sqrt(max(0.0, 1 - nu * nu - nv * nv))
        lit = clamp(0.12 + nu * lu + nv * lv + nz * 0.4)
        bands = noise.fbm(u * 0.02 + 5, v * 0.11 + 2, 4)
        colour = mix(surface[0], surface[1], bands)
        colour = (colour[0] * lit, colour[1] * lit, colour[2] * lit)
        edge = clamp((d - radius * 0.82) / (radius * 0.18))
        colour = mix(colour, rim, edge * edge * clamp(lit * 1.5 + 0.2) * 0.9)
        return colour, coverage(d - radius)

    canvas.cover(box, shade)


# ---------------------------------------------------------------- the ship

# A fighter seen from above, nose along +x, in its own units.
SHIP_HULL = [(62, 0), (34, -5), (4, -9), (-30, -10), (-40, -6), (-40, 6), (-30, 10), (4, 9), (34, 5)]
SHIP_WING = [(14, -7), (-14, -33), (-30, -37), (-34, -33), (-26, -9)]
SHIP_POD = [(-22, -16), (-46, -17), (-48, -12), (-46, -9), (-22, -8)]
SHIP_GUN = [(-24, -35), (10, -35.8), (10, -34.2), (-24, -33.5)]


def mirror(points):
    return [(x, -y) for x, y in reversed(points)]


def place(points, origin, angle, scale):
    c, s = math.cos(angle), math.sin(angle)
    return [(origin[0] + (x * c - y * s) * scale, origin[1] + (x * s + y * c) * scale) for x, y in points]


def paint_ship(canvas, origin, angle, scale, hull_colour, trim_colour, engine_colour):
    c, s = math.cos(angle), math.sin(angle)

    def local(u, v):
        du, dv = (u - origin[0]) / scale, (v - origin[1]) / scale
        return du * c + dv * s, -du * s + dv * c

    def engine_trail(u, v):
        x, y = local(u, v)
        total = None
        for ey in (-12.5, 12.5):
            if x > -44:
                level = math.exp(-((x + 49) ** 2 + (y - ey) ** 2) / 30.0) * 2.2
            else:
                spread = 3.0 + (-44 - x) * 0.05
                level = math.exp(-((y - ey) ** 2) / (spread * spread)) * math.exp((x + 44) / 45.0) * 1.2
            if level > 0.003:
                total = (total or 0) + level
        if total is None:
            return None
        return (engine_colour[0] * total, engine_colour[1] * total, engine_colour[2] * total)

    tail = place([(-170, -30), (-170, 30), (-40, 30), (-40, -30)], origin, angle, scale)
    canvas.add(bounds(tail, 4), engine_trail)

    def solid(points, base, sheen):
        placed = place(points, origin, angle, scale)

        def shade(u, v):
            d = polygon_distance(u, v, placed)
            if d > 1.5:
                return None
            x, y = local(u, v)
            # Lit from the upper left of the ship's own frame; a bright edge.
            light = clamp(0.55 + 0.45 * (-y / 36.0) + 0.004 * x)
            colour = (base[0] * light, base[1] * light, base[2] * light)
            edge = clamp(1.0 + d / 1.2)
            colour = mix(colour, sheen, edge * 0.55)
            return colour, coverage(d)

        canvas.cover(bounds(placed, 2), shade)

    for part in (SHIP_POD, mirror(SHIP_POD)):
        solid(part, trim_colour, (0.9, 0.9, 1.0))
    for part in (SHIP_WING, mirror(SHIP_WING)):
        solid(part, hull_colour, (0.85, 0.9, 1.0))
    for part in (SHIP_GUN, mirror(SHIP_GUN)):
        solid(part, (0.5, 0.5, 0.55), (0.9, 0.9, 0.9))
    solid(SHIP_HULL, hull_colour, (0.95, 0.97, 1.0))

    # Panel lines and the canopy.
    stripe = place([(30, 0), (-36, 0)], origin, angle, scale)
    stripe_bar = place([(-6, -7.5), (-6, 7.5)], origin, angle, scale)
    for a, b, width, colour in ((stripe[0], stripe[1], 0.6, trim_colour),
                                (stripe_bar[0], stripe_bar[1], 0.5, trim_colour)):
        canvas.cover(bounds([a, b], 2), lambda u, v, a=a, b=b, w=width, col=colour:
                     (col, coverage(segment_distance(u, v, a, b) - w * scale * 0.5, 0.9)))
    canopy_centre = place([(22, 0)], origin, angle, scale)[0]

    def canopy(u, v):
        x, y = local(u, v)
        d = math.hypot((x - 22) / 12.0, y / 4.2)
        if d > 1.3:
            return None
        colour = mix((0.02, 0.1, 0.25), (0.55, 0.9, 1.0), clamp(0.8 - y / 4.2 - (x - 22) / 16.0) ** 2)
        return colour, coverage((d - 1.0) * 4.2 * scale)

    reach = 13 * scale
    canvas.cover((canopy_centre[0] - reach, canopy_centre[1] - reach,
                  canopy_centre[0] + reach, canopy_centre[1] + reach), canopy)


# -------------------------------------------------------------- lettering

# Stroke letters on a 4 x 6 grid (y down), chamfered for a machined look.
GLYPHS = {
    "A": [[(0, 6), (0, 1.5), (1.5, 0), (2.5, 0), (4, 1.5), (4, 6)], [(0, 3.6), (4, 3.6)]],
    "B": [[(0, 0), (3, 0), (4, 1), (4, 2), (3, 3), (0, 3)], [(3, 3), (4, 4), (4, 5), (3, 6), (0, 6), (0, 0)]],
    "C": [[(4, 0), (1, 0), (0, 1), (0, 5), (1, 6), (4, 6)]],
    "D": [[(0, 0), (3, 0), (4, 1), (4, 5), (3, 6), (0, 6), (0, 0)]],
    "E": [[(4, 0), (0, 0), (0, 6), (4, 6)], [(0, 3), (3, 3)]],
    "F": [[(4, 0), (0, 0), (0, 6)], [(0, 3), (3, 3)]],
    "G": [[(4, 1), (3, 0), (1, 0), (0, 1), (0, 5), (1, 6), (3, 6), (4, 5), (4, 3.3), (2.2, 3.3)]],
    "H": [[(0, 0), (0, 6)], [(4, 0), (4, 6)], [(0, 3), (4, 3)]],
    "I": [[(1, 0), (1, 6)]],
    "L": [[(0, 0), (0, 6), (4, 6)]],
    "M": [[(0, 6), (0, 0), (2.5, 3.2), (5, 0), (5, 6)]],
    "N": [[(0, 6), (0, 0), (4, 6), (4, 0)]],
    "O": [[(1, 0), (3, 0), (4, 1), (4, 5), (3, 6), (1, 6), (0, 5), (0, 1), (1, 0)]],
    "P": [[(0, 6), (0, 0), (3, 0), (4, 1), (4, 2), (3, 3), (0, 3)]],
    "R": [[(0, 6), (0, 0), (3, 0), (4, 1), (4, 2), (3, 3), (0, 3)], [(2, 3), (4, 6)]],
    "S": [[(4, 1), (3, 0), (1, 0), (0, 1), (0, 2), (1, 3), (3, 3), (4, 4), (4, 5), (3, 6), (1, 6), (0, 5)]],
    "T": [[(0, 0), (4, 0)], [(2, 0), (2, 6)]],
    "U": [[(0, 0), (0, 5), (1, 6), (3, 6), (4, 5), (4, 0)]],
    "V": [[(0, 0), (2, 6), (4, 0)]],
    "W": [[(0, 0), (1.25, 6), (2.5, 2.2), (3.75, 6), (5, 0)]],
    "X": [[(0, 0), (4, 6)], [(4, 0), (0, 6)]],
    "2": [[(0, 1), (1, 0), (3, 0), (4, 1), (4, 2.2), (0, 6), (4, 6)]],
    ":": [[(0.5, 1.9), (0.5, 2.0)], [(0.5, 5.0), (0.5, 5.1)]],
}
GLYPH_WIDTHS = {"I": 2, "M": 5, "W": 5, ":": 1, " ": 2.2}
LETTER_GAP = 1.5


def text_width(text, size):
    """Width in design units of a line whose letters are `size` high."""
    units = sum(GLYPH_WIDTHS.get(ch, 4) + LETTER_GAP for ch in text) - LETTER_GAP
    return units * size / 6.0


def text_segments(text, left, top, size, slant=0.0):
    unit = size / 6.0
    segments = []
    x = 0.0
    for ch in text:
        for stroke in GLYPHS.get(ch, []):
            placed = [(left + (px + x + (6 - py) * slant) * unit, top + py * unit) for px, py in stroke]
            segments += list(zip(placed, placed[1:]))
        x += GLYPH_WIDTHS.get(ch, 4) + LETTER_GAP
    return segments


def paint_text(canvas, text, centre_u, top, size, weight, fill_top, fill_bottom, glow, outline=(0, 0, 0),
               slant=0.12):
    left = centre_u - text_width(text, size) / 2
    segments = text_segments(text, left, top, size, slant)
    half = weight / 2.0
    points = [p for segment in segments for p in segment]
    box = bounds(points, half + 7)

    def nearest(u, v):
        best = 1e9
        for a, b in segments:
            if abs(u - a[0]) > best + 12 and abs(u - b[0]) > best + 12 and (u - a[0]) * (u - b[0]) > 0:
                continue
            best = min(best, segment_distance(u, v, a, b))
        return best

    distances = {}

    def light(u, v):
        d = nearest(u, v)
        distances[(u, v)] = d
        level = math.exp(-max(0.0, d - half) / 3.0) * 0.55
        if level < 0.01:
            return None
        return (glow[0] * level, glow[1] * level, glow[2] * level)

    canvas.add(box, light)

    def shade(u, v):
        d = distances.get((u, v))
        if d is None:
            d = nearest(u, v)
        if d > half + 2.5:
            return None
        t = clamp((v - top) / size)
        colour = mix(fill_top, fill_bottom, t)
        # A thin bright line across the letters' upper third.
        colour = mix(colour, (1.0, 1.0, 0.95), 0.5 * math.exp(-((t - 0.3) ** 2) / 0.004))
        if d > half:
            return outline, coverage(d - half - 1.2, 0.9)
        return colour, 1.0

    canvas.cover(box, shade)


def paint_rule(canvas, u0, u1, v, colour, thickness=0.9):
    def light(u, w):
        level = math.exp(-((w - v) / thickness) ** 2) * clamp(min(u - u0, u1 - u) / 30.0)
        if level < 0.01:
            return None
        return (colour[0] * level, colour[1] * level, colour[2] * level)

    canvas.add((u0, v - 4, u1, v + 4), light)


# ------------------------------------------------------------ the pictures

def paint_main(canvas):
    width, height = MAIN_DESIGN
    noise = Noise(11)
    rng = random.Random(12)
    sky = (0, 0, width, height)
    paint_sky(canvas, sky, noise, ((0.10, 0.02, 0.18), (0.45, 0.10, 0.42), (0.95, 0.55, 0.80)), 0.012,
              glow_at=(70, 150, 90))
    paint_stars(canvas, sky, rng, 260, tint=(1.0, 0.8, 0.95))
    paint_planet(canvas, (215, 395), 150, ((0.10, 0.30, 0.55), (0.35, 0.60, 0.75)), (0.55, 0.85, 1.0),
                 (-0.6, -0.8), noise, sky)
    paint_ship(canvas, (140, 180), -0.55, 1.55, (0.62, 0.66, 0.74), (0.25, 0.28, 0.38), (0.35, 0.65, 1.0))
    gold_top, gold_bottom = (1.0, 0.93, 0.55), (0.90, 0.42, 0.05)
    paint_text(canvas, "STARWARDEN", width / 2, 18, 25, 4.0, gold_top, gold_bottom, (0.9, 0.35, 0.05))
    paint_rule(canvas, 22, width - 22, 55, (0.9, 0.6, 0.3))
    paint_text(canvas, "THE DRAXMOOR SAGA", width / 2, 62, 13, 2.3, (0.95, 0.97, 1.0), (0.55, 0.65, 0.85),
               (0.2, 0.35, 0.8), slant=0.08)


PREVIEW_BANDS = [
    # title, nebula (dark, mid, bright), title colours (top, bottom, glow), seed
    ("STARWARDEN IV", ((0.02, 0.06, 0.20), (0.10, 0.30, 0.65), (0.55, 0.85, 1.0)),
     ((0.85, 0.95, 1.0), (0.35, 0.60, 1.0), (0.1, 0.3, 0.9)), 21),
    ("FREEBLADE 2", ((0.20, 0.03, 0.02), (0.65, 0.18, 0.05), (1.0, 0.70, 0.30)),
     ((1.0, 0.95, 0.70), (1.0, 0.45, 0.10), (0.9, 0.25, 0.02)), 22),
    ("PALADRIX: UNBOWED", ((0.01, 0.14, 0.10), (0.05, 0.45, 0.35), (0.55, 1.0, 0.75)),
     ((0.85, 1.0, 0.90), (0.25, 0.85, 0.55), (0.05, 0.6, 0.35)), 23),
    ("CARTELIX WARS", ((0.14, 0.03, 0.20), (0.50, 0.15, 0.55), (1.0, 0.75, 0.40)),
     ((1.0, 0.92, 0.60), (0.95, 0.60, 0.15), (0.7, 0.2, 0.6)), 24),
]


def paint_preview_band(canvas, index, box):
    title, nebula, letters, seed = PREVIEW_BANDS[index]
    u0, v0, u1, v1 = box
    noise = Noise(seed)
    rng = random.Random(seed * 7)
    height = v1 - v0
    paint_sky(canvas, box, noise, nebula, 0.018, glow_at=(u0 + (u1 - u0) * (0.25 + 0.5 * (index % 2)),
                                                          v0 + height * 0.5, 70))
    paint_stars(canvas, box, rng, 70, tint=nebula[2])
    mid = v0 + height * 0.5
    if index == 0:
        paint_ship(canvas, (u1 - 60, mid + 2), -0.35, 0.62, (0.60, 0.65, 0.75), (0.22, 0.26, 0.36),
                   (0.35, 0.65, 1.0))
    elif index == 1:
        # A blade of light cutting across the band.
        a, b = (u0 + 30, v1 - 8), (u1 - 20, v0 + 10)

        def blade(u, v):
            d = segment_distance(u, v, a, b)
            level = math.exp(-d * d / 2.0) * 1.5 + math.exp(-d / 5.0) * 0.25
            return None if level < 0.01 else (level, level * 0.6, level * 0.25)

        canvas.add(box, blade)
    elif index == 2:
        clip = (u0, v0, u1, v1)
        paint_planet(canvas, (u1 - 42, mid + 6), 30, ((0.25, 0.65, 0.45), (0.60, 0.95, 0.70)),
                     (0.6, 1.0, 0.8), (-0.7, -0.6), noise, clip)
    else:
        # A ring station: a bright ellipse with a hub.
        cu, cv = u1 - 50, mid

        def ring(u, v):
            d = abs(math.hypot((u - cu) / 34.0, (v - cv) / 11.0) - 1.0) * 11.0
            hub = math.hypot(u - cu, v - cv)
            level = math.exp(-d * d / 1.5) * 1.1 + math.exp(-hub * hub / 18.0) * 1.3
            return None if level < 0.01 else (level, level * 0.8, level * 0.5)

        canvas.add(box, ring)
    top, bottom, glow = letters
    size = 17
    paint_text(canvas, title, (u0 + u1) / 2, mid - size / 2 + (6 if index == 1 else 0) - 6, size, 3.0, top,
               bottom, glow)
    # A frame line under each band.
    if index < len(PREVIEW_BANDS) - 1:
        paint_rule(canvas, u0, u1, v1, (0.6, 0.6, 0.75), 0.7)


def paint_preview(canvas):
    width, height = PREVIEW_DESIGN
    band = height / len(PREVIEW_BANDS)
    for index in range(len(PREVIEW_BANDS)):
        paint_preview_band(canvas, index, (0, band * index, width, band * (index + 1)))


# ---------------------------------------------------- colours and the file

def to_bytes(canvas):
    """Display colours (0..255) with a soft shoulder instead of clipping."""
    out = []
    for r, g, b in canvas.pixels:
        out.append(tuple(int(255 * (1 - math.exp(-max(0.0, c) * 1.6)) / (1 - math.exp(-1.6)) + 0.5)
                         if c < 1 else 255 for c in (r, g, b)))
    return out


def median_cut(pixels, count=256):
    """A colour table of `count` entries for the pixels, and each pixel's index."""
    histogram = {}
    for p in pixels:
        key = (p[0] >> 2, p[1] >> 2, p[2] >> 2)
        entry = histogram.get(key)
        if entry is None:
            histogram[key] = [1, p[0], p[1], p[2]]
        else:
            entry[0] += 1
            entry[1] += p[0]
            entry[2] += p[1]
            entry[3] += p[2]
    colours = [(e[1] / e[0], e[2] / e[0], e[3] / e[0], e[0]) for e in histogram.values()]
    boxes = [colours]
    while len(boxes) < count:
        # Split the box with the largest spread weighted by its pixel count.
        best, best_score, best_axis = None, -1, 0
        for index, box in enumerate(boxes):
            if len(box) < 2:
                continue
            weight = sum(c[3] for c in box)
            for axis in range(3):
                values = [c[axis] for c in box]
                score = (max(values) - min(values)) * math.sqrt(weight)
                if score > best_score:
                    best, best_score, best_axis = index, score, axis
        if best is None:
            break
        box = sorted(boxes.pop(best), key=lambda c: c[best_axis])
        half = sum(c[3] for c in box) / 2
        running, cut = 0, 1
        for cut in range(1, len(box)):
            running += box[cut - 1][3]
            if running >= half:
                break
        boxes += [box[:cut], box[cut:]]
    table = []
    for box in boxes:
        weight = sum(c[3] for c in box)
        table.append(tuple(int(sum(c[axis] * c[3] for c in box) / weight + 0.5) for axis in range(3)))
    # Darkest first, so index 0 is the black of space.
    table.sort(key=lambda c: (c[0] * 3 + c[1] * 6 + c[2]))
    while len(table) < count:
        table.append((0, 0, 0))
    cache = {}
    indices = []
    for p in pixels:
        index = cache.get(p)
        if index is None:
            index = min(range(count), key=lambda i: (table[i][0] - p[0]) ** 2 * 3 + (table[i][1] - p[1]) ** 2 * 4
                        + (table[i][2] - p[2]) ** 2 * 2)
            cache[p] = index
        indices.append(index)
    return table, indices


def bmp_bytes(width, height, table, indices):
    row_bytes = (width + 3) // 4 * 4
    image_size = row_bytes * height
    offset = 14 + 40 + 4 * 256
    header = b"BM" + struct.pack("<IHHI", offset + image_size, 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, image_size, 2835, 2835, 0, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in table)
    rows = []
    for y in range(height - 1, -1, -1):  # bottom row first
        row = bytes(indices[y * width:(y + 1) * width])
        rows.append(row + b"\0" * (row_bytes - width))
    return header + info + colours + b"".join(rows)


def make_picture(size, design, paint):
    canvas = Canvas(size, design)
    paint(canvas)
    table, indices = median_cut(to_bytes(canvas))
    return bmp_bytes(size[0], size[1], table, indices)


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Paint the launcher's two pictures.")
    parser.add_argument("--out", default=os.path.join(here, "..", "Src", "Launch", "resources"))
    args = parser.parse_args(argv)
    for name, size, design, paint in (("main_art.bmp", MAIN_SIZE, MAIN_DESIGN, paint_main),
                                      ("preview_art.bmp", PREVIEW_SIZE, PREVIEW_DESIGN, paint_preview)):
        path = os.path.join(args.out, name)
        with open(path, "wb") as out:
            out.write(make_picture(size, design, paint))
        print("make_art: wrote %s" % os.path.normpath(path))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
