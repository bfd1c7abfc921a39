#!/usr/bin/python3
"""Draws the updater's own pictures: the keyboard of each size, the
information icons, the steps of the progress wheel and the About logo.

The pictures are committed beside this script; run it again after changing
it (needs Debian's python3-pil):

    sources/app/resources/make-pictures.py [--out FOLDER] [--scale N]

Everything is drawn at four times the output size and reduced with a
Lanczos filter, which gives smooth edges without an anti-aliasing renderer.
"""

import argparse
import math
import os

from PIL import Image, ImageDraw

SUPERSAMPLE = 4

# The palette of the window these pictures sit in.
BODY = (46, 49, 56, 255)
BODY_EDGE = (28, 30, 35, 255)
PANEL = (36, 38, 44, 255)
WHITE_KEY = (244, 244, 240, 255)
WHITE_KEY_SHADE = (206, 207, 204, 255)
BLACK_KEY = (24, 24, 27, 255)
BLACK_KEY_TOP = (62, 63, 68, 255)
KNOB = (120, 124, 134, 255)
KNOB_MARK = (236, 236, 236, 255)
SCREEN = (92, 170, 226, 255)
ACCENT = (232, 128, 42, 255)

INFO_BLUE = (52, 120, 212, 255)
WARN_AMBER = (236, 168, 32, 255)
ERROR_RED = (214, 58, 52, 255)
DONE_GREEN = (48, 160, 82, 255)
WHEEL_GREY = (112, 118, 130)


class Canvas:
    """A picture drawn at SUPERSAMPLE times its size, in output pixels."""

    def __init__(self, width, height, scale):
        self.width = width
        self.height = height
        self.factor = SUPERSAMPLE * scale
        self.image = Image.new("RGBA", (width * self.factor, height * self.factor), (0, 0, 0, 0))
        self.draw = ImageDraw.Draw(self.image)

    def _box(self, x0, y0, x1, y1):
        f = self.factor
        return [round(x0 * f), round(y0 * f), round(x1 * f) - 1, round(y1 * f) - 1]

    def rect(self, x0, y0, x1, y1, fill, radius=0.0):
        box = self._box(x0, y0, x1, y1)
        if radius > 0:
            self.draw.rounded_rectangle(box, radius=radius * self.factor, fill=fill)
        else:
            self.draw.rectangle(box, fill=fill)

    def ellipse(self, cx, cy, r, fill):
        self.draw.ellipse(self._box(cx - r, cy - r, cx + r, cy + r), fill=fill)

    def polygon(self, points, fill):
        f = self.factor
        self.draw.polygon([(x * f, y * f) for x, y in points], fill=fill)

    def line(self, points, fill, width):
        f = self.factor
        self.draw.line([(x * f, y * f) for x, y in points], fill=fill, width=round(width * f), joint="curve")
        # Round caps: PIL draws square ends.
        for x, y in (points[0], points[-1]):
            self.ellipse(x, y, width / 2, fill)

    def save(self, path):
        scale = self.factor // SUPERSAMPLE
        out = self.image.resize((self.width * scale, self.height * scale), Image.LANCZOS)
        out.save(path, optimize=True)


# Which keys of an octave are black, counted in semitones from C.
BLACK_SEMITONES = {1, 3, 6, 8, 10}


def key_range(size):
    """The MIDI note numbers of a keyboard's lowest and highest key."""
    if size == 88:
        return 21, 108  # A0 to C8
    octaves = {25: 2, 49: 4, 61: 5}[size]
    low = 48 if size == 25 else 36
    return low, low + 12 * octaves


