"""PDF output through the console program: a JPEG file whose page shows exactly its decoded
pixels is kept as it is, every other image is deflated, and a batch is the same file whether it
is made on one core or on two."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import warnings

from PIL import Image

CLI = sys.argv.pop(1) if len(sys.argv) > 1 else "pamirune-cli"
TOOLS = all(shutil.which(t) for t in ("pdfimages", "pdftoppm", "qpdf"))


def photo(w=64, h=48):
    im = Image.new("RGB", (w, h))
    px = im.load()
    for y in range(h):
        for x in range(w):
            px[x, y] = ((x * 9) % 256, (y * 5) % 256, ((x * y) // 7) % 256)
    return im


@unittest.skipUnless(TOOLS, "poppler-utils and qpdf are needed")
class PdfOutputTest(unittest.TestCase):
    def setUp(self):
        warnings.simplefilter("ignore", ResourceWarning)
        self.dir = tempfile.mkdtemp(prefix="pamirune-pdf-")
        self.env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(self.dir, "cfg"),
                        XDG_DATA_HOME=os.path.join(self.dir, "data"), HOME=self.dir)
        im = photo()
        im.save(self.path("colour.jpg"), quality=90)
        im.save(self.path("progressive.jpg"), quality=80, progressive=True)
        im.convert("L").save(self.path("gray.jpg"), quality=90)
        im.convert("CMYK").save(self.path("cmyk.jpg"), quality=90)
        exif = Image.Exif()
        exif[0x0112] = 6
        im.save(self.path("turned.jpg"), quality=90, exif=exif)
        im.save(self.path("plain.png"))

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def run_cli(self, *args, threads=None):
        env = dict(self.env)
        if threads:
            env["PAMIRUNE_THREADS"] = str(threads)
        r = subprocess.run([CLI, "--yes", "--overwrite", *args], cwd=self.dir, env=env,
                           capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=300)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        return r

    def check(self, pdf):
        r = subprocess.run(["qpdf", "--check", pdf], capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)

    def encodings(self, pdf):
        """The encoding of each page's image as pdfimages lists it: jpeg or image (Flate)."""
        out = subprocess.run(["pdfimages", "-list", pdf], capture_output=True, text=True,
                             check=True).stdout.splitlines()[2:]
        return [(line.split()[8], line.split()[5]) for line in out]

    def test_which_pages_keep_the_jpeg(self):
        full = ["--formats", "pdf", "--colour", "full"]
        cases = [
            ("colour.jpg", full, ("jpeg", "rgb")),
            ("progressive.jpg", full, ("jpeg", "rgb")),
            ("gray.jpg", full, ("jpeg", "gray")),
            ("turned.jpg", full + ["--no-auto-orient"], ("jpeg", "rgb")),
            ("turned.jpg", full, ("image", "rgb")),
            ("cmyk.jpg", full, ("image", "rgb")),
            ("colour.jpg", full + ["--scale", "1/2"], ("image", "rgb")),
            ("colour.jpg", ["--formats", "pdf", "--colour", "256"], ("image", "index")),
            ("colour.jpg", ["--formats", "pdf,png", "--colour", "full", "--transparent"],
             ("image", "rgb")),
            ("colour.jpg", full + ["--no-pdf-jpeg"], ("image", "rgb")),
            ("plain.png", full, ("image", "rgb")),
        ]
        for source, args, want in cases:
            with self.subTest(source=source, args=args):
                self.run_cli(*args, source)
                pdf = self.path(os.path.splitext(source)[0] + ".pdf")
                self.check(pdf)
                self.assertEqual(self.encodings(pdf), [want])
                if want[0] == "jpeg":
                    # The file itself, byte for byte.
                    subprocess.run(["pdfimages", "-j", pdf, self.path("x")], check=True)
                    with open(self.path("x-000.jpg"), "rb") as a, \
                            open(self.path(source), "rb") as b:
                        self.assertEqual(a.read(), b.read())
                os.remove(pdf)

    def test_a_kept_jpeg_shows_our_own_decoding(self):
        for source in ("colour.jpg", "gray.jpg", "progressive.jpg"):
            with self.subTest(source=source):
                self.run_cli("--formats", "pdf,bmp", "--colour", "full", source)
                stem = os.path.splitext(source)[0]
                ours = Image.open(self.path(stem + ".bmp")).convert("RGB")
                # At four times the size poppler draws each pixel as a plain 4 x 4 block.
                subprocess.run(["pdftoppm", "-r", "288", "-singlefile", self.path(stem + ".pdf"),
                                self.path("r")], check=True)
                page = Image.open(self.path("r.ppm")).convert("RGB")
                self.assertEqual(page.size, (ours.width * 4, ours.height * 4))
                worst = 0
                for y in range(ours.height):
                    for x in range(ours.width):
                        a = ours.getpixel((x, y))
                        b = page.getpixel((4 * x + 1, 4 * y + 1))
                        worst = max(worst, *(abs(p - q) for p, q in zip(a, b)))
                self.assertLessEqual(worst, 3)  # decoders may round the inverse DCT apart

    def test_batch_mixes_and_is_the_same_on_one_core_and_two(self):
        # Large enough pages that the deflating of one overlaps the reading of the next.
        big = photo(700, 500)
        big.save(self.path("big1.png"))
        big.transpose(Image.FLIP_LEFT_RIGHT).save(self.path("big2.png"))
        names = ["colour.jpg", "big1.png", "gray.jpg", "cmyk.jpg", "big2.png", "plain.png",
                 "progressive.jpg"]
        files = {}
        for threads in (1, 2):
            r = self.run_cli("--formats", "pdf", "--colour", "full", "--pdf-batch", "--pdf-order",
                             "-o", "all%d.pdf" % threads, *names, threads=threads)
            pdf = self.path("all%d.pdf" % threads)
            self.check(pdf)
            with open(pdf, "rb") as f:
                files[threads] = (re.sub(rb"D:\d{14}", b"D:0", f.read()),
                                  r.stdout.replace("all%d" % threads, "all"))
        self.assertEqual(files[1][0], files[2][0])
        self.assertEqual(files[1][1], files[2][1])
        self.assertEqual([e for e, _ in self.encodings(self.path("all2.pdf"))],
                         ["jpeg", "image", "jpeg", "image", "image", "image", "jpeg"])


if __name__ == "__main__":
    unittest.main()
