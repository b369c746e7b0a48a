"""The JSON Schemas of docs/schemas against the real documents: the report of `detect` for several
identities, the listing of `profiles`, every shipped profile (as its JSON form), and broken
profiles that both Vantrel and the schema must reject. Then taplo, the TOML language server's
checker, with the repository's .taplo.toml, on the same files. Validator: Debian's
python3-jsonschema (draft 2020-12); taplo: @taplo/cli from npm, installed into the build folder."""
import glob
import json
import os
import subprocess
import tempfile
import tomllib
import unittest

import jsonschema

import firmware
from e2e import BINARY_DIR, EXE, RUNNER, SOURCE_DIR, UNDER_WINE, main, run

SCHEMAS = os.path.join(SOURCE_DIR, "docs", "schemas")
TAPLO_VERSION = "0.7.0"


def schema(name):
    with open(os.path.join(SCHEMAS, name), encoding="utf-8") as f:
        document = json.load(f)
    jsonschema.Draft202012Validator.check_schema(document)
    return jsonschema.Draft202012Validator(document)


# Profiles the tool rejects, each for one reason the schema can see.
BROKEN = {
    "unknown-key.toml": 'schema_version = 1\nid = "a"\ndisplay_name = "A"\nscope = "model"\nauthor = "x"\n'
                        '[matches]\nmtm = ["20AB"]\n',
    "scope-case.toml": 'schema_version = 1\nid = "a"\ndisplay_name = "A"\nscope = "Model"\n[matches]\nmtm = ["20AB"]\n',
    "model-without-mtm.toml": 'schema_version = 1\nid = "a"\ndisplay_name = "A"\nscope = "model"\n'
                              '[matches]\nversion_contains = ["A"]\n',
    "short-mtm.toml": 'schema_version = 1\nid = "a"\ndisplay_name = "A"\nscope = "model"\n[matches]\nmtm = ["20A"]\n',
    "blank-id.toml": 'schema_version = 1\nid = "   "\ndisplay_name = "A"\nscope = "model"\n[matches]\nmtm = ["20AB"]\n',
    "ec-offset.toml": 'schema_version = 1\nid = "a"\ndisplay_name = "A"\nscope = "model"\n[matches]\nmtm = ["20AB"]\n'
                      '[[capabilities]]\nid = "c"\nlabel = "C"\naccess = { method = "ec", offset = 256 }\n'
                      'confidence = "assumed"\nsources = ["s"]\n',
    "validated-without-date.toml": 'schema_version = 1\nid = "a"\ndisplay_name = "A"\nscope = "model"\n'
                                   '[matches]\nmtm = ["20AB"]\n[[capabilities]]\nid = "c"\nlabel = "C"\n'
                                   'access = { method = "platform_profile" }\nconfidence = "validated"\nsources = ["s"]\n',
    "no-source.toml": 'schema_version = 1\nid = "a"\ndisplay_name = "A"\nscope = "model"\n[matches]\nmtm = ["20AB"]\n'
                      '[[capabilities]]\nid = "c"\nlabel = "C"\naccess = { method = "acpi", path = "\\\\_SB" }\n'
                      'confidence = "assumed"\nsources = ["", " "]\n',
    "missing-method.toml": 'schema_version = 1\nid = "a"\ndisplay_name = "A"\nscope = "model"\n[matches]\nmtm = ["20AB"]\n'
                           '[[capabilities]]\nid = "c"\nlabel = "C"\naccess = { address = 1 }\n'
                           'confidence = "assumed"\nsources = ["s"]\n',
}


def shipped_profiles():
    return sorted(glob.glob(os.path.join(SOURCE_DIR, "profiles", "*.toml")))


def errors(validator, document):
    return [e.message for e in validator.iter_errors(document)]


@unittest.skipIf(UNDER_WINE, "the schemas are checked once, with the native build")
class ProfileSchema(unittest.TestCase):
    def test_every_shipped_profile_is_valid(self):
        validator = schema("profile.schema.json")
        self.assertTrue(shipped_profiles())
        for path in shipped_profiles():
            with self.subTest(profile=os.path.basename(path)), open(path, "rb") as f:
                self.assertEqual(errors(validator, tomllib.load(f)), [])

    def test_profiles_vantrel_rejects_are_rejected_by_the_schema(self):
        validator = schema("profile.schema.json")
        for name, text in BROKEN.items():
            with self.subTest(profile=name), tempfile.TemporaryDirectory() as work:
                with open(os.path.join(work, name), "w", encoding="utf-8") as f:
                    f.write(text)
                got = run(["profiles", "--profiles", work])
                self.assertEqual(got.code, 1, got)  # the tool rejects it ...
                self.assertNotEqual(errors(validator, tomllib.loads(text)), [])  # ... and so does the schema


