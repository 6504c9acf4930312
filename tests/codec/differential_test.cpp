// The program's encoder and decoder against the literal algorithms: the
// per-byte code lookup and the per-bit record walk.  Both must agree byte for
// byte on every source and on every compressed file, broken ones included.
#include <gtest/gtest.h>

#include <random>

#include "codec_test_support.h"
#include "literal_codec.h"

namespace huffman {
namespace {

using reference::LiteralCompress;
using reference::LiteralDecompress;
using testing::Compress;
using testing::Decompress;
using testing::FromHex;
using testing::RandomSource;

TEST(DifferentialTest, EncoderMatchesPerByteLookup) {
  std::mt19937_64 rng(99);
  for (int trial = 0; trial < 300; ++trial) {
    const int alphabet = 1 + static_cast<int>(rng() % 256);
    const double skew = static_cast<double>(rng() % 80) / 10.0 - 4.0;
    const std::string source = RandomSource(rng, rng() % (trial % 20 == 0 ? 100000 : 2000), alphabet, skew,
                                            static_cast<int>(rng() % 256));
    const std::string compressed = Compress(source);
    ASSERT_EQ(compressed, LiteralCompress(source)) << "trial " << trial;
    // Every file the encoder writes restores exactly under the record walk.
    ASSERT_EQ(LiteralDecompress(compressed), source) << "trial " << trial;
  }
}

TEST(DifferentialTest, DecoderMatchesRecordWalkOnBrokenFiles) {
  std::mt19937_64 rng(1234);
  std::vector<std::string> files;
  for (int trial = 0; trial < 400; ++trial) {
    const std::string source = RandomSource(rng, 1 + rng() % 3000, 1 + static_cast<int>(rng() % 40), 1.0);
    std::string file = Compress(source);
    switch (trial % 5) {
      case 0:  // truncated anywhere, dictionary included
        file.resize(rng() % (file.size() + 1));
        break;
      case 1:  // a few bytes flipped
        for (int flips = 0; flips < 3; ++flips) file[rng() % file.size()] ^= static_cast<char>(1 + rng() % 255);
        break;
      case 2:  // a kind other than leaf or inner
        file[1 + 3 * (rng() % static_cast<unsigned char>(file[0] == 0 ? 1 : file[0]))] = static_cast<char>(2 + rng() % 200);
        break;
      case 3:  // random bytes after a small count byte
        for (auto& c : file) c = static_cast<char>(rng());
        file[0] = static_cast<char>(rng() % 12);
        break;
      default:  // count byte changed
        file[0] = static_cast<char>(rng());
        break;
    }
    files.push_back(file);
  }
  files.push_back(FromHex("FF"));
  files.push_back("");
  for (std::size_t i = 0; i < files.size(); ++i) {
    ASSERT_EQ(Decompress(files[i]), LiteralDecompress(files[i])) << "file " << i;
  }
}

}  // namespace
}  // namespace huffman
