// The texts of --help and --version, printed on standard output.
#pragma once

namespace huffman::cli {

void PrintHelp();
void PrintVersion();

}  // namespace huffman::cli
