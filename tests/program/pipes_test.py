"""The program driven through pipes: whole screens, the menu levels and
their key presses, exit statuses, and every refused or failed operation
(nothing crashes, nothing is left behind, the chosen file stays intact, and
the program goes on with a new level)."""
import os
import random
import re
import shutil
import subprocess
import sys
import unittest

import harness
from harness import (BACK_TO_MENU, BANNER, COMPRESS_PROMPT, COMPRESSING, DECOMPRESS_PROMPT,
                     DECOMPRESSED, DECOMPRESSING, FILE_NUMBER_AGAIN, NAME_AGAIN, NOT_MENU_INPUT,
                     listing, menu, run, run_counting_input, start_piped, summary)

ABRACADABRA = b"abracadabra"

# What a terminal acts on: the C0 and C1 controls (tab and line end apart),
# DEL, the line and paragraph separators and the bidirectional controls.
CONTROLS = "[\x00-\x08\x0b-\x1f\x7f-\x9f\u2028-\u202e\u2066-\u2069]"

FAILURE_SCREEN = re.compile(re.escape(BANNER) + "\n\n\t([^\n]+)" + re.escape(BACK_TO_MENU))


class ScreensTest(harness.WorkDirTest):

    def test_zero_ends_at_once(self):
        cases = [
            ("an empty directory lists no numbered line", [], "0\n", listing([])),
            ("file number 0, before the menu", ["a"], "0\n1\n", listing(["a"])),
            ("menu choice 0", ["a"], "1\n0\n1\n", listing(["a"]) + menu("a")),
        ]
        for label, names, typed, screens in cases:
            with self.subTest(label):
                self.new_dir()
                for name in names:
                    self.write(name, "x")
                result = run(self.dir, typed)
                self.assertEqual(result.out, screens)
                self.assertEqual(result.status, 0)

    def test_listing_sorted_by_bytes_with_subdirectories_numbered_like_files(self):
        for name in ["beta", "alpha", "Alpha", "10", "9", "two words"]:
            self.write(name, "x")
        os.mkdir(self.path("sub"))
        result = run(self.dir, "6\n0\n")
        self.assertEqual(result.out,
                         listing(["10", "9", "Alpha", "alpha", "beta", "sub", "two words"])
                         + menu("sub"))

    def test_choice_three_lists_again_and_picks_another_file(self):
        self.write("a", "x")
        self.write("b", "y")
        result = run(self.dir, "1\n3\n2\n0\n")
        self.assertEqual(result.out,
                         listing(["a", "b"]) + menu("a") + listing(["a", "b"]) + menu("b"))
        self.assertEqual(result.status, 0)


