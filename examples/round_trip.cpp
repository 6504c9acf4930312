// Compresses a buffer with the huffman codec library and restores it, through
// its one public header: a checked file, restored and verified, then the
// same bytes written bare.  Prints the sizes; exits 1 if a round trip does
// not give back the bytes it started from.
//
//   round_trip [FILE]    FILE's bytes, or a sample text without one
#include <huffman/codec.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Compresses `original` and restores it with `codec`; true if the restore
// gives the same bytes back.
bool RoundTrip(huffman::Codec& codec, const std::string& original, bool checked) {
  huffman::MemorySource source(Bytes(original));
  std::ostringstream compressed;
  const huffman::CompressResult packed = codec.Compress(source, compressed, {}, {.checked = checked});
  if (packed.status != huffman::CodecStatus::ok) {
    std::fprintf(stderr, "compression failed\n");
    return false;
  }
  const std::string file = compressed.str();
  huffman::MemorySource stored(Bytes(file));
  std::ostringstream restored;
  const huffman::DecompressResult unpacked = codec.Decompress(stored, restored);
  if (unpacked.status != huffman::CodecStatus::ok || restored.str() != original) {
    std::fprintf(stderr, "restore failed\n");
    return false;
  }
  std::printf("%s: %llu bytes -> %llu bytes (%d byte values), restored %llu bytes\n",
              packed.checked ? "checked" : "bare   ", static_cast<unsigned long long>(packed.source_bytes),
              static_cast<unsigned long long>(packed.compressed_bytes), packed.count_chars,
              static_cast<unsigned long long>(unpacked.restored_bytes));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string original;
  if (argc > 1) {
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot open %s\n", argv[1]);
      return 1;
    }
    original.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } else {
    for (int line = 0; line < 1000; ++line)
      original += "the quick brown fox jumps over the lazy dog " + std::to_string(line) + "\n";
  }
  // One codec for the whole run: its threads and buffers serve every file.
  huffman::Codec codec;
  const bool ok = RoundTrip(codec, original, true) && RoundTrip(codec, original, false);
  return ok ? 0 : 1;
}
