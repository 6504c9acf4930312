"""The Windows build's command line refuses an output named for a device
(CON, NUL.huf, COM¹...), which would otherwise write into the device, and still
writes a plain name.

Usage: device_names_test.py WINDOWS_PROGRAM (started through HUFFMAN_LAUNCHER)
"""
import os
import shlex
import subprocess
import sys
import tempfile
import unittest

COMMAND = []
TIMEOUT = 60


class DeviceNamesTest(unittest.TestCase):

    def test_outputs_named_for_devices_are_refused(self):
        with tempfile.TemporaryDirectory() as directory:
            with open(os.path.join(directory, "a"), "wb") as f:
                f.write(b"some text to pack\n")
            for output in ["CON", "nul.huf", "Com1.txt", "lpt².huf", "COM¹"]:
                with self.subTest(output):
                    done = subprocess.run(COMMAND + ["-o", output, "a"], cwd=directory, capture_output=True,
                                          timeout=TIMEOUT)
                    self.assertEqual(done.returncode, 1)
                    self.assertIn(f"{output}: is not a name a file can have here".encode(), done.stderr)
            self.assertEqual(sorted(os.listdir(directory)), ["a"])
            done = subprocess.run(COMMAND + ["-o", "packed", "a"], cwd=directory, capture_output=True,
                                  timeout=TIMEOUT)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertEqual(sorted(os.listdir(directory)), ["a", "packed"])


if __name__ == "__main__":
    COMMAND = shlex.split(os.environ.get("HUFFMAN_LAUNCHER", "")) + [os.path.abspath(sys.argv.pop(1))]
    unittest.main()
