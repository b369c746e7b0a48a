"""A Wine prefix of its own for the service tests and the reliability run: an automatically
started service left installed in a prefix starts again with it and holds the pipe, so these runs
never install into the prefix other tests share. The prefix is kept between runs (it takes many
seconds and hundreds of megabytes to make); the service is removed at every end.

Every Wine prefix of the tests is started by WinePrefix.start, also from CMake's fixture and
tools/bench through this file run as a script:

    service_wine.py start PREFIX_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

SERVICE = "VantrelHal"
PIPE = "\\\\.\\pipe\\VantrelHal"

# How long Wine's service manager waits for a service process it has just created to connect to
# its control pipe, and then to report a status, before StartServiceW (and a service started by
# msiexec or at the prefix's start) fails with 1053, ERROR_SERVICE_REQUEST_TIMEOUT. Wine's own
# value is 10 s (Windows: 30 s); on a loaded machine, another prefix booting beside it, a cold
# process start under Wine can take longer than that. Wine 8's services.exe reads it once, when it
# starts, from HKLM\System\CurrentControlSet\Control, and only as a REG_SZ string of
# milliseconds: the REG_DWORD that Windows reads under the same name is ignored.
SERVICE_START_TIMEOUT_MS = "60000"
CONTROL_KEY = "HKLM\\System\\CurrentControlSet\\Control"
PIPE_TIMEOUT_VALUE = "ServicesPipeTimeout"
# How long a new prefix's processes get to end by themselves (measured: a few seconds), how long a
# stopped wineserver gets to end, and how many times a server is ended before giving up.
SETTLE_TIMEOUT_S = 120
STOP_TIMEOUT_S = 30
STOP_ATTEMPTS = 3


class WinePrefix:
    def __init__(self, path):
        self.path = path
        self.env = dict(os.environ, WINEPREFIX=path, WINEDEBUG="-all", WINEDLLOVERRIDES="winedbg.exe=d",
                        LC_ALL="C.UTF-8")

    def start(self):
        """Starts the prefix (making it if it does not exist) with a persistent wineserver, and
        with the service manager's start time-out at SERVICE_START_TIMEOUT_MS, which services.exe
        reads only when it starts.

        The value is written under a server of Wine's own, which ends by itself once the prefix's
        processes have: a new prefix goes on starting processes after `wine` returns, and ending
        its server meanwhile can catch one as it starts, which then starts a server of its own.
        The persistent server is started only once none runs, so that it is the one the tests
        get: a server started by a process is not persistent, and ends with the prefix's last
        process."""
        os.makedirs(self.path, exist_ok=True)
        self.stop()
        self._quiet(["wine", "reg", "add", CONTROL_KEY, "/v", PIPE_TIMEOUT_VALUE, "/t", "REG_SZ",
                     "/d", SERVICE_START_TIMEOUT_MS, "/f"], timeout=300)
        if not self._wait_for_server(SETTLE_TIMEOUT_S):
            self.stop()
        self._boot()
        found = self._pipe_timeout()
        if found != ("REG_SZ", SERVICE_START_TIMEOUT_MS):
            raise RuntimeError(f"{self.path} : {PIPE_TIMEOUT_VALUE} non écrit ({found})")

    def stop(self):
        """Ends every process of the prefix and waits for its wineserver, which writes the
        registry to disk as it ends. A process caught starting as the server ends starts another
        one: that one is ended too."""
        for _ in range(STOP_ATTEMPTS):
            self._quiet(["wineserver", "-k"], check=False, timeout=60)
            if self._wait_for_server(STOP_TIMEOUT_S):
                return
        raise RuntimeError(f"{self.path} : le wineserver ne s'arrête pas")

    def _wait_for_server(self, timeout):
        """Waits for the prefix's wineserver to end (at once when none runs); False when it still
        runs after `timeout` seconds."""
        try:
            self._quiet(["wineserver", "-w"], check=False, timeout=timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    def _quiet(self, args, check=True, timeout=300):
        """Output goes nowhere: Wine's system processes, started by the first Wine process of a
        session, would keep our pipes open. Returns the exit code."""
        return subprocess.run(args, env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, check=check, timeout=timeout).returncode

    def _boot(self):
        """A persistent wineserver: without one, Wine kills services about a second after the last
        ordinary Wine process ends. `wineserver -p` exits 2 when a server runs already, which
        here can only be one a process started: it is ended and the persistent one started in
        its place. `wine cmd /c exit` then starts the prefix: not `wineboot -i`, which can start
        two services.exe."""
        for _ in range(STOP_ATTEMPTS):
            if self._quiet(["wineserver", "-p"], check=False, timeout=60) == 0:
                break
            self.stop()
        else:
            raise RuntimeError(f"{self.path} : aucun wineserver persistant")
        self._quiet(["wine", "cmd", "/c", "exit"], timeout=300)

    def _pipe_timeout(self):
        """(type, value) of the service manager's start time-out in the prefix's registry, or None.
        Read into a file rather than a pipe, which a Wine process started meanwhile could hold."""
        with tempfile.TemporaryFile() as out:
            proc = subprocess.run(["wine", "reg", "query", CONTROL_KEY, "/v", PIPE_TIMEOUT_VALUE], env=self.env,
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL, timeout=120)
            out.seek(0)
            text = out.read().decode("utf-8", "replace")
        if proc.returncode != 0:
            return None
        for line in text.splitlines():
            fields = line.split()
            if len(fields) == 3 and fields[0] == PIPE_TIMEOUT_VALUE:
                return fields[1], fields[2]
        return None

    def run(self, program, args, timeout=120):
        proc = subprocess.run(["wine", program] + list(args), env=self.env, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=timeout)
        return proc.returncode, proc.stdout, proc.stderr

    def popen(self, program, args):
        return subprocess.Popen(["wine", program] + list(args), env=self.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def windows_path(path):
    """The Windows name Wine gives a Unix path (through its Z: drive)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def install_copy(binary_dir, folder):
    """Copies vantrel.exe into `folder`; returns the copied executable."""
    os.makedirs(folder, exist_ok=True)
    shutil.copy2(os.path.join(binary_dir, "vantrel.exe"), os.path.join(folder, "vantrel.exe"))
    return os.path.join(folder, "vantrel.exe")


