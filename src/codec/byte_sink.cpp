#include "codec/byte_sink.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace huffman {

ByteSink::ByteSink(std::ostream& out, std::size_t capacity) : out(&out), buffer(capacity) {}

ByteSink::ByteSink(std::size_t capacity) : out(nullptr), buffer(capacity) {}

ByteSink::~ByteSink() {
  if (!writer.joinable()) return;
  {
    std::lock_guard lock(mutex);
    stopping = true;
  }
  changed.notify_all();
  writer.join();
}

std::uint8_t* ByteSink::Reserve(std::size_t bytes) {
  if (buffer.size() - used < bytes) {
    if (out == nullptr) {
      buffer.Grow(std::max(2 * buffer.size(), used + bytes), used);
    } else {
      HandOver();
      buffer.Grow(bytes);  // nothing to keep: everything went to the writer
    }
  }
  return buffer.data() + used;
}

void ByteSink::Write(const std::uint8_t* bytes, std::size_t count) {
  if (out == nullptr) {
    std::memcpy(Reserve(count), bytes, count);
    used += count;
    return;
  }
  while (count > 0) {
    if (used == buffer.size()) HandOver();
    const std::size_t piece = std::min(count, buffer.size() - used);
    std::memcpy(buffer.data() + used, bytes, piece);
    used += piece;
    bytes += piece;
    count -= piece;
  }
}

void ByteSink::HandOver() {
  if (used == 0) return;
  if (!writer.joinable()) {
    writing = RawBuffer(buffer.size());  // the writer's buffer, swapped in turn
    writer = std::thread([this] { WriterLoop(); });
  }
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return pending == 0; });
    std::swap(buffer, writing);
    pending = used;
  }
  changed.notify_all();
  flushed += used;
  used = 0;
}

void ByteSink::WaitIdle() {
  if (!writer.joinable()) return;
  std::unique_lock lock(mutex);
  changed.wait(lock, [this] { return pending == 0; });
}

void ByteSink::WriteToStream(const std::uint8_t* bytes, std::size_t count) {
  if (failed || count == 0) return;
  errno = 0;
  out->write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count));
  if (!*out) Latch();
}

void ByteSink::Latch() {
  failed = true;
  error = errno;  // read at once, on the thread whose call failed
}

void ByteSink::WriterLoop() {
  std::unique_lock lock(mutex);
  for (;;) {
    changed.wait(lock, [this] { return pending > 0 || stopping; });
    if (pending == 0) return;  // stopping, nothing left to write
    // While `pending` is set the writer alone touches the stream and the
    // error it found; the coding thread waits for it to clear first.
    lock.unlock();
    WriteToStream(writing.data(), pending);
    lock.lock();
    pending = 0;
    changed.notify_all();
  }
}

void ByteSink::Flush() {
  if (out == nullptr) return;
  WaitIdle();
  WriteToStream(buffer.data(), used);
  flushed += used;
  used = 0;
  if (failed) return;
  errno = 0;
  out->flush();
  if (!*out) Latch();
}

}  // namespace huffman
