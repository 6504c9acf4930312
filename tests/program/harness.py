"""Shared by the end-to-end suites: the screens as the program must print
them, runs of the built program in a temporary working directory, and
sessions that drive it step by step through pipes or a pseudo-terminal.

The path of the program is set by each suite's main from its first argument
(use_program). A Windows build (a path ending in ".exe") is started through
the launcher named in the environment variable HUFFMAN_LAUNCHER (wine64 on
Linux; empty on Windows itself), and the tests that cannot hold there skip
themselves (not_on_windows).
"""
import functools
import hashlib
import os
import select
import shlex
import subprocess
import sys
import tempfile
import time
import unittest

try:
    import termios
except ImportError:  # Python on Windows: no pseudo-terminals, no terminal suite
    termios = None

BINARY = None
LAUNCHER = shlex.split(os.environ.get("HUFFMAN_LAUNCHER", ""))
ON_WINDOWS = False

# Generous: a wait ends as soon as its text arrives, this only bounds a hang.
TIMEOUT = 60

BANNER = "~~~ Huffman | Movrix ~~~ | Relvanu\n\n"
RULE_MENU = "_" * 35
RULE_SUMMARY = "_" * 63
FILE_NUMBER_PROMPT = RULE_MENU + "\n\n\tWpisz numer pliku: "
FILE_NUMBER_AGAIN = "\tWpisz numer pliku: "
COMPRESS_PROMPT = BANNER + "\tPodaj nazwe nowego pliku:\n\n\t---> "
DECOMPRESS_PROMPT = BANNER + "\tPodaj nazwe nowego pliku ( po dekompresji ):\n\n\t---> "
NAME_AGAIN = "\t---> "
COMPRESSING = BANNER + "\n\n\tKompresowanie..."
DECOMPRESSING = BANNER + "\n\n\tDekompresowanie..."
BACK_TO_MENU = "\n\n\tNacisnij dowolny klawisz i wroc do menu"
DECOMPRESSED = BANNER + "\n\n\tPlik zdekompresowany!\n\n\tNacisnij dowlny klawisz i wroc do menu"
CLEAR = "\033[H\033[2J"

# Standard error as it must be for each exit status of the menu: empty when
# it was left, one line when piped input ended first (1) or was data (2).
INPUT_ENDED = "huffman: the input ended before 0 was chosen\n"
NOT_MENU_INPUT = ("huffman: standard input is not menu input (binary data); "
                  "to compress a stream use: huffman -c\n")
ERROR_FOR_STATUS = {0: "", 1: INPUT_ENDED, 2: NOT_MENU_INPUT}


def listing(names):
    """The listing screen with its entries numbered from 1, then the prompt."""
    lines = "".join(f"\t{number} ) {name}\n" for number, name in enumerate(names, 1))
    return (BANNER + "\tPliki:\n" + RULE_MENU + "\n\n" + lines + "\n\t0 ) Wyjscie\n"
            + FILE_NUMBER_PROMPT)


def menu(name):
    return (BANNER + f"\tWybrany plik: {name}\n" + RULE_MENU + "\n"
            "\n\t1 ) Kompresuj\n\t2 ) Dekompresuj\n\t3 ) Inny plik\n\n\t0 ) Wyjscie\n\n\t---> ")


def summary(kb_before, kb_after, dictionary, bracket):
    return (BANNER + "\n\n\tKompresja zakonczona!\n\n\tInformacje:\n" + RULE_SUMMARY + "\n\n"
            f"\tRozmiar pliku przed kompresja: {kb_before:9d} KB\n"
            f"\tRozmiar pliku po kompresji:    {kb_after:9d} KB\n\n"
            f"\tSlownik: {dictionary}B ( {bracket}B )\n" + RULE_SUMMARY + BACK_TO_MENU)


def use_program(path):
    """Sets the program every run starts."""
    global BINARY, ON_WINDOWS
    BINARY = os.path.abspath(path)
    ON_WINDOWS = BINARY.lower().endswith(".exe")


def program(*arguments):
    """The command that starts the program with `arguments`."""
    return LAUNCHER + [BINARY, *arguments]


