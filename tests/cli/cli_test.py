"""The command-line mode as a black box, in temporary directories: round trips
through files, -c, -o and pipes; every refusal and error leaving nothing
written, no temporary file and every source intact; --rm; what -l shows of a
file built here; -t passing and failing hand-made files and naming the check;
and exit statuses over a mix of good and bad files."""
import errno
import os
import random
import re
import shutil
import signal
import subprocess
import shlex
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "program"))
import harness  # noqa: E402  (the program suites' harness, shared)

MIB = 1024 * 1024
# The preloaded library that makes chosen system calls fail (tests/faults).
SHIM = os.environ.get("HUFFMAN_FAULT_SHIM")
# Larger than what standard input is held in memory before it spills.
SPILLING_SIZE = 6 * MIB
SPILLING = bytes(range(256)) * (SPILLING_SIZE // 256) + b"tail"

# Hand-made compressed files, as "N, the 0-sides, the 1-sides, payload".
# Two leaves: 0 -> 'b', 1 -> 'a'.
TWO_LEAVES = bytes.fromhex("01 00 62 00 00 61 00")
# "aaaaaaab": eight codes filling one byte exactly.
EXACT = TWO_LEAVES + b"\xfe"
# "aab" from an encoder that pads with zeros: the padding decodes as five
# more 'b', and nothing in the file tells it apart, so the file passes.
ZERO_PADDED = TWO_LEAVES + b"\xc0"
BAD_FILES = [
    ("truncated dictionary", bytes.fromhex("02 00 61 00 00 62"), "dictionary is truncated"),
    # Record 1's 0-side names record 9, which does not exist.
    ("record linking nowhere", bytes.fromhex("02 00 61 00 01 09 01 00 62 00 00 63 01 80"),
     "does not name a record below its parent"),
    # Record 1's 0-side names record 1 itself.
    ("cycle", bytes.fromhex("02 00 61 00 01 01 01 00 62 00 00 63 01 80"), "does not name a record below its parent"),
    ("duplicated byte value", bytes.fromhex("01 00 61 00 00 61 00 80"), "byte value on two leaves"),
    ("dictionary with no payload", TWO_LEAVES, "no payload"),
    ("no records: one repeated byte value", bytes.fromhex("00 00"), "nothing can restore it"),
]


class Run:
    def __init__(self, done):
        self.status = done.returncode
        self.out = done.stdout
        self.err = done.stderr.decode("utf-8", "surrogateescape")


def huffman(cwd, *args, stdin=b"", env=None, **kwargs):
    done = subprocess.run(harness.program(*args), cwd=cwd, input=stdin, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=harness.TIMEOUT, env=env, **kwargs)
    return Run(done)


class CliTest(harness.WorkDirTest):

    def run_ok(self, *args, stdin=b""):
        result = huffman(self.dir, *args, stdin=stdin)
        self.assertEqual((result.status, result.err), (0, ""), args)
        return result

    def assert_refused(self, args, message, files, others=()):
        """Fails with status 1 and one line holding `message`, and leaves the
        directory holding exactly `files` (with their contents) and `others`."""
        result = huffman(self.dir, *args)
        self.assertEqual(result.status, 1, (args, result.err))
        self.assertEqual(result.err.count("\n"), 1, result.err)
        self.assertTrue(result.err.startswith("huffman: "), result.err)
        self.assertIn(message, result.err)
        self.assert_entries(list(files) + list(others))
        for name, data in files.items():
            self.assert_data(self.read(name), data, name)


class RoundTripTest(CliTest):
    SOURCES = [("empty", b""), ("one value", b"z" * 1000), ("all 256", bytes(range(256)) * 3),
               ("spilling", SPILLING)]

    def test_files_stdout_output_name_and_pipes(self):
        for label, data in self.SOURCES:
            with self.subTest(label):
                self.new_dir()
                self.write("f", data)
                # --no-check writes the menu's file, byte for byte.
                harness.run(self.dir, "1\n1\nmenu\n\n0\n")
                self.assert_data(self.run_ok("--no-check", "-c", "f").out, self.read("menu.txt"))
                os.remove(self.path("menu.txt"))
                # -v says why a file carries no check data.
                note = (", no check data: the source is empty" if not data
                        else ", no check data: the source holds all 256 byte values" if len(set(data)) == 256
                        else "")
                self.assertRegex(huffman(self.dir, "-cv", "f").err, r"^f: \d+ -> \d+ bytes \(ratio [^)]*\)"
                                 + re.escape(note) + "\n$")
                os.utime(self.path("f"), (1_000_000_000, 1_000_000_000))
                os.chmod(self.path("f"), 0o640)
                self.run_ok("f")
                packed = self.read("f.huf")
                self.assertEqual(os.stat(self.path("f.huf")).st_mtime, 1_000_000_000)
                if not harness.ON_WINDOWS:  # Windows files have no permission bits
                    self.assertEqual(os.stat(self.path("f.huf")).st_mode & 0o777, 0o640)
                self.assert_data(self.run_ok("-c", "f").out, packed)
                self.assert_data(self.run_ok("-o", "-", "f").out, packed)
                tmp = os.path.join(self.root.name, "spill")
                os.mkdir(tmp)
                piped = huffman(self.dir, "-c", stdin=data, env=dict(os.environ, TMPDIR=tmp))
                self.assertEqual(piped.status, 0)
                self.assert_data(piped.out, packed)
                # A Windows build spills into %TEMP%, deleted by the system on
                # close, and Wine keeps files of its own under TMPDIR.
                if not harness.ON_WINDOWS:
                    self.assertEqual(os.listdir(tmp), [], "the spill file was left")
                shutil.rmtree(tmp)
                self.assert_data(self.run_ok("-dc", stdin=packed).out, data)
                self.assert_data(self.run_ok("-d", "-", stdin=packed).out, data)
                self.assert_data(self.run_ok("-dc", "f.huf").out, data)
                # -dcf restores compressed data, from the start it read to judge it on.
                self.assert_data(self.run_ok("-dcf", stdin=packed).out, data)
                self.run_ok("-o", "g.huf", stdin=data)
                self.assert_data(self.read("g.huf"), packed)
                self.run_ok("-d", "-o", "g", "g.huf")
                self.assert_data(self.read("g"), data)
                os.remove(self.path("f"))
                self.run_ok("-d", "f.huf")
                self.assert_data(self.read("f"), data)
                if not harness.ON_WINDOWS:
                    self.assertEqual(os.stat(self.path("f")).st_mode & 0o777, 0o640)
                self.assert_entries(["f", "f.huf", "g", "g.huf"])

    def test_polish_name_as_an_argument(self):
        name = "zażółć gęślą"
        self.write(name, b"abracadabra")
        self.run_ok("--rm", name)
        self.assert_entries([name + ".huf"])
        self.run_ok("-d", name + ".huf")
        self.assertEqual(self.read(name), b"abracadabra")
        self.assert_entries([name, name + ".huf"])

    def test_three_threads_through_pipes_write_the_one_thread_file(self):
        # Several MiB of uneven byte counts (codes of many lengths) through
        # standard input, spilled, and standard output on three threads.
        unit = b"".join(bytes([v]) * (1 + v * 37 % 23) for v in range(256))
        data = unit * (SPILLING_SIZE // len(unit) + 1) + b"odd tail"
        self.write("f", data)
        self.run_ok("-T", "1", "f")
        packed = self.read("f.huf")
        self.assert_data(self.run_ok("-c", "-T", "3", stdin=data).out, packed)
        self.assert_data(self.run_ok("-dc", "--threads=3", stdin=packed).out, data)

    def test_level_options_change_no_byte(self):
        data = b"abracadabra" * 50
        self.write("a", data)
        packed = self.run_ok("-c", "a").out
        for args in (["-9c"], ["-c1"], ["--fast", "-c"], ["--best", "-c"], ["-c", "-19"], ["-T9", "-3c"]):
            with self.subTest(args):
                self.assertEqual(self.run_ok(*args, "a").out, packed)
        # A value-taking option takes the rest of its group, digits included.
        self.run_ok("-9S.x9", "a")
        self.assertEqual(self.read("a.x9"), packed)
        self.assertEqual(self.run_ok("-d9c", "-S", ".x9", "a.x9").out, data)

    def test_many_files_to_stdout_and_another_suffix(self):
        self.write("a", b"first ")
        self.write("b", b"second")
        self.run_ok("-S", ".hz", "a", "--suffix=.hz", "b")
        self.assertEqual(self.run_ok("-dcS.hz", "a.hz", "b.hz").out, b"first second")
        # A long option's value as the next argument is taken, not an operand.
        self.run_ok("--suffix", ".hy", "--threads", "2", "a")
        self.run_ok("--output", "x", "b")
        self.assertEqual(self.run_ok("-dc", "a.hy", "x").out, b"first second")
        self.assert_entries(["a", "a.hy", "a.hz", "b", "b.hz", "x"])

    @harness.not_on_windows("Windows has no named pipes in its file names, nor /dev/stdin")
    def test_pipes_and_descriptors_named_as_inputs_are_read_in_order(self):
        program = " ".join(map(shlex.quote, harness.program()))

        def bash(line):
            done = subprocess.run(line.replace("HUFFMAN", program), shell=True, executable="/bin/bash",
                                  cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=harness.TIMEOUT)
            self.assertEqual((done.returncode, done.stderr), (0, b""), line)
            return done.stdout
        for label, data in (("short", b"abracadabra\n" * 9), ("spilling", SPILLING)):
            with self.subTest(label):
                self.new_dir()
                self.write("f", data)
                os.chmod(self.path("f"), 0o600)
                self.run_ok("f")
                packed = self.read("f.huf")
                self.assert_data(bash("HUFFMAN -dc <(cat f.huf)"), data)
                self.assertEqual(bash("HUFFMAN -t <(cat f.huf) && HUFFMAN -l <(cat f.huf) | wc -l"), b"2\n")
                self.assert_data(bash("HUFFMAN -c <(cat f)"), packed)
                self.assert_data(bash("cat f | HUFFMAN -c /dev/stdin"), packed)
                self.assert_data(bash("cat f.huf | HUFFMAN -d -o g /dev/fd/0 && cat g"), data)
                # A FIFO with its writer, as the output of -o; without -c or
                # -o it is refused before it is opened (which would wait for
                # a writer).
                os.mkfifo(self.path("fifo"))
                self.assert_refused(["fifo"], "fifo: not a regular file; use -c or -o", {"f": data, "f.huf": packed},
                                    ["g", "fifo"])
                writer = threading.Thread(target=lambda: self.write("fifo", data))
                writer.start()
                self.run_ok("--rm", "-o", "h.huf", "fifo")
                writer.join()
                self.assert_data(self.read("h.huf"), packed)
                self.assert_entries(["f", "f.huf", "g", "fifo", "h.huf"])
        # A character device named as a descriptor is read; named as itself it
        # is refused (RefusalTest).
        self.assertEqual(bash("HUFFMAN -c /dev/stdin < /dev/null"), b"")

    def test_symbolic_link_to_a_file_is_read_as_the_file(self):
        self.write("target", b"linked data")
        os.symlink("target", self.path("link"))
        self.run_ok("link")
        self.assertEqual(self.run_ok("-dc", "link.huf").out, b"linked data")
        self.assertTrue(os.path.islink(self.path("link")))


class CarriedAttributesTest(CliTest):
    """What an output takes from its source: the times from before the run
    read it, the permission bits without set-ID and sticky bits, and the owner
    and group where the process may give them."""

    # A day's age and more: a relatime mount updates such an access time when
    # the file is read, so an output that took the times after the read
    # would show the moment of the run.
    ACCESSED, MODIFIED = 1_000_000_500, 1_000_000_000

    @harness.not_on_windows("Wine moves the source's access time when the program only opens it to "
                            "examine it, before its status is taken; Windows keeps access times lazily, "
                            "if at all")
    def test_times_are_the_sources_from_before_the_run(self):
        self.write("f", b"abracadabra" * 100)
        for source, args, output in [("f", ["f"], "f.huf"), ("f.huf", ["-d", "-o", "back", "f.huf"], "back")]:
            with self.subTest(output):
                os.utime(self.path(source), (self.ACCESSED, self.MODIFIED))
                self.run_ok(*args)
                info = os.stat(self.path(output))
                self.assertEqual((info.st_atime_ns, info.st_mtime_ns),
                                 (self.ACCESSED * 10**9, self.MODIFIED * 10**9))

    @harness.not_on_windows("Windows files have no permission bits")
    def test_set_id_and_sticky_bits_are_dropped(self):
        for source_mode, output_mode in [(0o4755, 0o755), (0o2750, 0o750), (0o1604, 0o604)]:
            with self.subTest(oct(source_mode)):
                self.new_dir()
                self.write("f", b"data")
                os.chmod(self.path("f"), source_mode)
                self.run_ok("f")
                self.assertEqual(os.stat(self.path("f.huf")).st_mode & 0o7777, output_mode)
                self.run_ok("-d", "-o", "back", "f.huf")
                self.assertEqual(os.stat(self.path("back")).st_mode & 0o7777, output_mode)

    @harness.not_on_windows("Windows files have no permission bits")
    def test_an_output_with_no_source_file_follows_the_umask(self):
        # Standard input and a pipe named as an input have no mode to give:
        # the output is made 0666 less the umask, unnamed or (O_TMPFILE
        # refused) named.
        data = b"abracadabra" * 100
        packed = self.run_ok("-c", stdin=data).out
        cases = [(["-o", "out"], data), (["-d", "-o", "out"], packed), (["-d", "-o", "out", "/dev/stdin"], packed)]
        for output, fault in (("unnamed where it can be", None), ("named", f"tmpfile:{errno.EOPNOTSUPP}")):
            env = None if fault is None else dict(os.environ, LD_PRELOAD=SHIM, HUFFMAN_FAULT=fault)
            for umask in (0o022, 0o027):
                for args, stdin in cases:
                    with self.subTest(output, args=args, umask=oct(umask)):
                        if fault is not None and SHIM is None:
                            self.skipTest("HUFFMAN_FAULT_SHIM names no fault shim")
                        self.new_dir()
                        result = huffman(self.dir, *args, stdin=stdin, env=env, preexec_fn=lambda: os.umask(umask))
                        self.assertEqual((result.status, result.err), (0, ""))
                        self.assertEqual(oct(os.stat(self.path("out")).st_mode & 0o777), oct(0o666 & ~umask))
                        self.assert_entries(["out"])

    @harness.not_on_windows("Windows files have no owner to give")
    def test_owner_and_group_are_copied_where_the_process_may(self):
        if os.geteuid() != 0:
            self.skipTest("only root can give files away")
        # Root gives both, and the group keeps its bits.
        self.write("f", b"data")
        os.chown(self.path("f"), 12345, 23456)
        os.chmod(self.path("f"), 0o640)
        self.run_ok("f")
        self.run_ok("-d", "-o", "back", "f.huf")
        for output in ("f.huf", "back"):
            with self.subTest(output):
                info = os.stat(self.path(output))
                self.assertEqual((info.st_uid, info.st_gid, info.st_mode & 0o777), (12345, 23456, 0o640))
        # A user outside the source's group keeps the file, and the group it
        # gets instead is given no more than others had.
        os.chmod(self.root.name, 0o755)
        os.chown(self.dir, 12345, 34567)
        os.chmod(self.path("f"), 0o674)
        def become_the_user():
            os.setgroups([])
            os.setgid(34567)
            os.setuid(12345)

        result = huffman(self.dir, "-o", "mine.huf", "f", preexec_fn=become_the_user)
        self.assertEqual((result.status, result.err), (0, ""))
        info = os.stat(self.path("mine.huf"))
        self.assertEqual((info.st_uid, info.st_gid, info.st_mode & 0o777), (12345, 34567, 0o644))


class RefusalTest(CliTest):

    def test_each_refused_file_leaves_everything_as_it_was(self):
        self.write("a", b"data")
        self.write("a.huf", b"older")
        os.mkdir(self.path("dir"))
        self.write("plain", b"x")
        self.write(".huf", b"y")
        files = {"a": b"data", "a.huf": b"older", "plain": b"x", ".huf": b"y"}
        device = "NUL" if harness.ON_WINDOWS else "/dev/null"
        cases = [
            (["a"], "a.huf: already exists; use -f to replace it"),
            (["missing"], "missing: No such file or directory"),
            (["dir"], "dir: is a directory"),
            ([device], f"{device}: not a regular file or a pipe"),
            # An output that is a directory is refused before the input is
            # read, with -f too: a.huf does not fail the checks here.
            (["-f", "-o", "dir", "a"], "dir: is a directory"),
            (["-df", "--rm", "-o", "dir", "a.huf"], "dir: is a directory"),
            (["-d", "plain"], "plain: unknown suffix (expected .huf)"),
            (["-d", ".huf"], "unknown suffix"),
            (["a.huf"], "a.huf: already has the .huf suffix"),
            (["-f", "-o", "a", "a"], "the output would be the input itself"),
            (["-d", "-f", "-o", "a.huf", "a.huf"], "the output would be the input itself"),
        ]
        for args, message in cases:
            with self.subTest(args):
                self.assert_refused(args, message, files, ["dir"])

    def test_hard_link_output_is_the_same_file(self):
        self.write("a", b"data")
        os.link(self.path("a"), self.path("a.huf"))
        self.assert_refused(["-f", "a"], "the output would be the input itself",
                            {"a": b"data", "a.huf": b"data"})

    def test_force_replaces_an_existing_output(self):
        self.write("a", b"data")
        self.write("a.huf", b"older")
        self.run_ok("-f", "a")
        self.assertEqual(self.run_ok("-dc", "a.huf").out, b"data")

    def test_usage_errors_touch_nothing(self):
        self.write("a", b"data")
        self.write("b", b"more")
        cases = [
            (["-x", "a"], "unknown option '-x'"),
            (["--bogus", "a"], "unknown option '--bogus'"),
            (["-d", "-t", "a"], "conflicting operations"),
            (["a", "-S"], "needs a value"),
            (["-S", "", "a"], "suffix must not be empty"),
            (["-c", "a", "b"], "-c compresses one input only"),
            (["-o", "out", "a", "b"], "-o takes one input only"),
            (["-t", "-o", "out", "a"], "-o cannot be used with -t or -l"),
            (["-c", "--rm", "a"], "--rm cannot be used with -c"),
            (["-o", "-", "--rm", "a"], "--rm cannot be used with -c or -o -"),
            (["-T", "many", "a"], "invalid thread count"),
            (["--threads=17", "a"], "invalid thread count '17': at most 16"),
            (["-r", "-o", "out", "a"], "-o cannot be used with -r"),
            (["-rc", "a"], "-c cannot compress with -r"),
        ]
        for args, message in cases:
            with self.subTest(args):
                result = huffman(self.dir, *args)
                self.assertEqual(result.status, 2)
                first, hint = result.err.splitlines()
                self.assertTrue(first.startswith("huffman: ") and message in first, first)
                self.assertEqual(hint, "Try 'huffman --help' for more information.")
                self.assertEqual(result.out, b"")
                self.assert_entries(["a", "b"])

    def test_compressed_data_and_a_terminal(self):
        self.write("a", b"data")
        self.run_ok("a")
        master, slave = os.openpty()
        try:
            cases = [(["-c", "a"], {"stdout": slave}, "not written to a terminal"),
                     (["-d"], {"stdin": slave}, "not read from a terminal")]
            for args, streams, message in cases:
                with self.subTest(args):
                    streams = {"stdin": subprocess.DEVNULL, "stdout": subprocess.PIPE} | streams
                    done = subprocess.run(harness.program(*args), cwd=self.dir, stderr=subprocess.PIPE,
                                          timeout=harness.TIMEOUT, **streams)
                    self.assertEqual(done.returncode, 1)
                    self.assertIn(message, done.stderr.decode())
            done = subprocess.run(harness.program("-cf", "a"), cwd=self.dir, stdout=slave,
                                  stderr=subprocess.PIPE, timeout=harness.TIMEOUT)
            self.assertEqual(done.returncode, 0)
        finally:
            os.close(master)
            os.close(slave)
        self.assert_entries(["a", "a.huf"])

    @harness.not_on_windows("a Windows program gets no POSIX signal; its console events (Ctrl-C, "
                            "closing the window) need a console, which a pipe is not")
    def test_a_signal_while_writing_leaves_no_file(self):
        # The output as the file system allows (unnamed, O_TMPFILE, where it
        # can), and named, which only the signal handler removes: the fault
        # shim refuses O_TMPFILE as a file system without it does.
        for output, fault in (("unnamed where it can be", None), ("named", f"tmpfile:{errno.EOPNOTSUPP}")):
            with self.subTest(output):
                if fault is not None and SHIM is None:
                    self.skipTest("HUFFMAN_FAULT_SHIM names no fault shim")
                self.new_dir()
                env = None if fault is None else dict(os.environ, LD_PRELOAD=SHIM, HUFFMAN_FAULT=fault)
                process = subprocess.Popen(harness.program("-o", "out.huf"), cwd=self.dir, stdin=subprocess.PIPE,
                                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
                try:
                    # Returns once the program has read most of it, its output open.
                    process.stdin.write(SPILLING)
                    process.stdin.flush()
                    time.sleep(0.3)
                    if fault is not None:
                        self.assertEqual(len(self.entries()), 1, "the output has no name")
                    process.send_signal(signal.SIGTERM)
                    # The end of the input afterwards: a sanitizer that holds a
                    # signal back while the program waits in a system call it
                    # does not watch (splice) delivers it once that call returns.
                    process.stdin.close()
                    self.assertEqual(process.wait(timeout=harness.TIMEOUT), -signal.SIGTERM)
                finally:
                    if process.poll() is None:
                        process.kill()
                        process.wait()
                    process.stdin.close()
                    process.stdout.close()
                    process.stderr.close()
                self.assert_entries([])

    @harness.not_on_windows("no /dev/full, and TMPDIR is not where a Windows build spills")
    def test_write_and_spill_errors_name_what_failed(self):
        for args in (["--help"], ["--version"]):
            with open("/dev/full", "wb") as full:
                done = subprocess.run(harness.program(*args), stdout=full, stderr=subprocess.PIPE,
                                      timeout=harness.TIMEOUT)
            self.assertEqual((done.returncode, done.stderr.decode()),
                             (1, "huffman: (stdout): write error: No space left on device\n"))
        result = huffman(self.dir, "-c", stdin=SPILLING, env=dict(os.environ, TMPDIR=self.path("gone")))
        self.assertEqual((result.status, len(result.out)), (1, 0))
        self.assertIn("temporary file in " + self.path("gone") + ": No such file or directory", result.err)

    @harness.not_on_windows("the fault shim is preloaded by the dynamic linker")
    def test_read_errors_name_the_input_and_write_nothing(self):
        # Every read of a regular file fails (the fault shim), named or on
        # standard input: the failure is the read's, not a file cut short,
        # and -dcf, which reads an input's start itself, reports it as the
        # others do rather than end the program.
        if SHIM is None:
            self.skipTest("HUFFMAN_FAULT_SHIM names no fault shim")
        self.write("a", b"abracadabra" * 100)
        self.run_ok("a")
        env = dict(os.environ, LD_PRELOAD=SHIM, HUFFMAN_FAULT=f"read:{errno.EIO}")
        for args in (["-dc"], ["-t"], ["-dcf"], ["-l"]):
            for operand, shown in ((["a.huf"], "a.huf"), ([], "(stdin)")):
                with self.subTest(args=args, shown=shown), open(self.path("a.huf"), "rb") as packed:
                    done = subprocess.run(harness.program(*args, *operand), cwd=self.dir, stdin=packed,
                                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env,
                                          timeout=harness.TIMEOUT)
                    self.assertEqual((done.returncode, done.stdout, done.stderr.decode()),
                                     (1, b"", f"huffman: {shown}: read error: {os.strerror(errno.EIO)}\n"))

    @harness.not_on_windows("no limit on a process's address space (RLIMIT_AS)")
    def test_memory_that_runs_out_fails_the_file_and_writes_nothing(self):
        """With the least address space the program starts in, and a MiB more,
        compressing or restoring a large file runs out of memory in the codec,
        where the helper threads cannot start either: the file fails with the
        message and status 1, and nothing is written."""
        self.write("big", random.Random(5).randbytes(8 * MIB))
        self.run_ok("-k", "big")
        os.rename(self.path("big.huf"), self.path("packed.huf"))
        least = harness.least_address_space(self.dir, "--version")
        if least is None:
            self.skipTest("the program does not start within 256 MiB of address space (a sanitizer build)")
        for args, name in ((["-k", "big"], "big"), (["-d", "-k", "packed.huf"], "packed.huf")):
            with self.subTest(args):
                result = huffman(self.dir, *args, preexec_fn=harness.address_space(least + 1024))
                self.assertEqual((result.status, result.err), (1, f"huffman: {name}: out of memory\n"))
                self.assert_entries(["big", "packed.huf"])


class RemoveSourceTest(CliTest):

    def test_rm_removes_a_source_only_once_its_output_is_in_place(self):
        self.write("a", b"alpha")
        self.write("b", b"beta")
        self.write("b.huf", b"older")
        result = huffman(self.dir, "--rm", "a", "b")
        self.assertEqual(result.status, 1)
        self.assert_entries(["a.huf", "b", "b.huf"])
        self.assertEqual(self.read("b.huf"), b"older")
        self.run_ok("-d", "--rm", "a.huf")
        self.assert_entries(["a", "b", "b.huf"])
        self.assertEqual(self.read("a"), b"alpha")
        # -k after --rm: the last one wins.
        self.run_ok("--rm", "-k", "-f", "b")
        self.assert_entries(["a", "b", "b.huf"])


class RecursiveTest(CliTest):

    def tree(self):
        """Every file and link below the work directory: its content, or where it points."""
        found = {}
        for top, dirs, files in os.walk(self.dir):
            for name in files + [d for d in dirs if os.path.islink(os.path.join(top, d))]:
                path = os.path.join(top, name)
                key = os.path.relpath(path, self.dir).replace(os.sep, "/")
                found[key] = "-> " + os.readlink(path) if os.path.islink(path) else self.read(key)
        return found

    def test_tree_compressed_and_restored_in_name_order(self):
        sources = {"top/x": b"one", "top/m": b"mid", "top/c": b"cee", "top/a/y": b"two" * 100, "top/a/b/z": b""}
        for name, data in sources.items():
            os.makedirs(os.path.dirname(self.path(name)), exist_ok=True)
            self.write(name, data)
        self.write("top/a/b/kept.huf", EXACT)  # carries the suffix: not compressed again
        others = {}
        if not harness.ON_WINDOWS:  # links met in the tree are skipped, not followed
            os.mkdir(self.path("outside"))
            self.write("outside/o", b"not below top")
            os.symlink("../outside", self.path("top/dirlink"))
            os.symlink("x", self.path("top/filelink"))
            others |= {"outside/o": b"not below top", "top/dirlink": "-> ../outside", "top/filelink": "-> x"}
        self.run_ok("-r", "--rm", "top")
        packed = {name + ".huf": self.read(name + ".huf") for name in sources}
        self.assertEqual(self.tree(), packed | others | {"top/a/b/kept.huf": EXACT})
        # Name order within each directory: a/b/kept.huf, a/b/z.huf, a/y.huf, c.huf, m.huf, x.huf.
        self.assertEqual(self.run_ok("-dcr", "top").out, b"aaaaaaab" + b"" + b"two" * 100 + b"cee" + b"mid" + b"one")
        # --rm removes a source only where its output was written: y is in the way.
        self.write("top/a/y", b"in the way")
        result = huffman(self.dir, "-dr", "--rm", "top")
        self.assertEqual(result.status, 1)
        self.assertIn("already exists", result.err)
        self.assertEqual(self.tree(), others | {"top/a/b/kept": b"aaaaaaab", "top/a/b/z": b"", "top/x": b"one",
                                                "top/m": b"mid", "top/c": b"cee",
                                                "top/a/y": b"in the way", "top/a/y.huf": packed["top/a/y.huf"]})

    @harness.not_on_windows("a directory's permission bits do not stop a Windows program listing it")
    def test_unreadable_directory_reported_while_the_rest_is_done(self):
        if os.geteuid() == 0:
            self.skipTest("permission bits do not bind root")
        os.makedirs(self.path("top/locked"))
        self.write("top/locked/s", b"hidden")
        self.write("top/open", b"data")
        os.chmod(self.path("top/locked"), 0)
        try:
            result = huffman(self.dir, "-r", "top")
        finally:
            os.chmod(self.path("top/locked"), 0o700)
        self.assertEqual((result.status, result.err),
                         (1, "huffman: top/locked: cannot read the directory: Permission denied\n"))
        self.assertTrue(os.path.isfile(self.path("top/open.huf")))


class CheckTest(CliTest):

    def test_good_files_pass(self):
        self.write("notes", b"abracadabra")
        self.write("empty", b"")
        self.run_ok("notes", "empty")
        self.write("exact.huf", EXACT)
        self.write("padded.huf", ZERO_PADDED)
        self.assertEqual(self.run_ok("-t", "notes.huf", "empty.huf", "exact.huf", "padded.huf").out, b"")
        result = huffman(self.dir, "-tv", "notes.huf", "-", stdin=EXACT)
        self.assertEqual((result.status, result.err),
                         (0, "notes.huf: OK (checked)\n(stdin): OK (structure only: no check data)\n"))
        self.assertEqual(self.run_ok("-dc", "exact.huf").out, b"aaaaaaab")
        self.assertEqual(self.run_ok("-dc", "padded.huf").out, b"aab" + b"b" * 5)

    def test_bad_files_fail_naming_the_check_and_are_not_restored(self):
        for label, data, check in BAD_FILES:
            with self.subTest(label):
                self.new_dir()
                self.write("bad.huf", data)
                # -f changes nothing: a failing file replaces no good copy
                # beside it, and is not removed.
                for args in (["-t"], ["-l"], ["-d"], ["-dc"], ["-tf"], ["-df"], ["-df", "--rm"]):
                    if args[0] == "-df":
                        self.write("bad", b"the good copy")
                    result = huffman(self.dir, *args, "bad.huf")
                    self.assertEqual(result.status, 1, (args, result.err))
                    self.assertRegex(result.err, r"^huffman: bad\.huf: not a valid compressed file: .*"
                                     + re.escape(check) + r".* \(at byte \d+\)\n$")
                    self.assertEqual(result.out, b"")
                    if args[0] == "-df":
                        self.assert_entries(["bad", "bad.huf"])
                        self.assertEqual(self.read("bad"), b"the good copy")
                    else:
                        self.assert_entries(["bad.huf"])
                # -dcf copies an input whose dictionary fails through; one with
                # a well-formed dictionary and failing codes is damaged.
                for args, stdin in ((["bad.huf"], b""), ([], data)):
                    result = huffman(self.dir, "-dcf", *args, stdin=stdin)
                    if check == "no payload":
                        self.assertEqual((result.status, result.out), (1, b""), result.err)
                        self.assertIn("not a valid compressed file", result.err)
                    else:
                        self.assertEqual((result.status, result.out, result.err), (0, data, ""), args)

    def test_every_cut_flip_and_concatenation_of_a_checked_file_is_refused(self):
        # Ten byte values, so the file holds a dictionary of 61 bytes, a
        # payload and the check data after it.
        source = bytes(b"abcdefgh \n"[(k * k + k // 3) % 10] for k in range(300))
        self.write("s", source)
        self.run_ok("s")
        good = self.read("s.huf")
        self.write("t", b"another source, checked as well\n" * 3)
        self.run_ok("t")
        os.remove(self.path("s"))
        os.remove(self.path("t"))
        damaged = {f"cut{n:04}.huf": good[:n] for n in range(1, len(good))}  # 0 bytes is an empty file's
        for offset in range(len(good)):
            flipped = bytearray(good)
            flipped[offset] ^= 1 << (offset % 8)
            damaged[f"flip{offset:04}.huf"] = bytes(flipped)
        damaged["twice.huf"] = good + good
        damaged["s_then_t.huf"] = good + self.read("t.huf")
        os.remove(self.path("t.huf"))
        for name, data in damaged.items():
            self.write(name, data)
        names = sorted(damaged)
        refused = r"huffman: ([a-z_0-9]+\.huf): (damaged: |not a valid compressed file: )"
        # A cut inside the dictionary before the dead-end record leaves no
        # sign that the file was checked: -dcf may copy it as data that is
        # not compressed, as it copies any input whose dictionary fails.
        unmarked = {f"cut{n:04}.huf" for n in range(1, 61)}
        # One run each, every file named: each one gets its own line.
        for args in (["-t"], ["-d"], ["-d", "--rm"], ["-dcf"]):
            result = huffman(self.dir, *args, *names)
            self.assertEqual(result.status, 1, args)
            named = [re.match(refused, line).group(1) for line in result.err.splitlines()]
            if args == ["-dcf"]:
                self.assertLessEqual(set(names) - set(named), unmarked)
            else:
                self.assertEqual(named, names, args)
            self.assert_entries(["s.huf"] + names)
        self.assertEqual(self.run_ok("-dc", "s.huf").out, source)
        # Past the start -dcf reads to judge an input, a file's own end still
        # shows its check data when its dictionary was damaged.
        self.write("large", source * 2000)
        self.run_ok("--rm", "large")
        flipped = bytearray(self.read("large.huf"))
        flipped[0] ^= 1
        self.write("large.huf", bytes(flipped))
        result = huffman(self.dir, "-dcf", "large.huf")
        self.assertEqual((result.status, len(result.out)), (1, 0))
        self.assertRegex(result.err, refused)

    def test_force_restores_no_text_or_program_and_dcf_copies_them(self):
        text = "Meeting notes: bring the slides, book the room.\n".encode() * 40
        with open(harness.BINARY, "rb") as program:
            binary = program.read()
        for label, data in (("text", text), ("program", binary)):
            with self.subTest(label):
                self.new_dir()
                self.write("x.huf", data)
                for args in (["-df"], ["-df", "--rm"]):
                    result = huffman(self.dir, *args, "x.huf")
                    self.assertEqual(result.status, 1, args)
                    self.assertIn("x.huf: not a valid compressed file", result.err)
                    self.assert_entries(["x.huf"])
                self.assert_data(self.run_ok("-dcf", "x.huf").out, data)
                self.assert_data(self.run_ok("-dcf", stdin=data).out, data)
                self.assert_data(self.read("x.huf"), data)


class ListTest(CliTest):

    def test_figures_and_code_table_of_a_file_made_here(self):
        # The ratio is the space saved: 1 - compressed/original.
        self.write("exact.huf", EXACT)
        self.write("four.huf", TWO_LEAVES + b"\xfe" * 4)  # 11 bytes of "aaaaaaab" * 4
        self.write("empty.huf", b"")
        out = self.run_ok("-l", "exact.huf", "four.huf", "empty.huf").out.decode()
        header, exact, four, empty, totals = [line.split() for line in out.splitlines()]
        self.assertEqual(header, ["compressed", "original", "ratio", "values", "dictionary", "check", "name"])
        self.assertEqual(exact, ["8", "8", "0.0%", "2", "7", "no", "exact.huf"])
        self.assertEqual(four, ["11", "32", "65.6%", "2", "7", "no", "four.huf"])
        self.assertEqual(empty, ["0", "0", "-", "0", "0", "no", "empty.huf"])
        self.assertEqual(totals, ["19", "40", "52.5%", "-", "14", "-", "(totals)"])
        # A file that grew: -l and the -v line of both directions agree.
        self.write("notes", b"abracadabra")
        self.assertEqual(huffman(self.dir, "-v", "notes").err, "notes: 11 -> 119 bytes (ratio -981.8%)\n")
        self.assertEqual(self.run_ok("-l", "notes.huf").out.decode().splitlines()[1].split(),
                         ["119", "11", "-981.8%", "5", "31", "yes", "notes.huf"])
        self.assertEqual(huffman(self.dir, "-dcv", "notes.huf").err, "notes.huf: 119 -> 11 bytes (ratio -981.8%)\n")
        # -l reads a checked file's size from its trailer and decodes nothing:
        # with its codes altered, -l lists it as before, and -t refuses it.
        notes = bytearray(self.read("notes.huf"))
        notes[31] ^= 0x80  # the first payload byte
        self.write("notes.huf", bytes(notes))
        self.assertEqual(self.run_ok("-l", "notes.huf").out.decode().splitlines()[1].split()[:2], ["119", "11"])
        self.assertEqual(huffman(self.dir, "-t", "notes.huf").err,
                         "huffman: notes.huf: damaged: content differs at original bytes 0-10\n")
        # Codes sorted by their bits; space and backslash escaped.
        self.write("odd", b" " + b"\\" * 7)  # eight one-bit codes: no padding
        self.run_ok("--no-check", "odd")
        lines = self.run_ok("-lv", "odd.huf").out.decode().splitlines()
        self.assertEqual(len(lines), 2 + 2)  # header, row, one line per byte value
        self.assertEqual([line.split() for line in lines[2:]], [["\\x20", "1", "0"], ["\\x5c", "1", "1"]])


class ExitStatusTest(CliTest):

    def test_a_mix_of_good_and_bad_files_processes_every_file(self):
        self.write("good1", b"one")
        self.write("good2", b"two")
        result = huffman(self.dir, "good1", "missing", "good2")
        self.assertEqual(result.status, 1)
        self.assertEqual(result.err, "huffman: missing: No such file or directory\n")
        self.assert_entries(["good1", "good1.huf", "good2", "good2.huf"])
        self.assertEqual(huffman(self.dir, "-q", "good1").status, 1)  # the output exists
        self.assertEqual(huffman(self.dir, "-t", "good1.huf", "good2.huf").status, 0)


if __name__ == "__main__":
    harness.use_program(sys.argv.pop(1))
    unittest.main()
