// Large allocations of the libFuzzer targets, kept for the next input:
// under AddressSanitizer every block of 128 KiB or more is a fresh mapping,
// and the codec takes a few megabytes of them for each operation and maps
// their pages in advance, so page faults took most of each execution.  A
// block freed here is kept at its exact size, poisoned, and handed out again
// for the next request of that size: reads and writes past its end still hit
// AddressSanitizer's redzone, and a use while it is kept is reported as a
// use of poisoned memory.  Linked into the fuzz targets only.
#include <sanitizer/allocator_interface.h>
#include <sanitizer/asan_interface.h>

#include <array>
#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <new>

namespace {

constexpr std::size_t k_min_kept_bytes = 64 * 1024;
constexpr std::size_t k_kept_blocks = 32;

struct Kept {
  void* start = nullptr;
  std::size_t bytes = 0;
};

std::mutex& KeptMutex() {
  static std::mutex mutex;
  return mutex;
}

std::array<Kept, k_kept_blocks>& KeptBlocks() {
  static std::array<Kept, k_kept_blocks> blocks;
  return blocks;
}

void* Allocate(std::size_t bytes) {
  if (bytes >= k_min_kept_bytes) {
    const std::lock_guard lock(KeptMutex());
    for (Kept& kept : KeptBlocks()) {
      if (kept.start != nullptr && kept.bytes == bytes) {
        void* const start = kept.start;
        kept.start = nullptr;
        ASAN_UNPOISON_MEMORY_REGION(start, bytes);
        return start;
      }
    }
  }
  void* const start = std::malloc(bytes == 0 ? 1 : bytes);
  if (start == nullptr) throw std::bad_alloc();
  return start;
}

void Free(void* start) noexcept {
  if (start == nullptr) return;
  const std::size_t bytes = __sanitizer_get_allocated_size(start);
  if (bytes >= k_min_kept_bytes) {
    const std::lock_guard lock(KeptMutex());
    for (Kept& kept : KeptBlocks()) {
      if (kept.start == nullptr) {
        ASAN_POISON_MEMORY_REGION(start, bytes);
        kept = {start, bytes};
        return;
      }
    }
  }
  std::free(start);
}

}  // namespace

void* operator new(std::size_t bytes) { return Allocate(bytes); }
void* operator new[](std::size_t bytes) { return Allocate(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
  try {
    return Allocate(bytes);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t bytes, const std::nothrow_t& nothrow) noexcept { return operator new(bytes, nothrow); }
void operator delete(void* start) noexcept { Free(start); }
void operator delete[](void* start) noexcept { Free(start); }
void operator delete(void* start, std::size_t) noexcept { Free(start); }
void operator delete[](void* start, std::size_t) noexcept { Free(start); }
void operator delete(void* start, const std::nothrow_t&) noexcept { Free(start); }
void operator delete[](void* start, const std::nothrow_t&) noexcept { Free(start); }
