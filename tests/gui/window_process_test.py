"""The window program as separate processes on the offscreen platform: --help without a display,
names that are not UTF-8 on the command line, and a second start handing its files over."""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

PROGRAM = sys.argv.pop(1) if len(sys.argv) > 1 else "pamirune"

# A 2 x 2 24-bit BMP: file header, info header, two rows of two pixels padded to 8 bytes.
BMP = (b"BM" + (70).to_bytes(4, "little") + bytes(4) + (54).to_bytes(4, "little") +
       (40).to_bytes(4, "little") + (2).to_bytes(4, "little") + (2).to_bytes(4, "little") +
       (1).to_bytes(2, "little") + (24).to_bytes(2, "little") + bytes(24) +
       bytes([0, 0, 255, 0, 255, 0, 0, 0]) + bytes([255, 0, 0, 255, 255, 255, 0, 0]))


def wait_for(pred, timeout=20):
    end = time.time() + timeout
    while time.time() < end:
        if pred():
            return True
        time.sleep(0.05)
    return False


class WindowProcessTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="pamirune-window-").encode()
        run = os.path.join(self.dir, b"run")
        os.mkdir(run, 0o700)
        cfg = os.path.join(self.dir, b"cfg", b"pamirune")
        os.makedirs(cfg)
        # png output, no information boxes: nothing waits for a click.
        with open(os.path.join(cfg, b"Pamirune.ini"), "w") as f:
            f.write("[Format]\npng=1\n[Flag]\nDialog=1\n")
        self.env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=self.dir.decode(),
                        XDG_CONFIG_HOME=os.path.join(self.dir, b"cfg").decode(),
                        XDG_DATA_HOME=os.path.join(self.dir, b"data").decode(),
                        XDG_RUNTIME_DIR=run.decode())
        self.socket = os.path.join(run, b"pamirune.lock.sock")
        self.running = None

    def tearDown(self):
        if self.running and self.running.poll() is None:
            self.running.terminate()
            self.running.wait(10)
        shutil.rmtree(self.dir, ignore_errors=True)

    def image(self, name):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(BMP)
        return path

    def start(self, *args, **kw):
        return subprocess.run([PROGRAM, *args], env=self.env, cwd=self.dir, capture_output=True,
                              timeout=60, **kw)

    def test_help_and_version_need_no_display(self):
        env = {k: v for k, v in self.env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        del env["QT_QPA_PLATFORM"]
        for arg, text in (("--help", b"Usage: pamirune"), ("--version", b"1.52")):
            r = subprocess.run([PROGRAM, arg], env=env, capture_output=True, timeout=60)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertIn(text, r.stdout)

    def test_shift_jis_name_on_the_command_line(self):
        src = self.image(b"\x82\xa0\x82\xa2.bmp")  # "あい.bmp" in Shift-JIS
        r = self.start(src)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(os.path.exists(os.path.join(self.dir, b"\x82\xa0\x82\xa2.png")))

    def test_second_start_hands_its_files_to_the_running_window(self):
        self.running = subprocess.Popen([PROGRAM], env=self.env, cwd=self.dir,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertTrue(wait_for(lambda: os.path.exists(self.socket)))
        one, two = self.image(b"one.bmp"), self.image(b"\x83J.bmp")
        # Names relative to the second start's folder.
        r = self.start(b"one.bmp", os.path.basename(two))
        self.assertEqual(r.returncode, 0, r.stderr)
        for name in (b"one.png", b"\x83J.png"):
            self.assertTrue(wait_for(lambda: os.path.exists(os.path.join(self.dir, name))), name)
        # Without files the window only comes forward; it keeps running either way.
        self.assertEqual(self.start().returncode, 0)
        self.assertIsNone(self.running.poll())


if __name__ == "__main__":
    unittest.main(verbosity=2)
