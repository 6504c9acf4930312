#include "cli/run.h"

#include <cerrno>
#include <cstdio>

#include "cli/file_jobs.h"
#include "cli/help.h"
#include "cli/messages.h"
#include "cli/options.h"
#include "cli/tree_walk.h"
#include "huffman/codec.h"
#include "platform/file_status.h"

namespace huffman::cli {

int RunCommandLine(const std::vector<std::string>& arguments) {
  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (const auto* usage = std::get_if<UsageError>(&parsed)) {
    ReportUsageError(usage->message);
    return k_exit_usage;
  }
  if (const auto* request = std::get_if<Request>(&parsed)) {
    errno = 0;
    if (*request == Request::help) {
      PrintHelp();
    } else {
      PrintVersion();
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
      ReportWriteError(k_standard_output_name, errno);
      return k_exit_failure;
    }
    return k_exit_success;
  }
  const Preferences& preferences = std::get<Preferences>(parsed);
  // One codec for every input: its threads and buffers serve them all.
  Codec codec({.threads = preferences.threads.value_or(0)});

  ListTable table(preferences.verbosity == Verbosity::verbose);
  auto process = [&codec, &preferences, &table](const std::string& operand) {
    switch (preferences.operation) {
      case Operation::compress:
        return CompressOne(codec, preferences, operand);
      case Operation::decompress:
        return DecompressOne(codec, preferences, operand);
      case Operation::test:
        return TestOne(codec, preferences, operand);
      case Operation::list:
        return ListOne(codec, preferences, operand, table);
    }
    return false;
  };
  bool all_succeeded = true;
  for (const std::string& operand : preferences.files) {
    // With -r a directory operand (a link to one included: it was named)
    // stands for the files below it; any other operand is handled alike.
    if (preferences.recursive && operand != k_standard_input && StatusOf(operand).kind == FileKind::directory) {
      all_succeeded &= ProcessTree(preferences, operand, process);
    } else {
      all_succeeded &= process(operand);
    }
  }
  if (preferences.operation == Operation::list) {
    table.Finish();
    if (std::fflush(stdout) != 0) {
      ReportWriteError(k_standard_output_name, errno);
      all_succeeded = false;
    }
  }
  return all_succeeded ? k_exit_success : k_exit_failure;
}

}  // namespace huffman::cli
