"""The built executable's command line, byte for byte: streams, exit codes and non-ASCII arguments
(under Wine this proves the wide command line and the binary-mode streams)."""
import os
import tempfile
import unittest

from e2e import UNDER_WINE, USAGE, run, main

# Wine's descriptions differ from Windows' own; these tests run natively and under Wine.
DISK_FULL = "Disk full. (os error 112)" if UNDER_WINE else "No space left on device (os error 28)"
NO_HANDLE = "Invalid handle. (os error 6)" if UNDER_WINE else "Bad file descriptor (os error 9)"
CLOSED_STDOUT = ["sh", "-c", 'exec "$@" >&-', "sh"]


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

    def test_native_build_has_no_service_manager(self):
        if UNDER_WINE:
            raise unittest.SkipTest("the Windows build's service commands run in service_e2e")
        for args in (["service", "install"], ["service", "uninstall"], ["--service"]):
            with self.subTest(args=args):
                self.check(args, 1, err="erreur : service Windows indisponible sur ce système\n".encode())

    def test_argument_that_is_not_unicode_is_a_usage_error(self):
        if UNDER_WINE:
            raise unittest.SkipTest("Wine turns a byte that is not UTF-8 into a character; "
                                    "the lone surrogate case runs in vantrel_tests under Wine")
        got = run(["detect", "--profiles", b"\xff".decode("utf-8", "surrogateescape")])
        self.assertEqual((got.code, got.out, got.err),
                         (2, b"", "erreur : argument 3 illisible : texte UTF-8 mal formé\n\n".encode() + USAGE + b"\n"),
                         got)

    def test_document_that_does_not_reach_standard_output_is_a_failure(self):
        if not os.path.exists("/dev/full"):
            raise unittest.SkipTest("no /dev/full here")
        with tempfile.TemporaryDirectory() as empty, open("/dev/full", "wb") as full:
            rows = [
                ("full_device", ["profiles", "--profiles", empty], {"stdout": full}, 1,
                 f"erreur : écriture de la sortie standard : {DISK_FULL}\n"),
                ("closed_standard_output", ["profiles", "--profiles", empty], {"prefix": CLOSED_STDOUT}, 1,
                 f"erreur : écriture de la sortie standard : {NO_HANDLE}\n"),
                ("out_file_on_a_full_device", ["profiles", "--profiles", empty, "--out", "/dev/full"], {}, 1,
                 f"erreur : écriture de /dev/full : {DISK_FULL}\n"),
                # Help and usage stay best effort.
                ("help_on_a_full_device", ["-h"], {"stdout": full}, 0, ""),
                ("help_with_standard_output_closed", ["-h"], {"prefix": CLOSED_STDOUT}, 0, ""),
            ]
            for name, args, redirect, code, err in rows:
                with self.subTest(name):
                    got = run(args, **redirect)
                    self.assertEqual((got.code, got.out, got.err), (code, b"", err.encode()), got)

    def test_profile_of_1_gib_is_refused_before_it_is_read(self):
        # Under 600 MB of address space natively; the sanitizers' shadow memory and Wine's own
        # reservations do not fit under such a limit.
        limited = UNDER_WINE or "ASAN_OPTIONS" in os.environ
        prefix = [] if limited else ["sh", "-c", 'ulimit -v 614400 && exec "$@"', "sh"]
        with tempfile.TemporaryDirectory() as folder:
            with open(os.path.join(folder, "huge.toml"), "wb") as f:
                f.truncate(1 << 30)  # sparse: takes no room on the disk
            got = run(["profiles", "--profiles", folder], prefix=prefix)
            separator = "\\" if UNDER_WINE else "/"
            self.assertEqual((got.code, got.out, got.err.decode()),
                             (1, b"", f"erreur : profils ({folder}) : {folder}{separator}huge.toml : fichier trop "
                                      "volumineux pour un profil (plus de 4194304 octets)\n"), got)

    def test_no_carriage_return_is_added(self):
        got = run([])
        self.assertNotIn(b"\r", got.out)


if __name__ == "__main__":
    main()