class SystemPowershell:
    """Windows PowerShell of a prefix (system32\\WindowsPowerShell\\v1.0\\powershell.exe, where
    Wine ships a stub that prints nothing and exits 0), replaced by the stand-in of
    tests/fake-powershell, driven by the control file beside it. `restore` puts Wine's stub back."""

    def __init__(self, prefix, binary_dir):
        self.folder = os.path.join(prefix.path, "drive_c", "windows", "system32", "WindowsPowerShell", "v1.0")
        self.program = os.path.join(self.folder, "powershell.exe")
        self.control = os.path.join(self.folder, "powershell.control")
        self.stub = self.program + ".wine"
        self.stand_in = os.path.join(binary_dir, "fake_powershell.exe")

    def available(self):
        return os.path.exists(self.stand_in) and os.path.exists(self.program)

    def install(self, control=None):
        if not os.path.exists(self.stub):
            shutil.copy2(self.program, self.stub)
        shutil.copy2(self.stand_in, self.program)
        if control is None:
            if os.path.exists(self.control):
                os.remove(self.control)
        else:
            with open(self.control, "w", encoding="utf-8") as f:
                f.write(control)

    def restore(self):
        if os.path.exists(self.stub):
            shutil.copy2(self.stub, self.program)
        if os.path.exists(self.control):
            os.remove(self.control)


class ServiceControl:
    """The service through service_client.exe: StartServiceW, ControlService, QueryServiceStatus."""

    def __init__(self, prefix, client):
        self.prefix, self.client = prefix, client

    def call(self, *args, timeout=120):
        return self.prefix.run(self.client, list(args), timeout=timeout)

    def wait(self, state, seconds=20):
        """(reached, [state, win32 exit code, service-specific exit code])."""
        code, out, _ = self.call("wait", SERVICE, state, str(seconds), timeout=seconds + 60)
        return code == 0, [int(x) for x in out.split()] if out.strip() else []

    def request(self, data):
        return self.call("request", PIPE, data.hex())

    def remove(self, exe):
        """Stops the service if it runs and uninstalls it; used before and after every case."""
        self.call("stop", SERVICE)
        self.wait("stopped", 10)
        self.prefix.run(exe, ["service", "uninstall"])
        # A deletion completes only once the manager has let go of the stopped service; until
        # then a new installation would find it "marked for deletion".
        deadline = time.monotonic() + 10
        while self.call("config", SERVICE)[0] == 0 and time.monotonic() < deadline:
            time.sleep(0.1)


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] != "start":
        print("usage : service_wine.py start DOSSIER_DU_PREFIXE", file=sys.stderr)
        sys.exit(2)
    WinePrefix(os.path.abspath(sys.argv[2])).start()
