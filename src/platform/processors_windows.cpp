#include "platform/processors.h"

#include <algorithm>
#include <bit>
#include <thread>

#include <windows.h>

namespace huffman {

unsigned AvailableProcessors() {
  DWORD_PTR process_mask = 0;
  DWORD_PTR system_mask = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask) != 0 && process_mask != 0) {
    return static_cast<unsigned>(std::popcount(static_cast<unsigned long long>(process_mask)));
  }
  return std::max(1U, std::thread::hardware_concurrency());
}

// Windows spreads new threads itself: it gives each an ideal processor of
// its own, the machine's in turn.
void MoveOffThisProcessor(std::thread& /*thread*/) {}

}  // namespace huffman
