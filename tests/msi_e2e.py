"""The Windows Installer package under Wine, in a prefix made fresh for this run: built as a user
builds it, installed silently, its files and the service's registration read back, the service
answering through the stand-in PowerShell at the system's path, a later version installed over
it, then removed. Also: a registration made earlier from an unpacked archive is taken over, and
two builds of one version are one product."""
import glob
import hashlib
import os
import shutil
import subprocess
import tempfile
import time
import unittest
import uuid

from e2e import BINARY_DIR, SOURCE_DIR, UNDER_WINE, main
from service_wine import SERVICE, ServiceControl, SystemPowershell, WinePrefix, windows_path

VERSION, NEXT_VERSION = "2.1.0", "2.1.1"
# The upgrade code of packaging/vantrel.wxs, in whose namespace each version's product code is
# derived (a name-based UUID, SHA-1).
UPGRADE_CODE = uuid.UUID("6C0F4A5E-2B1D-4E57-9A0B-3E8C5D7F1A24")
PACKAGE = f"vantrel-{VERSION}-windows-x64.msi"
PREFIX = WinePrefix(os.path.join(BINARY_DIR, "msi-e2e-wineprefix"))
INSTALLED = os.path.join(PREFIX.path, "drive_c", "Program Files", "Vantrel")
INSTALLED_EXE = "C:\\Program Files\\Vantrel\\vantrel.exe"
POWERSHELL = SystemPowershell(PREFIX, BINARY_DIR)
CLIENT = os.path.join(BINARY_DIR, "service_client.exe")
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
SERVICES_KEY = "HKLM\\System\\CurrentControlSet\\Services"
# What the stand-in PowerShell prints for a read, and the service's reply to it.
BACKLIGHT = ('{"available":true,"known":true,"level":2,"max_level":2,"source":"hid","applied":false,'
             '"reason":"","verified":false}')
READ_REPLY = b'{"applied":true,"available":true,"known":true,"level":2,"max_level":2,"reason":"","source":"hid"}\n'
WORK = None
CONTROL = None


def registration(exe):
    """The registration `vantrel service install` makes, as service_client config reads it."""
    return [f'"{exe}" --service', "Vantrel HAL (accès matériel privilégié)", "16", "2", "1", "LocalSystem", ""]


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def release_content(exe):
    """What the release archive holds, from the sources and the given executable: relative path
    to the digest of its bytes."""
    sources = {"vantrel.exe": exe,
               "LICENCE.txt": os.path.join(SOURCE_DIR, "LICENSE"),
               "framework/LISEZMOI.txt": os.path.join(SOURCE_DIR, "packaging", "LISEZMOI.txt"),
               "docs/guide.md": os.path.join(SOURCE_DIR, "docs", "guide.md"),
               "docs/profils.md": os.path.join(SOURCE_DIR, "docs", "profils.md"),
               "docs/catalogue.md": os.path.join(SOURCE_DIR, "docs", "catalogue.md")}
    for folder, pattern in (("docs/schemas", os.path.join(SOURCE_DIR, "docs", "schemas", "*")),
                            ("profiles", os.path.join(SOURCE_DIR, "profiles", "*.toml"))):
        for path in glob.glob(pattern):
            sources[f"{folder}/{os.path.basename(path)}"] = path
    return {name: digest(path) for name, path in sources.items()}


def installed_content():
    found = {}
    for root, _, files in os.walk(INSTALLED):
        for name in files:
            path = os.path.join(root, name)
            found[os.path.relpath(path, INSTALLED).replace(os.sep, "/")] = digest(path)
    return found


def reg_query(key):
    """Every subkey of `key` with its text values, as Wine's reg.exe lists them."""
    code, out, _ = PREFIX.run("reg", ["query", key, "/s"])
    keys, current = {}, None
    for line in out.decode("utf-8", "replace").splitlines():
        if line.startswith("HKEY_"):
            current = keys.setdefault(line.strip(), {})
        elif current is not None and "    REG_" in line:
            name, kind, *value = line.strip().split(None, 2)
            current[name] = value[0] if value else ""
    return keys


def vantrel_services():
    """Image paths of every registered service that runs a vantrel.exe."""
    return sorted(values["ImagePath"] for values in reg_query(SERVICES_KEY).values()
                  if "vantrel.exe" in values.get("ImagePath", "").lower())


def vantrel_products():
    return sorted((values.get("DisplayName"), values.get("DisplayVersion"))
                  for values in reg_query(UNINSTALL_KEY).values() if values.get("DisplayName") == "Vantrel")


def product_code(version):
    return "{" + str(uuid.uuid5(UPGRADE_CODE, f"Vantrel {version}")).upper() + "}"


