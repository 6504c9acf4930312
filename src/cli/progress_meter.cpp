#include "cli/progress_meter.h"

#include <cstdio>

#include "cli/messages.h"
#include "platform/display_name.h"
#include "platform/standard_streams.h"
#include "platform/terminal.h"

namespace huffman::cli {
namespace {

constexpr auto k_quiet_start = std::chrono::milliseconds(500);
constexpr auto k_redraw_interval = std::chrono::milliseconds(200);
constexpr std::uint64_t k_mebibyte = 1024 * 1024;
constexpr char k_cut_mark[] = "...";

// The line "huffman: NAME: FIGURE" in at most `columns` columns: a name too
// long for them is cut and marked, so the figure stays in view; where even
// the figure has no room, the whole line is cut.
std::string FitLine(const std::string& shown_name, const std::string& figure, std::size_t columns) {
  const std::string head = std::string(k_program_name) + ": " + shown_name;
  const std::string tail = ": " + figure;
  if (TextColumns(head) + TextColumns(tail) <= columns) return head + tail;
  const std::size_t kept = TextColumns(k_cut_mark) + TextColumns(tail);
  if (columns <= kept) return std::string(LeadingColumns(head + tail, columns));
  return std::string(LeadingColumns(head, columns - kept)) + k_cut_mark + tail;
}

}  // namespace

ProgressMeter::ProgressMeter(const std::string& name, bool wanted)
    : shown_name(DisplayName(name)),
      enabled(wanted && IsTerminal(StandardStream::error)),
      next_redraw(Clock::now() + k_quiet_start) {
  // The last column stays free: some terminals (a Windows console) move to
  // the next line as soon as it is written.
  if (enabled) line_columns = TerminalColumns(StandardStream::error) - 1;
}

ProgressFn ProgressMeter::Callback() {
  if (!enabled) return {};
  return [this](std::uint64_t done, std::uint64_t total) { Update(done, total); };
}

void ProgressMeter::Update(std::uint64_t done, std::uint64_t total) {
  const Clock::time_point now = Clock::now();
  if (now < next_redraw) return;
  next_redraw = now + k_redraw_interval;
  // A pipe's length is not known in advance: the amount read is shown then.
  char figure[32];
  if (total > 0) {
    const unsigned percent = done >= total ? 100U : static_cast<unsigned>(done * 100 / total);
    std::snprintf(figure, sizeof figure, "%3u%%", percent);
  } else {
    std::snprintf(figure, sizeof figure, "%llu MiB", static_cast<unsigned long long>(done / k_mebibyte));
  }
  const std::string line = FitLine(shown_name, figure, line_columns);
  std::fputc('\r', stderr);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  drawn = true;
}

void ProgressMeter::Erase() {
  if (!drawn) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn = false;
}

}  // namespace huffman::cli
