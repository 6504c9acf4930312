#include "cli/options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>
#include <utility>

#include "huffman/codec.h"
#include "platform/file_name.h"

namespace huffman::cli {
namespace {

enum class Key {
  compress,
  decompress,
  test,
  list,
  to_stdout,
  output,
  keep,
  remove,
  force,
  no_check,
  suffix,
  verbose,
  quiet,
  threads,
  recursive,
  level,  // -1 ... -9, --fast, --best: one encoding, so nothing to change
  help,
  version
};

struct KnownOption {
  char short_name;  // '\0' when there is only the long name
  std::string_view long_name;
  bool takes_value;
  Key key;
};

constexpr std::array k_options = {
    KnownOption{'z', "compress", false, Key::compress},
    KnownOption{'d', "decompress", false, Key::decompress},
    KnownOption{'t', "test", false, Key::test},
    KnownOption{'l', "list", false, Key::list},
    KnownOption{'c', "stdout", false, Key::to_stdout},
    KnownOption{'o', "output", true, Key::output},
    KnownOption{'k', "keep", false, Key::keep},
    KnownOption{'\0', "rm", false, Key::remove},
    KnownOption{'f', "force", false, Key::force},
    KnownOption{'\0', "no-check", false, Key::no_check},
    KnownOption{'S', "suffix", true, Key::suffix},
    KnownOption{'v', "verbose", false, Key::verbose},
    KnownOption{'q', "quiet", false, Key::quiet},
    KnownOption{'T', "threads", true, Key::threads},
    KnownOption{'h', "help", false, Key::help},
    KnownOption{'V', "version", false, Key::version},
    KnownOption{'r', "recursive", false, Key::recursive},
    KnownOption{'1', "", false, Key::level},
    KnownOption{'2', "", false, Key::level},
    KnownOption{'3', "", false, Key::level},
    KnownOption{'4', "", false, Key::level},
    KnownOption{'5', "", false, Key::level},
    KnownOption{'6', "", false, Key::level},
    KnownOption{'7', "", false, Key::level},
    KnownOption{'8', "", false, Key::level},
    KnownOption{'9', "", false, Key::level},
    KnownOption{'\0', "fast", false, Key::level},
    KnownOption{'\0', "best", false, Key::level},
};

const KnownOption* FindShort(char name) {
  const auto* found = std::find_if(k_options.begin(), k_options.end(),
                                   [name](const KnownOption& option) { return option.short_name == name; });
  return found == k_options.end() ? nullptr : found;
}

// An exact long name, or a prefix of exactly one (as getopt_long allows).
const KnownOption* FindLong(std::string_view name, std::string& problem) {
  const KnownOption* match = nullptr;
  int prefix_matches = 0;
  for (const KnownOption& option : k_options) {
    if (option.long_name.empty()) continue;  // a short name only
    if (option.long_name == name) return &option;
    if (option.long_name.starts_with(name)) {
      match = &option;
      ++prefix_matches;
    }
  }
  if (prefix_matches == 1) return match;
  problem = std::string(prefix_matches == 0 ? "unknown option '--" : "ambiguous option '--") + std::string(name) + "'";
  return nullptr;
}

// The state gathered while the arguments are read; checked as a whole after.
struct Gathered {
  Preferences preferences;
  std::optional<Operation> operation;
  std::optional<Request> request;
  std::string problem;
};

void Apply(const KnownOption& option, const std::string& value, Gathered& state) {
  Preferences& p = state.preferences;
  auto set_operation = [&state](Operation operation) {
    if (state.operation && *state.operation != operation && state.problem.empty()) {
      state.problem = "conflicting operations: give one of -z, -d, -t and -l";
    }
    state.operation = operation;
  };
  switch (option.key) {
    case Key::compress:
      set_operation(Operation::compress);
      break;
    case Key::decompress:
      set_operation(Operation::decompress);
      break;
    case Key::test:
      set_operation(Operation::test);
      break;
    case Key::list:
      set_operation(Operation::list);
      break;
    case Key::to_stdout:
      p.to_stdout = true;
      break;
    case Key::output:
      p.output_name = value;
      break;
    case Key::keep:
      p.remove_source = false;
      break;
    case Key::remove:
      p.remove_source = true;
      break;
    case Key::force:
      p.force = true;
      break;
    case Key::no_check:
      p.checked = false;
      break;
    case Key::suffix:
      p.suffix = value;
      break;
    case Key::verbose:
      p.verbosity = Verbosity::verbose;
      break;
    case Key::quiet:
      p.verbosity = Verbosity::quiet;
      break;
    case Key::threads: {
      unsigned threads = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), threads);
      if (error != std::errc() || end != value.data() + value.size() || value.empty()) {
        if (state.problem.empty()) state.problem = "invalid thread count '" + value + "'";
      } else if (threads > k_max_threads) {
        // The codec uses no more: a larger count would be cut down unseen.
        if (state.problem.empty()) {
          state.problem = "invalid thread count '" + value + "': at most " + std::to_string(k_max_threads);
        }
      } else {
        p.threads = threads;
      }
      break;
    }
    case Key::recursive:
      p.recursive = true;
      break;
    case Key::level:
      break;
    case Key::help:
      if (!state.request) state.request = Request::help;
      break;
    case Key::version:
      if (!state.request) state.request = Request::version;
      break;
  }
}

