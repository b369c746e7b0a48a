"""tools/thinkpad-profiles: which machine types of a firmware table become a model profile, which are
left out and why, how catalogue entries are named, and that the committed files are what the tool
writes from the table they were written from."""
import importlib.machinery
import importlib.util
import os
import tempfile
import unittest

from e2e import SOURCE_DIR, main

TOOL = os.path.join(SOURCE_DIR, "tools", "thinkpad-profiles")
SHIPPED = os.path.join(SOURCE_DIR, "profiles")
# The table the committed files were written from lives beside the repository, not in it.
TABLE = os.environ.get("VANTREL_DMI_TABLE",
                       os.path.join(SOURCE_DIR, "..", "shared", "data", "lenovo-portables-dmi.tsv"))
COMMIT = "0" * 40


def tool():
    loader = importlib.machinery.SourceFileLoader("thinkpad_profiles", TOOL)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader(loader.name, loader))
    loader.exec_module(module)
    return module


def read(path):
    with open(path, encoding="utf-8", newline="") as f:
        return f.read()


def row(code, version, machines=1, family=None):
    return {"machine_type": code, "version": version, "family": version if family is None else family,
            "category": "Notebook", "machines": str(machines), "example_path": f"Notebook/Lenovo/{version} {code}/X"}


# Each case: the rows of one machine type, and the profile that gets it, or the start of the reason it
# is left out. 2342 is a T430 type by Lenovo's support article, 20GJ a ThinkPad 13 type by the
# driver catalogue; the other codes are unknown to every document, so only the names decide.
CASES = [
    ("one_name", [row("9A01", "ThinkPad X300", 3)], "thinkpad-x300", None),
    ("spellings_of_one_name", [row("9A02", "ThinkPad X200T"), row("9A02", "ThinkPad X200 Tablet", 2)],
     "thinkpad-x200-tablet", None),
    ("w10dg_mark", [row("9A03", "ThinkPad T470 W10DG"), row("9A03", "ThinkPad T470")], "thinkpad-t470", None),
    ("edge_prefix", [row("9A04", "ThinkPad Edge E130"), row("9A04", "ThinkPad E130")], "thinkpad-e130", None),
    ("bare_thinkpad_names_no_model", [row("9A05", "ThinkPad"), row("9A05", "ThinkPad W510", 4)],
     "thinkpad-w510", None),
    ("two_models", [row("9A06", "ThinkPad X220", 46), row("9A06", "ThinkPad X230")], None, "plusieurs modèles"),
    ("no_model_named", [row("9A07", "ThinkPad Edge", 5)], None, "aucun modèle nommé"),
    ("name_of_two_models", [row("9A08", "ThinkPad 11e")], None, "nom qui ne désigne pas un seul modèle"),
    ("slash_names_two_models", [row("9A09", "ThinkPad R60e/R60i")], None, "nom qui ne désigne pas un seul modèle"),
    ("also_outside_thinkpad", [row("9A10", "ThinkPad T60", 11), row("9A10", "Lenovo G570", 98, "IDEAPAD")],
     None, "nommé aussi hors des gammes ThinkPad"),
    ("letter_o_for_zero", [row("2OAM", "ThinkPad X240")], None, "pas un type de machine Lenovo"),
    ("no_line", [row("9A11", "ThinkPad Mini10")], None, "modèle d'aucune gamme"),
    ("document_lists_it", [row("2342", "ThinkPad T430", 17)], "thinkpad-t430", None),
    ("document_wins_over_a_second_name", [row("20GJ", "ThinkPad 13", 3), row("20GJ", "ThinkPad S2", 3)],
     "thinkpad-13-20gj", None),
]

CATALOGUE_NAMES = [
    ("lower_case_suffix", "ThinkPad T14S Gen 6 Type 21N1 21N2", "ThinkPad T14s Gen 6"),
    ("two_in_one_joined", "ThinkPad T14S 2IN1 Gen 1 Type 21R3 21R4", "ThinkPad T14s 2-in-1 Gen 1"),
    ("two_in_one_after_generation", "ThinkPad L13 Gen 6 2 IN 1 Type 21R7 21R8", "ThinkPad L13 2-in-1 Gen 6"),
    ("ordinal_generation", "ThinkPad X1 Carbon 13TH Gen Type 21NX 21NY", "ThinkPad X1 Carbon Gen 13"),
    ("hyphenated_model", "ThinkPad X9-15P Gen 1 Type 21VV 21VW", "ThinkPad X9-15p Gen 1"),
    ("capitals", "ThinkPad X12 DETACHABLE Gen 2 Type 21LK 21LL", "ThinkPad X12 Detachable Gen 2"),
]


class Rules(unittest.TestCase):
    def test_each_type_reaches_its_model_or_is_left_out_with_its_reason(self):
        module = tool()
        for name, rows, profile, reason in CASES:
            with self.subTest(case=name):
                profiles, left_out = module.plan(COMMIT, rows, {}, set())
                code = rows[0]["machine_type"]
                holders = [pid for pid, entry in profiles.items() if code in entry["types"] and entry["dmi"]]
                reasons = [why for c, why in left_out if c == code]
                self.assertEqual(holders, [profile] if profile else [])
                if reason:
                    self.assertEqual(len(reasons), 1, reasons)
                    self.assertTrue(reasons[0].startswith(reason), reasons[0])
                else:
                    self.assertEqual(reasons, [])

    def test_a_type_held_by_a_hand_written_profile_is_left_to_it(self):
        profiles, left_out = tool().plan(COMMIT, [row("9A12", "ThinkPad T440p")], {"9A12": "thinkpad-t440p"},
                                         {"thinkpad-t440p"})
        self.assertEqual([pid for pid, e in profiles.items() if "9A12" in e["types"]], [])
        self.assertEqual(left_out, [])

    def test_catalogue_entries_are_named_as_lenovo_names_the_models(self):
        module = tool()
        for name, entry, expected in CATALOGUE_NAMES:
            with self.subTest(case=name):
                self.assertEqual(module.catalogue_model_name(entry), expected)


class CommittedFiles(unittest.TestCase):
    @unittest.skipUnless(os.path.exists(TABLE), f"the firmware table {TABLE} is not on this machine "
                                                "(set VANTREL_DMI_TABLE to its path)")
    def test_the_committed_files_are_what_the_tool_writes(self):
        module = tool()
        commit, rows = module.read_table(TABLE)
        owners, hand_ids = module.hand_written(SHIPPED)
        profiles, _ = module.plan(commit, rows, owners, hand_ids)
        written = sorted(name for name in os.listdir(SHIPPED)
                         if name.endswith(".toml") and module.MARKER in read(os.path.join(SHIPPED, name)))
        self.assertEqual(written, sorted(pid + ".toml" for pid in profiles))
        for pid, entry in profiles.items():
            self.assertEqual(read(os.path.join(SHIPPED, pid + ".toml")), module.render(pid, entry), pid)

    def test_a_rerun_does_not_take_its_own_files_for_hand_written_ones(self):
        with tempfile.TemporaryDirectory() as work:
            module = tool()
            path = os.path.join(work, "thinkpad-x300.toml")
            profiles, _ = module.plan(COMMIT, [row("9A01", "ThinkPad X300")], {}, set())
            with open(path, "w", encoding="utf-8") as f:
                f.write(module.render("thinkpad-x300", profiles["thinkpad-x300"]))
            self.assertEqual(module.hand_written(work), ({}, set()))


if __name__ == "__main__":
    main()