class ChosenEntryTest(harness.WorkDirTest):
    """The number picks the entry the listing showed with it, and every name
    is shown with what a terminal would act on escaped."""

    def test_entry_created_after_the_listing_does_not_shift_the_numbers(self):
        self.write("b", "x")
        self.write("gpl", "y")
        session = start_piped(self.dir)
        self.addCleanup(session.close)
        session.expect(listing(["b", "gpl"]))
        self.write("aaa_new", "z")
        session.send("2\n")
        self.assertEqual(session.expect(menu("gpl")), menu("gpl"))
        session.send("0\n")
        self.assertEqual(session.wait(), 0)

    @harness.not_on_windows("its names hold control characters and invalid UTF-8, which no "
                            "Windows name can; Wine shows such Linux names in a form of its own")
    def test_names_shown_escaped_while_the_files_are_used_by_their_real_names(self):
        # Real names (in byte order) and how the listing shows them.
        names = [
            (b"bad\xff\xc0\xaf\xed\xa0\x80\xe2\x82", "bad\\377\\300\\257\\355\\240\\200\\342\\202"),
            (b"c1\xc2\x9b[2J", "c1\\302\\233[2J"),
            (b"new\nline", "new\\nline"),
            (b"red\x1b[31mRED", "red\\033[31mRED"),
            # Shown reversed from U+202E on, this would read "rev" + "exe.txt".
            (b"rev\xe2\x80\xaetxt.exe", "rev\\342\\200\\256txt.exe"),
            (b"sep\xe2\x80\xa8par\xe2\x80\xa9", "sep\\342\\200\\250par\\342\\200\\251"),
            (b"tab\tdel\x7f", "tab\\tdel\\177"),
            (b"title\x1b]0;PWNED\x07x", "title\\033]0;PWNED\\ax"),
            # The first and the last C1 control, as U+009B above.
            (b"u0080\xc2\x80u009f\xc2\x9f", "u0080\\302\\200u009f\\302\\237"),
            (b"u2066\xe2\x81\xa6u2069\xe2\x81\xa9", "u2066\\342\\201\\246u2069\\342\\201\\251"),
            # Their neighbours U+2027 and U+202F are characters to show.
            ("w\u2027\u202f".encode(), "w\u2027\u202f"),
            ("zażółć".encode(), "zażółć"),
        ]
        for number, (name, _) in enumerate(names, 1):
            with open(os.path.join(self.dir.encode(), name), "wb") as f:
                f.write(b"contents of %d " % number * 50)
        shown = [escaped for _, escaped in names]
        result = run(self.dir,
                     "\x1b]0;X\x07\n"         # a rejected number, echoed
                     "3\n1\nnowy\x1b[1m\nk\n"  # compress "new\nline" to an odd name
                     "4\n2\nback\nk\n"         # restore that from the new listing
                     "1\n1\nx\x1b[2J/y\nk\n"   # a refused new name
                     "0\n")
        start = (listing(shown) + "\tNie ma pliku o numerze: \\033]0;X\\a\n"
                 + FILE_NUMBER_AGAIN + menu("new\\nline"))
        self.assertEqual(result.out[:len(start)], start)
        self.assertIn(menu("nowy\\033[1m.txt"), result.out)
        self.assertIn("\tNiedozwolona nazwa pliku: x\\033[2J/y.txt", result.out)
        # Nothing a terminal would act on reaches the output, which is all
        # valid UTF-8.
        result.out.encode("utf-8")
        self.assertIsNone(re.search(CONTROLS, result.out))
        self.assertEqual(self.read("back.txt"), b"contents of 3 " * 50)
        self.assertEqual(result.status, 0)
        # The command line's messages show names the same way.
        done = subprocess.run(harness.program("-t", "--", "gone\u202etxt.exe"), cwd=self.dir,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=harness.TIMEOUT)
        error = harness.decode(done.stderr)
        self.assertIn("gone\\342\\200\\256txt.exe", error)
        self.assertIsNone(re.search(CONTROLS, error))
        self.assertEqual(done.returncode, 1)


