"""Faults injected into the running program: writes refused part-way by a
file-size limit, the chosen file removed or replaced between the listing and
the operation, signals in the middle of a long operation, system calls that fail
inside an operation (the command line's commit too), memory that runs out
(a limit on address space), and an input that is closed or hung up at every
prompt and key wait.  After each one the
program must have left no partial output and no temporary file, kept the
chosen file and any older file of the new name intact, and either gone on
with a new level (ending with status 0; the command line with status 1) or
died of the signal with the terminal's settings restored."""
import errno
import os
import re
import resource
import signal
import subprocess
import sys
import termios
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "program"))
import harness  # noqa: E402  (the program suites' harness, shared)
from harness import (BACK_TO_MENU, BANNER, COMPRESSING, DECOMPRESSING,  # noqa: E402
                     FILE_NUMBER_AGAIN, PtySession, listing, menu, start_piped)

FAILURE_SCREEN = re.compile(re.escape(BANNER) + "\n\n\t([^\n]+)" + re.escape(BACK_TO_MENU))
MIB = 1024 * 1024

# A compressed file of two leaves (0 -> 'b', 1 -> 'a'): every payload bit
# restores one byte, so a sparse payload of zeros restores eight 'b' bytes
# per payload byte and the file costs no disk.
TWO_LEAF_DICTIONARY = bytes.fromhex("01 00 62 00 00 61 00")

# The preloaded library that makes chosen system calls fail (fault_shim.cpp).
SHIM = os.environ.get("HUFFMAN_FAULT_SHIM")


def run_with_file_size_limit(cwd, typed, limit):
    """Runs the program with every file it writes limited to `limit` bytes:
    a write past the limit fails with EFBIG instead of raising SIGXFSZ."""

    def limit_writes():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

    done = subprocess.run(harness.program(), cwd=cwd, input=typed.encode(),
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          preexec_fn=limit_writes, restore_signals=False,
                          timeout=harness.TIMEOUT)
    return harness.Result(done)


