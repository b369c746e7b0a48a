"""The shipped catalogue as a whole: every file loads with the built executable in file order, no
machine type belongs to two model profiles, every model profile cites the document its types were
read in, real commercial names reach the family of their line through `detect`, and
docs/catalogue.md is what tools/catalogue makes of the files."""
import glob
import importlib.machinery
import importlib.util
import json
import os
import shutil
import subprocess
import sys
import tempfile
import tomllib
import unittest

import firmware
from e2e import EXE, RUNNER, SOURCE_DIR, UNDER_WINE, main, run

SHIPPED = os.path.join(SOURCE_DIR, "profiles")
TOOL = os.path.join(SOURCE_DIR, "tools", "catalogue")


def catalogue_tool():
    loader = importlib.machinery.SourceFileLoader("catalogue_tool", TOOL)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader(loader.name, loader))
    loader.exec_module(module)
    return module


# The SMBIOS Version field of real ThinkPads, as published in the public probe index of
# linux-hardware.org (https://linux-hardware.org/?probe=ID, ID in the last column) or quoted from
# the machine in a public bug report, and the family profile each must reach. None: no line of
# the catalogue claims the name, the vendor phase answers.
NAMES = [
    ("t61p", "ThinkPad T61p", "thinkpad-t", "73fddf3dcc"),
    ("t450s", "ThinkPad T450s", "thinkpad-t", "775c2839fa"),
    ("t14_gen_2i", "ThinkPad T14 Gen 2i", "thinkpad-t", "github.com/tshakalekholoane/bat/issues/24"),
    ("t14_gen_5", "ThinkPad T14 Gen 5", "thinkpad-t", "github.com/intel/AI-Playground/issues/31"),
    ("x131e", "ThinkPad X131e", "thinkpad-x", "d765880811"),
    ("x220_tablet", "ThinkPad X220 Tablet", "thinkpad-x", "791ace450e"),
    ("x240", "ThinkPad X240", "thinkpad-x", "3fa804be21"),
    ("x380_yoga", "ThinkPad X380 Yoga", "thinkpad-x", "9bb5fabf0b"),
    ("x12_detachable", "ThinkPad X12 Detachable", "thinkpad-x", "bf5c2a7930"),
    ("x13_gen_1", "ThinkPad X13 Gen 1", "thinkpad-x", "bbb3795dc2"),
    ("x13_yoga_gen_2", "ThinkPad X13 Yoga Gen 2", "thinkpad-x", "32faa4aac5"),
    # The index cuts these two names after "Gen"; Gen 5 and Gen 1 are the only generations in Lenovo's
    # driver-pack catalogue, and Lenovo's Linux WWAN readme and the kernel spell them so.
    ("x13_2_in_1_gen_5", "ThinkPad X13 2-in-1 Gen 5", "thinkpad-x", "e93b1c5556"),
    ("x1_fold_16_gen_1", "ThinkPad X1 Fold 16 Gen 1", "thinkpad-x1-fold", "cf313fdfa9"),
    ("x1_2011", "ThinkPad X1", "thinkpad-x1", "2cd6f5fbb0"),
    ("x1_titanium", "ThinkPad X1 Titanium Gen 1", "thinkpad-x1", "69f4adcf81"),
    ("x1_2_in_1_gen_9", "ThinkPad X1 2-in-1 Gen 9", "thinkpad-x1", "4659e6690b"),
    ("x1_carbon_6th", "ThinkPad X1 Carbon 6th", "thinkpad-x1-carbon", "2a4563231b"),
    ("x1_carbon_gen_9", "ThinkPad X1 Carbon Gen 9", "thinkpad-x1-carbon", "5236dde38f"),
    ("x1_yoga_1st", "ThinkPad X1 Yoga 1st", "thinkpad-x1-yoga", "7b31f4ca0b"),
    ("x1_yoga_4th", "ThinkPad X1 Yoga 4th", "thinkpad-x1-yoga", "d026d40366"),
    ("x1_tablet", "ThinkPad X1 Tablet", "thinkpad-x1-tablet", "1c271464f4"),
    ("x1_tablet_gen_3", "ThinkPad X1 Tablet Gen 3", "thinkpad-x1-tablet", "76ee3be416"),
    ("x1_nano_gen_1", "ThinkPad X1 Nano Gen 1", "thinkpad-x1-nano", "21ef2a8d9a"),
    ("x1_extreme", "ThinkPad X1 Extreme", "thinkpad-x1-extreme", "6d9c31a411"),
    ("x1_extreme_2nd", "ThinkPad X1 Extreme 2nd", "thinkpad-x1-extreme", "cb84c73399"),
    ("x1_extreme_gen2_unspaced", "ThinkPad X1 Extreme Gen2", "thinkpad-x1-extreme", "339a90fc6b"),
    ("x1_fold_gen_1", "ThinkPad X1 Fold Gen 1", "thinkpad-x1-fold", "a06677f6ea"),
    ("p1_gen_3", "ThinkPad P1 Gen 3", "thinkpad-p", "9f3d5555ce"),
    ("p1_gen_4i", "ThinkPad P1 Gen 4i", "thinkpad-p", "96c53eccb0"),
    ("p14s_gen_2i", "ThinkPad P14s Gen 2i", "thinkpad-p", "fd6d58db15"),
    ("p16s_gen_2", "ThinkPad P16s Gen 2", "thinkpad-p", "95453a6898"),
    ("w510", "ThinkPad W510", "thinkpad-w", "227847df62"),
    ("edge_e530", "ThinkPad Edge E530", "thinkpad-e", "b79dcdb648"),
    ("edge_e530c", "ThinkPad Edge E530c", "thinkpad-e", "8ce0419468"),
    ("e14_gen_3", "ThinkPad E14 Gen 3", "thinkpad-e", "1bbf224b5c"),
    ("e14_gen_5", "ThinkPad E14 Gen 5", "thinkpad-e", "a46e855825"),
    ("l480", "ThinkPad L480", "thinkpad-l", "81d46e4c4a"),
    ("l390_yoga", "ThinkPad L390 Yoga", "thinkpad-l", "a1334a7b0f"),
    ("l14_gen_2a", "ThinkPad L14 Gen 2a", "thinkpad-l", "github.com/mkopec/psb_status/pull/3"),
    ("l13_yoga_gen_2", "ThinkPad L13 Yoga Gen 2", "thinkpad-l", "a03d5e6451"),
    ("s1_yoga", "ThinkPad S1 Yoga", "thinkpad-yoga", "6de592988e"),
    ("s1_yoga_12", "ThinkPad S1 Yoga 12", "thinkpad-yoga", "5112d236ce"),
    ("yoga_11e", "ThinkPad Yoga 11e", "thinkpad-yoga", "dc7e0ada81"),
    ("yoga_14", "ThinkPad Yoga 14", "thinkpad-yoga", "f2285e1033"),
    ("yoga_260", "ThinkPad Yoga 260", "thinkpad-yoga", "73ab89b8f0"),
    ("yoga_370", "ThinkPad Yoga 370", "thinkpad-yoga", "0d6b3107c6"),
    ("z13_gen_1", "ThinkPad Z13 Gen 1", "thinkpad-z", "fb088c26c9"),
    ("z16_gen_1", "ThinkPad Z16 Gen 1", "thinkpad-z", "3c9cd9e73c"),
    ("tablet_10", "ThinkPad 10", "thinkpad-10", "9b7a2a3d3b"),
    ("helix", "ThinkPad Helix", "thinkpad-helix", "12ef944776"),
    ("thinkpad_13_2nd_gen", "ThinkPad 13 2nd Gen", "thinkpad-13", "f8c3b429a2"),
    # Lenovo's driver-pack catalogue says "ThinkPad T25"; the machine itself says "ThinkPad 25", which the
    # T line claims.
    ("thinkpad_25", "ThinkPad 25", "thinkpad-t", "86d3ea8b6a"),
]


