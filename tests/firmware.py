"""Chosen firmware for end-to-end tests: run a command that sees SMBIOS strings or a whole SMBIOS
table picked by the test, without touching the machine's own /sys.

Each run happens in a private mount namespace (`unshare -m --propagation private`) where a tmpfs
hides the real directory:

- run_with_dmi_strings(): a tmpfs on /sys/class holding dmi/id/<name> files. Wine builds the table
  that GetSystemFirmwareTable('RSMB') returns from these files, so the Windows firmware source
  under Wine reads the strings chosen here.
- run_with_dmi_table(): a tmpfs on /sys/firmware holding dmi/tables/DMI, the raw structure table
  that the Linux firmware source of the native build reads.

Measured with Wine 8.0 (Debian 8.0~repack-4), strace -f on the client and strace -p on an already
running persistent `wineserver -p` started outside the namespace:
- /sys/class/dmi/id/* is opened by the client process itself (the pid that `wine` execs into
  wine64 and that runs the exe): ntdll's Unix side builds the table on every
  GetSystemFirmwareTable call (the files are read twice, once for the size query and once for the
  read). The wineserver opened none of them. So only the exe's process must be inside the
  namespace; a persistent wineserver started outside (the CTest fixture `wine`) does no harm.
- Wine drops one trailing line feed from each file (as the kernel writes them) and keeps every
  other byte, UTF-8 or not; a missing or empty file gives string number 0. The helper writes each
  string followed by one line feed, as sysfs does, so Wine sees the chosen bytes exactly.
- Wine fills types 0 (bios_vendor, bios_version, bios_date), 1 (sys_vendor, product_name,
  product_version, product_family, ...), 2 (board_vendor, board_name, ...), 3 and 127.

Where unshare or mount is refused (not root, no CAP_SYS_ADMIN, a seccomp profile), the helpers
raise unittest.SkipTest with the reason. Only the standard library is used.
"""
import os
import shutil
import struct
import subprocess
import tempfile
import unittest

# The files of /sys/class/dmi/id that Wine turns into the strings the walker reads.
DMI_ID_FILES = ("bios_vendor", "bios_version", "bios_date", "sys_vendor", "product_name",
                "product_version", "product_family", "board_vendor", "board_name")

NOBODY = 65534

_probe_result = None


