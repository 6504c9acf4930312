// Rooms of equal size, each a slice that knows its end: the decoder's lanes
// write their output into them (decoder.cpp says how large they must be and
// why).  The hot loops assert in debug builds that a write stays inside its
// room.  The rooms are one allocation, reused while they fit; under
// AddressSanitizer each is an allocation of its own, so that a write from
// one room into the next is an error there, not a quiet overwrite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codec/raw_buffer.h"

namespace huffman {

// Where a writer may write: [begin, end).
struct Room {
  std::uint8_t* begin = nullptr;
  std::uint8_t* end = nullptr;
};

// The end of the room an output pointer of a hot loop writes into, for the
// loop's debug asserts.  Release builds keep nothing: an empty member that
// takes no place ([[no_unique_address]]), so that the loops' state and the
// code made for it are the same as without it.
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

class LaneRooms {
 public:
  // At least `count` rooms of at least `bytes` bytes each: those made
  // before where they are as many and as large, else new ones.  Rooms made
  // before lose their contents only when new ones are made.
  void Fit(std::size_t count, std::size_t bytes);
  // Room `index`, below the count asked of the last Fit.
  Room At(std::size_t index) const { return rooms[index]; }

 private:
  std::vector<Room> rooms;
  std::size_t room_bytes = 0;
  RawBuffer together;                                  // the rooms in order, where they share one allocation
  std::vector<std::unique_ptr<std::uint8_t[]>> apart;  // each room, under AddressSanitizer
};

}  // namespace huffman
