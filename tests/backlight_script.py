"""The keyboard-backlight script, executed: the .NET host of tests/script-host runs it in a
PowerShell runspace (Microsoft.PowerShell.SDK from NuGet) and drives every back end, the script's
own C# types calling the simulated Windows library of tests/winabi-sim (built with the tests);
it also checks the script's language level against Windows PowerShell 5.1 and compiles its C# as
C# 5 against the .NET Framework 4.5 reference assemblies (NuGet). The host targets net10.0, the
only framework of Microsoft.PowerShell.SDK 7.6: it needs the .NET 10 SDK (an SDK of version 10 or
later to build it, the .NET 10 runtime to run it). It is restored and built into the build
directory at test time; without that SDK, or when NuGet cannot be reached and nothing is cached,
the cases are skipped with the reason."""
import os
import shutil
import subprocess
import unittest

import e2e

HOST_PROJECT = os.path.join(e2e.SOURCE_DIR, "tests", "script-host")
SCRIPT = os.path.join(e2e.SOURCE_DIR, "hal", "scripts", "keyboard-backlight.ps1")
ARTIFACTS = os.path.join(e2e.BINARY_DIR, "script-host")
HOST_DLL = os.path.join(ARTIFACTS, "bin", "ScriptHost", "debug", "ScriptHost.dll")
SIMULATION = os.path.join(e2e.BINARY_DIR, "libwinabi_sim.so")
# Quiet, no first-run banner, no telemetry.
DOTNET_ENV = dict(os.environ, DOTNET_CLI_TELEMETRY_OPTOUT="1", DOTNET_NOLOGO="1",
                  DOTNET_SKIP_FIRST_TIME_EXPERIENCE="1")


def dotnet(*args, timeout=600):
    return subprocess.run(["dotnet", *args], env=DOTNET_ENV, stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=timeout)


def missing_dotnet_10():
    """None when dotnet can build and run the host, else the reason, in the words of the skip."""
    if shutil.which("dotnet") is None:
        return "le SDK .NET 10 (dotnet) est absent : tools/setup-debian l'indique"
    sdks = [line.split()[0] for line in dotnet("--list-sdks", timeout=60).stdout.splitlines() if line.strip()]
    runtimes = [line.split()[1] for line in dotnet("--list-runtimes", timeout=60).stdout.splitlines()
                if line.startswith("Microsoft.NETCore.App ")]
    if any(int(v.split(".")[0]) >= 10 for v in sdks) and any(v.startswith("10.") for v in runtimes):
        return None
    return (f"le SDK .NET 10 est absent (SDK trouvés : {' '.join(sdks) or 'aucun'} ; runtimes : "
            f"{' '.join(runtimes) or 'aucun'}) : l'hôte tests/script-host vise net10.0 ; "
            "tools/setup-debian l'indique")


class BacklightScript(unittest.TestCase):
    skip_reason = None

    @classmethod
    def setUpClass(cls):
        cls.skip_reason = missing_dotnet_10()
        if cls.skip_reason:
            return
        restore = dotnet("restore", HOST_PROJECT, "-nologo", f"-p:ArtifactsPath={ARTIFACTS}",
                         "-p:UseArtifactsOutput=true")
        if restore.returncode != 0:
            cls.skip_reason = ("Microsoft.PowerShell.SDK non restauré depuis NuGet :\n" +
                               restore.stdout[-2000:] + restore.stderr[-2000:])
            return
        # A build failure after a good restore is a fault of the host, not of the machine.
        build = dotnet("build", HOST_PROJECT, "-nologo", "--no-restore", "--artifacts-path", ARTIFACTS)
        if build.returncode != 0:
            raise AssertionError("the script host does not build:\n" + build.stdout[-4000:] + build.stderr[-4000:])

    def host(self, mode, *args):
        if self.skip_reason:
            raise unittest.SkipTest(self.skip_reason)
        work = os.path.join(ARTIFACTS, "work-" + mode)
        run = dotnet(HOST_DLL, mode, SCRIPT, work, *args, timeout=300)
        report = run.stdout + run.stderr
        print(report)
        self.assertEqual(run.returncode, 0, report)
        self.assertRegex(report, r"\n[1-9]\d* passed, 0 failed\n")

    def test_language_level(self):
        self.host("language")

    def test_back_ends_on_the_simulated_windows_library(self):
        self.host("scenarios", SIMULATION)


if __name__ == "__main__":
    e2e.main()
