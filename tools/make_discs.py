#!/usr/bin/env python3
"""Lays out the five discs of the compilation, one folder per disc root.

    make_discs.py --out DIR --launcher PATH --dsinit PATH --swdsl PATH
                  --rezmovie PATH --uninstal PATH --sw1 PATH --sw2 PATH --sw3w PATH

DIR/disc1 ... DIR/disc5 each hold what that disc carries: the programs built
by this project, generated game data of realistic sizes (the same bytes on
every run), the movies, help and credits texts, and DISC.ID with the disc's
number, by which the test harness knows which disc sits in a drive.

The data takes a few seconds to write, so a stamp in DIR remembers what was
made; an unchanged run only refreshes programs that were rebuilt.
"""

import argparse
import json
import math
import os
import random
import shutil
import stat
import struct
import sys

DATA_VERSION = 3
STAMP_NAME = ".make_discs.stamp"
DISC_COUNT = 5

# A CD carries no write permission; under Wine that is the read-only attribute.
READ_ONLY_DATA = 0o444
READ_ONLY_PROGRAM = 0o555
WRITABLE_DATA = 0o644

PROGRAM_OPTIONS = ("launcher", "dsinit", "swdsl", "rezmovie", "uninstal", "sw1", "sw2", "sw3w")

# Where each program goes: option -> list of (disc numbers, path on the disc).
ALL_DISCS = tuple(range(1, DISC_COUNT + 1))
PROGRAM_PLACES = {
    "dsinit": [(ALL_DISCS, "DSInit.exe")],
    "launcher": [(ALL_DISCS, "install/SWDSaga.exe")],
    "uninstal": [(ALL_DISCS, "install/uninstal.exe")],
    "rezmovie": [((1,), "install/rezmovie.exe")],
    "swdsl": [((1,), "DXSetup/swdsl.exe")],
    "sw1": [((1,), "sw1/sw1.exe")],
    "sw2": [((1,), "sw2/sw2.exe")],
    "sw3w": [((1,), "sw3Inst/sw3w.exe")],
}

HELP_TEXT = """\
THE DRAXMOOR SAGA - HELP
========================

Starting the compilation
  Insert any disc of the compilation and run DSInit.exe from the disc.
  The launcher copies itself to your hard drive and opens its main window.

Installing a game
  Press "Install Starwarden 1", "Install Starwarden 2" or
  "Install Starwarden 3". Confirm the install directory or choose another
  one. Starwarden 3 can copy extra data files for faster loading.
    Starwarden 1 needs 13 MB, Starwarden 2 needs 26 MB,
    Starwarden 3 needs 2 MB (11 MB or 43 MB with extra files).

Playing
  Press "Play Starwarden N". Starwarden 1 and 2 run from the hard drive.
  Starwarden 3 plays from discs 2 to 5; the launcher asks for the disc.

Invulnerable mode
  The check box beside Starwarden 1 and 2 makes your ship invulnerable.
  Real pilots leave it off.

Uninstalling
  "Uninstall Starwarden N" removes the game and its savegames.

Graphics runtime
  The graphics runtime button of the main window runs the runtime setup
  from disc 1. Restart your computer when the setup asks for it.

Trouble?
  Close other programs before playing, and keep the disc clean.
"""

CREDITS_TEXT = """\
THE DRAXMOOR SAGA - CREDITS
===========================

A Tessarine Systems compilation

Starwarden
  Design ............ Iria Vantcheva, Tomas Okafor
  Programming ....... Helge Marand, Suvi Lindqvist
  Ship art .......... Pavel Dorn

Starwarden 2: The Outer Reach
  Design ............ Iria Vantcheva
  Programming ....... Suvi Lindqvist, Anand Reyes
  Music ............. The Orrin Quartet

Starwarden 3: Draxmoor Falls
  Director .......... Tomas Okafor
  Programming ....... Helge Marand, Mei Aldana, Rolf Brandt
  Cinematics ........ Dana Whitlock
  Voice of Admiral Draxmoor ... Corin Ashgrove

Compilation launcher
  Tessarine Systems tools team

Thanks to every pilot who flew with us.
"""

# Movies: file name, title, frame count, seed.
MOVIES = [
    ("sw4.avi", "Starwarden IV", 48, 4),
    ("f2.avi", "Freeblade 2", 48, 2),
    ("pal.avi", "Paladrix: Unbowed", 48, 7),
    ("carwar.avi", "Cartelix Wars", 48, 9),
    ("intro.avi", "The Draxmoor Saga", 64, 1),
]
MOVIE_WIDTH = 160
MOVIE_HEIGHT = 100
MOVIE_RATE = 16


