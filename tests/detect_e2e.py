"""`detect` and `profiles` of the built executable, end to end, on firmware chosen by the test:
under Wine the Windows build reads the table Wine makes from /sys/class/dmi/id; natively the
Linux build reads /sys/firmware/dmi/tables/DMI. Each case compares the whole document byte for
byte, with Python's own JSON writer (indent 2, raw UTF-8) as the independent oracle of the form."""
import glob
import json
import os
import shutil
import tempfile
import unittest

import firmware
from e2e import EXE, RUNNER, SOURCE_DIR, UNDER_WINE, main

NOTICE = ("Vantrel est un projet indépendant et NON OFFICIEL : il n'est ni développé, ni approuvé, ni "
          "soutenu par Lenovo. ThinkPad et Lenovo sont des marques de Lenovo. Ce logiciel est fourni sans "
          "aucune garantie ; vous l'utilisez à vos propres risques.")
BACKEND = "windows-native" if UNDER_WINE else "linux-sysfs"

LABELS = {
    "manufacturer": "SMBIOS type 1 (System) : Manufacturer",
    "mtm": "SMBIOS type 1 (System) : Product Name",
    "bios_vendor": "SMBIOS type 0 (BIOS) : Vendor",
    "bios_version": "SMBIOS type 0 (BIOS) : Version",
    "bios_release_date": "SMBIOS type 0 (BIOS) : Release Date",
}
DISPLAY_LABELS = {
    "version": "SMBIOS type 1 (System) : Version",
    "family": "SMBIOS type 1 (System) : Family",
    "product": "SMBIOS type 1 (System) : Product Name",
    "baseboard": "SMBIOS type 2 (Baseboard) : Product",
}

PROFILES = {
    "a-exemple-14-gen2.toml": '''schema_version = 1
id = "exemple-14-gen2"
display_name = "ThinkPad Exemple 14 Gen 2"
scope = "model"

[matches]
mtm = ["20AB", "20AC"]
''',
    "b-exemple-famille.toml": '''schema_version = 1
id = "exemple-famille"
display_name = "ThinkPad Exemple"
scope = "family"

[matches]
version_contains = ["exemple 14"]
''',
    "notes.txt": "not a profile",
}


def report(identity, display_from, resolution, profile_id, loaded):
    values = dict(identity)
    sources = {key: (LABELS[key] if values.get(key) is not None else None)
               for key in ("manufacturer", "mtm")}
    sources["display_name"] = DISPLAY_LABELS[display_from] if display_from else None
    for key in ("bios_vendor", "bios_version", "bios_release_date"):
        sources[key] = LABELS[key] if values.get(key) is not None else None
    document = {
        "notice": NOTICE,
        "backend": BACKEND,
        "manufacturer": values.get("manufacturer"),
        "mtm": values.get("mtm"),
        "display_name": values.get("display_name"),
        "bios_vendor": values.get("bios_vendor"),
        "bios_version": values.get("bios_version"),
        "bios_release_date": values.get("bios_release_date"),
        "resolution": resolution,
        "profile_id": profile_id,
        "profiles_loaded": loaded,
        "sources": sources,
    }
    return (json.dumps(document, indent=2, ensure_ascii=False) + "\n").encode()


