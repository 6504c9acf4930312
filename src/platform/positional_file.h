// A file opened for reads at offsets of their own, from several threads at
// once (pread; ReadFile at an offset on Windows): a compression reads its
// source file so, on every core.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace huffman {

class PositionalFile {
 public:
  // Opens `name` (UTF-8) for reading.
  explicit PositionalFile(const std::string& name);
  ~PositionalFile();
  PositionalFile(const PositionalFile&) = delete;
  PositionalFile& operator=(const PositionalFile&) = delete;

  bool IsOpen() const;
  // The errno of a failed open; 0 if it opened.
  int Error() const { return error; }
  // The size the file has now; 0 if it cannot tell.
  std::uint64_t Size() const;
  // Closes it now (Windows removes no file that is open).
  void Close();

  // Reads into `into` from `offset` on: all of it, or less only where the
  // file ends.  The count read, or -1 with the errno in `error`.
  std::int64_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> into, int& error) const;
  // ReadAt as a function, as the codec takes it; empty when not open.
  std::function<std::int64_t(std::uint64_t, std::span<std::uint8_t>, int&)> Reader() const {
    if (!IsOpen()) return {};
    return
        [this](std::uint64_t offset, std::span<std::uint8_t> into, int& error) { return ReadAt(offset, into, error); };
  }

 private:
  // A descriptor on POSIX, a HANDLE on Windows; -1 when not open.
  std::intptr_t handle = -1;
  int error = 0;
};

}  // namespace huffman
