#include "codec/block_source.h"

#include <algorithm>
#include <cerrno>

namespace huffman {

std::span<const std::uint8_t> StreamBlocks::Next() {
  errno = 0;
  in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
  // Read at once: the call that failed set it, and any later call may not.
  if (in.bad() && error == 0) error = errno;
  return {buffer.data(), static_cast<std::size_t>(in.gcount())};
}

bool StreamBlocks::Rewind() {
  in.clear();
  errno = 0;
  in.seekg(0, std::ios::beg);
  if (!in && error == 0) error = errno;
  return static_cast<bool>(in);
}

std::uint64_t StreamBlocks::SizeAhead() {
  const auto here = in.tellg();
  if (here < 0 || !in.seekg(0, std::ios::end)) {
    in.clear();
    return 0;
  }
  const auto end = in.tellg();
  in.seekg(here);
  return end > here ? static_cast<std::uint64_t>(end - here) : 0;
}

std::span<const std::uint8_t> MemoryBlocks::Next() {
  const std::size_t length = std::min(block_bytes, bytes.size() - position);
  const auto block = bytes.subspan(position, length);
  position += length;
  return block;
}

}  // namespace huffman
