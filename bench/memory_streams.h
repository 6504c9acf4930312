// Streams over memory for the benchmark: the codec reads and writes through
// std::istream / std::ostream, and these keep the copying to one memcpy per
// block, so the figures are the codec's own.
#pragma once

#include <cstring>
#include <streambuf>
#include <string>

namespace huffman::bench {

// Reads a byte range in place; seekable, so compression can rewind it.
class MemoryReadBuf : public std::streambuf {
 public:
  MemoryReadBuf(const char* data, std::size_t size) {
    char* begin = const_cast<char*>(data);  // never written through
    setg(begin, begin, begin + size);
  }

 protected:
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override {
    const off_type base = dir == std::ios_base::beg ? 0 : dir == std::ios_base::cur ? gptr() - eback() : egptr() - eback();
    return seekpos(base + off, std::ios_base::in);
  }
  pos_type seekpos(pos_type pos, std::ios_base::openmode) override {
    if (pos < 0 || pos > egptr() - eback()) return pos_type(off_type(-1));
    setg(eback(), eback() + pos, egptr());
    return pos;
  }
};

// Appends to a string whose capacity the caller reserved up front.
class StringWriteBuf : public std::streambuf {
 public:
  explicit StringWriteBuf(std::string& out) : out(out) {}

 protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    out.append(s, static_cast<std::size_t>(n));
    return n;
  }
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) out.push_back(static_cast<char>(c));
    return traits_type::not_eof(c);
  }

 private:
  std::string& out;
};

}  // namespace huffman::bench