# Firmware as the machine publishes it, and the identity the report must show.
MACHINES = [
    ("thinkpad_exact",
     dict(sys_vendor="LENOVO", product_name="20ABCTO1WW", product_version="ThinkPad Exemple 14 Gen 2",
          product_family="ThinkPad Exemple", bios_vendor="LENOVO", bios_version="N2XET39W (1.23 )",
          bios_date="01/02/2024", board_name="20ABCTO1WW"),
     dict(manufacturer="LENOVO", mtm="20AB", display_name="ThinkPad Exemple 14 Gen 2", bios_vendor="LENOVO",
          bios_version="N2XET39W (1.23 )", bios_release_date="01/02/2024"),
     "version", "exact", "exemple-14-gen2"),
    ("family_through_placeholder_version",
     dict(sys_vendor="LENOVO", product_name="21XXCTO1WW", product_version="System Version",
          product_family="ThinkPad Exemple 14 «Été» \"2\"\\", bios_vendor="LENOVO", bios_version="1.0",
          bios_date="2024-05-06"),
     dict(manufacturer="LENOVO", mtm="21XX", display_name="ThinkPad Exemple 14 «Été» \"2\"\\",
          bios_vendor="LENOVO", bios_version="1.0", bios_release_date="2024-05-06"),
     "family", "family", "exemple-famille"),
    ("known_vendor_without_profile",
     dict(sys_vendor="  Framework ", product_name="Laptop 13 (AMD Ryzen 7040Series)",
          product_version="To Be Filled By O.E.M.", product_family="", bios_vendor="INSYDE Corp.",
          bios_version="03.05", bios_date="03/29/2024", board_name="FRANMDCP07"),
     dict(manufacturer="Framework", display_name="Laptop 13 (AMD Ryzen 7040Series)", bios_vendor="INSYDE Corp.",
          bios_version="03.05", bios_release_date="03/29/2024"),
     "product", "dynamic_probe", None),
    ("nothing_published", {}, {}, None, "unsupported", None),
]


def linux_table(strings):
    # A string set cannot hold an empty string (two NULs end it): firmware gives such a field the
    # string number 0, as Wine does for an empty file.
    strings = {key: value for key, value in strings.items() if value != ""}
    return firmware.machine_table(
        bios_vendor=strings.get("bios_vendor"), bios_version=strings.get("bios_version"),
        bios_release_date=strings.get("bios_date"), system_manufacturer=strings.get("sys_vendor"),
        system_product_name=strings.get("product_name"), system_version=strings.get("product_version"),
        system_family=strings.get("product_family"), baseboard_product=strings.get("board_name"))