// The rules between options, once all are known.
std::string CheckCombination(const Preferences& p) {
  const bool reads_only = p.operation == Operation::test || p.operation == Operation::list;
  if (p.suffix.empty()) return "the suffix must not be empty";
  if (p.suffix.find('/') != std::string::npos) return "the suffix must not contain '/'";
  if (p.output_name) {
    if (p.output_name->empty()) return "the output name must not be empty";
    if (p.to_stdout) return "-o and -c cannot be used together";
    if (reads_only) return "-o cannot be used with -t or -l";
    if (p.files.size() > 1) return "-o takes one input only";
    if (p.recursive) return "-o cannot be used with -r (-o takes one input)";
  }
  const bool to_stdout = p.to_stdout || p.output_name == k_standard_output;
  if (p.remove_source && to_stdout) return "--rm cannot be used with -c or -o -";
  if (p.operation == Operation::compress && to_stdout && p.files.size() > 1) {
    return "-c compresses one input only (a compressed file holds one source)";
  }
  if (p.operation == Operation::compress && p.to_stdout && p.recursive) {
    return "-c cannot compress with -r (a compressed file holds one source)";
  }
  return {};
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  Gathered state;
  bool options_ended = false;
  for (std::size_t i = 0; i < arguments.size() && state.problem.empty(); ++i) {
    const std::string& argument = arguments[i];
    if (options_ended || argument == k_standard_input || !argument.starts_with('-')) {
      // On Windows `*.huf` stands for the files it matches (file_name.h).
      for (std::string& name : OperandNames(argument)) state.preferences.files.push_back(std::move(name));
      continue;
    }
    if (argument == "--") {
      options_ended = true;
      continue;
    }
    if (argument.starts_with("--")) {
      const std::string_view body = std::string_view(argument).substr(2);
      const std::size_t equals = body.find('=');
      const KnownOption* option = FindLong(body.substr(0, equals), state.problem);
      if (option == nullptr) break;
      std::string value;
      if (option->takes_value) {
        if (equals != std::string_view::npos) {
          value = std::string(body.substr(equals + 1));
        } else if (i + 1 < arguments.size()) {
          value = arguments[++i];
        } else {
          state.problem = "option '--" + std::string(option->long_name) + "' needs a value";
          break;
        }
      } else if (equals != std::string_view::npos) {
        state.problem = "option '--" + std::string(option->long_name) + "' takes no value";
        break;
      }
      Apply(*option, value, state);
      continue;
    }
    // A group of short options; one that takes a value takes the rest of the
    // group, or else the next argument.
    for (std::size_t at = 1; at < argument.size() && state.problem.empty(); ++at) {
      const KnownOption* option = FindShort(argument[at]);
      if (option == nullptr) {
        state.problem = std::string("unknown option '-") + argument[at] + "'";
        break;
      }
      std::string value;
      if (option->takes_value) {
        if (at + 1 < argument.size()) {
          value = argument.substr(at + 1);
        } else if (i + 1 < arguments.size()) {
          value = arguments[++i];
        } else {
          state.problem = std::string("option '-") + argument[at] + "' needs a value";
          break;
        }
        Apply(*option, value, state);
        break;
      }
      Apply(*option, value, state);
    }
  }

  if (!state.problem.empty()) return UsageError{state.problem};
  if (state.request) return *state.request;
  Preferences p = std::move(state.preferences);
  p.operation = state.operation.value_or(Operation::compress);
  if (p.files.empty()) p.files.emplace_back(k_standard_input);
  if (std::string problem = CheckCombination(p); !problem.empty()) return UsageError{problem};
  // -o - is -c; a file named "-" is written as -o ./-.
  if (p.output_name == k_standard_output) {
    p.output_name.reset();
    p.to_stdout = true;
  }
  return p;
}

}  // namespace huffman::cli
