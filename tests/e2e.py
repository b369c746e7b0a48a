"""Shared helpers of the end-to-end tests: run the built executable (natively or under Wine) and
compare its streams and exit code byte for byte. Each test script is a unittest module; a case
that cannot run here raises unittest.SkipTest with the reason, and a script whose cases were all
skipped exits 77, which CTest reports as skipped."""
import os
import subprocess
import sys
import unittest

EXE = os.environ.get("VANTREL_EXE", "")
RUNNER = os.environ.get("VANTREL_RUNNER", "env").split()
SOURCE_DIR = os.environ.get("VANTREL_SOURCE_DIR", "")
BINARY_DIR = os.environ.get("VANTREL_BINARY_DIR", "")
UNDER_WINE = "wine" in RUNNER

USAGE = (
    "Usage :\n"
    "  vantrel detect   [--profiles DIR] [--out FICHIER]\n"
    "  vantrel profiles [--profiles DIR]\n"
    "  vantrel keyboard [NIVEAU]            (rétroéclairage du clavier : 0 à 2)\n"
    "  vantrel service  install|uninstall   (Windows : gestionnaire de services)\n"
    "  vantrel --service                    (interne : lancé par Windows)\n"
    "\n"
    "Options :\n"
    "  --profiles  dossier des profils machine TOML (défaut : ./profiles)\n"
    "  --out       écrit le rapport JSON anonymisé dans FICHIER (detect uniquement)\n"
    "\n"
    "La détection lit toujours la machine locale, en lecture seule ;\n"
    "seul keyboard NIVEAU y change quelque chose : le rétroéclairage du clavier.\n"
    "\n"
    "Sortie : JSON sur stdout. Codes de sortie : 0 succès, 1 erreur, 2 usage.").encode()


class Run:
    def __init__(self, code, out, err):
        self.code, self.out, self.err = code, out, err

    def __repr__(self):
        return f"exit {self.code}\nstdout: {self.out!r}\nstderr: {self.err!r}"


def run(args, cwd=None, exe=None, prefix=(), timeout=120, stdout=subprocess.PIPE):
    """Runs the executable with `args` (texts, encoded as UTF-8) and returns its streams; with
    `stdout` (a file), standard output goes there and reads back as empty."""
    command = list(prefix) + RUNNER + [exe or EXE] + list(args)
    proc = subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL, stdout=stdout, stderr=subprocess.PIPE,
                          timeout=timeout)
    return Run(proc.returncode, proc.stdout or b"", proc.stderr)


def main():
    program = unittest.main(exit=False, verbosity=2)
    result = program.result
    if not result.wasSuccessful():
        sys.exit(1)
    if result.testsRun and len(result.skipped) == result.testsRun:
        sys.exit(77)
    sys.exit(0)
