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

class LaneRooms {
 public:
  // At least `count` rooms of at least `bytes` bytes each: those made
  // before where they are as many and as large, else new ones, from
  // `arena` (raw_buffer.h).  Rooms made before lose their contents only
  // when new ones are made.
  void Fit(std::size_t count, std::size_t bytes, BufferArena* arena);
  // Room `index`, below the count asked of the last Fit.
  Room At(std::size_t index) const { return rooms[index]; }

 private:
  std::vector<Room> rooms;
  std::size_t room_bytes = 0;
  RawBuffer together;                                  // the rooms in order, where they share one allocation
  std::vector<std::unique_ptr<std::uint8_t[]>> apart;  // each room, under AddressSanitizer
};

}  // namespace huffman
