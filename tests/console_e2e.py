"""vantrel.exe writing to a console of its own under Wine: what the console shows must be the
exact text of each stream. The console's output code page is 850, so only UTF-16 written as such
shows the accents right. tests/console-host runs the executable in the console and reads its
characters back."""
import os
import subprocess
import tempfile
import unittest

from e2e import BINARY_DIR, EXE, RUNNER, UNDER_WINE, USAGE, main, run

HOST = os.path.join(BINARY_DIR, "console_host.exe")
NO_CONSOLE, HOST_FAILED = 253, 252
TEXT = USAGE.decode()


def utf16_length(text):
    return len(text.encode("utf-16-le")) // 2


# The console stream writes at most 16384 UTF-16 units per call. This option is as long as it
# takes for the first unit of U+1F600 (a surrogate pair) to fall on that boundary: the text around
# it must arrive whole, nothing lost or doubled. (Wine's console keeps each unit in its own cell, so
# a pair cut between two calls would read back whole here; vantrel_tests checks the cut itself.)
PREFIX = "erreur : option inconnue : "
HEAD = "--chemin « " + "é" * (16383 - utf16_length(PREFIX + "--chemin « "))
LONG_OPTION = HEAD + "😀 » " + "ü" * 40

ROWS = [
    # name, arguments, exit code, the console's text (standard output and error together)
    ("no_argument", [], 2, TEXT + "\n"),
    ("help", ["--help"], 0, TEXT + "\n"),
    ("unknown_option_accented", ["detect", "--forcé", "x"], 2,
     "erreur : option inconnue : --forcé\n\n" + TEXT + "\n"),
    ("unknown_command_outside_the_bmp", ["ThinkPad™ X1 😀"], 2,
     "commande inconnue : ThinkPad™ X1 😀\n\n" + TEXT + "\n"),
    ("pair_on_the_boundary_of_two_console_writes", ["detect", LONG_OPTION, "x"], 2,
     PREFIX + LONG_OPTION + "\n\n" + TEXT + "\n"),
]


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


class Console(unittest.TestCase):
    def setUp(self):
        if not UNDER_WINE:
            raise unittest.SkipTest("the console branch exists in the Windows build only")
        self.assertTrue(os.path.exists(HOST), f"{HOST} is not built")

    def on_console(self, args):
        """Runs the executable in a console of its own; yields its exit code and the console's text."""
        with tempfile.TemporaryDirectory() as scratch:
            result = os.path.join(scratch, "console.txt")
            command = RUNNER + [HOST, windows_path(result), windows_path(EXE)] + list(args)
            proc = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
            code, wine_said = proc.returncode, proc.stderr.decode(errors="replace")
            # The host writes a result on every path of its own; without one, it did not run
            # (Wine refused to start it, or ended it), and what Wine said is all there is.
            self.assertTrue(os.path.exists(result), f"the host wrote no result (exit {code}): {wine_said}")
            with open(result, "rb") as file:
                text = file.read().decode("utf-16-le", "surrogatepass")
        if code == NO_CONSOLE:
            raise unittest.SkipTest(f"no console under this Wine: {text}")
        self.assertNotEqual(code, HOST_FAILED, f"{text}\n{wine_said}")
        return code, text

    def test_console_shows_each_stream_exactly(self):
        self.assertEqual(utf16_length(PREFIX + HEAD), 16383)
        # Run outside the subtests, so that a missing console skips the whole test.
        got = {name: self.on_console(args) for name, args, _, _ in ROWS}
        for name, _, code, text in ROWS:
            with self.subTest(name):
                self.assertEqual(got[name], (code, text))

    def test_action_failure_shows_as_when_redirected(self):
        # The system's error text comes from Wine; the redirected bytes are checked elsewhere.
        args = ["profiles", "--profiles", "profils « 😀 » absents"]
        redirected = run(args)
        self.assertEqual(redirected.code, 1, redirected)
        self.assertTrue(redirected.err.startswith("erreur : profils (profils « 😀 » absents) : ".encode()), redirected)
        self.assertEqual(self.on_console(args), (1, redirected.err.decode()))


if __name__ == "__main__":
    main()