class Detect(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.TemporaryDirectory(prefix="vantrel-detect-")
        self.addCleanup(self.work.cleanup)
        self.profiles = os.path.join(self.work.name, "profiles")
        os.mkdir(self.profiles)
        for name, text in PROFILES.items():
            with open(os.path.join(self.profiles, name), "w", encoding="utf-8") as f:
                f.write(text)

    def run_on(self, strings, args):
        command = ["sh", "-c", 'cd "$0" && exec "$@"', self.work.name] + RUNNER + [EXE] + args
        if UNDER_WINE:
            return firmware.run_with_dmi_strings(command, strings)
        return firmware.run_with_dmi_table(command, linux_table(strings))

    def test_whole_report_for_each_machine(self):
        for name, strings, identity, display_from, resolution, profile_id in MACHINES:
            with self.subTest(machine=name):
                proc = self.run_on(strings, ["detect", "--profiles", "profiles"])
                expected = report(identity, display_from, resolution, profile_id, 2)
                self.assertEqual((proc.returncode, proc.stderr), (0, b""), proc)
                self.assertEqual(proc.stdout.decode(), expected.decode())

    def test_shipped_catalogue_leaves_the_machines_it_does_not_describe_unchanged(self):
        # The two ThinkPads above are fictional and answered by this test's own profiles; the
        # Framework laptop and the empty table must get the same report from the whole shipped
        # catalogue, but for the number of profiles loaded.
        shipped = os.path.join(self.work.name, "shipped")
        shutil.copytree(os.path.join(SOURCE_DIR, "profiles"), shipped)
        loaded = len(glob.glob(os.path.join(shipped, "*.toml")))
        self.assertGreater(loaded, len(PROFILES))
        for name, strings, identity, display_from, resolution, profile_id in MACHINES:
            if name not in ("known_vendor_without_profile", "nothing_published"):
                continue
            with self.subTest(machine=name):
                proc = self.run_on(strings, ["detect", "--profiles", "shipped"])
                self.assertEqual((proc.returncode, proc.stderr), (0, b""), proc)
                self.assertEqual(proc.stdout.decode(),
                                 report(identity, display_from, resolution, profile_id, loaded).decode())

    def test_out_file_holds_the_bytes_stdout_would_get(self):
        name, strings, identity, display_from, resolution, profile_id = MACHINES[0]
        out_path = os.path.join(self.work.name, "rapport é.json")
        with open(out_path, "wb") as f:
            f.write(b"x" * 20000)  # replaced whole
        proc = self.run_on(strings, ["detect", "--profiles", "profiles", "--out", "rapport é.json"])
        self.assertEqual((proc.returncode, proc.stdout, proc.stderr), (0, b"", b""), proc)
        with open(out_path, "rb") as f:
            self.assertEqual(f.read(), report(identity, display_from, resolution, profile_id, 2))

    def test_bad_profile_fails_before_the_firmware_is_read(self):
        with open(os.path.join(self.profiles, "c-bad.toml"), "w") as f:
            f.write('schema_version = 2\nid = "x"\ndisplay_name = "x"\nscope = "model"\n[matches]\nmtm = ["20AB"]\n')
        # A table that would fail to walk: the profile error must come first.
        command = ["sh", "-c", 'cd "$0" && exec "$@"', self.work.name] + RUNNER + [EXE, "detect", "--profiles",
                                                                                 "profiles"]
        if UNDER_WINE:
            proc = firmware.run_with_dmi_strings(command, {})
        else:
            proc = firmware.run_with_dmi_table(command, b"\x01\x02\x00\x00")
        separator = "\\" if UNDER_WINE else "/"
        self.assertEqual(proc.returncode, 1, proc)
        self.assertEqual(proc.stdout, b"")
        self.assertEqual(proc.stderr.decode(),
                         f"erreur : profils (profiles) : profiles{separator}c-bad.toml : "
                         "version de schéma 2 non supportée (attendu 1)\n")

    def test_profiles_lists_the_catalogue_in_file_order(self):
        proc = self.run_on({}, ["profiles", "--profiles", "profiles"])
        expected = {
            "notice": NOTICE,
            "profiles": [
                {"id": "exemple-14-gen2", "display_name": "ThinkPad Exemple 14 Gen 2", "scope": "model",
                 "capabilities": 0},
                {"id": "exemple-famille", "display_name": "ThinkPad Exemple", "scope": "family", "capabilities": 0},
            ],
        }
        self.assertEqual((proc.returncode, proc.stderr), (0, b""), proc)
        self.assertEqual(proc.stdout.decode(), json.dumps(expected, indent=2, ensure_ascii=False) + "\n")


@unittest.skipIf(UNDER_WINE, "the sysfs table and its permissions exist in the native build only")
class LinuxTableAccess(unittest.TestCase):
    def test_unreadable_table_is_refused_access(self):
        with tempfile.TemporaryDirectory(prefix="vantrel-detect-") as work:
            os.chmod(work, 0o755)
            proc = firmware.run_with_dmi_table(
                ["sh", "-c", 'cd "$0" && exec "$@"', work] + RUNNER + [EXE, "detect", "--profiles", "."],
                firmware.machine_table(), mode=0o400, user=firmware.NOBODY)
            self.assertEqual((proc.returncode, proc.stdout), (1, b""), proc)
            self.assertEqual(proc.stderr.decode(), "erreur : accès refusé : lecture de la table SMBIOS refusée "
                                                   "(/sys/firmware/dmi/tables/DMI)\n")

    def test_malformed_table_is_invalid_data(self):
        with tempfile.TemporaryDirectory(prefix="vantrel-detect-") as work:
            proc = firmware.run_with_dmi_table(
                ["sh", "-c", 'cd "$0" && exec "$@"', work] + RUNNER + [EXE, "detect", "--profiles", "."],
                firmware.structure(1) + b"\x01\x02\x00\x00")
            self.assertEqual(proc.stderr.decode(),
                             "erreur : données invalides : structure SMBIOS invalide à l'offset 6\n")
            self.assertEqual(proc.returncode, 1)


if __name__ == "__main__":
    main()
