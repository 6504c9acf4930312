"""The program on a real pseudo-terminal: every screen is cleared first, a
key wait takes one key without Enter and without echo, the terminal's
settings are back after the program ends, whether it ended normally or by a
signal during a key wait, and progress stays on one line of a narrow one."""
import fcntl
import os
import select
import signal
import struct
import subprocess
import sys
import termios
import threading
import time
import unittest

import harness
from harness import BACK_TO_MENU, CLEAR, FILE_NUMBER_PROMPT, PtySession, listing, menu


def on_terminal(screen):
    """A screen as the terminal shows it: output line ends become CR LF."""
    return screen.replace("\n", "\r\n")


class TerminalTest(harness.WorkDirTest):

    def start(self, under_parent=False):
        session = PtySession(self.dir, under_parent)
        self.addCleanup(session.close)
        return session

    def test_every_screen_starts_with_a_cleared_console(self):
        self.write("a", "abc")
        session = self.start()
        self.assertEqual(session.expect(on_terminal(FILE_NUMBER_PROMPT)),
                         CLEAR + on_terminal(listing(["a"])))
        session.send("1\n")
        # The typed line is echoed, then the menu comes on a cleared screen.
        self.assertEqual(session.expect("---> "), "1\r\n" + CLEAR + on_terminal(menu("a")))
        session.send("0\n")
        self.assertEqual(session.wait(), 0)

    def test_one_key_without_enter_ends_the_wait_and_is_not_echoed(self):
        for label, key in [("a letter", "x"), ("an arrow key's sequence", "\033[A")]:
            with self.subTest(label):
                self.new_dir()
                self.write("a", "abracadabra")
                session = self.start()
                session.send("1\n1\nout\n")
                session.expect(on_terminal(BACK_TO_MENU))
                session.wait_for_key_mode()
                session.send(key)
                # Nothing but the next level's listing: the key is not echoed.
                self.assertEqual(session.expect(on_terminal(FILE_NUMBER_PROMPT)),
                                 CLEAR + on_terminal(listing(["a", "out.txt"])))
                # The whole key was taken: the next line is read as typed.
                session.send("0\n")
                self.assertEqual(session.wait(), 0)
                self.assertEqual(session.settings(), session.initial_settings)

    def test_keys_typed_after_the_key_stay_for_the_next_prompt(self):
        # The key and the next file number arrive together, as when typed
        # quickly: the wait takes the key only, whatever its length.
        for label, key in [("a letter", "k"), ("an arrow key's sequence", "\033[A"),
                           ("a function key's sequence", "\033[15~"), ("a Polish letter", "ą")]:
            with self.subTest(label):
                self.new_dir()
                self.write("a", "abracadabra")
                self.write("b", "b")
                session = self.start()
                session.send("1\n1\nout\n")
                session.expect(on_terminal(BACK_TO_MENU))
                session.wait_for_key_mode()
                session.send(key + "2\n")
                session.expect(on_terminal(listing(["a", "b", "out.txt"])))
                session.expect(on_terminal(menu("b")))
                session.send("0\n")
                self.assertEqual(session.wait(), 0)

    # ThreadSanitizer runs a caught signal's handler only when the
    # interrupted call returns, and the read restarted after Ctrl-Z (the
    # program asks for that) returns only once a key comes: under it the
    # program stops at the next key instead of at once.
    @unittest.skipIf(os.environ.get("HUFFMAN_THREAD_SANITIZER"),
                     "ThreadSanitizer defers the stop handler until the key wait's read returns")
    def test_ctrl_z_and_fg_at_a_key_wait(self):
        # Stopped, the terminal is as it was found (the shell reads lines on
        # it); resumed, the wait takes one key without Enter again.
        self.write("a", "abc")
        session = self.start(under_parent=True)
        session.send("1\n7\n")
        session.expect(on_terminal(menu("a")))
        session.wait_for_key_mode()
        session.send("\x1a")
        deadline = time.monotonic() + harness.TIMEOUT
        while not session.stopped():
            self.assertLess(time.monotonic(), deadline, "Ctrl-Z never stopped the program")
            time.sleep(0.01)
        self.assertEqual(session.settings(), session.initial_settings)
        # What fg does once the program's group has the terminal again.
        os.kill(session.program_pid, signal.SIGCONT)
        session.wait_for_key_mode()
        session.send("q")
        self.assertEqual(session.wait(), 0)
        self.assertEqual(session.settings(), session.initial_settings)

    def test_end_of_input_ends_the_prompt_line(self):
        # Ctrl-D at a prompt: the shell's prompt must not follow on its line.
        self.write("a", "abc")
        session = self.start()
        session.expect(on_terminal(FILE_NUMBER_PROMPT))
        session.send("\x04")
        self.assertEqual(session.wait(), 0)
        self.assertEqual(session.expect("\n"), "\r\n")

    def test_settings_are_back_after_the_program_ends_in_a_key_wait(self):
        self.write("a", "abc")
        session = self.start()
        session.send("1\n7\n")
        session.expect("---> ")
        session.wait_for_key_mode()
        session.send("q")
        self.assertEqual(session.wait(), 0)
        self.assertEqual(session.settings(), session.initial_settings)

    def test_settings_are_back_after_a_signal_during_a_key_wait(self):
        ways = [
            ("Ctrl-C typed", signal.SIGINT, lambda s: s.send("\x03")),
            ("Ctrl-\\ typed", signal.SIGQUIT, lambda s: s.send("\x1c")),
            ("SIGTERM sent", signal.SIGTERM, lambda s: s.process.send_signal(signal.SIGTERM)),
            ("SIGHUP sent", signal.SIGHUP, lambda s: s.process.send_signal(signal.SIGHUP)),
        ]
        for label, number, deliver in ways:
            with self.subTest(label):
                self.new_dir()
                self.write("a", "abc")
                session = self.start()
                session.send("1\n3\n1\n9\n")
                session.expect(on_terminal(menu("a")))
                session.wait_for_key_mode()
                deliver(session)
                self.assertEqual(session.wait(), -number)
                self.assertEqual(session.settings(), session.initial_settings)
                self.assert_entries(["a"])


