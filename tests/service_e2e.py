"""The service through Wine's service manager, in a prefix of its own: installation and removal
with their messages, installation refused from a place ordinary users may change or waiting for a
deletion still pending, start, a request answered through the pipe, `vantrel keyboard` served by
the service or by its own script run, stop, the controls that change nothing, a squatted pipe
name, and `--service` from a console. Every case removes the service at its end.

Wine shows the mechanisms but enforces no access control: who may open the pipe, who may send
which control and the impersonation level the client allows are decided by the system on Windows
and are tested at their seams by the unit tests."""
import json
import os
import shutil
import time
import unittest

import jsonschema

from e2e import BINARY_DIR, SOURCE_DIR, UNDER_WINE, main
from service_wine import PIPE, SERVICE, ServiceControl, SystemPowershell, WinePrefix, install_copy, windows_path

RUNNING, STOPPED = 4, 1
READ_REQUEST = b'{"op":"keyboard_read"}\n'
PREFIX = WinePrefix(os.path.join(BINARY_DIR, "service-e2e-wineprefix"))
# A folder with blanks: the stored command line must quote the executable's path.
FOLDER = os.path.join(BINARY_DIR, "service e2e", "programme à blancs")
CLIENT = os.path.join(BINARY_DIR, "service_client.exe")
POWERSHELL = SystemPowershell(PREFIX, BINARY_DIR)
EXE = ""
CONTROL = None


def setUpModule():
    global EXE, CONTROL
    if not UNDER_WINE:
        return  # every case reports itself skipped
    EXE = install_copy(BINARY_DIR, FOLDER)
    PREFIX.start()
    CONTROL = ServiceControl(PREFIX, CLIENT)
    CONTROL.remove(EXE)  # a run that was killed may have left it


def tearDownModule():
    if CONTROL is not None:
        CONTROL.remove(EXE)
        PREFIX.stop()


class ServiceCase(unittest.TestCase):
    def setUp(self):
        if not UNDER_WINE:
            raise unittest.SkipTest("the service manager exists only on Windows (here: Wine)")
        self.addCleanup(CONTROL.remove, EXE)

    def vantrel(self, *args):
        return PREFIX.run(EXE, list(args))

    def install(self):
        self.assertEqual(self.vantrel("service", "install")[:2],
                         (0, "service VantrelHal installé et démarré au prochain reboot\n"
                             "démarrez-le avec : sc start VantrelHal\n".encode()))

    def start(self):
        code, _, err = CONTROL.call("start", SERVICE)
        self.assertEqual(code, 0, err)

    def start_running(self):
        self.start()
        reached, status = CONTROL.wait("running")
        self.assertTrue(reached, status)

    def assertStoppedCleanly(self):
        reached, status = CONTROL.wait("stopped")
        self.assertTrue(reached, status)
        self.assertEqual(status, [STOPPED, 0, 0])


class Installation(ServiceCase):
    def test_install_twice_then_uninstall_twice(self):
        self.assertEqual(self.vantrel("service", "install"),
                         (0, "service VantrelHal installé et démarré au prochain reboot\n"
                             "démarrez-le avec : sc start VantrelHal\n".encode(), b""))
        self.assertEqual(self.vantrel("service", "install"), (0, "le service VantrelHal est déjà installé\n".encode(), b""))
        code, out, err = CONTROL.call("config", SERVICE)
        self.assertEqual(code, 0, err)
        self.assertEqual(out.decode().split("\n"), [
            f'"{windows_path(EXE)}" --service',
            "Vantrel HAL (accès matériel privilégié)",
            "16",  # own process
            "2",   # automatic start
            "1",   # normal error control
            "LocalSystem",
            ""])
        self.assertEqual(self.vantrel("service", "uninstall"), (0, "service VantrelHal désinstallé\n".encode(), b""))
        self.assertEqual(self.vantrel("service", "uninstall"), (0, "le service VantrelHal n'est pas installé\n".encode(), b""))
        self.assertNotEqual(CONTROL.call("config", SERVICE)[0], 0)

    def test_install_waits_for_a_deletion_still_pending(self):
        self.install()
        # The deletion stays pending while another program keeps the service open.
        holder = PREFIX.popen(CLIENT, ["hold-service", SERVICE, "3"])
        try:
            self.assertEqual(holder.stdout.readline(), "prêt\n".encode())
            self.assertEqual(self.vantrel("service", "uninstall"), (0, "service VantrelHal désinstallé\n".encode(), b""))
            started = time.monotonic()
            self.install()
            waited = time.monotonic() - started
        finally:
            holder.kill()
            holder.communicate()
        self.assertGreater(waited, 1, "no deletion was pending: nothing shows the wait")
        self.assertEqual(CONTROL.call("config", SERVICE)[0], 0)

    def test_install_does_not_start_the_service(self):
        self.install()
        reached, status = CONTROL.wait("stopped", 1)
        self.assertTrue(reached, status)
        self.assertEqual(status[0], STOPPED)  # never started: its exit code says so (1077)