@unittest.skipIf(UNDER_WINE, "the schemas are checked once, with the native build")
class DocumentSchemas(unittest.TestCase):
    MACHINES = {
        "exact": firmware.machine_table(bios_vendor="LENOVO", bios_version="N3XET45W (1.20 )",
                                        bios_release_date="05/15/2024", system_manufacturer="LENOVO",
                                        system_product_name="21HMCTO1WW", system_version="ThinkPad X1 Carbon Gen 11"),
        "family": firmware.machine_table(system_manufacturer="LENOVO", system_product_name="21XXCTO1WW",
                                         system_version="ThinkPad X1 Carbon Gen 99"),
        "dynamic_probe": firmware.machine_table(system_manufacturer="Dell Inc.", system_product_name="Latitude 7440",
                                                baseboard_product="0ABCDE"),
        "unsupported": firmware.machine_table(),
    }

    def test_report_of_each_outcome_is_valid(self):
        validator = schema("report.schema.json")
        profiles = os.path.join(SOURCE_DIR, "profiles")
        for outcome, table in self.MACHINES.items():
            with self.subTest(outcome=outcome):
                proc = firmware.run_with_dmi_table(RUNNER + [EXE, "detect", "--profiles", profiles], table)
                self.assertEqual(proc.returncode, 0, proc)
                report = json.loads(proc.stdout)
                self.assertEqual(report["resolution"], outcome)
                self.assertEqual(errors(validator, report), [])

    def test_listing_is_valid_and_the_schema_is_strict(self):
        validator = schema("listing.schema.json")
        got = run(["profiles", "--profiles", os.path.join(SOURCE_DIR, "profiles")])
        self.assertEqual(got.code, 0, got)
        listing = json.loads(got.out)
        self.assertEqual(errors(validator, listing), [])
        listing["profiles"][0]["extra"] = 1
        self.assertNotEqual(errors(validator, listing), [])


def taplo():
    """The taplo checker, installed from npm into the build folder on first use."""
    prefix = os.path.join(BINARY_DIR, "tools", "taplo")
    binary = os.path.join(prefix, "node_modules", ".bin", "taplo")
    if not os.path.exists(binary):
        proc = subprocess.run(["npm", "install", "--prefix", prefix, "--no-save", "--no-package-lock",
                               "--no-audit", "--no-fund", f"@taplo/cli@{TAPLO_VERSION}"],
                              capture_output=True, stdin=subprocess.DEVNULL)
        if proc.returncode != 0:
            raise unittest.SkipTest("taplo could not be installed from npm: " + proc.stderr.decode()[-400:])
    return binary


@unittest.skipIf(UNDER_WINE, "taplo is checked once, with the native build")
class EditorSupport(unittest.TestCase):
    def check(self, cwd, files=()):
        return subprocess.run([taplo(), "check", *files], cwd=cwd, capture_output=True, stdin=subprocess.DEVNULL)

    def test_taplo_accepts_the_shipped_profiles_with_the_repository_configuration(self):
        proc = self.check(SOURCE_DIR)
        self.assertEqual(proc.returncode, 0, proc.stderr.decode())
        self.assertIn(f"total={len(shipped_profiles())}", proc.stderr.decode())

    def test_taplo_rejects_each_broken_profile(self):
        with tempfile.TemporaryDirectory() as work:
            os.makedirs(os.path.join(work, "profiles"))
            os.makedirs(os.path.join(work, "docs", "schemas"))
            for name in (".taplo.toml", os.path.join("docs", "schemas", "profile.schema.json")):
                with open(os.path.join(SOURCE_DIR, name), "rb") as src, open(os.path.join(work, name), "wb") as dst:
                    dst.write(src.read())
            for name, text in BROKEN.items():
                if name in ("blank-id.toml", "no-source.toml"):
                    continue  # blankness by Unicode White_Space is beyond taplo's regular expressions
                with self.subTest(profile=name):
                    path = os.path.join(work, "profiles", name)
                    with open(path, "w", encoding="utf-8") as f:
                        f.write(text)
                    proc = self.check(work, [os.path.join("profiles", name)])
                    self.assertNotEqual(proc.returncode, 0, f"taplo accepted {name}")


if __name__ == "__main__":
    main()
