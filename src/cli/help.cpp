#include "cli/help.h"

#include <cstdio>

#include "huffman/codec.h"

namespace huffman::cli {
namespace {

// Every option on one screen of 80 columns: the lines before -T, its line
// (which names the codec's limit), and the lines after it.
constexpr char k_help_head[] =
    "Usage: huffman [OPTION]... [FILE]...\n"
    "Compress or restore FILEs with a static Huffman code (by default, compress\n"
    "each FILE to FILE.huf). Without any argument, huffman starts its\n"
    "interactive menu instead.\n"
    "\n"
    "Operation (one at most; compress is the default):\n"
    "  -z, --compress      compress each FILE to FILE + suffix\n"
    "  -d, --decompress    restore each FILE, which must end in the suffix\n"
    "  -t, --test          check each compressed FILE, writing nothing\n"
    "  -l, --list          list sizes, ratio, byte values, dictionary size, check;\n"
    "                      with -v also each file's code table\n"
    "\n"
    "Options:\n"
    "  -c, --stdout        write to standard output, keep the sources\n"
    "  -o, --output=FILE   write the output to FILE (one input only; -: standard\n"
    "                      output, as -c)\n"
    "  -k, --keep          keep the source files (the default)\n"
    "      --rm            remove each source once its output is on disk and read\n"
    "                      back to the source's checksum\n"
    "  -f, --force         replace existing outputs; compress a FILE that already\n"
    "                      ends in the suffix; write compressed data to a\n"
    "                      terminal or read it from one; with -dc, copy a FILE\n"
    "                      whose dictionary fails the checks through unchanged\n"
    "                      (nothing else: a failing file is never restored)\n"
    "      --no-check      write compressed files without check data\n"
    "  -S, --suffix=SUF    use suffix SUF instead of .huf\n"
    "  -r, --recursive     take the files below each directory FILE: those not\n"
    "                      ending in the suffix (with -d, -t, -l: those ending\n"
    "                      in it); symbolic links met there are skipped\n";
constexpr char k_help_tail[] =
    "  -1 ... -9, --fast, --best\n"
    "                      accepted and ignored: the format has one encoding\n"
    "  -v, --verbose       report each file on standard error\n"
    "  -q, --quiet         report errors only\n"
    "  -h, --help          show this help and exit\n"
    "  -V, --version       show the version and exit\n"
    "  --                  end of options: every argument after it is a FILE\n"
    "\n"
    "With no FILE, or when FILE is -, read standard input and write standard\n"
    "output (give at least one option: no argument at all starts the menu).\n"
    "A FILE may be a pipe (<(...)) or /dev/stdin, read in order, with -c or -o.\n"
    "\n"
    "Compressed files carry check data (length and checksums) after their codes,\n"
    "so -t and -d refuse any cut, any changed byte and two files joined; -l reads\n"
    "their sizes from it without decoding. --no-check files, and files of all\n"
    "256 byte values, have none: only their structure is checked.\n"
    "\n"
    "Exit status: 0 when every file succeeded, 1 when any file failed,\n"
    "2 for a usage error. See huffman(1) for more.\n";

}  // namespace

void PrintHelp() {
  std::fputs(k_help_head, stdout);
  std::printf("  -T, --threads=N     use N threads, at most %u (0: every core, the default)\n", k_max_threads);
  std::fputs(k_help_tail, stdout);
}

void PrintVersion() { std::fputs("huffman " HUFFMAN_VERSION "\n", stdout); }

}  // namespace huffman::cli