def keyboard_document(answered_by, level):
    return {"answered_by": answered_by, "source": "thinkpad-pm", "known": True, "level": level, "max_level": 2}


# What the stand-in PowerShell answers for a ThinkPad at the level written ("recorded" keeps the
# arguments it was given).
def thinkpad_at(level, recorded):
    return (f"record={windows_path(recorded)}\n"
            f'stdout={{"available":true,"known":true,"level":{level},"max_level":2,'
            '"source":"thinkpad-pm","applied":true,"reason":"","verified":true}\n')


class Squatter(ServiceCase):
    def test_client_sends_nothing_to_a_pipe_the_service_does_not_serve(self):
        # No service installed; a program serves the name with as many instances as it likes.
        holder = PREFIX.popen(CLIENT, ["hold", PIPE, "60", "255"])
        try:
            self.assertEqual(holder.stdout.readline(), "prêt\n".encode())
            code, out, err = PREFIX.run(EXE, ["keyboard"])
            self.assertEqual((code, out), (1, b""), err)
            self.assertRegex(err.decode(), r"^erreur : ressource non disponible : le serveur du canal "
                                           r"\\\\\.\\pipe\\VantrelHal n'est pas le service VantrelHal "
                                           r"\(serveur : processus \d+ ; service : non installé\) : "
                                           r"requête non envoyée\n$")
        finally:
            holder.kill()
            holder.communicate()


class Keyboard(ServiceCase):
    """`vantrel keyboard` as the person at the keyboard runs it: no elevation is asked for."""

    def setUp(self):
        super().setUp()
        if not POWERSHELL.available():
            raise unittest.SkipTest("the stand-in PowerShell (target fake_powershell) is not built")
        self.record = os.path.join(FOLDER, "keyboard-arguments.txt")
        self.addCleanup(POWERSHELL.restore)
        self.addCleanup(lambda: os.path.exists(self.record) and os.remove(self.record))

    def keyboard(self, *args):
        code, out, err = self.vantrel("keyboard", *args)
        self.assertEqual((code, err), (0, b""), out)
        document = json.loads(out)
        # The project's pretty form, one document, one final line feed, as its schema describes it.
        self.assertEqual(out.decode(), json.dumps(document, indent=2, ensure_ascii=False) + "\n")
        with open(os.path.join(SOURCE_DIR, "docs", "schemas", "keyboard.schema.json"), encoding="utf-8") as f:
            jsonschema.Draft202012Validator(json.load(f)).validate(document)
        del document["notice"]
        return document

    def test_served_by_the_running_service(self):
        POWERSHELL.install(thinkpad_at(1, self.record))
        self.install()
        self.start_running()
        self.assertEqual(self.keyboard("7"), keyboard_document("service", 1))
        with open(self.record, encoding="utf-8") as f:
            self.assertEqual(f.read().splitlines()[6:10], ["-Mode", "write", "-Level", "2"])  # 7 is 2
        self.assertEqual(self.keyboard(), keyboard_document("service", 1))
        self.assertEqual(CONTROL.call("stop", SERVICE)[0], 0)
        self.assertStoppedCleanly()

    def test_without_the_service_the_command_runs_the_script_itself(self):
        POWERSHELL.install(thinkpad_at(0, self.record))
        self.assertEqual(self.keyboard("0"), keyboard_document("script", 0))
        with open(self.record, encoding="utf-8") as f:
            self.assertEqual(f.read().splitlines()[6:10], ["-Mode", "write", "-Level", "0"])

    def test_a_failure_is_said_once(self):
        POWERSHELL.install(f"record={windows_path(self.record)}\n"
                           'stdout={"available":false,"known":false,"level":0,"max_level":0,'
                           '"source":"","applied":false,"reason":"","verified":false}\n')
        self.install()
        self.start_running()
        self.assertEqual(self.vantrel("keyboard"),
                         (1, b"", "erreur : ressource non disponible : aucune interface de rétroéclairage clavier "
                                  "détectée\n".encode()))
        self.assertEqual(CONTROL.call("stop", SERVICE)[0], 0)
        self.assertStoppedCleanly()


