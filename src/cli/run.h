// The command-line mode as a whole: the arguments read into preferences
// (a usage error stops here, with nothing processed), then every input
// (with -r, each file below a directory operand) through the chosen
// operation, each on its own: a failed input is reported and the others
// still run. Returns the exit status: 0 all succeeded, 1 any input failed,
// 2 usage error.
#pragma once

#include <string>
#include <vector>

namespace huffman::cli {

inline constexpr int k_exit_success = 0;
inline constexpr int k_exit_failure = 1;
inline constexpr int k_exit_usage = 2;

int RunCommandLine(const std::vector<std::string>& arguments);

}  // namespace huffman::cli
