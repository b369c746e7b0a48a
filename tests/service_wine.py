"""A Wine prefix of its own for the service tests and the reliability run: an automatically
started service left installed in a prefix starts again with it and holds the pipe, so these runs
never install into the prefix other tests share. The prefix is kept between runs (it takes many
seconds and hundreds of megabytes to make); the service is removed at every end."""
import os
import shutil
import subprocess
import time

SERVICE = "VantrelHal"
PIPE = "\\\\.\\pipe\\VantrelHal"


class WinePrefix:
    def __init__(self, path):
        self.path = path
        self.env = dict(os.environ, WINEPREFIX=path, WINEDEBUG="-all", WINEDLLOVERRIDES="winedbg.exe=d",
                        LC_ALL="C.UTF-8")

    def start(self):
        """Starts the prefix with a persistent wineserver: without one, Wine kills services about a
        second after the last ordinary Wine process ends. Output goes nowhere: Wine's system
        processes would keep our pipes open."""
        os.makedirs(self.path, exist_ok=True)
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=self.env)
        subprocess.run(["wineserver", "-p"], check=True, timeout=60, **quiet)
        subprocess.run(["wine", "cmd", "/c", "exit"], check=True, timeout=300, **quiet)

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)

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