class RoundTripTest(harness.WorkDirTest):

    def test_compress_then_restore_through_the_menus(self):
        self.write("notes", ABRACADABRA)
        result = run(self.dir, "1\n1\npacked\n\n" "2\n2\nback\n\n" "0\n")
        self.assertEqual(
            result.out,
            listing(["notes"]) + menu("notes") + COMPRESS_PROMPT + COMPRESSING
            + summary(0, 0, 25, 16)
            + listing(["notes", "packed.txt"]) + menu("packed.txt")
            + DECOMPRESS_PROMPT + DECOMPRESSING + DECOMPRESSED
            + listing(["back.txt", "notes", "packed.txt"]))
        self.assertEqual(result.status, 0)
        self.assertEqual(self.read("back.txt"), ABRACADABRA)
        self.assertEqual(self.read("notes"), ABRACADABRA)
        self.assert_entries(["back.txt", "notes", "packed.txt"])

    @harness.not_on_windows("Windows files have no permission bits")
    def test_a_private_sources_outputs_are_private(self):
        self.write("notes", ABRACADABRA)
        os.chmod(self.path("notes"), 0o600)
        run(self.dir, "1\n1\npacked\n\n" "2\n2\nback\n\n" "0\n")
        self.assertEqual(self.read("back.txt"), ABRACADABRA)
        for name in ("packed.txt", "back.txt"):
            with self.subTest(name):
                self.assertEqual(os.stat(self.path(name)).st_mode & 0o777, 0o600)

    def test_polish_names_are_listed_opened_and_made(self):
        self.write("zażółć gęślą", ABRACADABRA)
        result = run(self.dir, "1\n1\nżółw\n\n" "2\n2\njaźń\n\n" "0\n")
        self.assertTrue(result.out.startswith(listing(["zażółć gęślą"]) + menu("zażółć gęślą")))
        self.assertIn(listing(["zażółć gęślą", "żółw.txt"]) + menu("żółw.txt"), result.out)
        self.assertEqual(self.read("jaźń.txt"), ABRACADABRA)
        self.assert_entries(["jaźń.txt", "zażółć gęślą", "żółw.txt"])

    def test_summary_figures_and_restore(self):
        every_byte = bytes(range(256)) + bytes(random.Random(3).randrange(256)
                                               for _ in range(5000 - 256))
        cases = [
            ("two values", b"aab"),
            ("one value, four thousand bytes", b"a" * 4000),
            ("empty source", b""),
            ("every byte value, five thousand bytes", every_byte),
            ("line ends and bytes 0 and 26", b"a\r\nb\n\x00\x1a\r\n"),
        ]
        for label, source in cases:
            with self.subTest(label):
                self.new_dir()
                self.write("src", source)
                result = run(self.dir, "1\n1\npacked\n\n1\n2\nback\n\n0\n")
                packed = self.read("packed.txt")
                # The dictionary written is its record count N, then 6 bytes a record.
                dictionary = 1 + 6 * packed[0] if packed else 0
                self.assertEqual(
                    result.out,
                    listing(["src"]) + menu("src") + COMPRESS_PROMPT + COMPRESSING
                    + summary(len(source) // 1000, len(packed) // 1000, dictionary,
                              3 * len(set(source)) + 1)
                    + listing(["packed.txt", "src"]) + menu("packed.txt")
                    + DECOMPRESS_PROMPT + DECOMPRESSING + DECOMPRESSED
                    + listing(["back.txt", "packed.txt", "src"]))
                self.assertEqual(self.read("back.txt"), source)


class LevelsTest(harness.WorkDirTest):
    """Counts the lines each run read: one per prompt and per key press."""

    def test_key_presses_at_the_end_of_nested_levels(self):
        cases = [
            ("unlisted choice at level 1: one key", "1\n7\nk\n"),
            ("after a compression: two keys", "1\n1\nout\nk\n1\n7\nk\nk\n"),
            ("after two choices 3: three keys", "1\n3\n1\n3\n1\n7\nk\nk\nk\n"),
            ("a choice that is not a number acts like 7", "1\nzwei\nk\n"),
            ("an empty choice acts like 7", "1\n3\n1\n\nk\nk\n"),
            ("choice 0 at level 3 ends at once", "1\n3\n1\n3\n1\n0\n"),
            ("file number 0 at level 2 ends at once", "1\n1\nout\nk\n0\n"),
            ("a line longer than one read", "7" * 150000 + "\n1\n7\nk\n"),
        ]
        for label, typed in cases:
            with self.subTest(label):
                self.new_dir()
                self.write("a", "abc")
                result = run_counting_input(self.dir, typed + "left over\n")
                self.assertEqual(result.status, 0)
                self.assertEqual(result.consumed, len(typed))

    def test_key_waits_print_nothing(self):
        self.write("a", "abc")
        result = run(self.dir, "1\n3\n1\n7\nk\nk\n")
        self.assertEqual(result.out, listing(["a"]) + menu("a") + listing(["a"]) + menu("a"))

    def test_piped_input_ending_before_the_menu_is_left_is_status_one(self):
        cases = [
            ("at the file number", ""),
            ("after a wrong file number", "5\n"),
            ("at the menu", "1\n"),
            ("at the new name", "1\n1\n"),
            ("after an empty new name", "1\n1\n  \n"),
            ("at the closing key wait", "1\n1\nout\n"),
            ("at the first of two key waits", "1\n3\n1\n7\n"),
            ("at the second of two key waits", "1\n3\n1\n7\nk\n"),
            ("inside a line without its line end", "1\n3"),
        ]
        for label, typed in cases:
            with self.subTest(label):
                self.new_dir()
                self.write("a", "abc")
                # run() also checks the one line on standard error.
                self.assertEqual(run(self.dir, typed).status, 1)

    def test_output_written_before_input_ended_is_complete(self):
        self.write("a", ABRACADABRA)
        self.assertEqual(run(self.dir, "1\n1\nout\n").status, 1)
        self.assertEqual(run(self.dir, "2\n2\nback\n").status, 1)
        self.assertEqual(self.read("back.txt"), ABRACADABRA)
        self.assert_entries(["a", "back.txt", "out.txt"])


