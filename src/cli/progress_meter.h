// How far a long operation has got, drawn on standard error: only when that
// is a terminal and -q was not given, and only once the file has taken half
// a second, so short files, pipes and logs never see it. The line is erased
// when the file is done, before any message about it, and fits the
// terminal's width, so that a redraw never starts a new line.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "huffman/codec.h"

namespace huffman::cli {

class ProgressMeter {
 public:
  // `name` is the input as named (shown escaped, as in messages).
  ProgressMeter(const std::string& name, bool wanted);
  ~ProgressMeter() { Erase(); }
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;

  // The callback the codec reports to; empty when nothing is to be drawn,
  // so the codec does not even count.
  ProgressFn Callback();
  void Erase();

 private:
  using Clock = std::chrono::steady_clock;
  void Update(std::uint64_t done, std::uint64_t total);

  std::string shown_name;
  bool enabled;
  std::size_t line_columns = 0;  // the room for the line, known once enabled
  bool drawn = false;
  Clock::time_point next_redraw;
};

}  // namespace huffman::cli
