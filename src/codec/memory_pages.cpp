#include "codec/memory_pages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace huffman {

namespace {

// Below this a buffer takes few faults, not worth a system call.
constexpr std::size_t k_prefault_min_bytes = 64 * 1024;

}  // namespace

void PrefaultPages(void* start, std::size_t bytes) {
  if (bytes < k_prefault_min_bytes) return;
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  // Only whole pages can be named; the partial ones at either end fault in
  // as usual.  A kernel that does not know the request refuses it, and the
  // pages then fault in as usual too.
  static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  auto* const begin = static_cast<std::uint8_t*>(start);
  const auto address = reinterpret_cast<std::uintptr_t>(begin);
  std::uint8_t* const first = begin + (page - address % page) % page;
  std::uint8_t* const end = begin + bytes - (address + bytes) % page;
  if (end > first) madvise(first, static_cast<std::size_t>(end - first), MADV_POPULATE_WRITE);
#else
  (void)start;
#endif
}

}  // namespace huffman
