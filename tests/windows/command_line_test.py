"""The Windows build's command line where Windows differs from POSIX: a
closed pipe on standard output ends the program quietly (POSIX has SIGPIPE
for that), the suffix is matched without regard to case, as Windows matches
names, and the program expands `*` and `?` in file operands itself, as
Windows programs do (its shells pass them through). Read-only files, which
Windows neither removes nor replaces: --rm refuses such a source before any
work, and -f replaces such an output. And the executable carries the
manifest that asks Windows for long paths and UTF-8 as the ANSI code page,
and a path past 260 characters is compressed and restored.

Usage: command_line_test.py WINDOWS_PROGRAM (started through HUFFMAN_LAUNCHER)
"""
import os
import re
import shlex
import subprocess
import sys
import tempfile
import unittest

COMMAND = []
TIMEOUT = 120


def run(directory, *arguments):
    return subprocess.run(COMMAND + list(arguments), cwd=directory, capture_output=True, timeout=TIMEOUT)


class CommandLineTest(unittest.TestCase):

    def setUp(self):
        self.root = tempfile.TemporaryDirectory()
        self.addCleanup(self.root.cleanup)
        self.dir = self.root.name

    def write(self, name, data):
        with open(os.path.join(self.dir, name), "wb") as f:
            f.write(data)

    def test_a_closed_pipe_on_standard_output_ends_quietly(self):
        # Far more than a pipe holds, so the program is still writing when
        # the reader goes.
        self.write("big", b"".join(b"line %d of something to restore\n" % n for n in range(400000)))
        done = run(self.dir, "big")
        self.assertEqual(done.returncode, 0, done.stderr)
        reader = subprocess.Popen(COMMAND + ["-dc", "big.huf"], cwd=self.dir, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)
        self.assertEqual(reader.stdout.read(4096)[:7], b"line 0 ")
        reader.stdout.close()
        self.assertEqual(reader.wait(timeout=TIMEOUT), 1)
        self.assertEqual(reader.stderr.read(), b"")
        reader.stderr.close()

    def test_suffix_is_matched_without_regard_to_case(self):
        self.write("a", b"abracadabra")
        self.assertEqual(run(self.dir, "-o", "A.HUF", "a").returncode, 0)
        os.remove(os.path.join(self.dir, "a"))
        done = run(self.dir, "-d", "A.HUF")
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(os.path.join(self.dir, "A"), "rb") as f:
            self.assertEqual(f.read(), b"abracadabra")
        # The same match keeps a file from being compressed twice.
        done = run(self.dir, "-k", "A.HUF")
        self.assertEqual(done.returncode, 1)
        self.assertIn(b"A.HUF: already has the .huf suffix", done.stderr)
        self.assertEqual(sorted(os.listdir(self.dir)), ["A", "A.HUF"])

    def test_wildcards_in_operands_stand_for_the_names_they_match(self):
        for name in ["a.txt", "zażółć.txt", "c.dat"]:
            self.write(name, name.encode() * 100)
        done = run(self.dir, "*.txt")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(sorted(os.listdir(self.dir)),
                         ["a.txt", "a.txt.huf", "c.dat", "zażółć.txt", "zażółć.txt.huf"])
        # An operand that matches nothing stays as given and fails alone.
        done = run(self.dir, "-t", "-v", "*.huf", "*.zip")
        self.assertEqual(done.returncode, 1)
        lines = done.stderr.decode().splitlines()
        self.assertEqual(len(lines), 3, lines)
        self.assertTrue(lines[0].startswith("a.txt.huf:"), lines)
        self.assertTrue(lines[1].startswith("zażółć.txt.huf:"), lines)
        self.assertTrue(lines[2].startswith("huffman: *.zip: "), lines)

    def test_read_only_files_with_rm_and_force(self):
        self.write("a", b"abracadabra")
        os.chmod(os.path.join(self.dir, "a"), 0o444)  # Wine shows it read-only
        done = run(self.dir, "--rm", "a")
        self.assertEqual(done.returncode, 1)
        self.assertIn(b"a: --rm cannot remove it, nothing written", done.stderr)
        self.assertEqual(os.listdir(self.dir), ["a"])
        # The output took the source's read-only attribute; -f replaces it
        # (Wine would replace it anyway; Windows refuses unless it is cleared).
        self.assertEqual(run(self.dir, "a").returncode, 0)
        os.chmod(os.path.join(self.dir, "a"), 0o644)
        self.write("a", b"something else")
        done = run(self.dir, "-f", "a")
        self.assertEqual(done.returncode, 0, done.stderr)
        done = run(self.dir, "-dc", "a.huf")
        self.assertEqual(done.stdout, b"something else")

    def test_a_path_past_260_characters_round_trips(self):
        relative = os.path.join("a" * 100, "b" * 100, "ą" * 50 + "c" * 50)
        os.makedirs(os.path.join(self.dir, relative))
        name = os.path.join(relative, "file.txt")
        self.assertGreater(len(name), 300)
        self.write(name, b"far below\n" * 1000)
        for arguments in [["--rm", name], ["--rm", "-d", name + ".huf"]]:
            done = run(self.dir, *arguments)
            self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(os.listdir(os.path.join(self.dir, relative)), ["file.txt"])
        with open(os.path.join(self.dir, name), "rb") as f:
            self.assertEqual(f.read(), b"far below\n" * 1000)

    def test_the_executable_carries_its_manifest(self):
        with open(COMMAND[-1], "rb") as f:
            program = f.read()
        manifests = re.findall(rb"<assembly .*?</assembly>", program, re.DOTALL)
        self.assertEqual(len(manifests), 1)
        for setting in [rb">true</longPathAware>", rb">UTF-8</activeCodePage>",
                        rb'<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>']:
            self.assertIn(setting, manifests[0])


if __name__ == "__main__":
    COMMAND = shlex.split(os.environ.get("HUFFMAN_LAUNCHER", "")) + [os.path.abspath(sys.argv.pop(1))]
    unittest.main()