class PipedDataTest(harness.WorkDirTest):
    """A piped line with a NUL byte or invalid UTF-8 is data, not answers:
    the menu stops before acting on it, with status 2 and one line on
    standard error; what the lines before it did stays done."""

    def test_data_stops_the_menu_before_it_acts_on_it(self):
        start = listing(["a"]) + menu("a")
        compressed = start + COMPRESS_PROMPT + COMPRESSING + summary(0, 0, 25, 16)
        cases = [
            ("a compressed file as the file number", FailureTest.COMPRESSED + b"\n1\n1\nout\nk\n0\n",
             listing(["a"]), ["a"]),
            ("a NUL inside the menu choice", b"1\n1\x00\nout\nk\n0\n", start, ["a"]),
            ("a NUL inside the new name", b"1\n1\nx\x00y\nk\n0\n", start + COMPRESS_PROMPT, ["a"]),
            ("invalid UTF-8 in the new name", b"1\n1\nna\xffme\nk\n0\n", start + COMPRESS_PROMPT, ["a"]),
            ("a NUL as an unlisted choice's key press", b"1\n7\n\x00\n", start, ["a"]),
            ("an overlong form at the key wait after a compression",
             b"1\n1\nout\n\xc0\xaf\n1\n1\nmore\nk\n0\n", compressed, ["a", "out.txt"]),
        ]
        for label, typed, screens, entries in cases:
            with self.subTest(label):
                self.new_dir()
                self.write("a", ABRACADABRA)
                result = run(self.dir, typed)
                self.assertEqual(result.status, 2)
                self.assertEqual(result.out, screens)
                self.assert_entries(entries)
                self.assertEqual(self.read("a"), ABRACADABRA)

    @harness.not_on_windows("tar runs the program by its path, not through the launcher")
    def test_tar_with_the_menu_as_its_compressor_fails_and_with_c_works(self):
        if shutil.which("tar") is None:
            self.skipTest("no tar")
        os.mkdir(self.path("docs"))
        self.write("docs/notes", ABRACADABRA * 100)
        failed = subprocess.run(["tar", "-I", harness.BINARY, "-cf", "menu.tar.huf", "docs"], cwd=self.dir,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=harness.TIMEOUT)
        self.assertNotEqual(failed.returncode, 0)
        self.assertIn(NOT_MENU_INPUT.strip(), harness.decode(failed.stderr))
        compressor = f"{harness.BINARY} -c"
        subprocess.run(["tar", "-I", compressor, "-cf", "docs.tar.huf", "docs"], cwd=self.dir, check=True,
                       timeout=harness.TIMEOUT)
        os.mkdir(self.path("back"))
        subprocess.run(["tar", "-I", compressor, "-xf", "../docs.tar.huf"], cwd=self.path("back"), check=True,
                       timeout=harness.TIMEOUT)
        self.assertEqual(self.read("back/docs/notes"), ABRACADABRA * 100)


