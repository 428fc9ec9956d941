"""pamirune-cli end to end: files made by other programs in, files read by other programs out."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import warnings

from PIL import Image

CLI = sys.argv.pop(1) if len(sys.argv) > 1 else "pamirune-cli"
CONVERT = "/usr/bin/convert"


def photo(w=120, h=80):
    im = Image.new("RGB", (w, h))
    px = im.load()
    for y in range(h):
        for x in range(w):
            px[x, y] = ((x * 7) % 256, (y * 5) % 256, ((x + y) * 3) % 256)
    return im


class CliTest(unittest.TestCase):
    def setUp(self):
        warnings.simplefilter("ignore", ResourceWarning)
        self.dir = tempfile.mkdtemp(prefix="pamirune-cli-")
        self.env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(self.dir, "cfg"),
                        XDG_DATA_HOME=os.path.join(self.dir, "data"), HOME=self.dir)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def run_cli(self, *args):
        return subprocess.run([CLI, *args], cwd=self.dir, env=self.env, capture_output=True,
                              text=True, stdin=subprocess.DEVNULL, timeout=300)

    def test_bmp_of_every_depth_round_trips(self):
        src = photo(37, 23)
        pal = src.quantize(16)
        made = {}
        src.save(self.path("d24.bmp")); made["d24"] = src
        src.convert("1").save(self.path("d1.bmp")); made["d1"] = src.convert("1")
        pal.save(self.path("d8.bmp")); made["d8"] = pal
        have_convert = os.access(CONVERT, os.X_OK)
        if have_convert:
            src.save(self.path("in.png"))
            pal.save(self.path("pal.png"))
            for name, args in {
                "d4": ["pal.png", "-type", "palette", "-colors", "16", "BMP3:d4.bmp"],
                "rle8": ["pal.png", "-type", "palette", "-compress", "RLE", "BMP3:rle8.bmp"],
                "d16": ["in.png", "-define", "bmp:subtype=RGB565", "d16.bmp"],
                "d32": ["in.png", "-alpha", "on", "-define", "bmp:format=bmp4", "d32.bmp"],
                "os2": ["pal.png", "-type", "palette", "BMP2:os2.bmp"],
            }.items():
                subprocess.run([CONVERT, *args], cwd=self.dir, check=True)
                made[name] = None
        names = [n + ".bmp" for n in made]
        r = self.run_cli("--yes", "--colour", "full", "--formats", "bmp", "--suffix-s", *names)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        for n in made:
            ours = Image.open(self.path(n + "s.bmp")).convert("RGB")
            if n == "d16":
                # Decoders disagree on widening 5- and 6-bit channels; ImageMagick replicates
                # the high bits, as we do.
                theirs = subprocess.run([CONVERT, n + ".bmp", "-depth", "8", "rgb:-"],
                                        cwd=self.dir, capture_output=True, check=True).stdout
            else:
                theirs = Image.open(self.path(n + ".bmp")).convert("RGB").tobytes()
            self.assertEqual(ours.tobytes(), theirs, n)

    def test_unsupported_extension_stops_the_batch(self):
        photo().save(self.path("one.bmp"))
        open(self.path("two.txt"), "w").write("text")
        photo().save(self.path("three.bmp"))
        r = self.run_cli("--yes", "--formats", "png", "one.bmp", "two.txt", "three.bmp")
        self.assertEqual(r.returncode, 1)
        self.assertIn("pamirune-cli: %s: この形式は対応していません。" % self.path("two.txt"),
                      r.stderr)
        self.assertTrue(os.path.exists(self.path("one.png")))
        self.assertFalse(os.path.exists(self.path("three.png")))

    def test_keep_going_converts_the_rest_and_lists_the_failures(self):
        photo().save(self.path("one.bmp"))
        open(self.path("two.txt"), "w").write("text")
        open(self.path("bad.png"), "wb").write(b"\x89PNG\r\n\x1a\n" + bytes(30))
        photo().save(self.path("x.bmp"), format="PNG")  # extension lies, rename declined
        photo().save(self.path("three.bmp"))
        r = self.run_cli("--keep-going", "--formats", "gif", "--gif-anime", "-o", "all.gif",
                         "one.bmp", "two.txt", "bad.png", "x.bmp", "three.bmp")
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertIn("pamirune-cli: 3 of 5 files failed:", r.stderr)
        for name in ("two.txt", "bad.png", "x.bmp"):
            self.assertIn("  " + self.path(name) + ": ", r.stderr)
        self.assertEqual(Image.open(self.path("all.gif")).n_frames, 2)

    def test_png_named_bmp_is_offered_the_rename(self):
        photo().save(self.path("x.bmp"), format="PNG")
        r = self.run_cli("--no", "--formats", "bmp", "x.bmp")
        self.assertEqual(r.returncode, 1)
        self.assertIn("PNG形式のファイルと思われます。\n[" + self.path("x.png") +
                      "]\nに名前変更し、続行しますか？", r.stdout)
        self.assertTrue(os.path.exists(self.path("x.bmp")))
        r = self.run_cli("--yes", "--formats", "bmp", "x.bmp")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(os.path.exists(self.path("x.png")))
        self.assertEqual(Image.open(self.path("x.bmp")).format, "BMP")

    def test_colour_modes(self):
        im = photo()
        # A white patch among darker colours: no near-white grey shares its colour cell.
        im = im.point(lambda v: v // 2)
        for x in range(4):
            im.putpixel((x, 0), (255, 255, 255))
        im.save(self.path("p.png"))
        r = self.run_cli("--yes", "--formats", "bmp", "p.png")
        self.assertEqual(r.returncode, 0, r.stderr)
        out = Image.open(self.path("p.bmp"))
        self.assertEqual(out.mode, "P")
        self.assertLessEqual(len(out.getpalette()) // 3, 256)
        self.run_cli("--yes", "--colour", "full", "--formats", "bmp", "p.png")
        out = Image.open(self.path("p.bmp"))
        self.assertEqual(out.mode, "RGB")
        self.assertEqual(out.tobytes(), im.tobytes())
        self.run_cli("--yes", "--colour", "bw", "--formats", "bmp", "p.png")
        out = Image.open(self.path("p.bmp"))
        self.assertEqual(out.mode, "P")
        rgb = out.convert("RGB")
        self.assertEqual(rgb.getpixel((0, 0)), (252, 252, 252))
        for (r_, g, b) in [rgb.getpixel((x, 5)) for x in range(0, 120, 7)]:
            self.assertTrue(r_ == g == b)

    def test_scale_factors(self):
        photo(100, 60).save(self.path("s.png"))
        for scale, size in [("2/3", (66, 40)), ("3/4", (75, 45)), ("1/3", (33, 20)),
                            ("2x", (200, 120))]:
            for smooth in ([], ["--smooth"]):
                r = self.run_cli("--yes", "--overwrite", "--suffix-s", "--formats", "png",
                                 "--scale", scale, *smooth, "s.png")
                self.assertEqual(r.returncode, 0, r.stderr)
                self.assertEqual(Image.open(self.path("ss.png")).size, size)

    def test_pdf_batch_is_one_document_in_order(self):
        names = []
        for i in range(5):
            n = "pg%d.png" % i
            photo(40 + 10 * i, 30 + i).save(self.path(n))
            names.append(n)
        r = self.run_cli("--yes", "--formats", "pdf", "--pdf-batch", "--colour", "full", *names)
        self.assertEqual(r.returncode, 0, r.stderr)
        pdf = self.path("pg4.pdf")
        self.assertTrue(os.path.exists(pdf))
        self.assertFalse(os.path.exists(self.path("pg0.pdf")))
        if shutil.which("qpdf"):
            subprocess.run(["qpdf", "--check", pdf], check=True, capture_output=True)
        if shutil.which("pdfinfo"):
            info = subprocess.run(["pdfinfo", "-f", "1", "-l", "5", pdf], capture_output=True,
                                  text=True).stdout
            self.assertIn("Pages:           5", info)
            for i in range(5):
                self.assertRegex(info, r"Page +%d size: +%d x %d pts" % (i + 1, 40 + 10 * i, 30 + i))
        # poppler's cairo renderer draws images 1:1 without smoothing at 72 dpi.
        if shutil.which("pdftocairo"):
            subprocess.run(["pdftocairo", "-r", "72", "-f", "3", "-l", "3", "-png", pdf,
                            self.path("r")], check=True)
            page = [f for f in os.listdir(self.dir) if f.startswith("r") and f.endswith(".png")]
            got = Image.open(self.path(page[0])).convert("RGB")
            self.assertEqual(got.tobytes(), Image.open(self.path("pg2.png")).convert("RGB").tobytes())

    def test_gif_animation(self):
        names = []
        for i in range(4):
            n = "f%d.bmp" % i
            photo(30 + i, 20).save(self.path(n))
            names.append(n)
        r = self.run_cli("--yes", "--formats", "gif", "--gif-anime", "--delay", "30", *names)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn(self.path("f3.gif") + "で保存しました。変換終了だよっ♪", r.stdout)
        gif = Image.open(self.path("f3.gif"))
        self.assertEqual(gif.n_frames, 4)
        self.assertEqual(gif.info.get("loop"), 0)
        self.assertEqual(gif.info.get("duration"), 300)
        self.assertFalse(os.path.exists(self.path("f0.gif")))

    def test_script_without_a_terminal(self):
        # No batch question; protective questions answer Cancel and say so; one settings file.
        for n in ("a.bmp", "b.bmp"):
            photo(20, 10).save(self.path(n))
        r = self.run_cli("--formats", "png", "a.bmp", "b.bmp")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertNotIn("一括変換", r.stdout)
        self.assertTrue(os.path.exists(self.path("b.png")))
        r = self.run_cli("--formats", "png", "a.bmp")
        self.assertEqual(r.returncode, 0)
        self.assertIn("がすでにあるよ♪上書きする？", r.stdout)
        self.assertIn("no terminal", r.stderr)
        self.assertIn("--overwrite", r.stderr)
        r = self.run_cli("--save", "--formats", "jpg")
        self.assertEqual(r.returncode, 0, r.stderr)
        cfg = os.path.join(self.dir, "cfg", "pamirune")
        self.assertEqual(os.listdir(cfg), ["Pamirune.ini"])

    def test_batch_file_name_quiet_and_help(self):
        for i in range(3):
            photo(20 + i, 10).save(self.path("q%d.bmp" % i))
        names = ["q0.bmp", "q1.bmp", "q2.bmp"]
        r = self.run_cli("-q", "--formats", "gif,pdf", "--gif-anime", "--pdf-batch",
                         "-o", "out/album.gif", *names)
        self.assertEqual(r.returncode, 2)  # no folder "out": refused before anything is written
        os.mkdir(self.path("out"))
        r = self.run_cli("-q", "--formats", "gif,pdf", "--gif-anime", "--pdf-batch",
                         "-o", "out/album.gif", *names)
        self.assertEqual((r.returncode, r.stdout, r.stderr), (0, "", ""))
        self.assertEqual(sorted(os.listdir(self.path("out"))), ["album.gif", "album.pdf"])
        self.assertEqual(Image.open(self.path("out/album.gif")).n_frames, 3)
        self.assertFalse(os.path.exists(self.path("q2.gif")))
        for bad in (["--formats", "png", "-o", "x.pdf"],
                    ["--formats", "pdf", "--pdf-batch", "-o", "x.png"],
                    ["--formats", "gif", "--gif-anime", "--delay", "0"]):
            r = self.run_cli(*bad, "q0.bmp")
            self.assertEqual(r.returncode, 2, bad)
            self.assertTrue(r.stderr.startswith("pamirune-cli: "), r.stderr)
        self.run_cli("--save", "--formats", "jpg,tif", "--level", "8")
        r = self.run_cli("--help")
        self.assertEqual(r.returncode, 0)
        self.assertIn("Settings file: " + os.path.join(self.dir, "cfg/pamirune/Pamirune.ini"),
                      r.stdout)
        self.assertIn("--formats jpg,tif  --colour 256  --scale 1/1  --level 8", r.stdout)

    def test_readme_scale_out_with_xargs(self):
        # Two processes over one folder, as the README shows: every file converted once.
        os.mkdir(self.path("photos"))
        for i in range(8):
            photo(16 + i, 9).save(self.path("photos/p%d.bmp" % i))
        cmd = ("find photos -name '*.bmp' -print0 | xargs -0 -n 2 -P 2 '%s' -q --formats png"
               % CLI)
        r = subprocess.run(["/bin/sh", "-c", cmd], cwd=self.dir, env=self.env,
                           capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=300)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        for i in range(8):
            out = Image.open(self.path("photos/p%d.png" % i))
            self.assertEqual(out.size, (16 + i, 9))

    def test_clipboard_jpeg_through_xclip_and_the_missing_tool_named(self):
        bin_dir = self.path("bin")
        os.mkdir(bin_dir)
        env = dict(self.env, DISPLAY=":77", PATH=bin_dir)
        env.pop("WAYLAND_DISPLAY", None)
        r = subprocess.run([CLI, "--clipboard", "--formats", "png"], cwd=self.dir, env=env,
                           capture_output=True, text=True, stdin=subprocess.DEVNULL)
        self.assertEqual(r.returncode, 1)
        self.assertIn("xclip", r.stderr)
        self.assertNotIn("クリップボードにBMPが入っていません。", r.stdout)
        # A clipboard that offers only JPEG, as browsers and viewers copy photos.
        im = photo(24, 16)
        im.save(self.path("clip.jpg"), quality=95)
        with open(os.path.join(bin_dir, "xclip"), "w") as f:
            f.write("#!/bin/sh\ncase \"$*\" in\n*TARGETS*) printf 'TARGETS\\nimage/jpeg\\n';;\n"
                    "*image/jpeg*) cat '%s';;\nesac\n" % self.path("clip.jpg"))
        os.chmod(os.path.join(bin_dir, "xclip"), 0o755)
        env["PATH"] = bin_dir + ":/usr/bin:/bin"
        r = subprocess.run([CLI, "--clipboard", "--formats", "png", "--colour", "full",
                            "--out-dir", self.dir], cwd=self.dir, env=env, capture_output=True,
                           text=True, stdin=subprocess.DEVNULL)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        out = Image.open(self.path("Clip1.png")).convert("RGB")
        self.assertEqual(out.tobytes(), Image.open(self.path("clip.jpg")).convert("RGB").tobytes())

    def test_save_writes_every_key_but_the_window_placement(self):
        ini = self.path("my.ini")
        r = self.run_cli("--ini", ini, "--save", "--formats", "png")
        self.assertEqual(r.returncode, 0, r.stderr)
        text = open(ini, encoding="utf-8").read()
        for key in ["bmp=", "jpg=", "png=1", "256=", "trs=", "Dialog=", "FDate=", "Del=",
                    "Delay=", "Open=", "Comp=5", "Size=32", "Dir="]:
            self.assertIn(key, text)
        # The window's placement is the window's own: the console never writes it.
        self.assertNotIn("Pos.X=", text)
        with open(ini, "a") as f:
            f.write("")
        text = text.replace("[Format]", "[FORMAT]").replace("png=1", "PNG=1")
        open(ini, "w").write(text)
        r = self.run_cli("--ini", ini, "--yes", "x.bmp")
        self.assertNotIn("no output format", r.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
