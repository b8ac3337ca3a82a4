"""The CD images of scripts/images, read back with the tool that wrote them.

Each image holds exactly its disc's tree, by the names Windows reads
(Joliet, and ISO 9660 where Joliet is not read) and by Rock Ridge, every
file read-only; it carries its volume label and the files the launcher
looks for where it looks. A second build of the same sources at another
path, from scratch, gives the same bytes."""

import filecmp
import os
import shutil
import stat
import struct
import subprocess
import tempfile
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
DISCS = (1, 2, 3, 4, 5)

# How xorriso is told to load each of an image's name trees.
NAME_TREES = {"ISO 9660": "ecma119", "Joliet": "norock", "Rock Ridge": "any"}

# The files the launcher opens on each disc, in the case it writes them.
ON_EVERY_DISC = ["DSInit.exe", "install/help.txt", "install/credits.txt", "install/uninstal.exe"]
LOOKED_FOR = {
    1: ON_EVERY_DISC + ["sw1/sw1.exe", "sw2/sw2.exe", "sw3Inst/globals.iff", "DXSetup/swdsl.exe",
                        "install/rezmovie.exe", "install/sw4.avi", "install/f2.avi", "install/pal.avi",
                        "install/carwar.avi", "install/intro.avi",
                        "objects.tre", "gameflow.tre", "missions.tre"],
    2: ON_EVERY_DISC + ["SW3MUSIC.tre", "CD1MISS.TRE"],
    3: ON_EVERY_DISC + ["SW3MUSIC.tre"],
    4: ON_EVERY_DISC + ["SW3MUSIC.tre"],
    5: ON_EVERY_DISC + ["SW3MUSIC.tre"],
}

SECTOR = 2048
JOLIET_ESCAPES = (b"%/@", b"%/C", b"%/E")


def run(command, what):
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        raise AssertionError("%s failed (exit %d):\n%s%s"
                             % (what, result.returncode, result.stdout, result.stderr))
    return result.stdout


def make_images(source_root, out):
    run([os.path.join(source_root, "scripts", "images"), out], "scripts/images in " + source_root)
    return {n: os.path.join(out, "disc%d.iso" % n) for n in DISCS}


def disc_tree(source_root, n):
    return os.path.join(source_root, "build", "i686", "discs", "disc%d" % n)


def read_xorriso(image, name_tree, *commands):
    return run(["xorriso", "-no_rc", "-report_about", "WARNING", "-read_fs", NAME_TREES[name_tree],
                "-indev", image, "-sh_style_result", "on", *commands], "xorriso on " + image)


def image_listing(image, name_tree):
    """{path: (mode, size)} of every file and directory in one name tree;
    a directory's size is None."""
    listing = {}
    for line in read_xorriso(image, name_tree, "-find", "/", "-exec", "lsdl").splitlines():
        fields = line.split(None, 8)
        if len(fields) < 9 or fields[8] == "/":
            continue
        mode, size, path = fields[0], int(fields[4]), fields[8][1:]
        listing[path] = (mode, None if mode.startswith("d") else size)
    return listing


def tree_listing(root):
    """{path: (mode, size)} of a disc tree, as an image should list it: the
    same files and directories, with every write permission taken away."""
    listing = {}
    for folder, directories, files in os.walk(root):
        for name in directories + files:
            full = os.path.join(folder, name)
            info = os.stat(full)
            size = None if name in directories else info.st_size
            listing[os.path.relpath(full, root)] = (stat.filemode(info.st_mode & ~0o222), size)
    return listing


def listing_differences(expected, found):
    lines = ["missing: %s" % path for path in sorted(set(expected) - set(found))]
    lines += ["extra: %s" % path for path in sorted(set(found) - set(expected))]
    lines += ["%s: %s, the disc %s" % (path, found[path], expected[path])
              for path in sorted(set(expected) & set(found)) if expected[path] != found[path]]
    return lines


def same_file(expected, found):
    return os.path.isfile(found) and filecmp.cmp(expected, found, shallow=False)


def kinds_and_sizes(listing):
    return {path: (mode[0], size) for path, (mode, size) in listing.items()}


def joliet_label(image):
    """The volume label Windows shows: the Joliet descriptor's, which xorriso
    does not report."""
    with open(image, "rb") as iso:
        sector = 16
        while True:
            iso.seek(sector * SECTOR)
            descriptor = iso.read(SECTOR)
            kind, magic = descriptor[0], descriptor[1:6]
            if magic != b"CD001" or kind == 255:
                return None
            if kind == 2 and descriptor[88:91] in JOLIET_ESCAPES:
                return descriptor[40:72].decode("utf-16-be").rstrip(" \0")
            sector += 1


