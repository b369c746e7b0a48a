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
    """Copies vantrel.exe, and the stand-in powershell.exe beside it when it is built, into
    `folder`; returns the copied executable."""
    os.makedirs(folder, exist_ok=True)
    for name in ("vantrel.exe", "powershell.exe"):
        source = os.path.join(binary_dir, name)
        if os.path.exists(source):
            shutil.copy2(source, os.path.join(folder, name))
    return os.path.join(folder, "vantrel.exe")


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
