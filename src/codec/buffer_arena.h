// A Codec's large buffers, cut from one region of address space it asks the
// platform for the first time (platform/large_buffer.h), so that they share
// 2 MiB pages, and handed back to it for the next buffer: the pages a Codec
// touched once serve every file after.  The region goes back to the system
// with the Codec.  Under AddressSanitizer every buffer is an allocation of
// its own instead, so that its bounds are checked.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/buffer_arena.h is private to the codec: include <huffman/codec.h>"
#endif

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <type_traits>

namespace huffman {

class BufferArena {
 public:
  BufferArena() = default;
  ~BufferArena();
  BufferArena(const BufferArena&) = delete;
  BufferArena& operator=(const BufferArena&) = delete;

  // `bytes` uninitialised bytes, aligned for any type; throws std::bad_alloc
  // as new does.  Buffers too small to gain, and those the region has no
  // room for, come from new.  Safe on several threads at once.
  void* Take(std::size_t bytes);
  // Hands back what Take(bytes) gave.
  void Give(void* start, std::size_t bytes) noexcept;

 private:
  // Buffers from this size on come from the region, in whole grains.
  static constexpr std::size_t k_grain_bytes = 64 * 1024;
  // Address space only: a Codec's buffers take a few megabytes of it.
  static constexpr std::size_t k_region_bytes = std::size_t{64} << 20;
  // Free extents kept apart at most; a buffer handed back when they are all
  // in use stays out of use until the Codec ends.
  static constexpr std::size_t k_max_free_extents = 64;

  struct Extent {
    std::size_t offset;
    std::size_t length;
  };

  std::mutex mutex;
  bool reserved = false;
  std::uint8_t* base = nullptr;  // null: no region, every buffer from new
  // Sorted by offset, none touching another.
  std::array<Extent, k_max_free_extents> free_extents{};
  std::size_t free_count = 0;
};

// Hands an array back to the arena it came from (or to delete, without one).
template <typename T>
struct ArenaDeleter {
  BufferArena* arena = nullptr;
  std::size_t count = 0;
  void operator()(T* start) const noexcept {
    if (arena != nullptr) {
      arena->Give(start, count * sizeof(T));
    } else {
      ::operator delete(start);
    }
  }
};

// An array of `count` uninitialised T.
template <typename T>
using ArenaArray = std::unique_ptr<T[], ArenaDeleter<T>>;

// `count` uninitialised T from `arena`, or from new without one.
template <typename T>
ArenaArray<T> MakeArenaArray(BufferArena* arena, std::size_t count) {
  static_assert(std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>);
  void* const start = arena != nullptr ? arena->Take(count * sizeof(T)) : ::operator new(count * sizeof(T));
  return ArenaArray<T>(static_cast<T*>(start), ArenaDeleter<T>{arena, count});
}

}  // namespace huffman
