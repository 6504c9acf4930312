"""The Windows build writes byte for byte the files the Linux build writes:
each source compressed and restored through the menu by both programs, the
Windows one started through HUFFMAN_LAUNCHER (Wine). The sources span the
codec's paths: nothing, one value, text, every byte value, and blocks large
enough to be shared among threads.

Usage: same_files_test.py LINUX_PROGRAM WINDOWS_PROGRAM
"""
import os
import random
import shlex
import subprocess
import sys
import tempfile
import unittest

PROGRAMS = {}
TIMEOUT = 120


def sources():
    generator = random.Random(12)
    text = b"".join(b"line %d of a text that repeats itself, more or less\n" % generator.randrange(1000)
                    for _ in range(20000))
    return {
        "empty": b"",
        "one value": b"a" * 5000,
        "zażółć.txt": text,
        "every byte": bytes(range(256)) * 40,
        "large skewed": bytes(generator.choices(range(256), [1 / (value + 1) for value in range(256)],
                                                k=6 << 20)),
    }


def compress_and_restore(command, directory, name):
    """Compresses `name`, the listing's only entry, to packed.txt, then
    restores that to back.txt."""
    packed_number = sorted([name.encode(), b"packed.txt"]).index(b"packed.txt") + 1
    typed = f"1\n1\npacked\n\n{packed_number}\n2\nback\n\n0\n"
    done = subprocess.run(command, cwd=directory, input=typed.encode(), stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, timeout=TIMEOUT)
    if done.returncode != 0 or done.stderr:
        raise AssertionError(f"{command}: status {done.returncode}, {done.stderr!r}")


class SameFilesTest(unittest.TestCase):

    def test_both_builds_write_the_same_bytes(self):
        for name, data in sources().items():
            with self.subTest(name), tempfile.TemporaryDirectory() as root:
                written = {}
                for system, command in PROGRAMS.items():
                    directory = os.path.join(root, system)
                    os.mkdir(directory)
                    with open(os.path.join(directory, name), "wb") as f:
                        f.write(data)
                    compress_and_restore(command, directory, name)
                    with open(os.path.join(directory, "packed.txt"), "rb") as f:
                        packed = f.read()
                    with open(os.path.join(directory, "back.txt"), "rb") as f:
                        self.assertEqual(f.read(), data, system)
                    written[system] = packed
                self.assertEqual(written["windows"], written["linux"])


if __name__ == "__main__":
    PROGRAMS["linux"] = [os.path.abspath(sys.argv.pop(1))]
    PROGRAMS["windows"] = (shlex.split(os.environ.get("HUFFMAN_LAUNCHER", ""))
                           + [os.path.abspath(sys.argv.pop(1))])
    unittest.main()
