// The open for reading, reads, writes, seeks and the close of a file
// descriptor, the few calls in which the systems differ (POSIX
// open/read/write/lseek/close, the Windows C runtime's _wopen, _read, _write,
// 64-bit _lseeki64 and _close), for the streams, the spill file and the atomic
// file over descriptors, and inputs read in order (a named pipe). Each retries
// when a caught signal interrupts it and returns -1 with errno set when it
// fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace huffman {

// A descriptor reading the file `name` (UTF-8) from its start, in binary.
int OpenFdForReading(const std::string& name);
// Bytes read (0 at the end), at most `count`.
std::int64_t ReadFd(int fd, char* bytes, std::size_t count);
// Bytes written, at least one unless it failed.
std::int64_t WriteFd(int fd, const char* bytes, std::size_t count);
// The new position; `whence` is SEEK_SET, SEEK_CUR or SEEK_END.
std::int64_t SeekFd(int fd, std::int64_t offset, int whence);
// Closes `fd`; 0, or the errno of a close that failed.  An interrupted close
// has closed the descriptor all the same.
int CloseFd(int fd);

}  // namespace huffman