class TypedInputTest(harness.WorkDirTest):

    def test_file_number_matching_no_entry_is_asked_again(self):
        self.write("a", "x")
        self.write("b", "y")
        wrong = ["3", "-1", "abc", "99999999999999999999", "1.5", "1 2", "0x1"]
        # Blanks around a number and a plus sign are fine; an empty line gets
        # the prompt again with no error line.
        result = run(self.dir, "".join(w + "\n" for w in wrong) + "\n \t\n\t+2 \r\n0\n")
        self.assertTrue(result.out.startswith(listing(["a", "b"])))
        self.assertTrue(result.out.endswith(FILE_NUMBER_AGAIN * 3 + menu("b")))
        asked_again = result.out[len(listing(["a", "b"])):-len(FILE_NUMBER_AGAIN * 2 + menu("b"))]
        errors = asked_again.split(FILE_NUMBER_AGAIN)[:-1]
        self.assertEqual(len(errors), len(wrong))
        for typed, error in zip(wrong, errors):
            self.assertRegex(error, "^\t[^\n]+\n$")
            self.assertIn(typed, error)
        self.assertEqual(result.status, 0)

    def test_wrong_file_number_is_echoed_up_to_64_characters(self):
        self.write("a", "x")
        cases = [
            ("64 characters, whole", "7" * 64, "7" * 64),
            ("65 characters, cut", "8" * 65, "8" * 64 + "..."),
            ("Polish letters, cut between characters", "ż" * 65, "ż" * 64 + "..."),
            ("escapes count as the character they show", "\x1b" * 65, "\\033" * 64 + "..."),
            ("a line of a few megabytes", "9" * 3_000_000, "9" * 64 + "..."),
        ]
        for label, typed, echoed in cases:
            with self.subTest(label):
                result = run(self.dir, typed + "\n0\n")
                self.assertEqual(result.out, listing(["a"]) + "\tNie ma pliku o numerze: " + echoed + "\n"
                                 + FILE_NUMBER_AGAIN)
                self.assertEqual(result.status, 0)

    def test_new_name_keeps_inner_spaces_without_outer_blanks(self):
        self.write("a", ABRACADABRA)
        run(self.dir, "1\n1\n  my packed file \t\nk\n0\n")
        self.assert_entries(["a", "my packed file.txt"])

    def test_empty_new_name_is_asked_again(self):
        self.write("a", ABRACADABRA)
        result = run(self.dir, "1\n1\n\n \t \nok\nk\n0\n")
        self.assertEqual(result.out,
                         listing(["a"]) + menu("a") + COMPRESS_PROMPT + NAME_AGAIN + NAME_AGAIN
                         + COMPRESSING + summary(0, 0, 25, 16) + listing(["a", "ok.txt"]))
        self.assert_entries(["a", "ok.txt"])