def not_on_windows(reason):
    """Skips the decorated test when the program is a Windows build, saying why."""
    def wrap(test):
        @functools.wraps(test)
        def unless_windows(self, *args, **kwargs):
            if ON_WINDOWS:
                self.skipTest(f"not on Windows: {reason}")
            return test(self, *args, **kwargs)
        return unless_windows
    return wrap


def decode(data):
    return data.decode("utf-8", "surrogateescape")


def digest(data):
    """The length and SHA-256 of `data`: what a test compares of an output
    that may be megabytes long, so that a mismatch fails at once with a
    short message (unittest's diff of two such byte strings takes minutes)."""
    return len(data), hashlib.sha256(data).hexdigest()


def address_space(kib):
    """For subprocess's preexec_fn: limits the process's address space
    (RLIMIT_AS, POSIX only) to `kib` KiB."""
    import resource

    def limit():
        resource.setrlimit(resource.RLIMIT_AS, (kib * 1024, kib * 1024))
    return limit


def least_address_space(cwd, *arguments, typed=b""):
    """The least address space, in KiB to within 64, in which the program with
    `arguments` and `typed` on its input ends with status 0; None if it does
    not within 256 MiB (a sanitizer build reserves far more)."""
    def enough(kib):
        done = subprocess.run(program(*arguments), cwd=cwd, input=typed, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, preexec_fn=address_space(kib), timeout=TIMEOUT)
        return done.returncode == 0
    low, high = 0, 256 * 1024
    if not enough(high):
        return None
    while high - low > 64:
        middle = (low + high) // 2
        low, high = (low, middle) if enough(middle) else (middle, high)
    return high


class Result:
    def __init__(self, done, consumed=None):
        # Standard error holds the one line of the status, if any; anything
        # else there (a sanitizer's report) fails the run.
        if decode(done.stderr) != ERROR_FOR_STATUS.get(done.returncode):
            raise AssertionError(f"status {done.returncode}, standard error: {decode(done.stderr)!r}")
        self.status = done.returncode
        self.out = decode(done.stdout)
        self.consumed = consumed


def run(cwd, typed):
    """Runs the program with `typed` (text, or bytes as they are) on a pipe;
    returns its status and output."""
    data = typed if isinstance(typed, bytes) else typed.encode()
    done = subprocess.run(program(), cwd=cwd, input=data, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=TIMEOUT)
    return Result(done)


def run_counting_input(cwd, typed):
    """Runs the program with `typed` in a regular file as its input, and
    reports how many bytes of it were read: the program reads its input
    unbuffered, so that shows exactly how many lines and key presses it took."""
    with tempfile.TemporaryFile() as source:
        source.write(typed.encode())
        source.seek(0)
        done = subprocess.run(program(), cwd=cwd, stdin=source, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=TIMEOUT)
        consumed = os.lseek(source.fileno(), 0, os.SEEK_CUR)
    return Result(done, consumed)


class Session:
    """A running program whose output is read from `out_fd` until an expected
    text arrives, so each input is sent only once the program waits for it."""

    def __init__(self, process, out_fd, in_fd):
        self.process = process
        self.out_fd = out_fd
        self.in_fd = in_fd
        self.seen = b""

    def expect(self, text):
        """Reads until `text` has appeared after what earlier calls consumed;
        returns everything read up to and including it."""
        wanted = text.encode()
        deadline = time.monotonic() + TIMEOUT
        while wanted not in self.seen:
            left = deadline - time.monotonic()
            ready, _, _ = select.select([self.out_fd], [], [], max(left, 0))
            if not ready:
                raise AssertionError(f"{text!r} never came; got {decode(self.seen)!r}")
            try:
                chunk = os.read(self.out_fd, 4096)
            except OSError:
                chunk = b""
            if not chunk:
                raise AssertionError(f"output ended before {text!r}; got {decode(self.seen)!r}")
            self.seen += chunk
        end = self.seen.index(wanted) + len(wanted)
        head, self.seen = self.seen[:end], self.seen[end:]
        return decode(head)

    def send(self, text):
        os.write(self.in_fd, text.encode())

    def wait(self):
        return self.process.wait(timeout=TIMEOUT)

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        for pipe in (self.process.stdin, self.process.stdout):
            if pipe is not None:
                pipe.close()


