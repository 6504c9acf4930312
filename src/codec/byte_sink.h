// Output through one large buffer.  Hot loops reserve room, write straight
// into it through a raw pointer, and commit where they stopped.  A full
// buffer goes to the stream on a writer thread of its own while the coding
// fills a second one, so writing proceeds beside the coding; the thread
// starts only when a first buffer fills, so small outputs never start it.
// A failed write is latched, not thrown, with the system's errno of that
// write, so the loops carry no error branch: callers check Failed() and
// Error() after Flush().
// Without a stream, the sink keeps everything in memory, growing as needed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <span>
#include <thread>

#include "codec/raw_buffer.h"

namespace huffman {

// The buffer of a sink over a stream: large writes, few system calls.
inline constexpr std::size_t k_sink_bytes = std::size_t{1} << 20;

class ByteSink {
 public:
  explicit ByteSink(std::ostream& out, std::size_t capacity = k_sink_bytes);
  // A sink that keeps its bytes: see Kept() and Clear().
  explicit ByteSink(std::size_t capacity);
  ~ByteSink();
  ByteSink(const ByteSink&) = delete;
  ByteSink& operator=(const ByteSink&) = delete;

  // At least `bytes` writable bytes at the returned pointer (handing what
  // was committed to the writer if needed).  A request larger than the
  // buffer grows it.
  std::uint8_t* Reserve(std::size_t bytes);
  // The bytes before `end`, from the last reserve on, are filled.
  void Commit(const std::uint8_t* end) { used = static_cast<std::size_t>(end - buffer.data()); }
  // Copies `count` bytes in; they may be reused as soon as it returns.
  void Write(const std::uint8_t* bytes, std::size_t count);

  // Writes out what was committed, waits for the writer and flushes the
  // stream.  Failed() and Error() are final only after this.
  void Flush();
  bool Failed() const { return failed; }
  // The errno of the first failed write or flush, recorded where it failed
  // (on whichever thread wrote); 0 if none failed, or if the stream failed
  // without a system error.
  int Error() const { return error; }
  std::uint64_t BytesCommitted() const { return flushed + used; }

  // A sink without a stream: what it holds, and emptying it for reuse.
  std::span<const std::uint8_t> Kept() const { return {buffer.data(), used}; }
  void Clear() { used = 0; }

 private:
  // Hands the committed bytes to the writer thread and takes its idle buffer.
  void HandOver();
  // Returns once the writer thread holds no buffer.
  void WaitIdle();
  // Writes `count` bytes of `bytes` unless a write failed before.
  void WriteToStream(const std::uint8_t* bytes, std::size_t count);
  void Latch();
  void WriterLoop();

  std::ostream* out;
  RawBuffer buffer;
  std::size_t used = 0;
  std::uint64_t flushed = 0;

  // Shared with the writer thread, under `mutex`: the buffer it writes
  // (`pending` bytes of it), and what it found.
  std::mutex mutex;
  std::condition_variable changed;
  RawBuffer writing;
  std::size_t pending = 0;
  bool stopping = false;
  bool failed = false;
  int error = 0;
  std::thread writer;
};

}  // namespace huffman
