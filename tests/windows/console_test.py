"""The Windows build on a console: Wine gives a program started on a
pseudo-terminal a console of its own, so the console side of the terminal
service runs here (GetConsoleMode succeeds, lines come from ReadConsoleW, a
key wait from ReadConsoleInputW). Wine draws the console's screen in its own
way, so the screens are not compared; what the program does is: a name typed
in Polish letters names the new file, also at the end of a line longer than
one console read, a name piped in the console's code page does too, a key
wait ends on one key, without Enter, and Ctrl-C during an operation ends the
program without leaving its temporary file (the console's event handler
removes it).

Usage: console_test.py WINDOWS_PROGRAM CONSOLE_STATE (both started through
HUFFMAN_LAUNCHER)
"""
import os
import re
import select
import shlex
import subprocess
import sys
import tempfile
import termios
import time
import unittest

COMMAND = []
# The console's witness (console_state.cpp), started as COMMAND is.
WITNESS = []
TIMEOUT = 60
# How long a program waiting for a key is watched to see that it still waits.
STILL_WAITING = 2
# A source that takes the program a few seconds under Wine.
LONG_SOURCE_BYTES = 400 * 1024 * 1024
ESCAPE_CODE = re.compile(r"\x1b\[[0-9;?]*[A-Za-z]")


def windows_path(path):
    """The name a Windows program gives `path` under Wine (drive Z: is /)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class ConsoleSession:

    def __init__(self, cwd, arguments=(), command=None):
        self.master, self.slave = os.openpty()

        def take_terminal():
            os.setsid()
            import fcntl
            fcntl.ioctl(0, termios.TIOCSCTTY, 0)

        self.process = subprocess.Popen((command or COMMAND) + list(arguments), cwd=cwd, stdin=self.slave, stdout=self.slave,
                                        stderr=self.slave, preexec_fn=take_terminal)
        self.seen = b""

    def drain(self, seconds):
        """Reads what the console shows for `seconds`."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.master], [], [], 0.1)
            if ready:
                try:
                    self.seen += os.read(self.master, 4096)
                except OSError:
                    return

    def wait_for(self, text):
        """Reads until `text` is on the screen. Wine draws it among cursor
        codes, and moves the cursor in place of blanks, so only what is left
        without the codes and blanks is compared."""
        wanted = re.sub(r"\s", "", text)
        deadline = time.monotonic() + TIMEOUT
        while wanted not in re.sub(r"\s", "", ESCAPE_CODE.sub("", self.seen.decode("utf-8", "replace"))):
            if time.monotonic() > deadline:
                raise AssertionError(f"{text!r} never came")
            self.drain(0.2)
        self.seen = b""

    def send(self, text):
        os.write(self.master, text.encode())

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        os.close(self.master)
        os.close(self.slave)


