// Standard streams over an open file descriptor, for what the command line
// reads and writes outside named files: standard input and output, and the
// unnamed spill file. Large reads and writes go straight between the caller's
// buffer and the descriptor (the codec moves blocks of a MiB), small ones
// through a buffer of its own. Seeking works when the descriptor can seek.
#pragma once

#include <istream>
#include <memory>
#include <ostream>
#include <streambuf>

namespace huffman {

class FdStreamBuf final : public std::streambuf {
 public:
  explicit FdStreamBuf(int descriptor);
  ~FdStreamBuf() override;
  FdStreamBuf(const FdStreamBuf&) = delete;
  FdStreamBuf& operator=(const FdStreamBuf&) = delete;

  // The errno of the last failed read or write, 0 if none failed.
  int Error() const { return error; }

 protected:
  int_type underflow() override;
  std::streamsize xsgetn(char* bytes, std::streamsize count) override;
  int_type overflow(int_type byte) override;
  std::streamsize xsputn(const char* bytes, std::streamsize count) override;
  int sync() override;
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode which) override;
  pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

 private:
  bool WriteAll(const char* bytes, std::size_t count);
  std::streamsize ReadSome(char* bytes, std::size_t count);

  int fd;
  int error = 0;
  // Not zero-filled: only the pages a stream uses are ever touched.
  std::unique_ptr<char[]> get_buffer;
  std::unique_ptr<char[]> put_buffer;
};

// An input and an output stream on one descriptor, which they do not own.
class FdInputStream final : public std::istream {
 public:
  explicit FdInputStream(int fd) : std::istream(nullptr), buffer(fd) { rdbuf(&buffer); }
  int Error() const { return buffer.Error(); }

 private:
  FdStreamBuf buffer;
};

class FdOutputStream final : public std::ostream {
 public:
  explicit FdOutputStream(int fd) : std::ostream(nullptr), buffer(fd) { rdbuf(&buffer); }
  int Error() const { return buffer.Error(); }

 private:
  FdStreamBuf buffer;
};

}  // namespace huffman
