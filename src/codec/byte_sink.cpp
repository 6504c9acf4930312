#include "codec/byte_sink.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace huffman {

namespace {
constexpr std::size_t k_write_through_bytes = 64 * 1024;
}  // namespace

ByteSink::ByteSink(std::ostream& out, std::size_t capacity) : out(&out), buffer(capacity) {}

ByteSink::ByteSink(std::size_t capacity) : out(nullptr), buffer(capacity) {}

std::uint8_t* ByteSink::Reserve(std::size_t bytes) {
  if (buffer.size() - used < bytes) {
    if (out == nullptr) {
      buffer.Grow(std::max(2 * buffer.size(), used + bytes), used);
    } else {
      WriteOut();
      buffer.Grow(bytes);  // nothing to keep: everything went out
    }
  }
  return buffer.data() + used;
}

void ByteSink::Write(const std::uint8_t* bytes, std::size_t count) {
  // Small pieces are gathered; large ones go straight to the stream rather
  // than through one more copy.
  if (out == nullptr || (count < k_write_through_bytes && count <= buffer.size() - used)) {
    std::memcpy(Reserve(count), bytes, count);
    used += count;
    return;
  }
  WriteOut();
  if (count < k_write_through_bytes && count <= buffer.size()) {
    std::memcpy(buffer.data(), bytes, count);
    used = count;
    return;
  }
  Send(bytes, count);
  flushed += count;
}

void ByteSink::WriteOut() {
  if (used == 0 || out == nullptr) return;
  Send(buffer.data(), used);
  flushed += used;
  used = 0;
}

void ByteSink::Send(const std::uint8_t* bytes, std::size_t count) {
  if (failed) return;
  errno = 0;
  out->write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count));
  if (!*out) Latch();
}

void ByteSink::Latch() {
  failed = true;
  error = errno;  // read at once: the call that failed set it
}

void ByteSink::Flush() {
  if (out == nullptr) return;
  WriteOut();
  if (failed) return;
  errno = 0;
  out->flush();
  if (!*out) Latch();
}

}  // namespace huffman
