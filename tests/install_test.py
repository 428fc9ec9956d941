"""A staged "cmake --install" and "cpack -G DEB", checked with the desktop's own validators."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

BUILD = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "build"


def run(*args, **kw):
    return subprocess.run(args, capture_output=True, text=True, timeout=300, **kw)


class InstallTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="pamirune-install-")
        cls.prefix = os.path.join(cls.tmp, "usr")
        r = run("cmake", "--install", BUILD, "--prefix", cls.prefix)
        assert r.returncode == 0, r.stdout + r.stderr

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def installed(self, rel):
        path = os.path.join(self.prefix, rel)
        self.assertTrue(os.path.exists(path), rel)
        return path

    def test_programs_are_stripped_and_run(self):
        for name in ("pamirune", "pamirune-cli"):
            path = self.installed("bin/" + name)
            sections = run("readelf", "-S", "-W", path).stdout
            self.assertNotIn(".symtab", sections, name + " is not stripped")
            self.assertNotIn(".debug_info", sections, name)
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        for name in ("pamirune", "pamirune-cli"):
            r = run(self.installed("bin/" + name), "--version", env=env)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertIn("1.52", r.stdout)

    def test_desktop_entry_and_metainfo_validate(self):
        desktop = self.installed("share/applications/pamirune.desktop")
        metainfo = self.installed("share/metainfo/io.github.pamirune.metainfo.xml")
        self.installed("share/icons/hicolor/scalable/apps/pamirune.svg")
        self.installed("share/pamirune/help/pamirune.htm")
        if not shutil.which("desktop-file-validate"):
            self.skipTest("desktop-file-validate is not installed")
        r = run("desktop-file-validate", desktop)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertEqual(r.stdout.strip(), "")
        if not shutil.which("appstreamcli"):
            self.skipTest("appstreamcli is not installed")
        r = run("appstreamcli", "validate", "--no-net", metainfo)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)

    def test_manual_pages_render_without_warnings_and_name_every_option(self):
        help_text = run(self.installed("bin/pamirune-cli"), "--help").stdout
        options = set(re.findall(r"(?<![\w-])--[a-z][a-z-]+", help_text))
        self.assertIn("--keep-going", options)
        completion = open(self.installed(
            "share/bash-completion/completions/pamirune-cli")).read()
        for name in ("pamirune.1", "pamirune-cli.1"):
            page = self.installed("share/man/man1/" + name)
            r = run("groff", "-k", "-man", "-Tutf8", "-ww", "-z", page,
                    env=dict(os.environ, LC_ALL="C.UTF-8"))
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual(r.stderr, "", name)
            if shutil.which("man"):
                r = run("man", "-l", page, env=dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80"))
                self.assertEqual(r.returncode, 0, r.stderr)
                self.assertIn("NAME", r.stdout)
        cli_page = open(os.path.join(self.prefix, "share/man/man1/pamirune-cli.1")).read()
        cli_page = cli_page.replace("\\-", "-")
        for option in options:
            self.assertIn(option, cli_page, "manual page lacks " + option)
            self.assertIn(option, completion, "completion lacks " + option)
        r = run("bash", "-c", "shopt -s extglob; source '%s'; COMP_WORDS=(pamirune-cli --colour ''); "
                "COMP_CWORD=2; _pamirune_cli; echo ${COMPREPLY[@]}" %
                os.path.join(self.prefix, "share/bash-completion/completions/pamirune-cli"))
        self.assertEqual(r.stdout.split(), ["256", "full", "bw"])

    def test_debian_package(self):
        if not shutil.which("cpack") or not shutil.which("dpkg-deb"):
            self.skipTest("cpack or dpkg-deb missing")
        out = os.path.join(self.tmp, "pkg")
        r = run("cpack", "-G", "DEB", "-B", out, "--config",
                os.path.join(BUILD, "CPackConfig.cmake"))
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        debs = [f for f in os.listdir(out) if f.endswith(".deb")]
        self.assertEqual(len(debs), 1, os.listdir(out))
        deb = os.path.join(out, debs[0])
        info = run("dpkg-deb", "--info", deb).stdout
        self.assertIn("Package: pamirune", info)
        self.assertRegex(info, r"Depends:.*libqt6")
        files = run("dpkg-deb", "--contents", deb).stdout
        for rel in ("./usr/bin/pamirune", "./usr/bin/pamirune-cli",
                    "./usr/share/applications/pamirune.desktop",
                    "./usr/share/man/man1/pamirune-cli.1"):
            self.assertIn(rel, files)


if __name__ == "__main__":
    unittest.main(verbosity=2)
