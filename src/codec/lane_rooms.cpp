#include "codec/lane_rooms.h"

#if defined(__SANITIZE_ADDRESS__)
#define HUFFMAN_ROOMS_APART 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HUFFMAN_ROOMS_APART 1
#endif
#endif

namespace huffman {

void LaneRooms::Fit(std::size_t count, std::size_t bytes, BufferArena* arena) {
  if (count <= rooms.size() && bytes <= room_bytes) return;
  // The old rooms go before the new ones are made, and until all of these
  // are made there are none: a failed allocation leaves no room that seems
  // to fit.
  rooms.clear();
  room_bytes = 0;
  together = RawBuffer();
  apart.clear();
  std::vector<Room> made(count);
#if defined(HUFFMAN_ROOMS_APART)
  (void)arena;
  apart.reserve(count);
  for (Room& room : made) {
    // Uninitialised, as RawBuffer's: the rooms are written before they are
    // read.
    apart.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(bytes));
    room = {apart.back().get(), apart.back().get() + bytes};
  }
#else
  together = RawBuffer(count * bytes, arena);
  for (std::size_t index = 0; index < count; ++index) {
    std::uint8_t* const begin = together.data() + index * bytes;
    made[index] = {begin, begin + bytes};
  }
#endif
  rooms = std::move(made);
  room_bytes = bytes;
}

}  // namespace huffman