class ConsoleTest(unittest.TestCase):

    def setUp(self):
        self.new_session()

    def new_dir(self):
        """A new directory holding `a`."""
        self.root = tempfile.TemporaryDirectory()
        self.addCleanup(self.root.cleanup)
        self.dir = self.root.name
        with open(os.path.join(self.dir, "a"), "wb") as f:
            f.write(b"abracadabra")

    def new_session(self):
        """A new directory holding `a`, and the menu started in it."""
        self.new_dir()
        self.session = ConsoleSession(self.dir)
        self.addCleanup(self.session.close)

    def compress_first_file_to(self, name):
        """Picks the listing's first file, asks to compress it and types
        `name` for the new file."""
        self.session.wait_for("Wpisz numer pliku:")
        self.session.send("1\r")
        self.session.wait_for("--->")
        self.session.send("1\r")
        self.session.wait_for("--->")
        self.session.send(name + "\r")

    def test_typed_name_names_the_new_file_whole(self):
        # The console hands a line over in reads of 1024 UTF-16 units; a
        # Polish letter is one unit, but a character beyond the BMP is two (a
        # surrogate pair), and the long line puts its pair across the first
        # read's end. Converted a read at a time, it became two U+FFFD.
        for typed in ["żółw", " " * 1023 + "\U0001d538żółw"]:
            with self.subTest(len(typed)):
                self.new_session()
                session = self.session
                self.compress_first_file_to(typed)
                session.wait_for("Nacisnij dowolny klawisz")
                self.assertEqual(sorted(os.listdir(self.dir)), ["a", typed.strip() + ".txt"])
                session.send("x")
                session.wait_for("Wpisz numer pliku:")
                session.send("0\r")
                self.assertEqual(session.process.wait(timeout=TIMEOUT), 0)

    def test_piped_name_in_the_consoles_code_page_names_the_new_file(self):
        # cmd's echo pipes text in the console's code page (437 under Wine),
        # not in UTF-8: "\xa2w" is "ów" there. Read as UTF-8, it was refused
        # as data (status 2).
        master, slave = os.openpty()
        self.addCleanup(os.close, master)
        self.addCleanup(os.close, slave)
        process = subprocess.Popen(COMMAND, cwd=self.dir, stdin=subprocess.PIPE, stdout=slave, stderr=slave,
                                   start_new_session=True)
        self.addCleanup(process.kill)
        process.stdin.write(b"1\n1\n\xa2w\nk\n0\n")
        process.stdin.close()
        deadline = time.monotonic() + TIMEOUT
        while process.poll() is None and time.monotonic() < deadline:
            if select.select([master], [], [], 0.1)[0]:
                os.read(master, 4096)
        self.assertEqual(process.wait(timeout=TIMEOUT), 0)
        self.assertEqual(sorted(os.listdir(self.dir)), ["a", "ów.txt"])

    def test_polish_names_reach_the_console_whole(self):
        # Handed over a byte at a time, each two-byte letter would show as
        # two replacement characters, and the name would never come.
        name = "zażółć gęślą"
        with open(os.path.join(self.dir, name + ".txt"), "wb") as f:
            f.write(b"text")
        menu = ConsoleSession(self.dir)
        try:
            menu.wait_for(f"2 ) {name}.txt")
        finally:
            menu.close()
        for arguments, shown in [(["-t", name + ".huf"], f"huffman: {name}.huf: No such file"),
                                 (["-v", "-k", name + ".txt"], f"{name}.txt: ")]:
            with self.subTest(arguments[0]):
                session = ConsoleSession(self.dir, arguments)
                self.addCleanup(session.close)
                session.wait_for(shown)
                session.process.wait(timeout=TIMEOUT)

    def test_key_wait_ends_on_one_key_without_enter(self):
        session = self.session
        session.wait_for("Wpisz numer pliku:")
        session.send("1\r")
        session.wait_for("--->")
        session.send("7\r")  # an unlisted choice: one key wait, then the end
        session.drain(STILL_WAITING)
        self.assertIsNone(session.process.poll(), "the key wait ended without a key")
        session.send("q")
        self.assertEqual(session.process.wait(timeout=TIMEOUT), 0)

    def test_ways_out_leave_the_console_as_found(self):
        # The program sets UTF-8 output and escape codes on the console it
        # shares with whoever started it, and a key wait's input mode: each
        # way out it controls puts them back. Ctrl-C ends it with
        # STATUS_CONTROL_C_EXIT, as Windows does, not with a status its own
        # thread gives going on after the handler, and leaves no temporary
        # file. (Wine sends no Ctrl-Break and no close event from here.)
        cases = [("leaving the menu", "0|", "never", 0),
                 ("Ctrl-C at a key wait", "1|7|", "key-wait", 0xC000013A),
                 ("Ctrl-C while compressing", "1|1|out|", "temp-file", 0xC000013A)]
        for label, keys, when, status in cases:
            with self.subTest(label):
                self.new_dir()
                if when == "temp-file":
                    with open(os.path.join(self.dir, "a"), "wb") as f:
                        block = bytes(range(256)) * 4096
                        for _ in range(LONG_SOURCE_BYTES // len(block)):
                            f.write(block)
                elsewhere = tempfile.TemporaryDirectory()
                self.addCleanup(elsewhere.cleanup)
                result = os.path.join(elsewhere.name, "state")
                witness = ConsoleSession(self.dir, [windows_path(result), when, keys, windows_path(COMMAND[-1])],
                                         WITNESS)
                self.addCleanup(witness.close)
                deadline = time.monotonic() + 2 * TIMEOUT
                while witness.process.poll() is None:
                    self.assertLess(time.monotonic(), deadline, "the witness never ended")
                    witness.drain(0.2)
                with open(result) as f:
                    state = dict(field.split("=") for field in f.read().split())
                self.assertEqual((state["changed"], state["sent"]), ("1", "0" if when == "never" else "1"))
                self.assertEqual(int(state["status"], 16), status)
                for kept in ["code_page", "output_mode", "input_mode"]:
                    found, left = state[kept].split("/")
                    self.assertEqual(left, found, kept)
                self.assertEqual(os.listdir(self.dir), ["a"])


if __name__ == "__main__":
    launcher = shlex.split(os.environ.get("HUFFMAN_LAUNCHER", ""))
    COMMAND = launcher + [os.path.abspath(sys.argv.pop(1))]
    WITNESS = launcher + [os.path.abspath(sys.argv.pop(1))]
    unittest.main()