class Location(ServiceCase):
    """Nothing is registered from a place that ordinary users may change. Under Wine a file's
    security comes from its Unix mode bits: 0777 reads back with write access for Everyone, 0755
    with read and execute only."""

    def open_to_everyone(self, path):
        os.chmod(path, 0o777)
        self.addCleanup(os.chmod, path, 0o755)

    def assertRefusedNaming(self, exe, path):
        self.assertEqual(PREFIX.run(exe, ["service", "install"]),
                         (1, b"", f"erreur : installation refusée : des utilisateurs ordinaires peuvent modifier "
                                  f"« {windows_path(path)} » ; installez Vantrel dans Program Files (paquet MSI)\n"
                                  .encode()))
        self.assertEqual(CONTROL.call("config", SERVICE), (1, b"", b"ouverture du service : code 1060\r\n"))

    def test_folder_everyone_may_change_is_refused(self):
        folder = os.path.join(BINARY_DIR, "service e2e", "dossier ouvert à tous")
        exe = install_copy(BINARY_DIR, folder)
        self.open_to_everyone(folder)
        self.assertRefusedNaming(exe, folder)

    def test_framework_folder_everyone_may_change_is_refused(self):
        folder = os.path.join(BINARY_DIR, "service e2e", "outils ouverts à tous")
        exe = install_copy(BINARY_DIR, folder)
        framework = os.path.join(folder, "framework")
        os.makedirs(framework, mode=0o755, exist_ok=True)
        self.open_to_everyone(framework)
        self.assertRefusedNaming(exe, framework)
        # Closed again, the same place is accepted.
        os.chmod(framework, 0o755)
        self.assertEqual(PREFIX.run(exe, ["service", "install"])[0], 0)
        self.addCleanup(CONTROL.remove, exe)