class WriteFailureTest(harness.WorkDirTest):
    """A write refused part-way: at the first byte, inside the first buffer,
    after several buffers went out, or only the very last byte."""

    # Incompressible, so the compressed file is about as large as the source
    # and takes several of the program's output buffers.
    SOURCE = os.urandom(3 * MIB)

    def limits(self, full_size):
        return [("no byte", 0), ("within the first kilobytes", 1000),
                ("part-way", full_size // 2), ("all but the last byte", full_size - 1)]

    def assert_refused(self, typed, limit, chosen, names, new_name):
        result = run_with_file_size_limit(self.dir, typed, limit)
        self.assertEqual(result.status, 0)
        failure = FAILURE_SCREEN.search(result.out)
        self.assertIsNotNone(failure, result.out[-600:])
        self.assertIn(f"Nie mozna zapisac pliku: {new_name}", failure.group(1))
        self.assertIn("plik jest za duzy", failure.group(1))
        # After the key press a new level lists the directory as it was.
        self.assertTrue(result.out.endswith(listing(names)), result.out[-600:])
        self.assertTrue(result.out.startswith(listing(names) + menu(chosen)))
        self.assert_entries(names)

    def test_compress_refused_part_way_leaves_nothing(self):
        self.write("src", self.SOURCE)
        harness.run(self.dir, "1\n1\npacked\nk\n0\n")
        compressed_size = os.path.getsize(self.path("packed.txt"))
        self.write("out.txt", "older file of the new name")
        names = ["out.txt", "packed.txt", "src"]
        for label, limit in self.limits(compressed_size):
            with self.subTest(label, limit=limit):
                self.assert_refused("3\n1\nout\nk\n0\n", limit, "src", names, "out.txt")
                self.assert_data(self.read("src"), self.SOURCE)
                self.assertEqual(self.read("out.txt"), b"older file of the new name")

    def test_restore_refused_part_way_leaves_nothing(self):
        self.write("src", self.SOURCE)
        harness.run(self.dir, "1\n1\npacked\nk\n0\n")
        packed = self.read("packed.txt")
        for label, limit in self.limits(len(self.SOURCE)):
            with self.subTest(label, limit=limit):
                self.assert_refused("1\n2\nback\nk\n0\n", limit, "packed.txt",
                                    ["packed.txt", "src"], "back.txt")
                self.assert_data(self.read("packed.txt"), packed)

    def test_output_exactly_at_the_limit_succeeds(self):
        # The boundary next to the refusals above: nothing is written beyond
        # the file itself, so a limit of exactly its size is enough.
        self.write("src", self.SOURCE)
        harness.run(self.dir, "1\n1\nreference\nk\n0\n")
        reference = self.read("reference.txt")
        result = run_with_file_size_limit(self.dir, "2\n1\nout\nk\n0\n", len(reference))
        self.assertEqual(result.status, 0)
        self.assertIn("Kompresja zakonczona!", result.out)
        self.assert_data(self.read("out.txt"), reference)
        result = run_with_file_size_limit(self.dir, "1\n2\nback\nk\n0\n", len(self.SOURCE))
        self.assertEqual(result.status, 0)
        self.assert_data(self.read("back.txt"), self.SOURCE)
        self.assert_entries(["back.txt", "out.txt", "reference.txt", "src"])


class SystemErrorTest(harness.WorkDirTest):
    """A system call that fails inside an operation (injected by the
    preloaded fault shim): the failure screen names the file and the reason
    of that very call, and nothing is left behind."""

    # What fails, in which operation, and the screen's line.
    CASES = [
        ("source unreadable", "read:5", "1", "Nie mozna odczytac pliku: src (blad wejscia/wyjscia)"),
        ("compressed file unreadable", "read:5", "2", "Nie mozna odczytac pliku: packed.txt (blad wejscia/wyjscia)"),
        ("disk full while compressing", "write:28", "1", "Nie mozna zapisac pliku: out.txt (brak miejsca na dysku)"),
        ("disk full while restoring", "write:28", "2", "Nie mozna zapisac pliku: out.txt (brak miejsca na dysku)"),
        ("no permission to create", "create:13", "1", "Nie mozna zapisac pliku: out.txt (brak uprawnien)"),
        ("read-only file system", "create:30", "2", "Nie mozna zapisac pliku: out.txt (system plikow tylko do odczytu)"),
        ("close fails at commit", "close:5", "1", "Nie mozna zapisac pliku: out.txt (blad wejscia/wyjscia)"),
        ("source shorter when read again", "shrink", "1", "Plik zmienil sie w trakcie kompresji: src"),
    ]
    # Large enough for several blocks of either operation.
    SOURCE = os.urandom(3 * MIB)

    def test_failed_call_reaches_the_screen_with_its_reason(self):
        self.write("src", self.SOURCE)
        harness.run(self.dir, "1\n1\npacked\nk\n0\n")
        packed = self.read("packed.txt")
        names = ["packed.txt", "src"]
        for label, fault, operation, line in self.CASES:
            with self.subTest(label):
                number = "2" if operation == "1" else "1"
                env = dict(os.environ, LD_PRELOAD=SHIM, HUFFMAN_FAULT=fault)
                done = subprocess.run([harness.BINARY], cwd=self.dir, env=env,
                                      input=f"{number}\n{operation}\nout\nk\n0\n".encode(),
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                      timeout=harness.TIMEOUT)
                result = harness.Result(done)
                self.assertEqual(result.status, 0)
                failure = FAILURE_SCREEN.search(result.out)
                self.assertIsNotNone(failure, result.out[-600:])
                self.assertEqual(failure.group(1), line)
                self.assert_entries(names)
                self.assert_data(self.read("src"), self.SOURCE)
                self.assert_data(self.read("packed.txt"), packed)


class CommandLineCommitTest(harness.WorkDirTest):
    """The command line's complete output cannot be put in place (linkat or
    rename fails, as in a directory that is full): the run fails naming the
    output and the reason, leaves no output and no temporary file, and --rm
    keeps the source, its only copy."""

    # The output unnamed until it is linked into place, and named (O_TMPFILE
    # refused), renamed into place.
    WAYS = [("linked", f"commit:{errno.ENOSPC}"),
            ("renamed", f"tmpfile:{errno.EOPNOTSUPP},commit:{errno.ENOSPC}")]

    def test_a_failed_commit_fails_the_run_and_keeps_the_source(self):
        source = b"abracadabra" * 1000
        self.write("a", source)
        subprocess.run(harness.program("a"), cwd=self.dir, check=True, timeout=harness.TIMEOUT)
        packed = self.read("a.huf")
        # Without --rm the run's status alone tells that nothing was written.
        cases = [(["a"], "a", source, "a.huf"), (["--rm", "a"], "a", source, "a.huf"),
                 (["-d", "a.huf"], "a.huf", packed, "a"), (["-d", "--rm", "a.huf"], "a.huf", packed, "a")]
        for way, fault in self.WAYS:
            for args, kept, data, output in cases:
                with self.subTest(way, args=args):
                    self.new_dir()
                    self.write(kept, data)
                    env = dict(os.environ, LD_PRELOAD=SHIM, HUFFMAN_FAULT=fault)
                    done = subprocess.run(harness.program(*args), cwd=self.dir, env=env, stdout=subprocess.PIPE,
                                          stderr=subprocess.PIPE, timeout=harness.TIMEOUT)
                    self.assertEqual((done.returncode, done.stdout, harness.decode(done.stderr)),
                                     (1, b"", f"huffman: {output}: cannot write: {os.strerror(errno.ENOSPC)}\n"))
                    self.assert_entries([kept])
                    self.assertEqual(self.read(kept), data)


class ChosenFileChangedTest(harness.WorkDirTest):
    """The directory changes while the program waits at a prompt."""

    def start(self):
        session = start_piped(self.dir)
        self.addCleanup(session.close)
        return session

    def test_only_entry_removed_before_its_number_is_typed(self):
        # The number picks what the listing showed; the operation finds it
        # gone, says so, and writes nothing.
        self.write("a", "abc")
        session = self.start()
        session.expect(listing(["a"]))
        os.remove(self.path("a"))
        session.send("1\n")
        session.expect(menu("a"))
        session.send("1\nout\n")
        failure = FAILURE_SCREEN.search(session.expect(BACK_TO_MENU))
        self.assertEqual(failure.group(1), "Nie mozna odczytac pliku: a (plik nie istnieje)")
        session.send("k\n")
        session.expect(listing([]))
        session.send("0\n")
        self.assertEqual(session.wait(), 0)
        self.assert_entries([])

    def test_chosen_file_replaced_before_the_operation(self):
        replacements = [
            ("by a directory", os.mkdir, "to jest katalog"),
            ("by a named pipe", os.mkfifo, "to nie jest zwykly plik"),
            ("by a link to a directory", lambda p: os.symlink(".", p), "to jest katalog"),
        ]
        for label, replace, reason in replacements:
            for choice, progress in ((1, COMPRESSING), (2, DECOMPRESSING)):
                with self.subTest(label, choice=choice):
                    self.new_dir()
                    self.write("a", "abracadabra")
                    session = self.start()
                    session.send("1\n")
                    session.expect(menu("a"))
                    os.remove(self.path("a"))
                    replace(self.path("a"))
                    # A pipe with no writer would block an open for reading:
                    # the program must refuse it without opening it.
                    session.send(f"{choice}\nout\n")
                    screens = session.expect(BACK_TO_MENU)
                    failure = FAILURE_SCREEN.search(screens)
                    self.assertIsNotNone(failure, screens)
                    self.assertEqual(failure.group(1), f"Nie mozna odczytac pliku: a ({reason})")
                    session.send("k\n")
                    session.expect(listing(["a"]))
                    session.send("0\n")
                    self.assertEqual(session.wait(), 0)
                    self.assert_entries(["a"])


def unnamed_files_supported(directory):
    """Whether files without a name (O_TMPFILE) can be made in `directory`."""
    try:
        os.close(os.open(directory, os.O_TMPFILE | os.O_WRONLY))
        return True
    except (AttributeError, OSError):
        return False


class SignalDuringOperationTest(harness.WorkDirTest):
    """SIGINT (Ctrl-C typed), SIGTERM or SIGKILL while a long operation
    writes: the program dies of the signal and leaves neither the new file
    nor a temporary file, and the terminal's settings are as before.  Each
    runs twice: with the output as the file system allows it (without a name,
    O_TMPFILE, where it can), and as a named temporary file (the preloaded
    shim refuses O_TMPFILE, as a file system without it does), which only the
    signal handler removes.  SIGKILL cannot be caught, so nothing can be
    cleaned up after it: it leaves nothing only where the output has no name
    until it is complete, which needs a file system with O_TMPFILE under the
    test's temporary directory (the SIGKILL cases are skipped elsewhere)."""

    WAYS = [
        ("Ctrl-C typed", signal.SIGINT, lambda s: s.send("\x03")),
        ("SIGTERM sent", signal.SIGTERM, lambda s: s.process.send_signal(signal.SIGTERM)),
        ("SIGKILL sent", signal.SIGKILL, lambda s: s.process.kill()),
    ]
    # The output as the file system allows, and named (the fault shim's mode).
    OUTPUTS = [("unnamed where it can be", None), ("named", f"tmpfile:{errno.EOPNOTSUPP}")]

    def output_size(self, pid):
        """The size of the output being written: a file in the working
        directory that the program holds open and that was not there before,
        named or (O_TMPFILE) not; None while there is none."""
        fd_dir = f"/proc/{pid}/fd"
        for fd in os.listdir(fd_dir):
            try:
                target = os.readlink(os.path.join(fd_dir, fd))
                if (os.path.dirname(target) == os.path.realpath(self.dir)
                        and os.path.basename(target) not in self.kept):
                    return os.stat(os.path.join(fd_dir, fd)).st_size
            except OSError:
                pass
        return None

    def wait_until_writing(self, session):
        """Waits until the operation's output holds some bytes: under
        ThreadSanitizer the census of the sparse source before the first
        write takes several times as long."""
        slowed = 4 if os.environ.get("HUFFMAN_THREAD_SANITIZER") else 1
        deadline = time.monotonic() + slowed * harness.TIMEOUT
        while time.monotonic() < deadline:
            self.assertIsNone(session.process.poll(), "the operation ended before the signal")
            if self.output_size(session.process.pid):
                return
            time.sleep(0.005)
        self.fail("the operation never started writing")

    def interrupt(self, number_and_choice, progress, make_source):
        for output, fault in self.OUTPUTS:
            env = None if fault is None else dict(os.environ, LD_PRELOAD=SHIM, HUFFMAN_FAULT=fault)
            for label, number, deliver in self.WAYS:
                if fault is not None and number == signal.SIGKILL:
                    continue  # a named file outlives SIGKILL: nothing can remove it
                with self.subTest(label, output=output):
                    self.new_dir()
                    if number == signal.SIGKILL and not unnamed_files_supported(self.dir):
                        self.skipTest("no O_TMPFILE on the file system of " + self.dir)
                    make_source()
                    self.write("out.txt", "older file of the new name")
                    self.kept = set(self.entries())
                    session = PtySession(self.dir, env=env)
                    self.addCleanup(session.close)
                    # Lines typed ahead wait in the terminal until they are read.
                    session.send(number_and_choice + "out\n")
                    session.expect(progress.split("\n")[-1])
                    self.wait_until_writing(session)
                    if fault is not None:
                        self.assertNotEqual(self.entries(), sorted(self.kept), "the output has no name")
                    deliver(session)
                    self.assertEqual(session.wait(), -number)
                    self.assertEqual(session.settings(), session.initial_settings)
                    self.assert_entries(sorted(self.kept))
                    self.assertEqual(self.read("out.txt"), b"older file of the new name")

    def test_signal_while_compressing(self):
        # 4 GiB of zeros, sparse: the census reads it all before the first
        # byte goes out, and writing its 512 MiB of codes takes seconds.
        def make_source():
            with open(self.path("big"), "wb") as f:
                f.truncate(4096 * MIB)
        self.interrupt("1\n1\n", COMPRESSING, make_source)

    def test_signal_while_restoring(self):
        # 128 MiB of zero payload bits restore 1 GiB.
        def make_source():
            with open(self.path("big"), "wb") as f:
                f.write(TWO_LEAF_DICTIONARY)
                f.truncate(len(TWO_LEAF_DICTIONARY) + 128 * MIB)
        self.interrupt("1\n2\n", DECOMPRESSING, make_source)


class ClosedInputTest(harness.WorkDirTest):
    """Input that cannot be read any more, rather than input that ends: the
    program must end at once, whatever it was waiting for: with status 0 on
    a terminal, with status 1 (no 0 was chosen) without one."""

    def test_standard_input_not_open_at_all(self):
        self.write("a", "abc")
        done = subprocess.run(harness.program(), cwd=self.dir, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              preexec_fn=lambda: os.close(0), timeout=harness.TIMEOUT)
        result = harness.Result(done)
        self.assertEqual(result.status, 1)
        self.assertEqual(result.out, listing(["a"]))
        self.assert_entries(["a"])

    # Where the terminal is hung up: the steps that lead there, each a text
    # the program shows and then what is typed once it shows it, and the
    # text of the wait itself.  Screens on a terminal end lines with CR LF.
    MENU = "0 ) Wyjscie\r\n\r\n\t---> "
    NUMBER = "Wpisz numer pliku: "
    COMPRESS_NAME = "Podaj nazwe nowego pliku:\r\n\r\n\t---> "
    RESTORE_NAME = "( po dekompresji ):\r\n\r\n\t---> "
    WAITS = [
        ("file number", [], NUMBER, False),
        ("file number asked again", [(NUMBER, "7\n")], NUMBER, False),
        ("menu choice", [(NUMBER, "1\n")], MENU, False),
        ("new name to compress", [(NUMBER, "1\n"), (MENU, "1\n")], COMPRESS_NAME, False),
        ("new name asked again", [(NUMBER, "1\n"), (MENU, "1\n"), (COMPRESS_NAME, " \n")],
         "\t---> ", False),
        ("new name to restore", [(NUMBER, "1\n"), (MENU, "2\n")], RESTORE_NAME, False),
        ("key after the summary", [(NUMBER, "1\n"), (MENU, "1\n"), (COMPRESS_NAME, "out\n")],
         BACK_TO_MENU.replace("\n", "\r\n"), True),
        ("key after a restore", [(NUMBER, "1\n"), (MENU, "2\n"), (RESTORE_NAME, "back\n")],
         "dowlny klawisz i wroc do menu", True),
        ("key after a refusal", [(NUMBER, "1\n"), (MENU, "1\n"), (COMPRESS_NAME, "a/b\n")],
         BACK_TO_MENU.replace("\n", "\r\n"), True),
        # The key wait of an unlisted choice shows nothing of its own.
        ("key of an unlisted choice", [(NUMBER, "1\n"), (MENU, "7\n")], "", True),
    ]

    def test_terminal_hung_up_at_every_prompt_and_key_wait(self):
        # The terminal is not the program's controlling terminal here, so the
        # hang-up sends no SIGHUP: every read of it fails with EIO instead.
        for label, steps, waiting_at, key_wait in self.WAITS:
            with self.subTest(label):
                self.new_dir()
                # A compressed file (of "abracadabra"), so that a restore succeeds.
                self.write("a", bytes.fromhex("04 00 63 00 01 00 01 00 72 02 00 61 03 00 64 00 00 62"
                                              " 01 01 01 02 01 02 03 79 8D 78"))
                master, slave = os.openpty()
                process = subprocess.Popen(harness.program(), cwd=self.dir, stdin=slave,
                                           stdout=slave, stderr=subprocess.DEVNULL)
                session = harness.Session(process, master, master)
                try:
                    for shown, typed in steps:
                        session.expect(shown)
                        session.send(typed)
                    session.expect(waiting_at)
                    if key_wait:
                        self.wait_for_key_mode(slave)
                    os.close(master)
                    master = None
                    self.assertEqual(process.wait(timeout=harness.TIMEOUT), 0)
                finally:
                    if process.poll() is None:
                        process.kill()
                        process.wait()
                    for fd in (master, slave):
                        if fd is not None:
                            os.close(fd)
                hidden = [name for name in self.entries() if name.startswith(".")]
                self.assertEqual(hidden, [], "a temporary file was left")

    @staticmethod
    def wait_for_key_mode(terminal):
        """Waits until the key wait has switched echo and line editing off."""
        deadline = time.monotonic() + harness.TIMEOUT
        while termios.tcgetattr(terminal)[3] & (termios.ECHO | termios.ICANON):
            if time.monotonic() > deadline:
                raise AssertionError("the terminal never left line mode")
            time.sleep(0.01)



class OutOfMemoryTest(harness.WorkDirTest):
    """Memory that runs out inside an operation: with the least address space
    the menu runs in, and a MiB more, the codec's buffers do not fit; the
    failure screen says so, and nothing is written."""

    def test_operation_without_memory_ends_on_the_failure_screen(self):
        source = os.urandom(8 * MIB)
        self.write("src", source)
        harness.run(self.dir, "1\n1\npacked\nk\n0\n")
        least = harness.least_address_space(self.dir, typed=b"0\n")
        if least is None:
            self.skipTest("the program does not start within 256 MiB of address space (a sanitizer build)")
        for number, operation in (("2", "1"), ("1", "2")):
            with self.subTest(operation):
                done = subprocess.run(harness.program(), cwd=self.dir,
                                      input=f"{number}\n{operation}\nout\nk\n0\n".encode(),
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                      preexec_fn=harness.address_space(least + 1024), timeout=harness.TIMEOUT)
                result = harness.Result(done)
                self.assertEqual(result.status, 0)
                failure = FAILURE_SCREEN.search(result.out)
                self.assertIsNotNone(failure, result.out[-600:])
                chosen = "src" if operation == "1" else "packed.txt"
                self.assertEqual(failure.group(1), f"Brak pamieci do przetworzenia pliku: {chosen}")
                self.assert_entries(["packed.txt", "src"])
                self.assertEqual(self.read("src"), source)


if __name__ == "__main__":
    harness.use_program(sys.argv.pop(1))
    unittest.main()
