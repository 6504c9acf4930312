"""A source of more than 4 GiB through the built program (`make test-large`,
opt-in: about 5 GiB of disk and a minute or more).

The source is sparse: 2^32 + 2^20 zero bytes, so that the count of byte 0
passes 2^32, and a few other bytes at its end.  It is compressed and then
restored through the program's menus, and must come back byte for byte; the
summary must show its sizes without 32-bit wrap-around.  Each run goes
through /usr/bin/time -v, and a source of the same shape but 64 MiB is run
the same way first: peak memory must not grow with the file's size.

Usage: huge_file.py PROGRAM WORK_DIR
"""
import os
import re
import shutil
import subprocess
import sys

GIB = 1024 ** 3
MIB = 1024 ** 2
TAIL = b"\x01\x02Huffman!\n"
LARGE_SIZE = 4 * GIB + MIB + len(TAIL)
SMALL_SIZE = 64 * MIB + len(TAIL)
# Peak memory may differ by allocator noise only, not by anything that
# scales with the file (a 4 GiB file held whole would be 64 times more).
RSS_TOLERANCE_KIB = 16 * 1024


def fail(message):
    print(f"FAILED: {message}")
    sys.exit(1)


def make_source(path, size):
    with open(path, "wb") as f:
        f.truncate(size - len(TAIL))
        f.seek(size - len(TAIL))
        f.write(TAIL)


def run_timed(program, cwd, typed):
    """Runs the program under /usr/bin/time -v; returns its output, seconds
    and peak resident set size in KiB."""
    done = subprocess.run(["/usr/bin/time", "-v", program], cwd=cwd, input=typed.encode(),
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    report = done.stderr.decode()
    if done.returncode != 0:
        fail(f"status {done.returncode}: {report}")
    wall = re.search(r"Elapsed \(wall clock\) time \(h:mm:ss or m:ss\): (\S+)", report).group(1)
    seconds = 0.0
    for part in wall.split(":"):
        seconds = seconds * 60 + float(part)
    rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", report).group(1))
    return done.stdout.decode(), seconds, rss


def same_bytes(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            block_a, block_b = fa.read(8 * MIB), fb.read(8 * MIB)
            if block_a != block_b:
                return False
            if not block_a:
                return True


def round_trip(program, work, size):
    """Compresses and restores one source of `size` bytes; returns the
    figures of both runs."""
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    source = os.path.join(work, "source")
    make_source(source, size)
    # The listing holds only the source, then packed.txt before it.
    out, compress_seconds, compress_rss = run_timed(program, work, "1\n1\npacked\nk\n0\n")
    packed_size = os.path.getsize(os.path.join(work, "packed.txt"))
    with open(os.path.join(work, "packed.txt"), "rb") as f:
        records = f.read(1)[0]
    distinct = len(set(TAIL) | {0})
    expected = (f"\tRozmiar pliku przed kompresja: {size // 1000:9d} KB\n"
                f"\tRozmiar pliku po kompresji:    {packed_size // 1000:9d} KB\n\n"
                f"\tSlownik: {1 + 6 * records}B ( {3 * distinct + 1}B )\n")
    if expected not in out:
        fail(f"summary of the {size}-byte source: wanted\n{expected}in\n{out}")
    _, restore_seconds, restore_rss = run_timed(program, work, "1\n2\nrestored\nk\n0\n")
    restored = os.path.join(work, "restored.txt")
    if os.path.getsize(restored) != size or not same_bytes(source, restored):
        fail(f"the {size}-byte source was not restored byte for byte")
    leftovers = sorted(set(os.listdir(work)) - {"source", "packed.txt", "restored.txt"})
    if leftovers:
        fail(f"files left behind: {leftovers}")
    shutil.rmtree(work)
    return packed_size, compress_seconds, compress_rss, restore_seconds, restore_rss


def main():
    program, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    if not os.path.exists("/usr/bin/time"):
        fail("/usr/bin/time is missing (Debian package: time)")
    os.makedirs(work, exist_ok=True)
    free = shutil.disk_usage(work).free
    if free < LARGE_SIZE + GIB:
        fail(f"needs about {(LARGE_SIZE + GIB) // GIB} GiB free in {work}, has {free // GIB} GiB")

    results = {}
    for label, size in (("64 MiB", SMALL_SIZE), ("4 GiB", LARGE_SIZE)):
        packed, c_s, c_rss, r_s, r_rss = round_trip(program, os.path.join(work, "run"), size)
        results[label] = (c_rss, r_rss)
        print(f"{label} source ({size} bytes, {packed} compressed): "
              f"compress {c_s:.1f} s, peak RSS {c_rss} KiB; "
              f"restore {r_s:.1f} s, peak RSS {r_rss} KiB")
    for i, operation in enumerate(("compress", "restore")):
        small, large = results["64 MiB"][i], results["4 GiB"][i]
        if large > small + RSS_TOLERANCE_KIB:
            fail(f"{operation}: peak RSS grew from {small} KiB to {large} KiB with the file")
    print("the 4 GiB source came back byte for byte; memory stayed flat")


if __name__ == "__main__":
    main()