def start_piped(cwd):
    process = subprocess.Popen(program(), cwd=cwd, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
    return Session(process, process.stdout.fileno(), process.stdin.fileno())


# A parent in the manner of a shell running a foreground job: it starts the
# program in a process group of its own, gives that group the terminal, writes
# the program's process id to the file descriptor given first, and ends with
# the program's status.
# Without such a parent the program's group has no member whose parent is in
# the session but outside the group (it is orphaned), and the kernel then
# discards a stop signal such as Ctrl-Z's.
JOB_PARENT = r"""
import os, sys, time
child = os.fork()
if child == 0:
    os.close(int(sys.argv[1]))
    os.setpgid(0, 0)
    while os.tcgetpgrp(0) != os.getpgrp():
        time.sleep(0.001)
    os.execv(sys.argv[2], sys.argv[2:])
try:
    os.setpgid(child, child)
except OSError:
    pass
os.tcsetpgrp(0, child)
os.write(int(sys.argv[1]), str(child).encode())
os.close(int(sys.argv[1]))
sys.exit(os.waitstatus_to_exitcode(os.waitpid(child, 0)[1]))
"""


class PtySession(Session):
    """The program on a new pseudo-terminal that is its controlling terminal,
    so Ctrl-C typed on it sends SIGINT as in a real console.  With
    `under_parent` the session leader is a parent that runs the program as a
    shell runs a job (see JOB_PARENT), and `program_pid` is the program's.
    `env` is the program's environment (the suites' own when None)."""

    def __init__(self, cwd, under_parent=False, env=None):
        self.master, self.slave = os.openpty()
        self.initial_settings = termios.tcgetattr(self.slave)

        def take_terminal():
            os.setsid()
            import fcntl
            fcntl.ioctl(0, termios.TIOCSCTTY, 0)

        command, pass_fds = program(), ()
        if under_parent:
            pid_read, pid_write = os.pipe()
            command = [sys.executable, "-c", JOB_PARENT, str(pid_write), *program()]
            pass_fds = (pid_write,)
        try:
            process = subprocess.Popen(command, cwd=cwd, stdin=self.slave, stdout=self.slave,
                                       stderr=self.slave, preexec_fn=take_terminal,
                                       pass_fds=pass_fds, env=env)
        finally:
            if under_parent:
                os.close(pid_write)
        super().__init__(process, self.master, self.master)
        self.program_pid = process.pid
        if under_parent:
            with os.fdopen(pid_read, "rb") as pids:
                self.program_pid = int(pids.read())

    def stopped(self):
        """Whether the program is stopped (by a signal or job control)."""
        with open(f"/proc/{self.program_pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] == "T"

    def settings(self):
        return termios.tcgetattr(self.slave)

    def wait_for_key_mode(self):
        """Waits until the program has switched echo and line editing off."""
        deadline = time.monotonic() + TIMEOUT
        while self.settings()[3] & (termios.ECHO | termios.ICANON):
            if time.monotonic() > deadline:
                raise AssertionError("the terminal never left line mode")
            time.sleep(0.01)

    def close(self):
        super().close()
        os.close(self.master)
        os.close(self.slave)


class WorkDirTest(unittest.TestCase):
    """Each test runs the program in `self.dir`, a fresh directory inside a
    temporary one (whose other entries show whether anything escaped)."""

    root = None

    def setUp(self):
        self.new_dir()

    def tearDown(self):
        self.root.cleanup()

    def new_dir(self):
        """Starts again in a new empty directory (for each case of a table)."""
        if self.root is not None:
            self.root.cleanup()
        self.root = tempfile.TemporaryDirectory()
        self.dir = os.path.join(self.root.name, "work")
        os.mkdir(self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def entries(self):
        return sorted(os.listdir(self.dir))

    def assert_data(self, got, expected, msg=None):
        """`got` holds the bytes of `expected`, compared as digests."""
        self.assertEqual(digest(got), digest(expected), msg)

    def assert_entries(self, names):
        """The directory holds exactly `names`: no partial and no temporary file."""
        self.assertEqual(self.entries(), sorted(names))
        self.assertEqual(os.listdir(self.root.name), ["work"])
