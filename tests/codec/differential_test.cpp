// The program's encoder and decoder against the literal algorithms: the
// per-byte code lookup and the per-bit record walk.  Both must agree byte for
// byte on every source and on every compressed file, broken ones included,
// at every thread count: the split of large blocks never shows in the output.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "codec/block_source.h"
#include "codec_test_support.h"
#include "literal_codec.h"

namespace huffman {
namespace {

using reference::LiteralCompress;
using reference::LiteralDecompress;
using testing::Compress;
using testing::FromHex;
using testing::RandomSource;
using testing::SameAtEveryThreadCount;

// Flips the bits of `mask` (1 to 255) in the byte at `at`.
void FlipBits(std::string& file, std::size_t at, std::uint64_t mask) {
  file[at] = static_cast<char>(static_cast<unsigned char>(file[at]) ^ mask);
}

TEST(DifferentialTest, EncoderMatchesPerByteLookup) {
  std::mt19937_64 rng(99);
  for (int trial = 0; trial < 300; ++trial) {
    const int alphabet = 1 + static_cast<int>(rng() % 256);
    const double skew = static_cast<double>(rng() % 80) / 10.0 - 4.0;
    const std::string source =
        RandomSource(rng, rng() % (trial % 20 == 0 ? 100000 : 2000), alphabet, skew, static_cast<int>(rng() % 256));
    const std::string compressed = LiteralCompress(source);
    ASSERT_TRUE(SameAtEveryThreadCount(Compress, source, compressed)) << "trial " << trial;
    // Every file the encoder writes restores exactly under the record walk.
    ASSERT_EQ(LiteralDecompress(compressed), source) << "trial " << trial;
  }
}

TEST(DifferentialTest, LargeSourcesCodedByPairsMatchPerByteLookup) {
  // From 1 MiB on, two bytes go per lookup; odd lengths leave a lone last
  // byte, and the skews give both short codes and codes past 14 bits.
  std::mt19937_64 rng(4);
  const struct {
    int alphabet;
    double skew;
  } kinds[] = {{256, 0.0}, {40, -2.5}, {200, -3.0}};
  for (const auto& kind : kinds) {
    const std::string source = RandomSource(rng, (1 << 20) + 1 + rng() % 1000 * 2, kind.alphabet, kind.skew);
    const std::string compressed = LiteralCompress(source);
    ASSERT_TRUE(SameAtEveryThreadCount(Compress, source, compressed)) << kind.alphabet << " " << kind.skew;
    ASSERT_TRUE(SameAtEveryThreadCount(testing::DecompressChecked, compressed, source));
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
        for (int flips = 0; flips < 3; ++flips) FlipBits(file, rng() % file.size(), 1 + rng() % 255);
        break;
      case 2:  // a kind other than leaf or inner
        file[1 + 3 * (rng() % static_cast<unsigned char>(file[0] == 0 ? 1 : file[0]))] =
            static_cast<char>(2 + rng() % 200);
        break;
      case 3:  // random bytes after a small count byte
        std::generate(file.begin(), file.end(), [&] { return static_cast<char>(rng()); });
        file[0] = static_cast<char>(rng() % 12);
        break;
      default:  // count byte changed
        file[0] = static_cast<char>(rng());
        break;
    }
    files.push_back(file);
  }
  files.push_back(FromHex("FF"));
  files.emplace_back();
  for (std::size_t i = 0; i < files.size(); ++i) {
    ASSERT_TRUE(SameAtEveryThreadCount(testing::DecompressWalk, files[i], LiteralDecompress(files[i]))) << "file " << i;
  }
}

TEST(DifferentialTest, DecoderMatchesRecordWalkOnLargeBrokenFiles) {
  // Payloads large enough for the window tables and for several read blocks,
  // so broken dictionaries are walked by the fast path and its state
  // crosses block boundaries, including states other than the root.
  std::mt19937_64 rng(77);
  for (int trial = 0; trial < 6; ++trial) {
    const std::string source = RandomSource(rng, 300'000 + rng() % 200'000, 20 + trial * 30, 1.5);
    std::string file = Compress(source);
    const std::size_t dictionary = 1 + 6 * static_cast<unsigned char>(file[0]);
    for (int flips = 0; flips <= trial; ++flips) {
      FlipBits(file, 1 + rng() % (dictionary - 1), 1 + rng() % 255);
    }
    ASSERT_TRUE(SameAtEveryThreadCount(testing::DecompressWalk, file, LiteralDecompress(file))) << "trial " << trial;
  }
  // Each 1 bit reaches c, and a 0 bit leads where the walk stays for good:
  // met mid-lane, away from any lane's first windows, the walk never comes
  // back to the root state before the block ends.
  const std::string dictionary = FromHex("02 00 61 00 01 07 01 00 62 00 00 63 01");
  std::string stuck = dictionary + std::string(300'000, '\xFF');
  stuck += '\x7F' + std::string(300'000, '\xFF');
  ASSERT_TRUE(SameAtEveryThreadCount(testing::DecompressWalk, stuck, std::string(2'400'000, 'c')));
  // One thread cuts a 200,000-byte payload into four lanes of 50,000 bytes,
  // which step alike through 1 bits: a 0 bit 1,000 bytes into each leaves
  // all four in the same round.
  std::string four_stuck = dictionary + std::string(200'000, '\xFF');
  for (std::size_t lane = 0; lane < 4; ++lane) four_stuck[dictionary.size() + lane * 50'000 + 1'000] = '\x7F';
  ASSERT_TRUE(SameAtEveryThreadCount(testing::DecompressWalk, four_stuck, std::string(8'000, 'c')));
}

TEST(DifferentialTest, LanesThatNeverFallIntoStepStillDecodeExactly) {
  // Eight equally frequent values get eight 3-bit codes, every three bits a
  // whole code: a lane started off a code boundary never falls into step,
  // so the lane before decodes its share itself.
  std::mt19937_64 rng(8);
  const std::string source = RandomSource(rng, 1'000'000, 8, 0.0, 'A');
  std::string file = Compress(source);
  ASSERT_EQ(static_cast<unsigned char>(file[0]), 7);  // seven records: a full tree of depth 3
  ASSERT_EQ(file.size(), 1 + 6 * 7 + 375'000u);
  ASSERT_TRUE(SameAtEveryThreadCount(testing::DecompressChecked, file, source));
  // Starting the payload one byte later shifts every lane start.
  file.erase(43, 1);
  ASSERT_TRUE(SameAtEveryThreadCount(testing::DecompressWalk, file, LiteralDecompress(file)));
}

TEST(DifferentialTest, JoinsThatWalkEveryCheckpointWindowStayInTheirRooms) {
  // Codes 0 (a), 11, 101, 1001, 10001 (e) and 10000: a run of zero bits is
  // a byte a bit, the densest output there is.  The payload is zero bits but
  // for one stretch at its middle, a cut at every even lane count: there the
  // true decode stands inside a code (the bit before the cut is a 1), and
  // over repeated 10001 it stands at the root at every bit but those the
  // guessing lane from the cut stands at, reaching four bytes to the
  // guess's one.  So the decode joining that lane walks all the guess's
  // checkpoint windows, writing a byte for almost every bit, and then meets
  // it at its last checkpoint, or passes them all.  The room of the lane
  // before holds a dense share and that walk: a room sized for less is
  // overrun (an assert in the debug build, an AddressSanitizer error), and
  // where the taken lane's room follows, its output is overwritten.
  const std::string dictionary = FromHex(
      "05 00 66 00 01 00 01 01 01 02 01 02 03 00 61 04"
      " 00 65 00 00 64 01 00 63 02 00 62 03 01 03 04");
  // One block, a payload just short of a power of two: the rooms, sized
  // for the next power of two, hold few bytes more than the shares.
  const std::size_t payload_bytes = k_decompress_block_bytes - dictionary.size();
  const std::size_t middle_bit = payload_bytes / 2 * 8;
  // 254 periods take 127 of the guess's windows, two codes each, and its
  // 128th and last checkpoint window meets the true decode; 400 run past all.
  for (const int periods : {254, 400}) {
    std::string payload(payload_bytes, '\0');
    const auto set_bit = [&payload](std::size_t bit) {
      char& byte = payload[bit / 8];
      byte = static_cast<char>(static_cast<unsigned char>(byte) | (0x80U >> bit % 8));
    };
    set_bit(middle_bit - 1);
    for (int period = 0; period < periods; ++period) {
      set_bit(middle_bit + 5 * period);
      set_bit(middle_bit + 5 * period + 4);
    }
    const std::string file = dictionary + payload;
    ASSERT_TRUE(SameAtEveryThreadCount(testing::DecompressWalk, file, LiteralDecompress(file))) << periods;
  }
}

}  // namespace
}  // namespace huffman