def text_for_disc(text):
    """The texts are for the system's text editor, which wants CR LF."""
    return text.replace("\n", "\r\n").encode("ascii")


# ---------------------------------------------------------------- data plan

def spread_sizes(rng, count, total, large):
    """count sizes adding up to about total: mostly log-uniform between a few
    hundred bytes and about 1 MB, and `large` files of 1.2 to 2.5 MB."""
    big = [rng.randint(1_200_000, 2_500_000) for _ in range(large)]
    small_count = count - large
    raw = [math.exp(rng.uniform(math.log(300), math.log(1_000_000))) for _ in range(small_count)]
    budget = max(total - sum(big), small_count * 300)
    # Scaling down a log-uniform draw keeps its spread; clamp to the range.
    scale = budget / sum(raw)
    small = [min(1_000_000, max(200, int(r * scale))) for r in raw]
    sizes = small + big
    rng.shuffle(sizes)
    return sizes


def unique_names(rng, count, patterns, taken):
    names = []
    while len(names) < count:
        pattern, low, high = rng.choice(patterns)
        name = pattern % rng.randint(low, high)
        if name.lower() not in taken:
            taken.add(name.lower())
            names.append(name)
    return names


def plan_folder(seed, folder, count, total, large, patterns, read_only_every, fixed=()):
    """Entries (path, size, seed, read_only) of one folder's generated files.
    `fixed` are named files (name, size) placed first."""
    rng = random.Random(seed)
    taken = set()
    entries = []
    for name, size in fixed:
        taken.add(name.lower())
        entries.append([folder + "/" + name, size])
    names = unique_names(rng, count - len(fixed), patterns, taken)
    sizes = spread_sizes(rng, len(names), total - sum(size for _, size in fixed), large)
    for name, size in zip(names, sizes):
        entries.append([folder + "/" + name, size])
    plan = []
    for index, (path, size) in enumerate(entries):
        plan.append((path, size, seed * 100_003 + index, index % read_only_every == 1))
    return plan


SW1_PATTERNS = [("ship%02d.shp", 0, 40), ("scr%03d.pcx", 0, 300), ("snd%03d.voc", 0, 400),
                ("m%04d.msn", 100, 950), ("anim%02d.anm", 0, 60), ("pal%02d.pal", 0, 20),
                ("brief%02d.txt", 0, 60), ("tune%02d.xmi", 0, 30)]
SW2_PATTERNS = [("ship%02d.shp", 0, 60), ("cock%02d.pcx", 0, 40), ("scr%03d.pcx", 0, 500),
                ("spch%04d.voc", 0, 2500), ("m%04d.msn", 100, 1500), ("anim%03d.anm", 0, 150),
                ("pal%02d.pal", 0, 30), ("tune%02d.xmi", 0, 40), ("font%d.fnt", 0, 9)]
SW3_PATTERNS = [("cfg%02d.iff", 0, 40), ("hud%02d.iff", 0, 40), ("ctrl%02d.dat", 0, 30),
                ("pilot%02d.iff", 0, 20)]
GAMEDAT_PATTERNS = [("save%d.sav", 0, 9), ("pilot%d.dat", 0, 9), ("roster%d.dat", 0, 5),
                    ("camp%02d.dat", 0, 40)]


def plan_disc_data():
    """Every generated data file: {disc number: [(path, size, seed, read_only)]}."""
    disc1 = []
    disc1 += plan_folder(11, "sw1", 230, 9_600_000, 2, SW1_PATTERNS, 5,
                         fixed=[(".cdinfo", 64), (".volume", 512), ("install.dat", 900)])
    # A gamedat\ file is the deepest an install puts: its names use the
    # whole 8.3 length, as the launcher's longest install directory allows.
    disc1 += plan_folder(12, "sw1/gamedat", 20, 400_000, 0, GAMEDAT_PATTERNS, 7,
                         fixed=[("hiscore.dat", 1024), ("campaign.sav", 2048)])
    disc1 += plan_folder(21, "sw2", 380, 21_200_000, 3, SW2_PATTERNS, 10,
                         fixed=[(".cdinfo", 64), ("install.dat", 1100)])
    disc1 += plan_folder(22, "sw2/gamedat", 20, 500_000, 0, GAMEDAT_PATTERNS, 7,
                         fixed=[("hiscore.dat", 1024), ("campaign.sav", 2048)])
    disc1 += plan_folder(31, "sw3Inst", 59, 1_000_000, 0, SW3_PATTERNS, 8,
                         fixed=[("globals.iff", 48_000)])
    # Starwarden 3's large data files, copied only for the faster install levels.
    disc1 += [("objects.tre", 6_100_000, 41, True), ("gameflow.tre", 2_050_000, 42, True),
              ("missions.tre", 10_200_000, 43, True)]
    plan = {1: disc1}
    for disc in range(2, DISC_COUNT + 1):
        plan[disc] = [("SW3MUSIC.tre", 1_000_000 + 4096 * disc, 50 + disc, True)]
    plan[2].append(("CD1MISS.TRE", 6_144, 60, True))
    return plan


