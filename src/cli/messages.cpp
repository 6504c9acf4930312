#include "cli/messages.h"

#include <cstdio>
#include <cstring>

namespace huffman::cli {
namespace {

void PrintLine(const std::string& line) {
  std::fputs((line + "\n").c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace

std::string ShownName(std::string_view name) {
  // Control characters, DEL and bytes that start no valid character are
  // shown as octal escapes; the platform's display names replace this.
  std::string shown;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\%03o", byte);
      shown += escape;
    } else {
      shown += c;
    }
  }
  return shown;
}

void ReportFileError(std::string_view name, std::string_view reason) {
  PrintLine(std::string(k_program_name) + ": " + ShownName(name) + ": " + std::string(reason));
}

void ReportSystemError(std::string_view name, std::string_view reason, int error) {
  ReportFileError(name, std::string(reason) + ": " + SystemReason(error));
}

void ReportUsageError(std::string_view message) {
  PrintLine(std::string(k_program_name) + ": " + std::string(message));
  PrintLine(std::string("Try '") + k_program_name + " --help' for more information.");
}

void ReportLine(std::string_view line) { PrintLine(std::string(line)); }

std::string SystemReason(int error) {
  if (error == 0) return "input/output error";
  return std::strerror(error);
}

}  // namespace huffman::cli
