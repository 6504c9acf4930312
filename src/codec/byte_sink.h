// Output through one large buffer.  Hot loops reserve room, write straight
// into it through a raw pointer, and commit where they stopped.  A full
// buffer is handed to the operation's threads (WorkerSet::Beside), which
// write it out beside the coding of the next block while a second buffer
// fills; without threads, it is written at once.  A failed write is
// latched, not thrown, with the system's errno of that write, so the loops
// carry no error branch: callers check Failed() and Error() after Flush().
// Without a stream, the sink keeps everything in memory, growing as needed.
// A Codec's sink is opened on each operation's output in turn, and its
// buffers serve them all.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/byte_sink.h is private to the codec: include <huffman/codec.h>"
#endif

#include <cassert>
#include <cstdint>
#include <ostream>
#include <span>

#include "codec/checksum.h"
#include "codec/raw_buffer.h"
#include "codec/worker.h"

namespace huffman {

// The buffer of a sink over a stream: large writes, few system calls.
inline constexpr std::size_t k_sink_bytes = std::size_t{1} << 20;

class ByteSink {
 public:
  // Full buffers are written beside the coding on `workers`' threads, to
  // the stream each Open names; the buffers come from `arena`.
  ByteSink(WorkerSet& workers, BufferArena* arena);
  // Full buffers are written at once, on the caller's thread.
  ByteSink(std::ostream& out, std::size_t capacity);
  // A sink that keeps its bytes: see Kept() and Clear().
  explicit ByteSink(std::size_t capacity, BufferArena* arena = nullptr);
  ~ByteSink();
  ByteSink(const ByteSink&) = delete;
  ByteSink& operator=(const ByteSink&) = delete;

  // Starts on `stream` afresh: nothing committed, no failure, no observer,
  // and buffers of at least `capacity` bytes.
  void Open(std::ostream& stream, std::size_t capacity = k_sink_bytes);
  // Makes the write handed on, if any (what it throws dropped: worker.h),
  // and lets go of the stream: a sink left before its Flush (an operation
  // that failed) writes nothing more.
  void Close();

  // At least `bytes` writable bytes at the returned pointer (handing what
  // was committed to the writer if needed).  A request larger than the
  // buffer grows it.
  std::uint8_t* Reserve(std::size_t bytes);
  // The bytes before `end`, from the last reserve on, are filled.
  void Commit(const std::uint8_t* end) {
    assert(end >= buffer.data() + used && end <= buffer.data() + buffer.size());
    used = static_cast<std::size_t>(end - buffer.data());
  }
  // Copies `count` bytes in; they may be reused as soon as it returns.
  void Write(const std::uint8_t* bytes, std::size_t count);

  // Writes out what was committed, the buffer handed on included, and
  // flushes the stream.  Failed() and Error() are final only after this.
  void Flush();
  bool Failed() const { return failed; }
  // The errno of the first failed write or flush, recorded where it failed
  // (on whichever thread wrote); 0 if none failed, or if the stream failed
  // without a system error.
  int Error() const { return error; }
  std::uint64_t BytesCommitted() const { return flushed + used; }

  // Every byte written to the stream from here on is also added to
  // `checksums`, in order, by whichever thread writes it.
  void Observe(SpanChecksums* checksums) { observer = checksums; }

  // A sink without a stream: what it holds, and emptying it for reuse.
  std::span<const std::uint8_t> Kept() const { return {buffer.data(), used}; }
  void Clear() { used = 0; }

 private:
  // Hands the committed bytes on to be written and takes the buffer
  // written before.
  void HandOver();
  // Writes `count` bytes of `bytes` unless a write failed before.
  void WriteToStream(const std::uint8_t* bytes, std::size_t count);
  void Latch();

  std::ostream* out;
  WorkerSet* workers = nullptr;  // null: buffers are written at once
  SpanChecksums* observer = nullptr;
  BufferArena* arena = nullptr;
  RawBuffer buffer;
  std::size_t used = 0;
  std::uint64_t flushed = 0;

  // The buffer handed on (`pending` bytes of it, 0 once written), and what
  // the writes found.  Until the workers have run the write, the caller touches none
  // of them (WorkerSet::Beside).
  RawBuffer writing;
  std::size_t pending = 0;
  bool failed = false;
  int error = 0;
};

}  // namespace huffman