def shipped_files():
    return sorted(glob.glob(os.path.join(SHIPPED, "*.toml")), key=os.fsencode)


def read_toml(path):
    with open(path, "rb") as f:
        return tomllib.load(f)


class ShippedCatalogue(unittest.TestCase):
    def test_every_file_loads_in_file_order_under_its_own_name(self):
        got = run(["profiles", "--profiles", SHIPPED if not UNDER_WINE else "Z:" + SHIPPED])
        self.assertEqual((got.code, got.err), (0, b""), got)
        listed = [entry["id"] for entry in json.loads(got.out)["profiles"]]
        stems = [os.path.basename(path)[: -len(".toml")] for path in shipped_files()]
        self.assertEqual(listed, stems)

    @unittest.skipIf(UNDER_WINE, "the files themselves are checked once, with the native build")
    def test_a_machine_type_belongs_to_one_model_profile(self):
        owner = {}
        clashes = []
        for path in shipped_files():
            profile = read_toml(path)
            if profile["scope"] != "model":
                continue
            for code in profile["matches"].get("mtm", []):
                first = owner.setdefault(code.upper(), profile["id"])
                if first != profile["id"] or profile["matches"]["mtm"].count(code) > 1:
                    clashes.append(f"{code}: {first}, {profile['id']}")
        self.assertEqual(clashes, [])

    @unittest.skipIf(UNDER_WINE, "the files themselves are checked once, with the native build")
    def test_every_model_profile_cites_its_documents_and_has_a_line(self):
        tool = catalogue_tool()
        profiles = tool.load(SHIPPED)
        families = [p for p in profiles if p.scope == "family"]
        unsourced = [p.id for p in profiles if p.scope == "model"
                     and not any(a.startswith("https://") for a, _ in p.documents())]
        self.assertEqual(unsourced, [])
        lineless = [p.id for p in profiles if p.scope == "model" and "thinkpad" in p.display_name.lower()
                    and tool.family_of(p.display_name, families) is None]
        self.assertEqual(lineless, [])


