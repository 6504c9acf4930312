#include "codec/byte_sink.h"

#include <cassert>
#include <cstring>

namespace huffman {

ByteSink::ByteSink(std::ostream& out, std::size_t capacity) : out(out), buffer(capacity) {}

std::uint8_t* ByteSink::Reserve(std::size_t bytes) {
  assert(bytes <= buffer.size());
  if (buffer.size() - used < bytes) WriteOut();
  return buffer.data() + used;
}

void ByteSink::Write(const std::uint8_t* bytes, std::size_t count) {
  if (count <= buffer.size() - used) {
    std::memcpy(buffer.data() + used, bytes, count);
    used += count;
    return;
  }
  WriteOut();
  if (count < buffer.size()) {
    std::memcpy(buffer.data(), bytes, count);
    used = count;
    return;
  }
  if (!failed) {
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count));
    if (!out) failed = true;
  }
  flushed += count;
}

void ByteSink::WriteOut() {
  if (used == 0) return;
  if (!failed) {
    out.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(used));
    if (!out) failed = true;
  }
  flushed += used;
  used = 0;
}

void ByteSink::Flush() {
  WriteOut();
  out.flush();
  if (!out) failed = true;
}

}  // namespace huffman
