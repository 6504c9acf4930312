// The atomic file's descriptor, owned, and the stream buffer that writes to
// it: the same on every system (a C runtime descriptor over the handle on
// Windows).
#pragma once

#ifndef HUFFMAN_PLATFORM_INTERNAL
#error "platform/atomic_file_buffer.h is private to the platform layer: include its service's header"
#endif

#include <streambuf>

#include "platform/atomic_file.h"
#include "platform/fd_io.h"
#include "platform/fd_stream.h"

namespace huffman {

class AtomicFile::Buffer {
 public:
  explicit Buffer(int fd) : fd(fd), writer(fd) {}
  // What is still buffered goes out before the descriptor is closed, never
  // later to whatever file might then reuse its number.
  ~Buffer() {
    writer.pubsync();
    Close();
  }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  int Fd() const { return fd; }
  std::streambuf* Writer() { return &writer; }
  // The errno of the last write that failed, 0 if none did.
  int Error() const { return writer.Error(); }

  // Writes out what is buffered; false if that or an earlier write failed.
  bool Drain() { return writer.pubsync() == 0 && writer.Error() == 0; }

  // Closes the descriptor; the errno if that failed, 0 otherwise or if
  // closed already.
  int Close() {
    if (fd < 0) return 0;
    const int result = CloseFd(fd);
    fd = -1;
    return result;
  }

 private:
  int fd;
  FdStreamBuf writer;
};

}  // namespace huffman
