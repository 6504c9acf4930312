// What the process is handed when it starts, made the same on every system:
// standard streams that pass bytes unchanged (no line-end translation on
// Windows) and show UTF-8 text correctly on a console, and the arguments as
// UTF-8 strings (Windows hands them over in UTF-16). main calls both first.
#pragma once

#include <string>
#include <vector>

namespace huffman {

// Puts the standard streams in binary mode and the console (if any) in
// UTF-8 output, as it was put back when the program ends.
void PrepareStandardStreams();

// The arguments after the program's name, as UTF-8.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace huffman