# ------------------------------------------------------------------- movies

# Palette layout of every movie: a nebula ramp, the ship's greys, the stars.
NEBULA_FIRST, NEBULA_COUNT = 0, 96
SHIP_FIRST, SHIP_COUNT = 96, 32
STAR_FIRST, STAR_COUNT = 128, 128

# A fighter seen from the side, nose to the right, in units of its length.
SHIP_OUTLINE = [(1.0, 0.55), (0.62, 0.42), (0.35, 0.18), (0.22, 0.18), (0.3, 0.4), (0.0, 0.38),
                (0.0, 0.68), (0.3, 0.66), (0.2, 0.9), (0.34, 0.9), (0.6, 0.66)]


def movie_palette(rng):
    """Index 0 black space; a nebula ramp in the movie's own tint; greys for
    the ship; stars from dim to a tinted white."""
    tint = (rng.uniform(0.3, 1.0), rng.uniform(0.1, 0.6), rng.uniform(0.5, 1.0))
    palette = bytearray()
    for i in range(NEBULA_COUNT):
        level = (i / (NEBULA_COUNT - 1)) ** 1.4
        palette += bytes(int(200 * level * t) for t in tint)
    for i in range(SHIP_COUNT):
        level = 0.25 + 0.75 * i / (SHIP_COUNT - 1)
        palette += bytes((int(190 * level), int(200 * level), int(225 * level)))
    for i in range(STAR_COUNT):
        level = (i + 1) / STAR_COUNT
        palette += bytes(min(255, int(255 * level * (0.8 + 0.2 * t) + 30 * level * level)) for t in tint)
    return bytes(palette)