def installed_product_codes():
    """The product codes of the installed Vantrel products: the names of their uninstall keys."""
    return sorted(key.rsplit("\\", 1)[-1] for key, values in reg_query(UNINSTALL_KEY).items()
                  if values.get("DisplayName") == "Vantrel")


def package_product_code(package):
    """The product code a package declares: the GUID that follows the property's name in the
    package's string pool, where wixl writes the property table's names and values in order."""
    with open(package, "rb") as f:
        data = f.read()
    at = data.find(b"ProductCode{")
    return data[at + len(b"ProductCode"):at + len(b"ProductCode") + 38].decode("ascii") if at >= 0 else None


def service_processes():
    """Command lines of the vantrel.exe processes that run in this test's prefix, as Wine shows
    them to Linux (program path unquoted)."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                if f"WINEPREFIX={PREFIX.path}".encode() not in f.read().split(b"\0"):
                    continue
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                command = f.read().replace(b"\0", b" ").decode("utf-8", "replace").strip()
        except OSError:
            continue  # ended meanwhile
        if "vantrel.exe" in command.lower():
            found.append(command)
    return sorted(found)


def setUpModule():
    global WORK, CONTROL
    if not UNDER_WINE:
        return  # every case reports itself skipped
    if shutil.which("wixl") is None:
        return
    WORK = tempfile.mkdtemp(prefix="vantrel-msi-")
    PREFIX.stop()  # waits for the wineserver, which writes the registry into the prefix as it ends
    shutil.rmtree(PREFIX.path, ignore_errors=True)
    PREFIX.start()
    CONTROL = ServiceControl(PREFIX, CLIENT)
    # The stand-in takes the place of the system's PowerShell, where the runner starts it.
    POWERSHELL.install(f"record={windows_path(os.path.join(WORK, 'arguments.txt'))}\nstdout={BACKLIGHT}\n")


def tearDownModule():
    if CONTROL is not None:
        PREFIX.stop()
        shutil.rmtree(PREFIX.path, ignore_errors=True)
    if WORK is not None:
        shutil.rmtree(WORK, ignore_errors=True)


class Package(unittest.TestCase):
    def setUp(self):
        if not UNDER_WINE:
            raise unittest.SkipTest("the package installs on Windows (here: Wine)")
        if WORK is None:
            raise unittest.SkipTest("wixl is not installed (tools/setup-debian installs it)")

    def build_package(self):
        proc = subprocess.run(["cmake", "--build", BINARY_DIR, "--target", "msi"], capture_output=True,
                              stdin=subprocess.DEVNULL, timeout=600)
        self.assertEqual(proc.returncode, 0, proc.stdout.decode() + proc.stderr.decode())
        return os.path.join(BINARY_DIR, PACKAGE)

    def build_next_package(self):
        """The next version, built by the same script from the same tree with the executable
        whose version record says so."""
        return self.build_package_by_script(NEXT_VERSION, os.path.join(BINARY_DIR, "next", "vantrel.exe"))

    def build_package_by_script(self, version, executable):
        folder = os.path.join(WORK, f"build-{version}")
        os.makedirs(folder, exist_ok=True)
        output = os.path.join(folder, f"vantrel-{version}-windows-x64.msi")
        proc = subprocess.run(["cmake", f"-DBINARY_DIR={BINARY_DIR}", f"-DVERSION={version}",
                               f"-DEXECUTABLE={executable}", f"-DOUTPUT={output}",
                               f"-DWORK_DIR={os.path.join(folder, 'msi')}",
                               "-P", os.path.join(SOURCE_DIR, "packaging", "msi.cmake")],
                              capture_output=True, stdin=subprocess.DEVNULL, timeout=600)
        self.assertEqual(proc.returncode, 0, proc.stdout.decode() + proc.stderr.decode())
        return output

    def msiexec(self, action, package, expect_success=True):
        if action == "/i":
            # Whatever happens next, the prefix is left without the product for the next case.
            self.addCleanup(PREFIX.run, "msiexec", ["/x", windows_path(package), "/qn"], timeout=300)
        log = os.path.join(WORK, "msiexec.log")
        code, out, err = PREFIX.run("msiexec", [action, windows_path(package), "/qn", "/l*v", windows_path(log)],
                                    timeout=300)
        if not expect_success:
            self.assertNotEqual(code, 0, f"msiexec {action} succeeded")
        elif code != 0:
            with open(log, "rb") as f:
                self.fail(f"msiexec {action} exit {code}\n{out!r}\n{err!r}\n" + f.read().decode("latin-1")[-6000:])

    def assertServiceProcesses(self, expected):
        deadline = time.monotonic() + 10
        while service_processes() != expected and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertEqual(service_processes(), expected)

    def assertServiceAnswers(self):
        """The service runs, from Program Files only, and answers a read through the stand-in."""
        reached, status = CONTROL.wait("running")
        self.assertTrue(reached, status)
        self.assertServiceProcesses([f"{INSTALLED_EXE} --service"])
        record = os.path.join(WORK, "arguments.txt")
        if os.path.exists(record):
            os.remove(record)
        code, reply, err = CONTROL.request(b'{"op":"keyboard_read"}\n')
        self.assertEqual((code, reply), (0, READ_REPLY), err)
        with open(record, encoding="utf-8") as f:
            arguments = f.read().splitlines()
        self.assertEqual(arguments[arguments.index("-Mode") + 1], "read")

    def assertRegisteredFromProgramFiles(self):
        code, out, err = CONTROL.call("config", SERVICE)
        self.assertEqual((code, out.decode().split("\n")), (0, registration(INSTALLED_EXE)), err)
        self.assertEqual(vantrel_services(), [f'"{INSTALLED_EXE}" --service'])

    def test_install_upgrade_then_remove(self):
        package = self.build_package()
        next_package = self.build_next_package()

        self.msiexec("/i", package)
        self.assertEqual(installed_content(), release_content(os.path.join(BINARY_DIR, "vantrel.exe")))
        self.assertRegisteredFromProgramFiles()
        self.assertServiceAnswers()
        self.assertEqual(vantrel_products(), [("Vantrel", VERSION)])
        self.assertEqual(installed_product_codes(), [product_code(VERSION)])

        # A tool the user adds for the Framework back end stays through upgrade and removal.
        user_tool = os.path.join(INSTALLED, "framework", "framework_tool.exe")
        with open(user_tool, "wb") as f:
            f.write(b"outil de l'utilisateur")
        user_files = {"framework/framework_tool.exe": digest(user_tool)}

        self.msiexec("/i", next_package)
        self.assertEqual(installed_content(),
                         release_content(os.path.join(BINARY_DIR, "next", "vantrel.exe")) | user_files)
        self.assertRegisteredFromProgramFiles()
        self.assertServiceAnswers()
        self.assertEqual(vantrel_products(), [("Vantrel", NEXT_VERSION)])
        self.assertEqual(installed_product_codes(), [product_code(NEXT_VERSION)])

        # The older package is refused and changes nothing.
        self.msiexec("/i", package, expect_success=False)
        self.assertEqual(vantrel_products(), [("Vantrel", NEXT_VERSION)])
        self.assertEqual(installed_content(),
                         release_content(os.path.join(BINARY_DIR, "next", "vantrel.exe")) | user_files)
        self.assertRegisteredFromProgramFiles()

        self.msiexec("/x", next_package)
        self.assertEqual(installed_content(), user_files)
        self.assertEqual(sorted(os.path.relpath(root, INSTALLED) for root, _, _ in os.walk(INSTALLED)),
                         [".", "framework"])
        self.assertEqual(CONTROL.call("config", SERVICE), (1, b"", b"ouverture du service : code 1060\r\n"))
        self.assertEqual(vantrel_services(), [])
        self.assertEqual(vantrel_products(), [])
        self.assertServiceProcesses([])
        os.remove(user_tool)

    def test_one_version_built_twice_is_one_product(self):
        package = self.build_package()
        rebuilt = self.build_package_by_script(VERSION, os.path.join(BINARY_DIR, "vantrel.exe"))
        self.assertNotEqual(digest(package), digest(rebuilt))  # two builds indeed
        self.assertEqual((package_product_code(package), package_product_code(rebuilt)),
                         (product_code(VERSION), product_code(VERSION)))
        self.assertNotEqual(product_code(VERSION), product_code(NEXT_VERSION))

    def test_takes_over_a_registration_made_from_an_unpacked_archive(self):
        package = self.build_package()
        portable = os.path.join(WORK, "Mes documents", "vantrel", "vantrel.exe")
        os.makedirs(os.path.dirname(portable))
        shutil.copy2(os.path.join(BINARY_DIR, "vantrel.exe"), portable)
        self.assertEqual(PREFIX.run(portable, ["service", "install"])[0], 0)
        self.addCleanup(PREFIX.run, portable, ["service", "uninstall"])
        self.assertEqual(CONTROL.call("start", SERVICE)[0], 0)
        self.assertEqual(vantrel_services(), [f'"{windows_path(portable)}" --service'])
        self.assertServiceProcesses([f"{windows_path(portable)} --service"])

        self.msiexec("/i", package)
        self.assertRegisteredFromProgramFiles()
        self.assertServiceAnswers()


if __name__ == "__main__":
    main()