class RefusalTest(harness.WorkDirTest):
    """New names that are refused before anything is opened or written."""

    def setUp(self):
        super().setUp()
        self.write("a.txt", ABRACADABRA)
        os.symlink("a.txt", self.path("link.txt"))
        os.link(self.path("a.txt"), self.path("hard.txt"))
        os.mkdir(self.path("sub"))
        self.names = ["a.txt", "hard.txt", "link.txt", "sub"]

    def test_names_that_leave_the_directory_or_name_the_chosen_file(self):
        refused = [
            ("a subdirectory", "sub/x", "sub/x.txt"),
            ("the parent directory", "../x", "../x.txt"),
            ("an absolute path", self.path("sub") + "/x", "sub/x.txt"),
            ("the chosen file", "a", "a.txt"),
            ("a symbolic link to the chosen file", "link", "link.txt"),
            ("a hard link to the chosen file", "hard", "hard.txt"),
        ]
        for choice, prompt in [("1", COMPRESS_PROMPT), ("2", DECOMPRESS_PROMPT)]:
            for label, typed, named in refused:
                with self.subTest(label, choice=choice):
                    result = run(self.dir, f"1\n{choice}\n{typed}\nk\n0\n")
                    start = listing(self.names) + menu("a.txt") + prompt
                    self.assertTrue(result.out.startswith(start))
                    self.assertTrue(result.out.endswith(listing(self.names)))
                    failure = FAILURE_SCREEN.fullmatch(
                        result.out[len(start):-len(listing(self.names))])
                    self.assertIsNotNone(failure)
                    self.assertIn(named, failure.group(1))
                    self.assertEqual(result.status, 0)
                    self.assertEqual(self.read("a.txt"), ABRACADABRA)
                    self.assertEqual(os.listdir(self.path("sub")), [])
                    self.assert_entries(self.names)


    def test_chosen_name_in_another_case(self):
        """The chosen file itself on Windows, whose names ignore case; another
        file on Linux."""
        result = run(self.dir, "1\n1\nA\nk\n0\n")
        if harness.ON_WINDOWS:
            self.assertIn("\tNie mozna zapisac pliku: A.txt (to jest wybrany plik)", result.out)
            self.assert_entries(self.names)
            self.assertEqual(self.read("a.txt"), ABRACADABRA)
        else:
            os.remove(self.path("A.txt"))

    def test_names_windows_does_not_allow(self):
        """Refused on Windows, as a name that leaves the directory is; plain
        names on Linux."""
        for label, typed in [("a backslash", "x\\y"), ("a drive's colon", "c:x"),
                             ("a device name", "CON"), ("a device name in another case", "nul.a"),
                             ("a wildcard", "a*b")]:
            with self.subTest(label):
                result = run(self.dir, f"1\n1\n{typed}\nk\n0\n")
                if harness.ON_WINDOWS:
                    self.assertIn("\tNiedozwolona nazwa pliku: ", result.out)
                    self.assert_entries(self.names)
                else:
                    os.remove(self.path(typed + ".txt"))


