#include "codec/byte_sink.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace huffman {

ByteSink::ByteSink(WorkerSet& workers, BufferArena* arena) : out(nullptr), workers(&workers), arena(arena) {}

ByteSink::ByteSink(std::ostream& out, std::size_t capacity) : out(&out), buffer(capacity) {}

ByteSink::ByteSink(std::size_t capacity, BufferArena* arena) : out(nullptr), arena(arena), buffer(capacity, arena) {}

// A write still handed on is made before its buffer goes.
ByteSink::~ByteSink() { Close(); }

void ByteSink::Open(std::ostream& stream, std::size_t capacity) {
  Close();
  out = &stream;
  observer = nullptr;
  buffer.Reserve(capacity, arena);
  used = 0;
  flushed = 0;
  failed = false;
  error = 0;
}

void ByteSink::Close() {
  if (pending > 0) workers->SettleQuietly();
  pending = 0;
}

std::uint8_t* ByteSink::Reserve(std::size_t bytes) {
  if (buffer.size() - used < bytes) {
    if (out == nullptr) {
      buffer.Grow(std::max(2 * buffer.size(), used + bytes), used);
    } else {
      HandOver();
      buffer.Grow(bytes);  // nothing to keep: everything was handed on
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
  if (workers == nullptr) {
    WriteToStream(buffer.data(), used);
  } else {
    if (pending > 0) workers->Settle();  // the write handed on before, if no job ran it
    writing.Reserve(buffer.size(), arena);
    std::swap(buffer, writing);
    pending = used;
    // A buffer's write moves more bytes than a block's read, into pages the
    // system must first find: the longest part of the next job.
    workers->Beside(
        [this] {
          WriteToStream(writing.data(), pending);
          pending = 0;
        },
        true);
  }
  flushed += used;
  used = 0;
}

void ByteSink::WriteToStream(const std::uint8_t* bytes, std::size_t count) {
  if (observer != nullptr) observer->Add({bytes, count});
  if (failed || count == 0) return;
  errno = 0;
  out->write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count));
  if (!*out) Latch();
}

void ByteSink::Latch() {
  failed = true;
  error = errno;  // read at once, on the thread whose call failed
}

void ByteSink::Flush() {
  if (out == nullptr) return;
  if (pending > 0) workers->Settle();
  WriteToStream(buffer.data(), used);
  flushed += used;
  used = 0;
  if (failed) return;
  errno = 0;
  out->flush();
  if (!*out) Latch();
}

}  // namespace huffman