def value_noise(rng, width, height, cell):
    """A smooth random field over width x height with features `cell` wide."""
    grid = [[rng.random() for _ in range(width // cell + 3)] for _ in range(height // cell + 3)]

    def at(x, y):
        gx, gy = x / cell, y / cell
        ix, iy = int(gx), int(gy)
        fx, fy = gx - ix, gy - iy
        fx, fy = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy)
        top = grid[iy][ix] + (grid[iy][ix + 1] - grid[iy][ix]) * fx
        bottom = grid[iy + 1][ix] + (grid[iy + 1][ix + 1] - grid[iy + 1][ix]) * fx
        return top + (bottom - top) * fy

    return at


def nebula_rows(rng, width, height):
    """Nebula indices for a strip `width` wide: soft clouds of two octaves."""
    coarse = value_noise(rng, width, height, 40)
    fine = value_noise(rng, width, height, 13)
    rows = []
    for y in range(height):
        row = bytearray(width)
        for x in range(width):
            cloud = max(0.0, coarse(x, y) * 0.75 + fine(x, y) * 0.25 - 0.4)
            row[x] = NEBULA_FIRST + min(NEBULA_COUNT - 1, int(cloud * 2.2 * NEBULA_COUNT))
        rows.append(bytes(row))
    return rows


def draw_ship(frame, width, height, left, top, length):
    """The ship's silhouette, lit from above, and its engine flame."""
    points = [(left + x * length, top + y * length * 0.45) for x, y in SHIP_OUTLINE]
    y0, y1 = int(min(p[1] for p in points)), int(max(p[1] for p in points)) + 1
    for y in range(max(0, y0), min(height, y1)):
        crossings = []
        for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
            if (ay > y + 0.5) != (by > y + 0.5):
                crossings.append(ax + (y + 0.5 - ay) * (bx - ax) / (by - ay))
        crossings.sort()
        shade = SHIP_FIRST + int((SHIP_COUNT - 1) * (1 - (y - y0) / max(1, y1 - y0)) ** 0.7)
        for a, b in zip(crossings[0::2], crossings[1::2]):
            for x in range(max(0, int(a)), min(width, int(b))):
                frame[y * width + x] = shade
    flame_y = int(top + 0.53 * length * 0.45)
    for x in range(int(left - length * 0.35), int(left)):
        heat = (x - (left - length * 0.35)) / (length * 0.35)
        for dy in (-1, 0, 1):
            y = flame_y + dy
            if 0 <= x < width and 0 <= y < height and (dy == 0 or heat > 0.5):
                frame[y * width + x] = STAR_FIRST + int((STAR_COUNT - 1) * heat)


def make_movie(title, frames, seed):
    """A starfield flying past over a drifting nebula while a ship crosses;
    the player writes the title over it."""
    rng = random.Random(seed)
    width, height = MOVIE_WIDTH, MOVIE_HEIGHT
    palette = movie_palette(rng)
    drift = 1
    sky = nebula_rows(rng, width + drift * frames + 1, height)
    stars = [[rng.uniform(-1, 1), rng.uniform(-1, 1), rng.uniform(0.05, 1)] for _ in range(220)]
    header = b"DSMV" + struct.pack("<HHHH", width, height, frames, MOVIE_RATE)
    header += title.encode("ascii")[:31].ljust(32, b"\0")
    header += palette
    body = bytearray()
    ship_length = width * 0.3
    for number in range(frames):
        shift = number * drift
        frame = bytearray(b"".join(row[shift:shift + width] for row in sky))
        for star in stars:
            star[2] -= 0.02
            if star[2] <= 0.05:
                star[0], star[1], star[2] = rng.uniform(-1, 1), rng.uniform(-1, 1), 1.0
            x = int(width / 2 + star[0] / star[2] * width / 4)
            y = int(height / 2 + star[1] / star[2] * height / 4)
            if 0 <= x < width and 0 <= y < height:
                level = max(0, min(STAR_COUNT - 1, int(STAR_COUNT * (1.05 - star[2]))))
                # A far star is not drawn darker than the cloud in front of it.
                if level * NEBULA_COUNT < (frame[y * width + x] - NEBULA_FIRST) * STAR_COUNT:
                    continue
                frame[y * width + x] = STAR_FIRST + level
                if star[2] < 0.3 and x + 1 < width:
                    frame[y * width + x + 1] = STAR_FIRST + level  # near stars look bigger
        # The ship crosses from the left edge to beyond the right one.
        progress = number / max(1, frames - 1)
        left = -ship_length + progress * (width + ship_length * 1.2)
        top = height * (0.42 - 0.18 * progress)
        draw_ship(frame, width, height, left, top, ship_length)
        body += frame
    return header + bytes(body)


# ------------------------------------------------------------ file helpers

def make_writable(path):
    if os.path.lexists(path):
        os.chmod(path, os.stat(path).st_mode | stat.S_IWUSR)


def write_file(path, data, mode):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    make_writable(path)
    with open(path, "wb") as out:
        out.write(data)
    os.chmod(path, mode)


def write_if_changed(path, data, mode):
    try:
        with open(path, "rb") as existing:
            if existing.read() == data:
                os.chmod(path, mode)
                return
    except OSError:
        pass
    write_file(path, data, mode)


def remove_tree(path):
    if not os.path.exists(path):
        return
    for root, dirs, files in os.walk(path):
        for name in dirs + files:
            make_writable(os.path.join(root, name))
    make_writable(path)
    shutil.rmtree(path)


def file_signature(path):
    info = os.stat(path)
    return [info.st_size, info.st_mtime_ns]


# ------------------------------------------------------------- disc names

# The discs are ISO 9660 CDs: every name on them is 8.3, at most 12
# characters, and the launcher's longest accepted install directory counts
# on that.
LONGEST_NAME = 12


def disc_paths(plan):
    """Every path the layout puts on a disc, from the disc's root."""
    paths = [path for entries in plan.values() for path, _, _, _ in entries]
    paths += [path for places in PROGRAM_PLACES.values() for _, path in places]
    paths += ["install/" + name for name, _, _, _ in MOVIES]
    paths += ["DISC.ID", "install/help.txt", "install/credits.txt"]
    return paths


def overlong_names(paths):
    """The paths that hold a file or directory name longer than 8.3 allows."""
    return [path for path in paths if any(len(part) > LONGEST_NAME for part in path.split("/"))]


# --------------------------------------------------------------- the layout

def data_is_current(out, plan, stamp, script_signature):
    if stamp.get("data_version") != DATA_VERSION or stamp.get("script") != script_signature:
        return False
    for disc, entries in plan.items():
        for path, size, _, _ in entries:
            full = os.path.join(out, "disc%d" % disc, path)
            if not os.path.isfile(full) or os.path.getsize(full) != size:
                return False
    return True


def write_data(out, plan):
    for disc in ALL_DISCS:
        remove_tree(os.path.join(out, "disc%d" % disc))
    for disc, entries in plan.items():
        for path, size, seed, read_only in entries:
            data = random.Random(seed).randbytes(size)
            write_file(os.path.join(out, "disc%d" % disc, path), data,
                       READ_ONLY_DATA if read_only else WRITABLE_DATA)
    for name, title, frames, seed in MOVIES:
        write_file(os.path.join(out, "disc1", "install", name), make_movie(title, frames, seed),
                   READ_ONLY_DATA)


def refresh_program(source, target):
    """Copies a program (never a link) when the copy is missing or differs."""
    if os.path.isfile(target) and not os.path.islink(target):
        if file_signature(target) == file_signature(source):
            return False
    os.makedirs(os.path.dirname(target), exist_ok=True)
    if os.path.lexists(target):
        make_writable(target)
        os.remove(target)
    shutil.copy2(source, target)
    os.chmod(target, READ_ONLY_PROGRAM)
    return True


def write_texts(out):
    for disc in ALL_DISCS:
        root = os.path.join(out, "disc%d" % disc)
        write_if_changed(os.path.join(root, "DISC.ID"), b"%d\r\n" % disc, READ_ONLY_DATA)
        write_if_changed(os.path.join(root, "install", "help.txt"), text_for_disc(HELP_TEXT),
                         READ_ONLY_DATA)
        write_if_changed(os.path.join(root, "install", "credits.txt"), text_for_disc(CREDITS_TEXT),
                         READ_ONLY_DATA)


def disc_size(root):
    """The number of files under a disc's root and their bytes."""
    files = total = 0
    for folder, _, names in os.walk(root):
        files += len(names)
        total += sum(os.path.getsize(os.path.join(folder, name)) for name in names)
    return files, total


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description="Lay out the compilation's five discs.")
    parser.add_argument("--out", required=True, help="folder to hold disc1 ... disc5")
    for option in PROGRAM_OPTIONS:
        parser.add_argument("--" + option, required=True, help="path of the built %s program" % option)
    return parser.parse_args(argv)


def main(argv):
    args = parse_arguments(argv)
    out = os.path.abspath(args.out)
    programs = {option: os.path.abspath(getattr(args, option)) for option in PROGRAM_OPTIONS}
    for option, path in programs.items():
        if not os.path.isfile(path):
            print("make_discs: --%s %s: no such file" % (option, path), file=sys.stderr)
            return 1

    os.makedirs(out, exist_ok=True)
    stamp_path = os.path.join(out, STAMP_NAME)
    try:
        with open(stamp_path) as stamp_file:
            stamp = json.load(stamp_file)
    except (OSError, ValueError):
        stamp = {}

    script_signature = file_signature(os.path.abspath(__file__))
    plan = plan_disc_data()
    overlong = overlong_names(disc_paths(plan))
    if overlong:
        print("make_discs: names longer than %d characters cannot go on a disc: %s"
              % (LONGEST_NAME, ", ".join(overlong)), file=sys.stderr)
        return 1
    regenerated = not data_is_current(out, plan, stamp, script_signature)
    if regenerated:
        make_writable(stamp_path)
        if os.path.exists(stamp_path):
            os.remove(stamp_path)  # a run cut short must not look complete
        write_data(out, plan)

    copied = 0
    for option, places in PROGRAM_PLACES.items():
        for discs, path in places:
            for disc in discs:
                if refresh_program(programs[option], os.path.join(out, "disc%d" % disc, path)):
                    copied += 1
    write_texts(out)

    with open(stamp_path, "w") as stamp_file:
        json.dump({"data_version": DATA_VERSION, "script": script_signature,
                   "programs": {option: file_signature(path) for option, path in programs.items()}},
                  stamp_file, indent=1)
    print("make_discs: %s: data %s, %d program copies refreshed"
          % (out, "regenerated" if regenerated else "up to date", copied))
    for disc in ALL_DISCS:
        files, total = disc_size(os.path.join(out, "disc%d" % disc))
        print("make_discs: disc%d: %d files, %d bytes (%.1f MB)" % (disc, files, total, total / 1048576))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