class FailureTest(harness.WorkDirTest):
    """Sources that cannot be read or restored and outputs that cannot be
    written give a failure screen in place of the summary, then a new level."""

    # The compressed file of "abracadabra".
    COMPRESSED = bytes.fromhex("04 00 63 00 01 00 01 00 72 02 00 61 03 00 64 00 00 62 01 01 01 02 01 02 03 79 8D 78")

    def run_failing(self, names, number, choice, new_name):
        """Runs one operation expected to fail; returns its failure line."""
        result = run(self.dir, f"{number}\n{choice}\n{new_name}\nk\n0\n")
        chosen = names[number - 1]
        prompt, progress = ((COMPRESS_PROMPT, COMPRESSING) if choice == 1
                            else (DECOMPRESS_PROMPT, DECOMPRESSING))
        start = listing(names) + menu(chosen) + prompt + progress
        self.assertTrue(result.out.startswith(start), result.out)
        self.assertTrue(result.out.endswith(listing(names)), result.out)
        failure = FAILURE_SCREEN.fullmatch(result.out[len(start):-len(listing(names))])
        self.assertIsNotNone(failure, result.out)
        self.assertEqual(result.status, 0)
        self.assert_entries(names)
        return failure.group(1)

    def test_source_that_is_not_a_readable_file(self):
        os.mkdir(self.path("dir"))
        names = ["dir"]
        # Windows has no named pipe among its files, and Wine does not list
        # a dangling symbolic link: the directory is the case that holds there.
        if not harness.ON_WINDOWS:
            os.mkfifo(self.path("fifo"))
            os.symlink("missing", self.path("dangling"))
            names = ["dangling", "dir", "fifo"]
        for choice in (1, 2):
            for number, name in enumerate(names, 1):
                with self.subTest(name, choice=choice):
                    self.assertIn(name, self.run_failing(names, number, choice, "out"))

    def test_source_removed_after_it_was_chosen(self):
        self.write("a", ABRACADABRA)
        session = start_piped(self.dir)
        try:
            session.send("1\n")
            session.expect(menu("a"))
            os.remove(self.path("a"))
            session.send("1\nout\n")
            screens = session.expect(BACK_TO_MENU)
            self.assertIn("a", FAILURE_SCREEN.search(screens).group(1))
            session.send("k\n")
            self.assertEqual(session.expect(listing([])), listing([]))
            session.send("0\n")
            self.assertEqual(session.wait(), 0)
        finally:
            session.close()
        self.assert_entries([])

    def test_restore_refuses_what_is_not_a_compressed_file(self):
        with open(sys.executable, "rb") as program:
            binary = program.read()
        not_compressed = "Nie mozna zdekompresowac pliku: src (to nie jest plik skompresowany albo jest uszkodzony)"
        cases = [
            ("a text file", b"To jest zwykly tekst, nie plik skompresowany.\n" * 40, not_compressed),
            ("a program", binary, not_compressed),
            ("a compressed file cut short", self.COMPRESSED[:20], not_compressed),
            # From an encoder that stores no record for one repeated byte.
            ("one byte value and no record", bytes.fromhex("00 00"),
             "Nie mozna odtworzyc pliku: src (nie zawiera ani bajtu, ani dlugosci danych)"),
        ]
        for label, data, expected in cases:
            with self.subTest(label):
                self.new_dir()
                self.write("src", data)
                self.assertEqual(self.run_failing(["src"], 1, 2, "back"), expected)

    def test_restore_refuses_a_damaged_checked_file_naming_the_span(self):
        # Three spans of 256 KiB; the command line writes the checked file.
        source = bytes(b"checked "[k % 8] for k in range(700_000))
        self.write("src", source)
        self.assertEqual(subprocess.run(harness.program("src"), cwd=self.dir).returncode, 0)
        packed = bytearray(self.read("src.huf"))
        os.remove(self.path("src"))
        os.remove(self.path("src.huf"))
        # Six byte values: a dictionary of 37 bytes, then 21 bits for each
        # "checked ", so this byte codes original byte 300000, in the second span.
        packed[37 + 300_000 * 21 // 64] ^= 0x10
        self.write("src", bytes(packed))
        self.assertEqual(self.run_failing(["src"], 1, 2, "back"),
                         "Plik uszkodzony: src (zawartosc rozni sie w bajtach 262144-524287 oryginalu)")

    def test_output_that_cannot_be_written(self):
        # A compressed file, so that both operations get as far as writing.
        packed = self.COMPRESSED
        self.write("a", packed)
        os.mkdir(self.path("dir.txt"))
        self.write("dir.txt/inside", "kept")
        long_name = "n" * 300
        for label, typed in [("a directory of that name", "dir"), ("too long a name", long_name)]:
            for choice in (1, 2):
                with self.subTest(label, choice=choice):
                    line = self.run_failing(["a", "dir.txt"], 1, choice, typed)
                    self.assertIn(typed + ".txt", line)
                    self.assertEqual(self.read("a"), packed)
                    self.assertEqual(os.listdir(self.path("dir.txt")), ["inside"])

    def test_failed_operation_keeps_the_existing_file(self):
        os.mkdir(self.path("dir"))
        self.write("out.txt", "old")
        self.run_failing(["dir", "out.txt"], 1, 1, "out")
        self.assertEqual(self.read("out.txt"), b"old")

    def test_successful_operation_replaces_the_existing_file(self):
        self.write("a", ABRACADABRA)
        self.write("out.txt", "old contents, longer than the new ones" * 10)
        run(self.dir, "1\n1\nfresh\nk\n1\n1\nout\nk\n0\n")
        self.assertEqual(self.read("out.txt"), self.read("fresh.txt"))
        self.assert_entries(["a", "fresh.txt", "out.txt"])


if __name__ == "__main__":
    harness.use_program(sys.argv.pop(1))
    unittest.main()