def draw_keyboard(size, scale):
    width, height = 420, 128
    c = Canvas(width, height, scale)
    c.rect(0, 0, width, height, BODY_EDGE, radius=10)
    c.rect(2, 2, width - 2, height - 2, BODY, radius=9)

    # Control panel: a small screen, knobs, and pitch and modulation wheels on
    # the left of the key bed for every size but the smallest.
    panel_top, panel_bottom = 10, 46
    c.rect(12, panel_top, width - 12, panel_bottom, PANEL, radius=5)
    c.rect(22, 18, 86, 38, SCREEN, radius=3)
    knobs = 4 if size == 25 else 8
    span = (width - 12 - 18) - 110
    for i in range(knobs):
        cx = 110 + span * (i + 0.5) / knobs
        c.ellipse(cx, 28, 8, KNOB)
        angle = math.radians(-130 + 260 * ((i * 37) % 100) / 100)
        c.line([(cx, 28), (cx + 6 * math.sin(angle), 28 - 6 * math.cos(angle))], KNOB_MARK, 1.6)

    bed_left, bed_right = 14, width - 14
    bed_top, bed_bottom = 54, height - 10
    if size != 25:
        for i in range(2):
            x0 = 14 + i * 14
            c.rect(x0, bed_top + 6, x0 + 9, bed_bottom - 6, BLACK_KEY, radius=3)
            c.rect(x0 + 2, bed_top + 22, x0 + 7, bed_top + 34, BLACK_KEY_TOP, radius=2)
        bed_left = 46
    c.rect(bed_left - 2, bed_top - 2, bed_right + 2, bed_bottom + 2, BODY_EDGE, radius=2)

    low, high = key_range(size)
    notes = range(low, high + 1)
    whites = [n for n in notes if n % 12 not in BLACK_SEMITONES]
    key_width = (bed_right - bed_left) / len(whites)
    white_index = {}
    for i, n in enumerate(whites):
        x0 = bed_left + i * key_width
        white_index[n] = i
        c.rect(x0 + 0.35, bed_top, x0 + key_width - 0.35, bed_bottom, WHITE_KEY_SHADE, radius=1.2)
        c.rect(x0 + 0.35, bed_top, x0 + key_width - 0.35, bed_bottom - 2.5, WHITE_KEY, radius=1.2)
    black_width = key_width * 0.6
    black_bottom = bed_top + (bed_bottom - bed_top) * 0.62
    for n in notes:
        if n % 12 not in BLACK_SEMITONES:
            continue
        left_white = white_index[n - 1]
        x = bed_left + (left_white + 1) * key_width - black_width / 2
        c.rect(x, bed_top, x + black_width, black_bottom, BLACK_KEY, radius=1.0)
        c.rect(x + black_width * 0.18, bed_top, x + black_width * 0.82, black_bottom - 3, BLACK_KEY_TOP, radius=1.0)

    # A small accent light, the same on every size.
    c.ellipse(width - 24, 28, 3, ACCENT)
    return c


def draw_icon(kind, scale):
    c = Canvas(48, 48, scale)
    white = (255, 255, 255, 255)
    if kind == "warning":
        c.polygon([(24, 3), (46, 43), (2, 43)], WARN_AMBER)
        c.rect(22, 16, 26, 32, white, radius=2)
        c.ellipse(24, 37, 2.4, white)
        return c
    colour = {"info": INFO_BLUE, "error": ERROR_RED, "done": DONE_GREEN}[kind]
    c.ellipse(24, 24, 22, colour)
    if kind == "info":
        c.ellipse(24, 13.5, 3, white)
        c.rect(21.5, 20, 26.5, 37, white, radius=2)
    elif kind == "error":
        c.line([(16, 16), (32, 32)], white, 4.5)
        c.line([(32, 16), (16, 32)], white, 4.5)
    else:
        c.line([(13.5, 25), (21, 32.5), (35, 17)], white, 4.5)
    return c


WHEEL_STEPS = 12


def draw_wheel_step(step, scale):
    """One of the wheel's steps: twelve spokes, the brightest at `step`, the
    others fading behind it in the direction of turning."""
    c = Canvas(32, 32, scale)
    for spoke in range(WHEEL_STEPS):
        behind = (step - spoke) % WHEEL_STEPS
        alpha = round(255 * max(0.18, 1.0 - behind / WHEEL_STEPS))
        angle = 2 * math.pi * spoke / WHEEL_STEPS
        sx, sy = math.sin(angle), -math.cos(angle)
        c.line([(16 + 8 * sx, 16 + 8 * sy), (16 + 14 * sx, 16 + 14 * sy)], WHEEL_GREY + (alpha,), 2.8)
    return c


def draw_logo(scale):
    """Three keys in a rounded square: the updater's own mark."""
    c = Canvas(96, 96, scale)
    c.rect(0, 0, 96, 96, BODY_EDGE, radius=20)
    c.rect(3, 3, 93, 93, BODY, radius=18)
    for i in range(3):
        x0 = 18 + i * 20.5
        c.rect(x0, 20, x0 + 18, 76, WHITE_KEY, radius=3)
    for i in range(2):
        x = 18 + (i + 1) * 20.5 - 6.5
        c.rect(x, 20, x + 11, 52, BLACK_KEY, radius=2)
    c.rect(18, 80, 78, 84, ACCENT, radius=2)
    return c


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(here, "pictures"))
    parser.add_argument("--scale", type=int, default=1, help="2 draws the high-resolution set (@2x names)")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    suffix = "" if args.scale == 1 else "@%dx" % args.scale

    def save(canvas, name):
        canvas.save(os.path.join(args.out, name + suffix + ".png"))

    for size in (25, 49, 61, 88):
        save(draw_keyboard(size, args.scale), "Keyboard%d" % size)
    for kind in ("info", "warning", "error", "done"):
        save(draw_icon(kind, args.scale), "Icon%s" % kind.capitalize())
    for step in range(WHEEL_STEPS):
        save(draw_wheel_step(step, args.scale), "Wheel%02d" % step)
    save(draw_logo(args.scale), "Logo")


if __name__ == "__main__":
    main()
