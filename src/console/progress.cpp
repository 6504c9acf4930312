#include "console/progress.h"

#include <cstdio>

#include "platform/display_name.h"
#include "platform/standard_streams.h"
#include "platform/terminal.h"

namespace huffman {

namespace {

constexpr auto k_quiet_start = std::chrono::milliseconds(500);
constexpr auto k_redraw_interval = std::chrono::milliseconds(200);

}  // namespace

ProgressLine::ProgressLine(const char* text)
    : on_terminal(IsTerminal(StandardStream::output)), started(Clock::now()), next_redraw(started + k_quiet_start) {
  const std::string whole = text;
  const std::size_t line_start = whole.rfind('\n') + 1;
  last_line = whole.substr(line_start);
  if (!on_terminal) {
    std::fputs(text, stdout);
  } else {
    // The last column stays free: some terminals (a Windows console) move to
    // the next line as soon as it is written.
    line_columns = TerminalColumns(StandardStream::output) - 1;
    const std::string_view shown = LeadingColumns(last_line, line_columns);
    std::fwrite(whole.data(), 1, line_start, stdout);
    std::fwrite(shown.data(), 1, shown.size(), stdout);
  }
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
  char figure[16];
  std::snprintf(figure, sizeof figure, " %3d%%", percent);
  const std::string line = last_line + figure;
  const std::string_view shown = LeadingColumns(line, line_columns);
  std::fputc('\r', stdout);
  std::fwrite(shown.data(), 1, shown.size(), stdout);
  std::fflush(stdout);
}

}  // namespace huffman
