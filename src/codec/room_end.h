// The end of the room a hot loop's output pointer writes into, kept for the
// loop's debug asserts that a write stays inside (the decoder's lane rooms,
// the encoder's borrowed output), in the manner of a fast loop's bound on
// the bytes it may write.  Release builds keep nothing, so that the loops'
// state, and the code made for it, is the same as without it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace huffman {

// Held as a [[no_unique_address]] member: empty in release builds, it then
// takes no place.
class RoomEnd {
 public:
  RoomEnd() = default;
  explicit RoomEnd([[maybe_unused]] const std::uint8_t* room_end) {
#if !defined(NDEBUG)
    end = room_end;
#endif
  }
  // Whether the `bytes` bytes from `at` on lie inside the room: always, where
  // the end is not kept.
  bool Holds([[maybe_unused]] const std::uint8_t* at, [[maybe_unused]] std::size_t bytes) const {
#if !defined(NDEBUG)
    return at != nullptr && at <= end && static_cast<std::size_t>(end - at) >= bytes;
#else
    return true;
#endif
  }

 private:
#if !defined(NDEBUG)
  const std::uint8_t* end = nullptr;
#endif
};

}  // namespace huffman
