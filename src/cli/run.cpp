#include "cli/run.h"

#include <cerrno>
#include <cstdio>

#include "cli/file_jobs.h"
#include "cli/help.h"
#include "cli/messages.h"
#include "cli/options.h"
#include "codec/operations.h"

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
      ReportSystemError(k_standard_output_name, "write error", errno);
      return k_exit_failure;
    }
    return k_exit_success;
  }
  const Preferences& preferences = std::get<Preferences>(parsed);
  if (preferences.threads) SetThreadCount(*preferences.threads);

  ListTable table(preferences.verbosity == Verbosity::verbose);
  bool all_succeeded = true;
  for (const std::string& operand : preferences.files) {
    bool succeeded = false;
    switch (preferences.operation) {
      case Operation::compress:
        succeeded = CompressOne(preferences, operand);
        break;
      case Operation::decompress:
        succeeded = DecompressOne(preferences, operand);
        break;
      case Operation::test:
        succeeded = TestOne(preferences, operand);
        break;
      case Operation::list:
        succeeded = ListOne(preferences, operand, table);
        break;
    }
    all_succeeded &= succeeded;
  }
  if (preferences.operation == Operation::list) {
    table.Finish();
    if (std::fflush(stdout) != 0) {
      ReportSystemError(k_standard_output_name, "write error", errno);
      all_succeeded = false;
    }
  }
  return all_succeeded ? k_exit_success : k_exit_failure;
}

}  // namespace huffman::cli
