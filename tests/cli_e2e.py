"""The built executable's command line, byte for byte: streams, exit codes and non-ASCII arguments
(under Wine this proves the wide command line and the binary-mode streams)."""
import unittest

from e2e import UNDER_WINE, USAGE, run, main


class CommandLine(unittest.TestCase):
    def check(self, args, code, out=b"", err=b""):
        got = run(args)
        self.assertEqual((got.code, got.out, got.err), (code, out, err), got)

    def test_no_argument_prints_usage_and_exits_2(self):
        self.check([], 2, out=USAGE + b"\n")

    def test_help_prints_usage_and_exits_0(self):
        for args in (["-h"], ["--help"], ["--help", "détecte"]):
            with self.subTest(args=args):
                self.check(args, 0, out=USAGE + b"\n")

    def test_usage_errors_repeat_the_usage(self):
        rows = [
            (["detect", "--out"], "erreur : valeur manquante pour --out\n\n"),
            (["detect", "--forcé", "x"], "erreur : option inconnue : --forcé\n\n"),
            (["service"], "erreur : sous-action manquante pour service : install ou uninstall\n\n"),
            (["service", "désinstalle"], "commande service inconnue (install ou uninstall)\n\n"),
            (["détecter"], "commande inconnue : détecter\n\n"),
            (["ThinkPad™ X1"], "commande inconnue : ThinkPad™ X1\n\n"),
        ]
        for args, text in rows:
            with self.subTest(args=args):
                self.check(args, 2, err=text.encode() + USAGE + b"\n")

    def test_argument_that_is_not_unicode_is_a_usage_error(self):
        if UNDER_WINE:
            raise unittest.SkipTest("Wine turns a byte that is not UTF-8 into a character; "
                                    "the lone surrogate case runs in vantrel_tests under Wine")
        got = run(["detect", "--profiles", b"\xff".decode("utf-8", "surrogateescape")])
        self.assertEqual((got.code, got.out, got.err),
                         (2, b"", "erreur : argument 3 illisible : texte UTF-8 mal formé\n\n".encode() + USAGE + b"\n"),
                         got)

    def test_no_carriage_return_is_added(self):
        got = run([])
        self.assertNotIn(b"\r", got.out)


if __name__ == "__main__":
    main()
