// Output through one large buffer.  Hot loops reserve room, write straight
// into it through a raw pointer, and commit where they stopped; the buffer
// goes to the stream in large writes.  A failed write is latched, not thrown,
// with the system's errno of that write, so the loops carry no error branch:
// callers check Failed() and Error() at the end.
// Without a stream, the sink keeps everything in memory, growing as needed.
#pragma once

#include <cstdint>
#include <ostream>
#include <span>

#include "codec/raw_buffer.h"

namespace huffman {

// The buffer of a sink over a stream: large writes, few system calls.
inline constexpr std::size_t k_sink_bytes = std::size_t{1} << 20;

class ByteSink {
 public:
  explicit ByteSink(std::ostream& out, std::size_t capacity = k_sink_bytes);
  // A sink that keeps its bytes: see Kept() and Clear().
  explicit ByteSink(std::size_t capacity);
  ByteSink(const ByteSink&) = delete;
  ByteSink& operator=(const ByteSink&) = delete;

  // At least `bytes` writable bytes at the returned pointer (flushing what
  // was committed if needed).  A request larger than the buffer grows it.
  std::uint8_t* Reserve(std::size_t bytes);
  // The bytes before `end`, from the last reserve on, are filled.
  void Commit(const std::uint8_t* end) { used = static_cast<std::size_t>(end - buffer.data()); }
  void Write(const std::uint8_t* bytes, std::size_t count);

  // Writes out what was committed and flushes the stream.
  void Flush();
  bool Failed() const { return failed; }
  // The errno of the first failed write or flush; 0 if none failed, or if
  // the stream failed without a system error.
  int Error() const { return error; }
  std::uint64_t BytesCommitted() const { return flushed + used; }

  // A sink without a stream: what it holds, and emptying it for reuse.
  std::span<const std::uint8_t> Kept() const { return {buffer.data(), used}; }
  void Clear() { used = 0; }

 private:
  void WriteOut();
  // Writes to the stream unless a write failed before; latches a failure.
  void Send(const std::uint8_t* bytes, std::size_t count);
  void Latch();

  std::ostream* out;
  RawBuffer buffer;
  std::size_t used = 0;
  std::uint64_t flushed = 0;
  bool failed = false;
  int error = 0;
};

}  // namespace huffman
