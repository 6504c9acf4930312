#include "codec/buffer_arena.h"

#include <algorithm>
#include <new>

#include "platform/large_buffer.h"

namespace huffman {

namespace {

std::size_t Grains(std::size_t bytes, std::size_t grain) { return (bytes + grain - 1) / grain * grain; }

}  // namespace

BufferArena::~BufferArena() { ReleaseLargeBuffer(base, k_region_bytes); }

void* BufferArena::Take(std::size_t bytes) {
  if (bytes >= k_grain_bytes) {
    const std::lock_guard lock(mutex);
    if (!reserved) {
      reserved = true;
      if (LargeBuffersFromSystem()) base = static_cast<std::uint8_t*>(ReserveLargeBuffer(k_region_bytes));
      if (base != nullptr) free_extents[free_count++] = {0, k_region_bytes};
    }
    // First fit from the lowest offset, so that the grains in use stay few
    // and together.
    const std::size_t length = Grains(bytes, k_grain_bytes);
    for (std::size_t k = 0; k < free_count; ++k) {
      Extent& free = free_extents[k];
      if (free.length < length) continue;
      std::uint8_t* const start = base + free.offset;
      free.offset += length;
      free.length -= length;
      if (free.length == 0) {
        std::copy(free_extents.begin() + static_cast<std::ptrdiff_t>(k + 1),
                  free_extents.begin() + static_cast<std::ptrdiff_t>(free_count),
                  free_extents.begin() + static_cast<std::ptrdiff_t>(k));
        --free_count;
      }
      return start;
    }
  }
  return ::operator new(bytes);
}

void BufferArena::Give(void* start, std::size_t bytes) noexcept {
  auto* const at = static_cast<std::uint8_t*>(start);
  std::unique_lock lock(mutex);
  if (base == nullptr || at < base || at >= base + k_region_bytes) {
    lock.unlock();
    ::operator delete(start);
    return;
  }
  Extent given{static_cast<std::size_t>(at - base), Grains(bytes, k_grain_bytes)};
  // Where it goes among the free extents, joined with those either side.
  std::size_t next = 0;
  while (next < free_count && free_extents[next].offset < given.offset) ++next;
  const bool joins_before = next > 0 && free_extents[next - 1].offset + free_extents[next - 1].length == given.offset;
  const bool joins_after = next < free_count && given.offset + given.length == free_extents[next].offset;
  if (joins_before && joins_after) {
    free_extents[next - 1].length += given.length + free_extents[next].length;
    std::copy(free_extents.begin() + static_cast<std::ptrdiff_t>(next + 1),
              free_extents.begin() + static_cast<std::ptrdiff_t>(free_count),
              free_extents.begin() + static_cast<std::ptrdiff_t>(next));
    --free_count;
  } else if (joins_before) {
    free_extents[next - 1].length += given.length;
  } else if (joins_after) {
    free_extents[next] = {given.offset, given.length + free_extents[next].length};
  } else if (free_count < k_max_free_extents) {
    std::copy_backward(free_extents.begin() + static_cast<std::ptrdiff_t>(next),
                       free_extents.begin() + static_cast<std::ptrdiff_t>(free_count),
                       free_extents.begin() + static_cast<std::ptrdiff_t>(free_count + 1));
    free_extents[next] = given;
    ++free_count;
  }
}

}  // namespace huffman
