"""The release archive: built by CPack from this build, unpacked into a fresh folder whose path
holds a blank, and run from there under Wine as a user would."""
import glob
import os
import subprocess
import tempfile
import unittest
import zipfile

from e2e import BINARY_DIR, RUNNER, UNDER_WINE, main, run

ARCHIVE = "vantrel-2.1.0-windows-x64.zip"


@unittest.skipUnless(UNDER_WINE, "the archive is the Windows build's")
class ReleaseArchive(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory(prefix="vantrel-package-")
        proc = subprocess.run(["cpack", "--config", os.path.join(BINARY_DIR, "CPackConfig.cmake"),
                               "-B", cls.work.name], capture_output=True, stdin=subprocess.DEVNULL)
        if proc.returncode != 0:
            raise AssertionError("cpack failed:\n" + proc.stdout.decode() + proc.stderr.decode())
        cls.archive = os.path.join(cls.work.name, ARCHIVE)
        cls.unpacked = os.path.join(cls.work.name, "Mes programmes", "Vantrel 2.1")
        with zipfile.ZipFile(cls.archive) as z:
            z.extractall(cls.unpacked)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def test_archive_holds_what_a_user_installs(self):
        with zipfile.ZipFile(self.archive) as z:
            names = set(z.namelist())
        for expected in ("vantrel.exe", "framework/LISEZMOI.txt", "docs/guide.md", "docs/profils.md",
                         "docs/catalogue.md", "docs/schemas/report.schema.json", "docs/schemas/listing.schema.json",
                         "docs/schemas/profile.schema.json", "LICENCE.txt"):
            self.assertIn(expected, names)
        shipped = sorted(os.path.basename(p) for p in glob.glob(os.path.join(os.environ["VANTREL_SOURCE_DIR"],
                                                                              "profiles", "*.toml")))
        self.assertTrue(shipped)
        self.assertEqual(sorted(n[len("profiles/"):] for n in names if n.startswith("profiles/") and n.endswith(".toml")),
                         shipped)
        # The Framework tools are not shipped: only the note (and the folder entry itself).
        self.assertEqual(sorted(n for n in names if n.startswith("framework/") and n != "framework/"),
                         ["framework/LISEZMOI.txt"])

    def test_detect_and_profiles_run_from_the_unpacked_folder(self):
        exe = os.path.join(self.unpacked, "vantrel.exe")
        for command in (["detect"], ["profiles"]):
            with self.subTest(command=command):
                got = run(command, cwd=self.unpacked, exe=exe)
                self.assertEqual((got.code, got.err), (0, b""), got)
                self.assertTrue(got.out.startswith(b'{\n  "notice": "Vantrel '), got)
        listing = run(["profiles"], cwd=self.unpacked, exe=exe).out.decode()
        self.assertNotIn('"profiles": []', listing)


if __name__ == "__main__":
    main()
