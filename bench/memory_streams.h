// Output streams for the benchmark: one that keeps what the codec writes,
// for the runs that check it, and one that only counts it, for the timed
// runs, so the figures are the codec's own.
#pragma once

#include <cstdint>
#include <streambuf>
#include <string>

namespace huffman::bench {

// Appends to a string whose capacity the caller reserved up front.
class StringWriteBuf : public std::streambuf {
 public:
  explicit StringWriteBuf(std::string& target) : out(target) {}

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

// Takes every byte and keeps none: the codec has already written its output
// into its own buffer by the time it hands it over.
class CountingWriteBuf : public std::streambuf {
 public:
  std::uint64_t Count() const { return count; }

 protected:
  std::streamsize xsputn(const char*, std::streamsize n) override {
    count += static_cast<std::uint64_t>(n);
    return n;
  }
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) ++count;
    return traits_type::not_eof(c);
  }

 private:
  std::uint64_t count = 0;
};

}  // namespace huffman::bench
