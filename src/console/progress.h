// The line shown while an operation works ("Kompresowanie..."). On a
// terminal, once the work has run for about half a second, the line also
// shows how far it has got, in percent, redrawn a few times a second; piped
// output gets the plain line only, so it stays the same whatever the timing.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace huffman {

class ProgressLine {
 public:
  // Prints `text` (which may begin with line ends) and flushes it.
  explicit ProgressLine(const char* text);

  // The work done so far out of `total` (0 when unknown).
  void Update(std::uint64_t done, std::uint64_t total);

 private:
  using Clock = std::chrono::steady_clock;

  std::string last_line;  // the part of the text after its last line end
  bool on_terminal;
  std::size_t line_columns = 0;  // the room for the line on a terminal
  Clock::time_point started;
  Clock::time_point next_redraw;
  int shown_percent = -1;
};

}  // namespace huffman
