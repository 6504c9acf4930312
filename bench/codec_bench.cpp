// Prints, for each file named on the command line, the speed of the
// program's codec and of the literal reference algorithms on the same data,
// all in MB/s of the original size (1 MB = 10^6 bytes), input in memory and
// output handed to a stream that only counts it (a separate run checks it).
// The codec runs on one thread ("1T") and on every available core ("NT").
//   census     counting the byte values (first pass of compression), 1 thread
//   compress   census + tree + encode, the whole compression, of a bare file
//              and of a checked file (its spans' checksums and trailer)
//   decompress the whole restore of each (a checked file's verified)
//   literal    the per-byte code lookup and the per-bit record walk, timed
//              on a prefix of the file (they are slow)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "codec/census.h"
#include "huffman/codec.h"
#include "literal_codec.h"
#include "memory_streams.h"

namespace {

using Clock = std::chrono::steady_clock;
using huffman::bench::CountingWriteBuf;
using huffman::bench::StringWriteBuf;

constexpr std::size_t k_literal_prefix = 2'000'000;
// Timings per figure, the best of which is printed.
constexpr int k_rounds = 9;

// Best of `runs` timings of `work`, in seconds.
double BestSeconds(int runs, const std::function<void()>& work) {
  double best = 1e30;
  for (int run = 0; run < runs; ++run) {
    const auto start = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

double MBps(std::size_t bytes, double seconds) { return static_cast<double>(bytes) / 1e6 / seconds; }

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

void Check(bool ok) {
  if (!ok) {
    std::fputs("codec failed\n", stderr);
    std::exit(1);
  }
}

// Runs `operation` on `codec` over `input`, in place in memory, into `out`.
template <typename Operation>
void Run(huffman::Codec& codec, Operation operation, const std::string& input, std::streambuf& out) {
  std::ostream stream(&out);
  huffman::MemorySource source(Bytes(input));
  Check(operation(codec, source, stream).status == huffman::CodecStatus::ok);
}

// The operations as the program runs them (a restore checks the file).
const auto k_compress = [](huffman::Codec& codec, huffman::Source& in, std::ostream& out) {
  return codec.Compress(in, out);
};
const auto k_compress_checked = [](huffman::Codec& codec, huffman::Source& in, std::ostream& out) {
  return codec.Compress(in, out, {}, {.checked = true});
};
const auto k_decompress = [](huffman::Codec& codec, huffman::Source& in, std::ostream& out) {
  return codec.Decompress(in, out);
};

}  // namespace

int main(int argc, char** argv) {
  // One codec of each thread count, each reused for every run, as the
  // program reuses its one codec for every file.
  huffman::Codec one_thread({.threads = 1});
  huffman::Codec every_core;
  std::printf("codec in memory, 1 thread (1T) and %u threads (NT), MB/s of the original\n", every_core.Threads());
  std::printf("%-8s %6s %6s | %6s | %6s %6s %6s %6s | %6s %6s %6s %6s | %7s %7s | %9s\n", "file", "MB", "ratio",
              "census", "comp1T", "compNT", "comp1T", "compNT", "deco1T", "decoNT", "deco1T", "decoNT", "literal",
              "literal", "speedup");
  std::printf("%-8s %6s %6s | %6s | %6s %6s %6s %6s | %6s %6s %6s %6s | %7s %7s | %9s\n", "", "", "", "", "bare",
              "bare", "chkd", "chkd", "bare", "bare", "chkd", "chkd", "comp.", "dec.", "1T comp/dec");
  for (int i = 1; i < argc; ++i) {
    std::ifstream file(argv[i], std::ios::binary);
    const std::string source((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(source.data());

    const double census_s = BestSeconds(k_rounds, [&] {
      huffman::Census census;
      census.Add({bytes, source.size()});
      Check(census.TotalBytes() == source.size());
    });
    // The compressed file, once it is known to restore the source.
    const auto compress_checking = [&source, &every_core](const auto& compress) {
      std::string compressed;
      std::string restored;
      StringWriteBuf keep_compressed(compressed);
      StringWriteBuf keep_restored(restored);
      Run(every_core, compress, source, keep_compressed);
      Run(every_core, k_decompress, compressed, keep_restored);
      Check(restored == source);
      return compressed;
    };
    const std::string compressed = compress_checking(k_compress);
    const std::string checked = compress_checking(k_compress_checked);
    Check(checked.size() >= compressed.size());
    CountingWriteBuf discard;
    // One thread and every core, bare and checked, in turn, round after
    // round, so that a busy spell on a shared machine slows all alike; the
    // best of each.
    double compress_s[2][2] = {{1e30, 1e30}, {1e30, 1e30}};
    double decompress_s[2][2] = {{1e30, 1e30}, {1e30, 1e30}};
    for (int round = 0; round < k_rounds; ++round) {
      for (const int all : {0, 1}) {
        huffman::Codec& codec = all != 0 ? every_core : one_thread;
        for (const int check : {0, 1}) {
          const std::string& coded = check != 0 ? checked : compressed;
          compress_s[check][all] = std::min(compress_s[check][all], BestSeconds(1, [&] {
                                              Run(codec, check != 0 ? k_compress_checked : k_compress, source, discard);
                                            }));
          decompress_s[check][all] =
              std::min(decompress_s[check][all], BestSeconds(1, [&] { Run(codec, k_decompress, coded, discard); }));
        }
      }
    }

    const std::string prefix = source.substr(0, k_literal_prefix);
    std::string literal_file;
    const double literal_compress_s =
        BestSeconds(1, [&] { literal_file = huffman::reference::LiteralCompress(prefix); });
    const double literal_decompress_s =
        BestSeconds(1, [&] { Check(huffman::reference::LiteralDecompress(literal_file) == prefix); });

    const double literal_compress = MBps(prefix.size(), literal_compress_s);
    const double literal_decompress = MBps(prefix.size(), literal_decompress_s);
    std::string name = argv[i];
    name = name.substr(name.find_last_of('/') + 1);
    const auto speed = [&](double seconds) { return MBps(source.size(), seconds); };
    std::printf(
        "%-8s %6.1f %6.3f | %6.0f | %6.0f %6.0f %6.0f %6.0f | %6.0f %6.0f %6.0f %6.0f | %7.1f %7.1f | %4.0fx/%.0fx\n",
        name.c_str(), static_cast<double>(source.size()) / 1e6,
        static_cast<double>(compressed.size()) / static_cast<double>(source.size()), speed(census_s),
        speed(compress_s[0][0]), speed(compress_s[0][1]), speed(compress_s[1][0]), speed(compress_s[1][1]),
        speed(decompress_s[0][0]), speed(decompress_s[0][1]), speed(decompress_s[1][0]), speed(decompress_s[1][1]),
        literal_compress, literal_decompress, speed(compress_s[0][0]) / literal_compress,
        speed(decompress_s[0][0]) / literal_decompress);
    std::fflush(stdout);
  }
}
