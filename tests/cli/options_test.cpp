// The command line read into Preferences, without running anything: long
// options by unique prefix and refused when ambiguous, values after "=" or
// as the next argument (consumed, never an operand), grouped short options,
// "--" ending the options, and a value missing at the end.
#include "cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace huffman::cli {
namespace {

// What a command line parses to, spelled as the short options of every
// setting that is not the default, then "|" and the operands; a usage error
// as "usage: " and its message.
std::string Parsed(const std::vector<std::string>& arguments) {
  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (const auto* error = std::get_if<UsageError>(&parsed)) return "usage: " + error->message;
  if (const auto* request = std::get_if<Request>(&parsed)) return *request == Request::help ? "help" : "version";
  const Preferences& p = std::get<Preferences>(parsed);
  std::string shown;
  const auto add = [&shown](const std::string& part) { shown += part + " "; };
  if (p.operation == Operation::decompress) add("-d");
  if (p.operation == Operation::test) add("-t");
  if (p.operation == Operation::list) add("-l");
  if (p.to_stdout) add("-c");
  if (p.output_name) add("-o " + *p.output_name);
  if (p.remove_source) add("--rm");
  if (p.force) add("-f");
  if (!p.checked) add("--no-check");
  if (p.suffix != ".huf") add("-S " + p.suffix);
  if (p.verbosity == Verbosity::verbose) add("-v");
  if (p.verbosity == Verbosity::quiet) add("-q");
  if (p.threads) add("-T " + std::to_string(*p.threads));
  if (p.recursive) add("-r");
  shown += "|";
  for (const std::string& file : p.files) shown += " " + file;
  return shown;
}

struct Case {
  std::vector<std::string> arguments;
  std::string parsed;
};

void ExpectParsed(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& argument : c.arguments) line += " '" + argument + "'";
    EXPECT_EQ(Parsed(c.arguments), c.parsed) << "arguments:" << line;
  }
}

TEST(ParseCommandLineTest, LongOptionsByUniquePrefixOnly) {
  ExpectParsed({
      {{"--dec", "a"}, "-d | a"},
      {{"--decompress", "a"}, "-d | a"},
      {{"--rec", "--no", "a"}, "--no-check -r | a"},
      {{"--thr=3", "a"}, "-T 3 | a"},
      {{"--verb", "a"}, "-v | a"},
      // A prefix of two names names neither.
      {{"--ver", "a"}, "usage: ambiguous option '--ver'"},
      {{"--s", ".x", "a"}, "usage: ambiguous option '--s'"},
      {{"--r", "a"}, "usage: ambiguous option '--r'"},
      {{"--decompresss", "a"}, "usage: unknown option '--decompresss'"},
      {{"--rm=yes", "a"}, "usage: option '--rm' takes no value"},
  });
}

TEST(ParseCommandLineTest, LongOptionValueAfterEqualsOrAsTheNextArgument) {
  ExpectParsed({
      {{"--suffix=.hz", "a"}, "-S .hz | a"},
      {{"--suffix", ".hz", "a"}, "-S .hz | a"},
      {{"--output=x", "a"}, "-o x | a"},
      {{"--output", "x", "a"}, "-o x | a"},
      {{"--threads=2", "a"}, "-T 2 | a"},
      {{"--threads", "2", "a"}, "-T 2 | a"},
      // The next argument is the value whatever it looks like.
      {{"--suffix", "-d", "a"}, "-S -d | a"},
      {{"--output", "--", "a"}, "-o -- | a"},
      {{"--output", "-", "a"}, "-c | a"},
      {{"--suffix=", "a"}, "usage: the suffix must not be empty"},
      {{"--threads", "2x", "a"}, "usage: invalid thread count '2x'"},
  });
}

TEST(ParseCommandLineTest, GroupedShortOptionsAndTheirValues) {
  ExpectParsed({
      {{"-dkv", "a"}, "-d -v | a"},
      {{"-cT", "3", "a"}, "-c -T 3 | a"},
      // A value-taking option takes the rest of its group, digits included.
      {{"-9S.x9", "a"}, "-S .x9 | a"},
      {{"-T3c", "a"}, "usage: invalid thread count '3c'"},
      {{"-dfo", "x", "a.huf"}, "-d -o x -f | a.huf"},
      {{"-dx", "a"}, "usage: unknown option '-x'"},
  });
}

TEST(ParseCommandLineTest, DoubleDashEndsTheOptions) {
  ExpectParsed({
      {{"--", "-d", "--rm"}, "| -d --rm"},
      {{"-d", "--", "-"}, "-d | -"},
      {{"-c", "--", "--", "-"}, "usage: -c compresses one input only (a compressed file holds one source)"},
      {{"a", "--", "-v"}, "| a -v"},
      {{"-v"}, "-v | -"},
  });
}

TEST(ParseCommandLineTest, ValueMissingAtTheEnd) {
  ExpectParsed({
      {{"a", "--suffix"}, "usage: option '--suffix' needs a value"},
      {{"a", "--out"}, "usage: option '--output' needs a value"},
      {{"a", "-S"}, "usage: option '-S' needs a value"},
      {{"a", "-dT"}, "usage: option '-T' needs a value"},
  });
}

}  // namespace
}  // namespace huffman::cli
