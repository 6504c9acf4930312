#include "platform/large_buffer.h"

#include <windows.h>

namespace huffman {

// Large pages need a privilege a user seldom holds: the region takes small
// ones, committed here and given memory as they are first touched.
bool LargeBuffersFromSystem() { return true; }

void* ReserveLargeBuffer(std::size_t bytes) {
  return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void ReleaseLargeBuffer(void* start, std::size_t /*bytes*/) noexcept {
  if (start != nullptr) VirtualFree(start, 0, MEM_RELEASE);
}

void PrefillLargeBuffer(void* /*start*/, std::size_t /*bytes*/) noexcept {}

}  // namespace huffman
