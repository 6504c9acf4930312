#include "cli/messages.h"

#include <cstdio>
#include <system_error>

#include "platform/display_name.h"
#include "platform/standard_streams.h"
#include "platform/system_errors.h"

namespace huffman::cli {
namespace {

void PrintLine(const std::string& line) {
  WriteText(StandardStream::error, line + "\n");
  std::fflush(stderr);
}

}  // namespace

std::string ShownName(std::string_view name) { return DisplayName(name); }

void ReportFileError(std::string_view name, std::string_view reason) {
  PrintLine(std::string(k_program_name) + ": " + ShownName(name) + ": " + std::string(reason));
}

void ReportSystemError(std::string_view name, std::string_view reason, int error) {
  ReportFileError(name, std::string(reason) + ": " + SystemReason(error));
}

void ReportWriteError(std::string_view name, int error) {
  if (name == k_standard_output_name && IsBrokenPipe(error)) return;
  ReportSystemError(name, "write error", error);
}

void ReportUsageError(std::string_view message) {
  PrintLine(std::string(k_program_name) + ": " + std::string(message));
  PrintLine(std::string("Try '") + k_program_name + " --help' for more information.");
}

void ReportLine(std::string_view line) { PrintLine(std::string(line)); }

std::string FaultText(FormatFault fault) {
  switch (fault) {
    case FormatFault::none:
      return "no fault";
    case FormatFault::single_value:
      return "no code tree (a source of one repeated byte value, whose byte and length are not in the file): "
             "nothing can restore it";
    case FormatFault::truncated_dictionary:
      return "the dictionary is truncated";
    case FormatFault::bad_kind:
      return "a record's kind is neither 0 nor 1";
    case FormatFault::bad_label:
      return "a record does not carry its own label";
    case FormatFault::child_not_below:
      return "an inner child does not name a record below its parent";
    case FormatFault::not_one_tree:
      return "the records do not form one tree";
    case FormatFault::duplicate_value:
      return "a byte value on two leaves";
    case FormatFault::empty_payload:
      return "no payload after the dictionary";
    case FormatFault::trailing_bits:
      return "the codes do not end in the last byte";
  }
  return "unknown fault";
}

std::string DamageText(Damage damage, std::uint64_t from, std::uint64_t to) {
  const std::string range = std::to_string(from) + "-" + std::to_string(to);
  switch (damage) {
    case Damage::none:
      break;
    case Damage::trailer:
      return "damaged: the check data at the end is missing, cut short or altered";
    case Damage::dictionary:
      return "damaged: the dictionary is not the one the check data was made for";
    case Damage::content:
      return "damaged: content differs at original bytes " + range;
    case Damage::length:
      return "damaged: the codes go on past the original's length, as original bytes " + range;
    case Damage::payload_end:
      return "damaged: the codes do not end where the check data begins";
  }
  return "damaged";
}

std::string BareText(BareReason reason) {
  switch (reason) {
    case BareReason::none:
    case BareReason::not_asked:
      return "";
    case BareReason::empty_source:
      return "no check data: the source is empty";
    case BareReason::all_byte_values:
      return "no check data: the source holds all 256 byte values";
    case BareReason::too_large:
      return "no check data: the source is over 256 GiB";
  }
  return "";
}

std::string SystemReason(int error) {
  if (error == 0) return "input/output error";
  // The same text as strerror, without its shared buffer.
  return std::generic_category().message(error);
}

}  // namespace huffman::cli
