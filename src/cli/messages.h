// Every line the command line prints on standard error, in the form of the
// other Unix tools: "huffman: NAME: reason", English, one line each. Names
// are shown escaped, so a name holding control characters cannot break the
// line or drive the terminal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "huffman/codec.h"

namespace huffman::cli {

inline constexpr char k_program_name[] = "huffman";
inline constexpr char k_standard_input_name[] = "(stdin)";
inline constexpr char k_standard_output_name[] = "(stdout)";

// A name as messages show it.
std::string ShownName(std::string_view name);

// "huffman: NAME: reason".
void ReportFileError(std::string_view name, std::string_view reason);
// "huffman: NAME: reason: the system's reason".
void ReportSystemError(std::string_view name, std::string_view reason, int error);
// "huffman: NAME: write error: the system's reason", but nothing when
// standard output is a pipe whose reader has ended (`huffman -dc f | head`):
// that is the end of the reader, which on POSIX SIGPIPE also ends quietly.
void ReportWriteError(std::string_view name, int error);
// "huffman: message" and the hint to --help.
void ReportUsageError(std::string_view message);
// A line without the program's name (-v's reports).
void ReportLine(std::string_view line);

// The structural check a compressed file failed, as a reason.
std::string FaultText(FormatFault fault);

// What a checked file's check data found wrong, as a reason ("damaged: ...").
std::string DamageText(Damage damage, std::uint64_t from, std::uint64_t to);

// Why a compressed file carries no check data, as a clause; empty when it
// does, or when none was asked for.
std::string BareText(BareReason reason);

// The system's reason for an errno, in English.
std::string SystemReason(int error);

}  // namespace huffman::cli