def _namespace_refusal():
    """None when a private mount namespace with a tmpfs on /sys works here, else the reason."""
    global _probe_result
    if _probe_result is None:
        if shutil.which("unshare") is None:
            _probe_result = "unshare is not installed"
        else:
            try:
                proc = subprocess.run(
                    ["unshare", "-m", "--propagation", "private", "sh", "-c",
                     "mount -t tmpfs vantrel-probe /sys/class && mount -t tmpfs vantrel-probe /sys/firmware"],
                    stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
                _probe_result = "" if proc.returncode == 0 else (
                    "no private mount namespace with a tmpfs on /sys here: "
                    + proc.stderr.decode(errors="replace").strip())
            except OSError as e:
                _probe_result = f"unshare cannot run: {e}"
    return _probe_result or None


def require_namespace():
    """Raises unittest.SkipTest when chosen firmware cannot be set up here."""
    reason = _namespace_refusal()
    if reason:
        raise unittest.SkipTest(reason)


def _as_bytes(value):
    return value.encode() if isinstance(value, str) else bytes(value)


def _run_in_namespace(script, staged, command, env, timeout, user):
    """Runs `script` (sh, with $0 the staged path) in a new mount namespace, then execs `command`."""
    require_namespace()
    drop = ""
    if user is not None:
        drop = f"setpriv --reuid={user} --regid={user} --clear-groups -- "
    full = ["unshare", "-m", "--propagation", "private", "sh", "-c",
            script + ' && exec ' + drop + '"$@"', staged] + [os.fspath(c) for c in command]
    proc = subprocess.run(full, stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout,
                          env=env)
    return proc


def run_with_dmi_strings(command, strings, env=None, timeout=120, user=None):
    """Runs `command` (a list) where /sys/class/dmi/id holds exactly the files of `strings`: a dict
    from file name (see DMI_ID_FILES) to text (str, written as UTF-8) or bytes; a value of None
    leaves the file out. Returns the subprocess.CompletedProcess with captured stdout/stderr."""
    with tempfile.TemporaryDirectory(prefix="vantrel-dmi-") as staged:
        os.chmod(staged, 0o755)
        for name, value in strings.items():
            if value is None:
                continue
            with open(os.path.join(staged, name), "wb") as f:
                f.write(_as_bytes(value) + b"\n")  # sysfs ends each value with a line feed
            os.chmod(os.path.join(staged, name), 0o444)
        script = ('mount -t tmpfs vantrel-dmi /sys/class && mkdir -p /sys/class/dmi '
                  '&& cp -R "$0" /sys/class/dmi/id && chmod 755 /sys/class/dmi/id')
        return _run_in_namespace(script, staged, command, env, timeout, user)


def run_with_dmi_table(command, table, mode=0o400, env=None, timeout=120, user=None):
    """Runs `command` where /sys/firmware/dmi/tables/DMI holds `table` (bytes) with `mode` (root
    only by default, as the kernel publishes it); table=None leaves the file out. `user` runs the
    command under that uid and gid instead of root. Returns the CompletedProcess."""
    with tempfile.NamedTemporaryFile(prefix="vantrel-DMI-") as staged:
        script = 'mount -t tmpfs vantrel-firmware /sys/firmware && mkdir -p /sys/firmware/dmi/tables'
        if table is not None:
            staged.write(bytes(table))
            staged.flush()
            script += (' && cp "$0" /sys/firmware/dmi/tables/DMI'
                       f' && chmod {mode:o} /sys/firmware/dmi/tables/DMI')
        return _run_in_namespace(script, staged.name, command, env, timeout, user)


def run_with_dmi_tables(command, tables, mode=0o400, timeout=600):
    """Runs `command` once per table of `tables` (a list of bytes), each run seeing that table as
    /sys/firmware/dmi/tables/DMI exactly as run_with_dmi_table() sets it up, but all runs inside one
    namespace, one after the other: for long tables of cases, the namespace is set up once.
    Returns one (returncode, stdout, stderr) per table, in order."""
    with tempfile.TemporaryDirectory(prefix="vantrel-DMIs-") as staged:
        for i, table in enumerate(tables):
            with open(os.path.join(staged, f"{i}.table"), "wb") as f:
                f.write(bytes(table))
        script = ('mount -t tmpfs vantrel-firmware /sys/firmware && mkdir -p /sys/firmware/dmi/tables'
                  f' && i=0 && while [ "$i" -lt {len(tables)} ]; do'
                  ' cp "$0/$i.table" /sys/firmware/dmi/tables/DMI'
                  f' && chmod {mode:o} /sys/firmware/dmi/tables/DMI || exit 1;'
                  ' "$@" >"$0/$i.out" 2>"$0/$i.err"; echo $? >"$0/$i.rc"; i=$((i+1)); done')
        require_namespace()
        proc = subprocess.run(["unshare", "-m", "--propagation", "private", "sh", "-c", script, staged]
                              + [os.fspath(c) for c in command],
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)
        if proc.returncode != 0:
            raise RuntimeError(f"the runs could not be set up: {proc.stderr.decode(errors='replace')}")
        results = []
        for i in range(len(tables)):
            def read(suffix):
                with open(os.path.join(staged, f"{i}.{suffix}"), "rb") as f:
                    return f.read()
            results.append((int(read("rc")), read("out"), read("err")))
        return results


# --- Tables, as firmware writes them ---------------------------------------------------------------

def structure(kind, formatted=b"", strings=()):
    """One SMBIOS structure: type, length, a handle of 0, the formatted bytes after the 4-byte
    header, then the strings (str as UTF-8, or bytes), each NUL-terminated, and the closing NUL."""
    body = struct.pack("<BBH", kind, 4 + len(formatted), 0) + bytes(formatted)
    if not strings:
        return body + b"\0\0"
    return body + b"".join(_as_bytes(s) + b"\0" for s in strings) + b"\0"


def end_of_table():
    return structure(127)


def machine_table(bios_vendor=None, bios_version=None, bios_release_date=None,
                  system_manufacturer=None, system_product_name=None, system_version=None,
                  system_family=None, baseboard_product=None):
    """Types 0, 1, 2 and 127 of full length, with the strings given (absent ones get number 0)."""
    def numbered(values):
        strings, numbers = [], []
        for value in values:
            if value is None:
                numbers.append(0)
            else:
                strings.append(value)
                numbers.append(len(strings))
        return strings, numbers

    strings, (vendor, version, date) = numbered([bios_vendor, bios_version, bios_release_date])
    bios = bytearray(0x18 - 4)
    bios[0x04 - 4], bios[0x05 - 4], bios[0x08 - 4] = vendor, version, date
    table = structure(0, bios, strings)

    strings, (maker, product, sys_version, family) = numbered(
        [system_manufacturer, system_product_name, system_version, system_family])
    system = bytearray(0x1B - 4)
    system[0x04 - 4], system[0x05 - 4], system[0x06 - 4], system[0x1A - 4] = maker, product, sys_version, family
    table += structure(1, system, strings)

    strings, (board,) = numbered([baseboard_product])
    baseboard = bytearray(0x0F - 4)
    baseboard[0x05 - 4] = board
    table += structure(2, baseboard, strings)
    return table + end_of_table()
