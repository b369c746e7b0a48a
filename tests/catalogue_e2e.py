"""The shipped catalogue as a whole: every file loads with the built executable in file order, no
machine type belongs to two model profiles, every model profile cites the document its types were
read in, real commercial names reach the family of their line through `detect`, and
docs/catalogue.md is what tools/catalogue makes of the files.

The tables tests/data/version-families-*.tsv hold SMBIOS Version strings read on real Lenovo
machines (tab-separated: row name, Version, the family profile id or `dynamic_probe` or
`unsupported` that `detect` must give, the dump the Version was read in)."""
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
CONSUMER_TOOL = os.path.join(SOURCE_DIR, "tools", "lenovo-consumer-profiles")
VERSION_TABLES = os.path.join(SOURCE_DIR, "tests", "data", "version-families-*.tsv")
VERSION_HEADER = ["row", "version", "expected", "source"]


def catalogue_tool(path=TOOL):
    loader = importlib.machinery.SourceFileLoader(os.path.basename(path).replace("-", "_"), path)
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


def version_tables():
    """{file name: [(row, version, expected, source)]} for every tests/data/version-families-*.tsv."""
    tables = {}
    for path in sorted(glob.glob(VERSION_TABLES)):
        with open(path, encoding="utf-8", newline="") as f:
            lines = f.read().split("\n")
        if lines and lines[-1] == "":
            lines.pop()
        tables[os.path.basename(path)] = [tuple(line.split("\t")) for line in lines]
    return tables


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
        # A consumer model's file is named after its family (lenovo-ideapad-320-15ikb), and its
        # commercial name must reach that family.
        misfiled = []
        for p in profiles:
            named = [f.id for f in families if p.scope == "model" and f.id.startswith("lenovo-")
                     and p.id.startswith(f.id + "-")]
            found = tool.family_of(p.display_name, families)
            if named and (found is None or found.id != max(named, key=len)):
                misfiled.append(f"{p.id}: {p.display_name} -> {found.id if found else None}")
        self.assertEqual(misfiled, [])


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


@unittest.skipIf(UNDER_WINE, "resolution is the same code in both builds; the names run with the native build")
class RealVersions(unittest.TestCase):
    def test_tables_are_well_formed(self):
        tables = version_tables()
        self.assertTrue(tables, VERSION_TABLES)
        family_ids = {read_toml(p)["id"] for p in shipped_files() if read_toml(p)["scope"] == "family"}
        seen = set()
        for name, rows in tables.items():
            with self.subTest(table=name):
                self.assertEqual(list(rows[0]), VERSION_HEADER)
                for row in rows[1:]:
                    self.assertEqual(len(row), 4, row)
                    self.assertRegex(row[0], r"^[a-z0-9_]+$")
                    self.assertNotIn(row[0], seen, "row names are unique across the tables")
                    seen.add(row[0])
                    self.assertIn(row[2], family_ids | {"dynamic_probe", "unsupported"}, row)

    def test_no_consumer_fragment_occurs_in_a_thinkpad_name(self):
        # The lenovo-* families come before the thinkpad-* ones in file order: a fragment of theirs
        # found in a ThinkPad name ("Yoga" in "ThinkPad S1 Yoga") would take the machine. The names
        # are those of the tables and those the ThinkPad profiles show.
        tool = catalogue_tool()
        consumer = [p for p in tool.load(SHIPPED) if p.scope == "family" and p.id.startswith("lenovo-")]
        self.assertTrue(consumer)
        names = [(row, version) for rows in version_tables().values() for row, version, _e, _s in rows[1:]]
        names += [(p.id, p.display_name) for p in tool.load(SHIPPED)]
        taken = []
        for row, version in names:
            if "thinkpad" in version.lower():
                family = tool.family_of(version, consumer)
                if family:
                    taken.append(f"{row}: {version} -> {family.id}")
        self.assertEqual(taken, [])

    def test_each_version_reaches_its_family(self):
        rows = [row for table in version_tables().values() for row in table[1:]]
        self.assertTrue(rows)
        # No product name: no machine type, so the family phase alone decides. A Version the dump
        # left empty is a Version string the table does not carry (string number 0).
        tables = [firmware.machine_table(system_manufacturer="LENOVO", system_version=version or None)
                  for _row, version, _expected, _source in rows]
        results = firmware.run_with_dmi_tables(RUNNER + [EXE, "detect", "--profiles", SHIPPED], tables)
        for (row, version, expected, _source), (code, out, err) in zip(rows, results):
            with self.subTest(row=row):
                self.assertEqual((code, err), (0, b""), version)
                report = json.loads(out)
                got = report["profile_id"] if report["resolution"] == "family" else report["resolution"]
                self.assertEqual(got, expected, version)
                self.assertEqual(report["profile_id"] is None, report["resolution"] != "family", report)