class Runtime(ServiceCase):
    def test_started_service_answers_on_its_pipe_then_stops(self):
        self.install()
        self.start_running()
        code, reply, err = CONTROL.request(READ_REQUEST)
        self.assertEqual(code, 0, err)
        # Whatever the backlight says, one compact seven-key line.
        self.assertRegex(reply, rb'^\{"applied":(true|false),"available":(true|false),"known":(true|false),'
                                rb'"level":\d,"max_level":\d,"reason":"[^\n]*","source":"[a-z-]*"\}\n$')
        self.assertEqual(CONTROL.request(b'{"op":"Keyboard_Read"}')[1],
                         '{"applied":false,"available":false,"known":false,"level":0,"max_level":0,'
                         '"reason":"opération inconnue : Keyboard_Read","source":""}\n'.encode())
        self.assertEqual(CONTROL.call("stop", SERVICE)[0], 0)
        self.assertStoppedCleanly()

    def test_only_stop_ends_the_service(self):
        self.install()
        self.start_running()
        # Any interactive user may send these two on Windows: neither may stop a LocalSystem service.
        self.assertEqual(CONTROL.call("interrogate", SERVICE)[0], 0)
        CONTROL.call("control", SERVICE, "128")
        reached, status = CONTROL.wait("stopped", 2)
        self.assertFalse(reached, status)
        self.assertEqual(status[0], RUNNING)
        self.assertEqual(CONTROL.request(b'{"op":"Keyboard_Read"}')[0], 0)  # still serving
        self.assertEqual(CONTROL.call("stop", SERVICE)[0], 0)
        self.assertStoppedCleanly()

    def test_squatted_pipe_name_stops_the_service_with_its_code_and_the_client_refuses(self):
        self.install()
        # A local program that took the name first. (One that allows many instances is refused
        # the same way by Windows, through FILE_FLAG_FIRST_PIPE_INSTANCE, which Wine 8 does not
        # enforce: see the next case and the pipe server's unit tests.)
        holder = PREFIX.popen(CLIENT, ["hold", PIPE, "60"])
        try:
            self.assertEqual(holder.stdout.readline(), "prêt\n".encode())
            self.start()
            reached, status = CONTROL.wait("stopped")
            self.assertTrue(reached, status)
            self.assertEqual(status[0], STOPPED)
            # The system's code for a name another process holds (ERROR_ACCESS_DENIED on Windows).
            self.assertIn(status[1], (5, 231), status)
            code, out, err = self.vantrel("keyboard", "1")
            self.assertEqual((code, out), (1, b""), err)
            self.assertRegex(err.decode(), r"^erreur : ressource non disponible : le serveur du canal "
                                           r"\\\\\.\\pipe\\VantrelHal n'est pas le service VantrelHal "
                                           r"\(serveur : processus \d+ ; service : arrêté\) : requête non envoyée\n$")
        finally:
            holder.kill()
            holder.communicate()

    def test_service_flag_from_a_console_fails_with_the_dispatcher_code(self):
        # The dispatcher may take about 10 s to refuse in a fresh prefix.
        self.assertEqual(self.vantrel("--service"),
                         (1, b"", "erreur : démarrage par le Gestionnaire de services refusé (code 1063)\n".encode()))

    def test_request_runs_windows_powershell_never_one_beside_the_executable(self):
        if not POWERSHELL.available():
            raise unittest.SkipTest("the stand-in PowerShell (target fake_powershell) is not built")
        # What whoever can write into the executable's folder would plant there: if the service
        # ran it, it would record its arguments and fail the request.
        planted_record = os.path.join(FOLDER, "planted-arguments.txt")
        planted = [os.path.join(FOLDER, "powershell.exe"), os.path.join(FOLDER, "powershell.control"), planted_record]
        shutil.copy2(POWERSHELL.stand_in, planted[0])
        with open(planted[1], "w", encoding="utf-8") as f:
            f.write(f"record={windows_path(planted_record)}\nexit=3\n")
        self.addCleanup(lambda: [os.remove(p) for p in planted if os.path.exists(p)])
        # The service's environment is the service manager's: the stand-in reads its orders from
        # the control file beside it.
        record = os.path.join(FOLDER, "arguments.txt")
        if os.path.exists(record):
            os.remove(record)
        POWERSHELL.install(f"record={windows_path(record)}\n"
                           'stdout={"available":true,"known":true,"level":1,"max_level":2,'
                           '"source":"thinkpad-pm","applied":true,"reason":"","verified":true}\n')
        self.addCleanup(POWERSHELL.restore)
        self.install()
        self.start_running()
        code, reply, err = CONTROL.request(b'{"op":"keyboard_write","level":1}\n')
        self.assertEqual((code, reply), (0, b'{"applied":true,"available":true,"known":true,"level":1,'
                                            b'"max_level":2,"reason":"","source":"thinkpad-pm"}\n'), err)
        self.assertFalse(os.path.exists(planted_record), "the powershell.exe beside vantrel.exe was run")
        with open(record, encoding="utf-8") as f:
            arguments = f.read().splitlines()
        self.assertEqual(arguments[:5], ["-NoProfile", "-NonInteractive", "-ExecutionPolicy", "Bypass", "-File"])
        self.assertRegex(arguments[5], r"^[A-Za-z]:\\.*\\vantrel-keyboard-\d+\.ps1$")
        self.assertEqual(arguments[6:], ["-Mode", "write", "-Level", "1",
                                         "-FrameworkDir", windows_path(os.path.join(FOLDER, "framework"))])
        self.assertEqual(CONTROL.call("stop", SERVICE)[0], 0)
        self.assertStoppedCleanly()


if __name__ == "__main__":
    main()