class ProgressTest(unittest.TestCase):

    def run_on_narrow_terminal(self, args, data, columns):
        """Runs the program with `data` arriving on standard input for over
        half a second, so the progress line is drawn on standard error, a
        terminal `columns` wide. Returns its status, output and what it drew."""
        master, slave = os.openpty()
        self.addCleanup(os.close, master)
        self.addCleanup(os.close, slave)
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
        process = subprocess.Popen(harness.program(*args), stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=slave)
        collected = []
        reader = threading.Thread(target=lambda: collected.append(process.stdout.read()))
        reader.start()
        for start in range(0, len(data), len(data) // 8):
            process.stdin.write(data[start:start + len(data) // 8])
            process.stdin.flush()
            time.sleep(0.1)
        process.stdin.close()
        status = process.wait(timeout=harness.TIMEOUT)
        reader.join()
        drawn = b""
        while select.select([master], [], [], 0.2)[0]:
            drawn += os.read(master, 4096)
        return status, collected[0], drawn

    def test_progress_stays_on_one_line_of_a_narrow_terminal_both_ways(self):
        columns = 20
        source = os.urandom(16 * 1024 * 1024)
        status, compressed, drawn = self.run_on_narrow_terminal(["-c"], source, columns)
        self.assertEqual(status, 0, drawn)
        # Each redraw starts at the line's start and leaves its last column
        # free, the figure in view; the line is erased at the end.
        self.assertTrue(drawn.endswith(b"\r\x1b[K"), drawn)
        lines = drawn.decode()[:-len("\r\x1b[K")].split("\r")
        self.assertEqual(lines[0], "")
        self.assertGreater(len(lines), 1, drawn)
        for line in lines[1:]:
            self.assertLessEqual(len(line), columns - 1, drawn)
            self.assertRegex(line, r"^huffman: .*: +\d+%$")
        # A pipe has no size to show a percentage of: asking it must not
        # count as a read error of the restore.
        status, restored, drawn = self.run_on_narrow_terminal(["-dc"], compressed, columns)
        self.assertEqual((status, drawn.count(b"error")), (0, 0), drawn)
        self.assertEqual(harness.digest(restored), harness.digest(source))


if __name__ == "__main__":
    harness.use_program(sys.argv.pop(1))
    unittest.main()
