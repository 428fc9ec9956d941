"""Hostile and odd inputs through the real console program: every bad file is an error of that
file (named, nothing written, source intact), a partly readable one converts but is named and
never disposed of, and no source is ever lost to the outputs of its own batch."""
import io
import os
import random
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import unittest

from PIL import Image

CLI = sys.argv.pop(1) if len(sys.argv) > 1 else "pamirune-cli"
RED, GREEN = (220, 20, 20), (20, 200, 20)


def encoded(im, fmt, **kw):
    out = io.BytesIO()
    im.save(out, fmt, **kw)
    return out.getvalue()


def photo(w=40, h=30):
    im = Image.new("RGB", (w, h))
    im.putdata([((x * 7) % 256, (y * 9) % 256, ((x + y) * 5) % 256)
                for y in range(h) for x in range(w)])
    return im


def cut(data, fraction):
    return data[:int(len(data) * fraction)]


def bmp_with(width=None, height=None):
    data = bytearray(encoded(photo(4, 4), "BMP"))
    if width is not None:
        data[18:22] = struct.pack("<i", width)
    if height is not None:
        data[22:26] = struct.pack("<i", height)
    return bytes(data)


def tiff_with(**tags):
    """An uncompressed little-endian TIFF of Pillow's with some tag values replaced."""
    numbers = {"width": 256, "length": 257, "compression": 259, "strip_bytes": 279}
    data = bytearray(encoded(photo(), "TIFF"))
    ifd = struct.unpack_from("<I", data, 4)[0]
    for i in range(struct.unpack_from("<H", data, ifd)[0]):
        at = ifd + 2 + 12 * i
        tag, kind = struct.unpack_from("<HH", data, at)
        for name, value in tags.items():
            if tag == numbers[name]:
                struct.pack_into("<H" if kind == 3 else "<I", data, at + 8, value)
    return bytes(data)


def bmp_out_of_table():
    """An 8-bit BMP of four colours whose right half uses index 200, beyond its table."""
    table = bytes([0, 0, 200, 0, 0, 200, 0, 0, 200, 0, 0, 0, 255, 255, 255, 0])
    pixels = bytes([1, 1, 200, 200]) * 2
    header = struct.pack("<IiiHHIIiiII", 40, 4, 2, 1, 8, 0, len(pixels), 2835, 2835, 4, 0)
    offset = 14 + len(header) + len(table)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + header + table + pixels


def gif_cut():
    # No trailer and the image data cut inside a sub-block.
    return cut(encoded(photo(64, 64), "GIF"), 0.5)


# name, bytes, what the program must make of it.
INPUTS = [
    ("empty.png", lambda: b"", "error"),
    ("signature-only.png", lambda: b"\x89PNG\r\n\x1a\n", "error"),
    ("zero-width.bmp", lambda: bmp_with(width=0), "error"),
    ("zero-height.bmp", lambda: bmp_with(height=0), "error"),
    ("zero-height.tif", lambda: tiff_with(length=0), "error"),
    ("unknown-compression.tif", lambda: tiff_with(compression=12345), "error"),
    ("header-only.gif", lambda: encoded(photo(), "GIF")[:13], "error"),
    ("cut.png", lambda: cut(encoded(photo(), "PNG"), 0.5), "partial"),
    ("cut.jpg", lambda: cut(encoded(photo(64, 64), "JPEG"), 0.5), "partial"),
    ("cut.gif", gif_cut, "partial"),
    ("lying-height.bmp", lambda: bmp_with(height=400), "partial"),
    ("short-strip.tif", lambda: tiff_with(strip_bytes=400), "partial"),
    # Whole files of every kind: no warning, so their sources may go.
    ("fine.png", lambda: encoded(photo(), "PNG"), "whole"),
    ("fine-interlaced.png", lambda: encoded(photo(), "PNG", interlace=1), "whole"),
    ("fine.jpg", lambda: encoded(photo(), "JPEG"), "whole"),
    ("fine-progressive.jpg", lambda: encoded(photo(), "JPEG", progressive=True), "whole"),
    ("fine.gif", lambda: encoded(photo(), "GIF"), "whole"),
    ("fine.bmp", lambda: encoded(photo(), "BMP"), "whole"),
    ("fine-lzw.tif", lambda: encoded(photo(), "TIFF", compression="tiff_lzw"), "whole"),
    ("fine-grey16.tif", lambda: encoded(Image.new("I;16", (8, 8), 300), "TIFF"), "whole"),
    ("out-of-table.bmp", bmp_out_of_table, "whole"),
]
OUTPUT_SETS = ["bmp", "png,gif,tif", "jpg,pdf,ico,mag"]