# Two Versions, and whether the consumer profile tool reads them as one model.
SPELLINGS = [
    ("unspaced_upper_case", "LEGION5PRO-16ACH6H", "Legion 5 Pro 16ACH6H", True),
    ("without_line_word", "510-15IKB", "Lenovo ideapad 510-15IKB", True),
    ("gen_for_g", "Lenovo ThinkBook 16p Gen 2", "ThinkBook 16p G2", True),
    ("variant_mark", "IdeaPad 3 15IML05 D1", "IdeaPad 3 15IML05", True),
    ("misspelling_beside_the_name", "LENOVO 300s-15ARR", "Lenovo ideapad 330S-15ARR", True),
    ("touch_is_a_model", "Lenovo ideapad 320-15IKB Touch", "Lenovo ideapad 320-15IKB", False),
    ("plus_is_a_model", "ThinkBook 14 G4+ IAP", "ThinkBook 14 G4 IAP", False),
    ("g_and_z", "Lenovo G40-70", "Lenovo Z40-70", False),
]

# Rows of the linuxhw/DMI table (type, Version, machines) and the model profile each type gets.
DMI_ROWS = [("2036", "Lenovo G40-70", 3), ("2036", "Lenovo Z40-70", 3),
            ("80XL", "Lenovo ideapad 320-15IKB", 45), ("80XL", "INVALID", 1),
            ("81BG", "Lenovo ideapad 320-15IKB", 10),
            ("82JQ", "Legion 5 Pro 16ACH6H", 50), ("82JQ", "Lenovo Legion R9000P2021H", 13),
            ("2007", "ThinkPad Edge", 1), ("2007", "Lenovo G570", 98),
            ("80UN", "Lenovo XiaoXin Air 12", 1), ("4068", "Lenovo", 3)]
DMI_TYPES = [
    ("two_models_on_one_type", "2036", None),
    ("one_model_despite_a_meaningless_version", "80XL", "lenovo-ideapad-320-15ikb"),
    ("second_type_of_the_model", "81BG", "lenovo-ideapad-320-15ikb"),
    ("chinese_market_name_beside_the_model", "82JQ", "lenovo-legion-5-pro-16ach6h"),
    ("shared_with_a_thinkpad", "2007", None),
    ("line_outside_the_catalogue", "80UN", None),
    ("no_model_name", "4068", None),
]


@unittest.skipIf(UNDER_WINE, "the tool is checked once, with the native build")
class ConsumerProfileTool(unittest.TestCase):
    def setUp(self):
        self.tool = catalogue_tool(CONSUMER_TOOL)

    def test_spellings_of_one_model_and_names_of_two(self):
        for row, first, second, same in SPELLINGS:
            with self.subTest(row=row):
                keys = [self.tool.model_key(self.tool.bare(v)) for v in (first, second)]
                self.assertEqual(keys[0] == keys[1], same, keys)

    def test_a_type_gets_a_model_profile_only_when_its_machines_name_one_model(self):
        commit = "57b21bc6fdd863380e99c228c22aafcd1509528c"
        rows = [{"machine_type": t, "version": v, "family": "", "category": "Notebook", "machines": str(n),
                 "example_path": f"Notebook/Lenovo/{t}/{v} {t}/0"} for t, v, n in DMI_ROWS]
        files, _table, left_out, _models = self.tool.build(commit, rows)
        owner = {}
        for pid, text in files.items():
            profile = tomllib.loads(text)
            for code in profile["matches"].get("mtm", []):
                owner[code] = pid
        for row, mtype, expected in DMI_TYPES:
            with self.subTest(row=row):
                self.assertEqual(owner.get(mtype), expected)
                self.assertEqual(mtype in dict(left_out), expected is None, left_out)
        cited = files["lenovo-ideapad-320-15ikb"]
        self.assertIn(f"# Source : https://github.com/linuxhw/DMI/tree/{commit}/Notebook/Lenovo/80XL/"
                      "Lenovo%20ideapad%20320-15IKB%2080XL/0 (type 80XL : 46 machines, Version "
                      "« Lenovo ideapad 320-15IKB » 45, « INVALID » 1)\n", cited)


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