def coff_header(program):
    with open(program, "rb") as exe:
        data = exe.read(4096)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise AssertionError(program + " is no Windows program")
    return struct.unpack_from("<III", data, pe + 8)


def remove_read_only_tree(path):
    for folder, _, _ in os.walk(path):
        os.chmod(folder, 0o755)
    shutil.rmtree(path)


def setUpModule():
    global WORK, IMAGES
    WORK = tempfile.mkdtemp(prefix="dsaga-images-")
    IMAGES = make_images(ROOT, os.path.join(WORK, "images"))


def tearDownModule():
    remove_read_only_tree(WORK)


class DiscImages(unittest.TestCase):
    def test_each_name_tree_holds_exactly_the_disc_read_only(self):
        for n in DISCS:
            disc = tree_listing(disc_tree(ROOT, n))
            for name_tree in NAME_TREES:
                with self.subTest(disc=n, names=name_tree):
                    expected, found = disc, image_listing(IMAGES[n], name_tree)
                    if name_tree != "Rock Ridge":
                        # Only Rock Ridge records modes; the others read every file as r-x.
                        expected, found = kinds_and_sizes(expected), kinds_and_sizes(found)
                    self.assertEqual([], listing_differences(expected, found))

    def test_each_file_holds_the_disc_files_bytes(self):
        for n in DISCS:
            with self.subTest(disc=n):
                out = os.path.join(WORK, "extracted%d" % n)
                read_xorriso(IMAGES[n], "Rock Ridge", "-osirrox", "on", "-extract", "/", out)
                tree = disc_tree(ROOT, n)
                files = [path for path, (_, size) in tree_listing(tree).items() if size is not None]
                differing = [path for path in files
                             if not same_file(os.path.join(tree, path), os.path.join(out, path))]
                remove_read_only_tree(out)
                self.assertEqual([], differing)

    def test_each_image_is_labelled_with_the_compilation_and_its_number(self):
        for n in DISCS:
            with self.subTest(disc=n):
                info = read_xorriso(IMAGES[n], "ISO 9660", "-pvd_info")
                self.assertIn("Volume Id    : DRAXMOOR_SAGA_%d\n" % n, info)
                self.assertEqual("DRAXMOOR_SAGA_%d" % n, joliet_label(IMAGES[n]))

    def test_the_files_the_launcher_looks_for_are_where_it_looks(self):
        for n in DISCS:
            for name_tree in ("ISO 9660", "Joliet"):
                with self.subTest(disc=n, names=name_tree):
                    files = {path for path, (_, size) in image_listing(IMAGES[n], name_tree).items()
                             if size is not None}
                    self.assertEqual([], [path for path in LOOKED_FOR[n] if path not in files])

    def test_every_program_on_the_discs_is_stripped_and_undated(self):
        for n in DISCS:
            tree = disc_tree(ROOT, n)
            programs = [path for path in tree_listing(tree) if path.endswith(".exe")]
            self.assertTrue(programs)
            for path in programs:
                with self.subTest(disc=n, program=path):
                    # Link time, symbol table offset, symbol count.
                    self.assertEqual((0, 0, 0), coff_header(os.path.join(tree, path)))


class SecondBuild(unittest.TestCase):
    """The sources as they stand, committed or not, copied to another path
    and built there from nothing but what the images need."""

    @classmethod
    def setUpClass(cls):
        cls.source = os.path.join(WORK, "second")
        listed = run(["git", "-C", ROOT, "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                     "git ls-files")
        files = listed.split("\0")
        for path in filter(None, files):
            if os.path.isfile(os.path.join(ROOT, path)):
                os.makedirs(os.path.dirname(os.path.join(cls.source, path)), exist_ok=True)
                shutil.copy2(os.path.join(ROOT, path), os.path.join(cls.source, path))
        cls.images = make_images(cls.source, os.path.join(WORK, "second-images"))

    def test_gives_the_same_bytes(self):
        for n in DISCS:
            with self.subTest(disc=n):
                if filecmp.cmp(IMAGES[n], self.images[n], shallow=False):
                    continue
                trees = filecmp.dircmp(disc_tree(ROOT, n), disc_tree(self.source, n))
                differing = differing_files(trees)
                if differing:
                    self.fail("disc%d.iso differs, and in its tree: %s" % (n, ", ".join(differing)))
                self.fail("disc%d.iso differs, though the two trees are the same" % n)


def differing_files(comparison, prefix=""):
    found = [prefix + name for name in comparison.left_only + comparison.right_only]
    left, right = comparison.left, comparison.right
    found += [prefix + name for name in comparison.common_files
              if not same_file(os.path.join(left, name), os.path.join(right, name))]
    for name, sub in comparison.subdirs.items():
        found += differing_files(sub, prefix + name + "/")
    return found


if __name__ == "__main__":
    unittest.main()