class Base(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="pamirune-hostile-")
        self.home = os.path.join(self.dir, ".home")
        self.env = dict(os.environ, HOME=self.home,
                        XDG_CONFIG_HOME=os.path.join(self.home, "cfg"),
                        XDG_DATA_HOME=os.path.join(self.home, "data"))

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def write(self, name, data):
        os.makedirs(os.path.dirname(self.path(name)), exist_ok=True)
        with open(self.path(name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def run_cli(self, *args):
        return subprocess.run([CLI, *args], cwd=self.dir, env=self.env, capture_output=True,
                              text=True, stdin=subprocess.DEVNULL, timeout=120)

    def files(self, sub=""):
        """Every file under the folder (hidden ones too), the test's home aside."""
        found = set()
        for root, dirs, names in os.walk(self.path(sub)):
            dirs[:] = [d for d in dirs if os.path.join(root, d) != self.home]
            found.update(os.path.relpath(os.path.join(root, n), self.path(sub)) for n in names)
        return found

    def trashed(self):
        trash = os.path.join(self.home, "data", "Trash", "files")
        found = {}
        for n in os.listdir(trash) if os.path.isdir(trash) else []:
            with open(os.path.join(trash, n), "rb") as f:
                found[n] = f.read()
        return found


class HostileInputs(Base):
    def test_each_input_with_each_output_set(self):
        for name, make, kind in INPUTS:
            data = make()
            for formats in OUTPUT_SETS:
                with self.subTest(name=name, formats=formats):
                    sub = name + "-" + formats.replace(",", "-")
                    source = os.path.join(sub, name)
                    self.write(source, data)
                    r = self.run_cli("--yes", "--overwrite", "--dispose", "delete",
                                     "--formats", formats, source)
                    out = r.stdout + r.stderr
                    base = os.path.splitext(name)[0] + "."
                    made = {base + f for f in formats.split(",")}
                    if kind == "whole":
                        # Deleted, or replaced by its own output.
                        self.assertNotIn("pamirune-cli:", r.stderr)
                        self.assertEqual(r.returncode, 0, out)
                        self.assertEqual(self.files(sub), made, out)
                        continue
                    self.assertIn("pamirune-cli: %s: " % self.path(source), r.stderr, out)
                    self.assertEqual(self.read(source), data, "the source changed")
                    made -= {name}
                    if kind == "error":
                        self.assertEqual(r.returncode, 1, out)
                        self.assertEqual(self.files(sub), {name}, out)
                    else:
                        self.assertEqual(r.returncode, 0, out)
                        self.assertEqual(self.files(sub), {name} | made, out)
                        for f in made - {base + "mag", base + "pdf"}:
                            with Image.open(self.path(sub, f)) as im:
                                im.load()

    def test_a_fifo_is_refused_at_once_and_a_name_of_255_bytes_converts(self):
        os.mkfifo(self.path("x.png"))
        r = self.run_cli("--yes", "--formats", "bmp", "x.png")
        self.assertEqual(r.returncode, 1)
        self.assertIn(self.path("x.png"), r.stderr)
        self.assertEqual(self.files(), {"x.png"})
        os.remove(self.path("x.png"))
        long_name = "n" * 251 + ".bmp"  # its outputs' names are 255 bytes long too
        photo().save(self.path(long_name))
        r = self.run_cli("--yes", "--formats", "png,gif,tif", long_name)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(self.files(), {long_name} | {long_name[:-3] + f for f in ("png", "gif", "tif")})

    def test_a_write_that_fails_part_way_leaves_the_old_file_and_is_reported(self):
        # Files may grow to 16 KiB only: every writer fails part way through its file.
        def limit():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (16384, 16384))
        rng = random.Random(5)
        noise = bytes(rng.randrange(256) for _ in range(600 * 400 * 3))
        Image.frombytes("RGB", (600, 400), noise).save(self.path("n.bmp"))
        for fmt in ("bmp", "jpg", "png", "mag", "pdf", "gif", "tif"):
            with self.subTest(fmt=fmt):
                self.write("out/n." + fmt, b"old")
                r = subprocess.run([CLI, "--yes", "--overwrite", "--colour", "full", "--level", "9",
                                    "--formats", fmt, "--out-dir", "out", "n.bmp"], cwd=self.dir,
                                   env=self.env, capture_output=True, text=True,
                                   stdin=subprocess.DEVNULL, timeout=120, preexec_fn=limit)
                self.assertEqual(r.returncode, 1, r.stdout + r.stderr)
                self.assertIn("Cannot write", r.stderr)
                self.assertEqual(self.files("out"), {"n." + fmt}, "a temporary was left behind")
                self.assertEqual(self.read("out/n." + fmt), b"old")
                os.remove(self.path("out/n." + fmt))

    def test_a_bad_file_in_a_batch_is_named_before_it_is_read(self):
        for n in ("a.bmp", "c.bmp"):
            photo().save(self.path(n))
        self.write("bad.bmp", bmp_with(width=0))
        r = self.run_cli("--yes", "--formats", "png", "a.bmp", "bad.bmp", "c.bmp")
        self.assertEqual(r.returncode, 1)
        lines = r.stderr.splitlines()
        self.assertEqual(lines[1], "[2/3] " + self.path("bad.bmp"))
        self.assertTrue(lines[2].startswith("pamirune-cli: %s: " % self.path("bad.bmp")), lines)
        self.assertTrue(os.path.exists(self.path("a.png")))
        self.assertFalse(os.path.exists(self.path("bad.png")))


def colour_of(data):
    im = Image.open(io.BytesIO(data)).convert("RGB")
    return im.getpixel((im.width // 2, im.height // 2))


def near(a, b):
    return all(abs(x - y) < 40 for x, y in zip(a, b))


class NoSourceIsLost(Base):
    """The same cases under every disposal mode."""

    def pictures(self):
        """Colours of every picture left anywhere: folders and trash."""
        found = []
        for f in self.files():
            try:
                found.append(colour_of(self.read(f)))
            except Exception:
                pass
        for data in self.trashed().values():
            found.append(colour_of(data))
        return found

    def assert_survives(self, colour, mode):
        self.assertTrue(any(near(c, colour) for c in self.pictures()), (colour, mode))

    def test_two_sources_one_output_name(self):
        for mode in ("keep", "trash", "delete"):
            for answer in ("--no", "--yes"):
                with self.subTest(mode=mode, answer=answer):
                    self.tearDown()
                    self.setUp()
                    Image.new("RGB", (16, 16), RED).save(self.path("a.png"))
                    Image.new("RGB", (16, 16), GREEN).save(self.path("a.bmp"))
                    r = self.run_cli(answer, "--no-dialogs", "--overwrite", "--dispose", mode,
                                     "--formats", "jpg", "a.png", "a.bmp")
                    self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
                    self.assertIn(self.path("a.png"), r.stdout)  # the question names both
                    self.assert_survives(RED, mode)
                    self.assert_survives(GREEN, mode)
                    # The replaced output's source is never disposed of.
                    self.assertEqual(near(colour_of(self.read("a.jpg")), GREEN),
                                     answer == "--yes")
                    if answer == "--yes":
                        self.assertTrue(os.path.exists(self.path("a.png")))

    def test_same_name_from_two_folders_into_one_output_folder(self):
        for mode in ("keep", "trash", "delete"):
            with self.subTest(mode=mode):
                self.tearDown()
                self.setUp()
                self.write("cam1/IMG_1.jpg", encoded(Image.new("RGB", (16, 16), RED), "JPEG"))
                self.write("cam2/IMG_1.jpg", encoded(Image.new("RGB", (16, 16), GREEN), "JPEG"))
                os.mkdir(self.path("out"))
                r = self.run_cli("--yes", "--overwrite", "--dispose", mode, "--out-dir", "out",
                                 "--formats", "png", "cam1/IMG_1.jpg", "cam2/IMG_1.jpg")
                self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
                self.assert_survives(RED, mode)
                self.assert_survives(GREEN, mode)
                self.assertTrue(os.path.exists(self.path("cam1/IMG_1.jpg")))

    def test_output_that_is_its_own_source(self):
        original = encoded(Image.new("RGB", (16, 16), RED), "JPEG", quality=95)
        for mode in ("keep", "trash", "delete"):
            with self.subTest(mode=mode):
                self.tearDown()
                self.setUp()
                self.write("a.jpg", original)
                r = self.run_cli("--yes", "--overwrite", "--level", "1", "--dispose", mode,
                                 "--formats", "jpg,png", "a.jpg")
                self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
                self.assertTrue(os.path.exists(self.path("a.png")))
                if mode == "keep":
                    self.assertEqual(self.read("a.jpg"), original)
                    self.assertIn("pamirune-cli: %s: " % self.path("a.jpg"), r.stderr)
                else:
                    self.assertNotEqual(self.read("a.jpg"), original)
                self.assertEqual(list(self.trashed().values()),
                                 [original] if mode == "trash" else [])

    def test_batch_pdf_follows_the_overwrite_rule(self):
        for mode in ("keep", "trash", "delete"):
            for overwrite in ([], ["--overwrite"]):
                with self.subTest(mode=mode, overwrite=overwrite):
                    self.tearDown()
                    self.setUp()
                    photo().save(self.path("p1.png"))
                    photo().save(self.path("p2.png"))
                    self.write("p2.pdf", b"old")
                    os.utime(self.path("p2.pdf"), (1e9, 1e9))
                    r = self.run_cli("--no", *overwrite, "--no-dialogs", "--keep-date",
                                     "--dispose", mode, "--formats", "pdf", "--pdf-batch",
                                     "p1.png", "p2.png")
                    self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
                    replaced = self.read("p2.pdf") != b"old"
                    self.assertEqual(replaced, bool(overwrite))
                    self.assertEqual(os.stat(self.path("p2.pdf")).st_mtime == 1e9, not overwrite)
                    # A declined file is not named as saved, and its date is left alone.
                    self.assertEqual("変換終了" in r.stdout, bool(overwrite))
                    kept = os.path.exists(self.path("p1.png"))
                    self.assertEqual(kept, mode == "keep" or not overwrite)


if __name__ == "__main__":
    unittest.main(verbosity=2)
