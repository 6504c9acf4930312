#include "platform/process_start.h"

namespace huffman {

// The streams pass bytes unchanged and the terminal decodes them itself.
void PrepareStandardStreams() {}

// The arguments are the bytes the caller passed, UTF-8 in practice.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return arguments;
}

}  // namespace huffman
