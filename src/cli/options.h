// The command line read into one Preferences value before any file is
// touched: the operation, where outputs go, what to do with sources and
// existing outputs, how much to say, and the operands. Anything wrong with
// the options as a whole is a usage error here, so nothing is processed.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace huffman::cli {

enum class Operation { compress, decompress, test, list };
enum class Verbosity { quiet, normal, verbose };

inline constexpr char k_standard_input[] = "-";
inline constexpr char k_standard_output[] = "-";  // as the name given to -o

struct Preferences {
  Operation operation = Operation::compress;
  bool to_stdout = false;                   // -c
  std::optional<std::string> output_name;   // -o, never "-" (which sets to_stdout)
  bool remove_source = false;               // --rm (last of -k/--rm)
  bool force = false;                       // -f
  bool checked = true;                      // compressed files carry check data; --no-check: bare
  std::string suffix = ".huf";              // -S
  Verbosity verbosity = Verbosity::normal;  // last of -v/-q
  std::optional<unsigned> threads;          // -T
  bool recursive = false;                   // -r: directories' files too
  std::vector<std::string> files;           // "-" for standard input; never empty
};

// What to do instead of processing files.
enum class Request { help, version };

struct UsageError {
  std::string message;  // one line, without the program's name
};

using ParsedCommandLine = std::variant<Preferences, Request, UsageError>;

// `arguments` are argv[1..]; there is at least one (none is the menu).
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace huffman::cli
