#include "platform/large_buffer.h"

#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

namespace huffman {

namespace {

constexpr std::size_t k_huge_page_bytes = std::size_t{2} << 20;
// Below this a buffer takes few faults, not worth a system call.
constexpr std::size_t k_prefill_min_bytes = 64 * 1024;

}  // namespace

bool LargeBuffersFromSystem() {
#if defined(__SANITIZE_ADDRESS__)
  return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
  return false;
#else
  return true;
#endif
#else
  return true;
#endif
}

void* ReserveLargeBuffer(std::size_t bytes) {
  // Mapped a huge page larger, and cut to the aligned part.
  const std::size_t mapped_bytes = bytes + k_huge_page_bytes;
  // An anonymous mapping takes no file: its descriptor is -1 by convention
  // (.cppcheck-suppressions).
  void* const mapped =
      mmap(nullptr, mapped_bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  auto* const first = static_cast<std::uint8_t*>(mapped);
  const auto address = reinterpret_cast<std::uintptr_t>(first);
  const std::size_t head = (k_huge_page_bytes - address % k_huge_page_bytes) % k_huge_page_bytes;
  std::uint8_t* const start = first + head;
  if (head > 0) munmap(first, head);
  munmap(start + bytes, k_huge_page_bytes - head);  // head < a huge page: always a tail to cut
#if defined(MADV_HUGEPAGE)
  // A system without such pages, or with them turned off, keeps small ones.
  madvise(start, bytes, MADV_HUGEPAGE);
#endif
  return start;
}

void ReleaseLargeBuffer(void* start, std::size_t bytes) noexcept {
  if (start != nullptr) munmap(start, bytes);
}

void PrefillLargeBuffer(void* start, std::size_t bytes) noexcept {
  if (bytes < k_prefill_min_bytes) return;
#if defined(MADV_POPULATE_WRITE)
  // Only whole pages can be named; the partial ones at either end fault in
  // as usual.  A kernel that does not know the request refuses it, and the
  // pages then fault in as usual too.
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
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
