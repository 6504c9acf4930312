#include "platform/spill_file.h"

#include <cerrno>
#include <vector>

#include "platform/fd_io.h"

namespace huffman {
namespace {

// Bytes moved per read when an input is copied into the file.
constexpr std::size_t k_copy_bytes = 1024 * 1024;

}  // namespace

bool SpillFile::Append(std::span<const char> bytes) {
  const char* next = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const std::int64_t put = WriteFd(fd, next, left);
    if (put < 0) {
      error = errno;
      return false;
    }
    next += put;
    left -= static_cast<std::size_t>(put);
  }
  return true;
}

int SpillFile::CopyFrom(int input, bool& read_failed) {
  std::vector<char> buffer(k_copy_bytes);
  for (;;) {
    const std::int64_t got = ReadFd(input, buffer.data(), buffer.size());
    if (got == 0) return 0;
    if (got < 0) {
      read_failed = true;
      return errno;
    }
    if (!Append({buffer.data(), static_cast<std::size_t>(got)})) return error;
  }
}

FdInputStream& SpillFile::Reader() {
  reader = std::make_unique<FdInputStream>(fd);
  reader->seekg(0);
  return *reader;
}

}  // namespace huffman
