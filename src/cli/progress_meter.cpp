#include "cli/progress_meter.h"

#include <cstdio>

#include "cli/messages.h"
#include "platform/standard_streams.h"

namespace huffman::cli {
namespace {

constexpr auto k_quiet_start = std::chrono::milliseconds(500);
constexpr auto k_redraw_interval = std::chrono::milliseconds(200);
constexpr std::uint64_t k_mebibyte = 1024 * 1024;

}  // namespace

ProgressMeter::ProgressMeter(std::string name, bool wanted)
    : shown_name(std::move(name)),
      enabled(wanted && IsTerminal(StandardStream::error)),
      next_redraw(Clock::now() + k_quiet_start) {}

ProgressFn ProgressMeter::Callback() {
  if (!enabled) return {};
  return [this](std::uint64_t done, std::uint64_t total) { Update(done, total); };
}

void ProgressMeter::Update(std::uint64_t done, std::uint64_t total) {
  const Clock::time_point now = Clock::now();
  if (now < next_redraw) return;
  next_redraw = now + k_redraw_interval;
  // A pipe's length is not known in advance: the amount read is shown then.
  if (total > 0) {
    const unsigned percent = done >= total ? 100U : static_cast<unsigned>(done * 100 / total);
    std::fprintf(stderr, "\r%s: %s: %3u%%", k_program_name, shown_name.c_str(), percent);
  } else {
    std::fprintf(stderr, "\r%s: %s: %llu MiB", k_program_name, shown_name.c_str(),
                 static_cast<unsigned long long>(done / k_mebibyte));
  }
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
