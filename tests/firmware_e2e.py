"""The platform's firmware source on firmware chosen by the test: under Wine, the Windows source
reads the RSMB table that Wine builds from /sys/class/dmi/id; natively, the Linux source reads
/sys/firmware/dmi/tables/DMI. Both run the unit-test case LiveFirmwareTable of vantrel_tests
inside a mount namespace (tests/firmware.py), with the expected result in its environment."""
import os
import stat
import unittest

import firmware
from e2e import BINARY_DIR, RUNNER, UNDER_WINE, main

TESTS_EXE = os.path.join(BINARY_DIR, "vantrel_tests.exe" if UNDER_WINE else "vantrel_tests")
LIVE_CASE = "--gtest_filter=LiveFirmwareTable.MatchesWhatTheTestHarnessWrote"
DMI = "/sys/firmware/dmi/tables/DMI"


def expectation(**fields):
    """The VANTREL_EXPECT_SMBIOS text: name=hex of the UTF-8 bytes, for the fields expected present."""
    return ",".join(f"{name}={value.encode().hex()}" for name, value in fields.items())


class LiveCase:
    def env(self, fields=None, error=None):
        env = dict(os.environ)
        env.pop("VANTREL_EXPECT_SMBIOS", None)
        env.pop("VANTREL_EXPECT_SMBIOS_ERROR", None)
        if error is not None:
            env["VANTREL_EXPECT_SMBIOS_ERROR"] = error.encode().hex()
        else:
            env["VANTREL_EXPECT_SMBIOS"] = expectation(**fields)
        return env

    def assert_case_passed(self, proc):
        out = proc.stdout.decode(errors="replace")
        report = f"exit {proc.returncode}\nstdout:\n{out}\nstderr:\n{proc.stderr.decode(errors='replace')}"
        self.assertEqual(proc.returncode, 0, report)
        # The case must have run, not been skipped for want of its variables.
        self.assertIn("[  PASSED  ] 1 test.", out, report)
        self.assertNotIn("SKIPPED", out, report)


@unittest.skipUnless(UNDER_WINE, "the Windows firmware source runs under Wine only")
class WindowsSourceUnderWine(LiveCase, unittest.TestCase):
    def run_live(self, strings, **expected):
        return firmware.run_with_dmi_strings(RUNNER + [TESTS_EXE, LIVE_CASE], strings, env=self.env(expected))

    def test_reads_the_strings_wine_publishes(self):
        strings = {
            "bios_vendor": "LENOVO",
            "bios_version": "N2HET77W (1.60 )",
            "bios_date": "02/06/2024",
            "sys_vendor": "  Société Générale™ ",
            "product_name": "20ABCTO1WW",
            "product_version": "ThinkPad Exemple 14 Gen 2",
            "product_family": "ThinkPad\u00a0X1\u3000",
            "board_name": "20ABCTO1WW",
        }
        proc = self.run_live(strings, bios_vendor="LENOVO", bios_version="N2HET77W (1.60 )",
                             bios_release_date="02/06/2024", system_manufacturer="Société Générale™",
                             system_product_name="20ABCTO1WW", system_version="ThinkPad Exemple 14 Gen 2",
                             system_family="ThinkPad\u00a0X1", baseboard_product="20ABCTO1WW")
        self.assert_case_passed(proc)

    def test_missing_blank_and_undecodable_strings(self):
        strings = {"sys_vendor": b"Caf\xe9 \xe2\x82", "product_name": "   ", "product_version": ""}
        proc = self.run_live(strings, system_manufacturer="Caf\ufffd \ufffd")
        self.assert_case_passed(proc)


@unittest.skipIf(UNDER_WINE, "the Linux firmware source is the native build's")
class LinuxSourceNatively(LiveCase, unittest.TestCase):
    def test_reads_the_table_the_kernel_publishes(self):
        table = firmware.machine_table(
            bios_vendor="Insyde Corp.", bios_version="03.19", bios_release_date="12/14/2023",
            system_manufacturer="Framework", system_product_name="Laptop 13 (AMD Ryzen 7040Series)",
            system_version="A5", system_family="Laptop", baseboard_product=b"FRANMDCP\xff")
        proc = firmware.run_with_dmi_table([TESTS_EXE, LIVE_CASE], table, env=self.env(dict(
            bios_vendor="Insyde Corp.", bios_version="03.19", bios_release_date="12/14/2023",
            system_manufacturer="Framework", system_product_name="Laptop 13 (AMD Ryzen 7040Series)",
            system_version="A5", system_family="Laptop", baseboard_product="FRANMDCP\ufffd")))
        self.assert_case_passed(proc)

    def test_missing_table_is_unavailable(self):
        proc = firmware.run_with_dmi_table([TESTS_EXE, LIVE_CASE], None, env=self.env(
            error=f"ressource non disponible : table SMBIOS absente ({DMI})"))
        self.assert_case_passed(proc)

    def test_table_readable_by_root_only_is_refused_to_others(self):
        self.require_runnable_by_nobody()
        table = firmware.machine_table(system_manufacturer="Dell Inc.")
        proc = firmware.run_with_dmi_table([TESTS_EXE, LIVE_CASE], table, mode=0o400, user=firmware.NOBODY,
                                           env=self.env(error=f"accès refusé : lecture de la table SMBIOS refusée ({DMI})"))
        self.assert_case_passed(proc)

    def test_malformed_table_fails_the_walk(self):
        table = firmware.structure(1, bytes(0x1B - 4), ["Acer"])[:-1]  # closing NUL missing
        proc = firmware.run_with_dmi_table([TESTS_EXE, LIVE_CASE], table, env=self.env(
            error="données invalides : section de chaînes SMBIOS non terminée"))
        self.assert_case_passed(proc)

    def require_runnable_by_nobody(self):
        path = os.path.abspath(TESTS_EXE)
        while True:
            mode = os.stat(path).st_mode
            if not mode & stat.S_IXOTH:
                raise unittest.SkipTest(f"{path} is not searchable by other users, so nobody cannot run {TESTS_EXE}")
            parent = os.path.dirname(path)
            if parent == path:
                return
            path = parent


if __name__ == "__main__":
    main()