@unittest.skipIf(UNDER_WINE, "resolution is the same code in both builds; the names run with the native build")
class RealNames(unittest.TestCase):
    def test_each_name_reaches_the_family_of_its_line(self):
        for row, version, family, _source in NAMES:
            with self.subTest(name=row):
                # No product name: no machine type, so no model profile answers and the family
                # phase alone decides, as for a model the catalogue does not list.
                table = firmware.machine_table(system_manufacturer="LENOVO", system_version=version)
                proc = firmware.run_with_dmi_table(RUNNER + [EXE, "detect", "--profiles", SHIPPED], table)
                self.assertEqual((proc.returncode, proc.stderr), (0, b""), proc)
                report = json.loads(proc.stdout)
                expected = ("family", family) if family else ("dynamic_probe", None)
                self.assertEqual((report["resolution"], report["profile_id"]), expected)


@unittest.skipIf(UNDER_WINE, "the page is checked once, with the native build")
class CataloguePage(unittest.TestCase):
    def tool(self, *args):
        return subprocess.run([sys.executable, TOOL, *args], capture_output=True, stdin=subprocess.DEVNULL)

    def test_page_matches_the_files(self):
        proc = self.tool("--check")
        self.assertEqual((proc.returncode, proc.stderr.decode()), (0, ""))

    def test_check_fails_when_a_profile_changes(self):
        with tempfile.TemporaryDirectory() as work:
            profiles = os.path.join(work, "profiles")
            shutil.copytree(SHIPPED, profiles)
            page = os.path.join(work, "catalogue.md")
            shutil.copy(os.path.join(SOURCE_DIR, "docs", "catalogue.md"), page)
            with open(os.path.join(profiles, "thinkpad-x220-tablet.toml"), "a", encoding="utf-8") as f:
                f.write("# une ligne de plus ne change rien\n")
            self.assertEqual(self.tool("--check", "--profiles", profiles, "--page", page).returncode, 0)
            with open(os.path.join(profiles, "zz-nouveau.toml"), "w", encoding="utf-8") as f:
                f.write('schema_version = 1\nid = "zz-nouveau"\ndisplay_name = "ThinkPad T999"\n'
                        'scope = "model"\n[matches]\nmtm = ["0ZZZ"]\n')
            proc = self.tool("--check", "--profiles", profiles, "--page", page)
            self.assertEqual((proc.returncode, proc.stderr.decode()),
                             (1, f"{page} n'est pas à jour avec {profiles} : lancez tools/catalogue --write\n"))
            self.assertEqual(self.tool("--write", "--profiles", profiles, "--page", page).returncode, 0)
            with open(page, encoding="utf-8") as f:
                self.assertIn("| ThinkPad T999 | `zz-nouveau` | 0ZZZ | — |  |", f.read())


if __name__ == "__main__":
    main()
