#include "codec/memory_pages.h"

#include <cstdint>
#include <iterator>
#include <map>
#include <mutex>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

// Under AddressSanitizer every buffer comes from new, where an overrun is
// caught.
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
#define HUFFMAN_PAGE_REGION 1
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#undef HUFFMAN_PAGE_REGION
#endif
#endif

namespace huffman {

namespace {

// Below this a buffer takes few faults, not worth a system call.
constexpr std::size_t k_prefault_min_bytes = 64 * 1024;

#if defined(HUFFMAN_PAGE_REGION)
// Buffers from this size on come from the region, in whole grains.
constexpr std::size_t k_grain_bytes = 64 * 1024;
// Address space only: the codec's buffers take a few megabytes of it, and
// what does not fit comes from new.
constexpr std::size_t k_region_bytes = std::size_t{64} << 20;
constexpr std::size_t k_huge_page_bytes = std::size_t{2} << 20;

std::size_t Grains(std::size_t bytes) { return (bytes + k_grain_bytes - 1) / k_grain_bytes * k_grain_bytes; }

// The region: reserved when first asked, then cut first fit from its lowest
// free grains, so that the grains in use stay few and together.
class PageRegion {
 public:
  void* Take(std::size_t bytes) {
    const std::lock_guard lock(mutex);
    if (!reserved) Reserve();
    const std::size_t length = Grains(bytes);
    for (auto free = free_extents.begin(); free != free_extents.end(); ++free) {
      if (free->second < length) continue;
      const std::size_t offset = free->first;
      const std::size_t left = free->second - length;
      free_extents.erase(free);
      if (left > 0) free_extents.emplace(offset + length, left);
      return base + offset;
    }
    return nullptr;
  }

  // False if `start` is not the region's.
  bool Give(void* start, std::size_t bytes) {
    const std::lock_guard lock(mutex);
    auto* const at = static_cast<std::uint8_t*>(start);
    if (base == nullptr || at < base || at >= base + k_region_bytes) return false;
    std::size_t offset = static_cast<std::size_t>(at - base);
    std::size_t length = Grains(bytes);
    // Joined with the free extents either side.
    auto next = free_extents.lower_bound(offset);
    if (next != free_extents.end() && offset + length == next->first) {
      length += next->second;
      next = free_extents.erase(next);
    }
    if (next != free_extents.begin()) {
      const auto before = std::prev(next);
      if (before->first + before->second == offset) {
        offset = before->first;
        length += before->second;
        free_extents.erase(before);
      }
    }
    try {
      free_extents.emplace(offset, length);
    } catch (const std::bad_alloc&) {
      // No memory to note the extent: it stays out of use, and is still the
      // region's, not new's.
    }
    return true;
  }

 private:
  void Reserve() {
    reserved = true;
    void* const mapped = mmap(nullptr, k_region_bytes + k_huge_page_bytes, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapped == MAP_FAILED) return;
    const auto address = reinterpret_cast<std::uintptr_t>(mapped);
    base = static_cast<std::uint8_t*>(mapped) + (k_huge_page_bytes - address % k_huge_page_bytes) % k_huge_page_bytes;
#if defined(MADV_HUGEPAGE)
    // A system without such pages, or with them turned off, keeps small ones.
    madvise(base, k_region_bytes, MADV_HUGEPAGE);
#endif
    free_extents.emplace(0, k_region_bytes);
  }

  std::mutex mutex;
  bool reserved = false;
  std::uint8_t* base = nullptr;                     // null: no region, every buffer from new
  std::map<std::size_t, std::size_t> free_extents;  // offset -> length
};

// Never destroyed: a Codec made static may give its buffers back at exit.
PageRegion& Region() {
  static PageRegion* const region = new PageRegion;
  return *region;
}
#endif

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

void* TakePages(std::size_t bytes) {
#if defined(HUFFMAN_PAGE_REGION)
  if (bytes >= k_grain_bytes) {
    if (void* const taken = Region().Take(bytes)) return taken;
  }
#endif
  return ::operator new(bytes);
}

void GivePages(void* start, std::size_t bytes) noexcept {
#if defined(HUFFMAN_PAGE_REGION)
  if (bytes >= k_grain_bytes && Region().Give(start, bytes)) return;
#else
  (void)bytes;
#endif
  ::operator delete(start);
}

}  // namespace huffman
