#include "console/progress.h"

#include <cstdio>

#include "platform/standard_streams.h"

namespace huffman {

namespace {

constexpr auto k_quiet_start = std::chrono::milliseconds(500);
constexpr auto k_redraw_interval = std::chrono::milliseconds(200);

}  // namespace

ProgressLine::ProgressLine(const char* text)
    : on_terminal(IsTerminal(StandardStream::output)), started(Clock::now()), next_redraw(started + k_quiet_start) {
  const std::string whole = text;
  last_line = whole.substr(whole.rfind('\n') + 1);
  std::fputs(text, stdout);
  std::fflush(stdout);
}

void ProgressLine::Update(std::uint64_t done, std::uint64_t total) {
  if (!on_terminal || total == 0) return;
  const Clock::time_point now = Clock::now();
  if (now < next_redraw) return;
  next_redraw = now + k_redraw_interval;
  const int percent = static_cast<int>(done >= total ? 100 : done * 100 / total);
  if (percent == shown_percent) return;
  shown_percent = percent;
  std::printf("\r%s %3d%%", last_line.c_str(), percent);
  std::fflush(stdout);
}

}  // namespace huffman
