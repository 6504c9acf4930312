// The sources of the public header: a std::istream, memory read in place,
// and a function that reads at offsets (a regular file's positional reads).
// Each turns its own failures into the count -1 and the errno of the call
// that failed, read where it failed.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "huffman/codec.h"

namespace huffman {

std::int64_t Source::ReadAt(std::uint64_t /*offset*/, std::span<std::uint8_t> /*into*/, int& error) const {
  error = ESPIPE;  // as a positional read of a pipe fails
  return -1;
}

StreamSource::StreamSource(std::istream& stream) : in(stream), start(stream.tellg()) {
  if (start < 0 || !in.seekg(0, std::ios::end)) {
    in.clear();
    return;
  }
  const auto end = in.tellg();
  in.seekg(start);
  if (end >= start) size = static_cast<std::uint64_t>(end - start);
}

std::int64_t StreamSource::Read(std::span<std::uint8_t> into, int& error) {
  errno = 0;
  in.read(reinterpret_cast<char*>(into.data()), static_cast<std::streamsize>(into.size()));
  const auto got = static_cast<std::int64_t>(in.gcount());
  if (static_cast<std::size_t>(got) < into.size() && in.bad()) {
    // Read at once: the call that failed set it, and any later call may not.
    error = errno;
    return -1;
  }
  return got;
}

bool StreamSource::Rewind(int& error) {
  in.clear();
  errno = 0;
  // A stream that cannot tell where it stood cannot go back there.
  if (start < 0 || !in.seekg(static_cast<std::streamoff>(start), std::ios::beg)) {
    error = errno;
    return false;
  }
  return true;
}

std::int64_t MemorySource::Read(std::span<std::uint8_t> into, int& /*error*/) {
  const std::size_t count = std::min(into.size(), held.size() - position);
  if (count > 0) std::memcpy(into.data(), held.data() + position, count);
  position += count;
  return static_cast<std::int64_t>(count);
}

std::int64_t MemorySource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> into, int& /*error*/) const {
  if (offset >= held.size()) return 0;
  const std::size_t count = std::min<std::size_t>(into.size(), held.size() - static_cast<std::size_t>(offset));
  std::memcpy(into.data(), held.data() + offset, count);
  return static_cast<std::int64_t>(count);
}

std::int64_t OffsetSource::Read(std::span<std::uint8_t> into, int& error) {
  const std::int64_t got = read_at(position, into, error);
  if (got > 0) position += static_cast<std::uint64_t>(got);
  return got;
}

}  // namespace huffman
