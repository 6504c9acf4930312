// Checked files: every decoder of the format restores them (the literal
// record walk of tests/reference included, and the restore span by span of
// a file read at offsets), their sync points start their spans, and a
// restore refuses every truncation, altered bit and concatenation, and a
// sync point inside a code, while a bare file that merely ends in bytes
// like a footer stays a bare file.  Bare files are byte for byte the
// literal encoder's (differential_test.cpp).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>

#include "codec/check_trailer.h"
#include "codec/format.h"
#include "codec/span_decoder.h"
#include "codec/walk_machine.h"
#include "codec_test_support.h"
#include "literal_codec.h"

namespace huffman {
namespace {

using reference::LiteralDecompress;
using testing::AsBytes;
using testing::Bytes;
using testing::CompressChecked;
using testing::Decompress;
using testing::RandomSource;
using testing::SameAtEveryThreadCount;
using testing::SharedCodec;
using testing::TestFile;

Trailer TrailerOf(const Bytes& file) {
  std::uint64_t body_bytes = 0;
  const std::optional<Trailer> trailer = ReadTrailer(AsBytes(file), body_bytes);
  EXPECT_TRUE(trailer.has_value());
  return trailer.value_or(Trailer{});
}

// Restores `file` read at offsets, as a regular file is: a checked one
// span by span, each span's payload read as it is taken.
Bytes RestoreAtOffsets(const Bytes& file, DecompressResult* result, Codec& codec) {
  testing::OffsetsOver source(file);
  std::ostringstream out;
  const DecompressResult r = codec.Decompress(source, out);
  if (result != nullptr) *result = r;
  return out.str();
}

// The same from memory read in place.
Bytes RestoreInPlace(const Bytes& file, DecompressResult* result = nullptr) {
  MemorySource source(AsBytes(file));
  std::ostringstream out;
  const DecompressResult r = SharedCodec().Decompress(source, out);
  if (result != nullptr) *result = r;
  return out.str();
}

// Every restore, checked and walked, one told the input's size ahead (as a
// progress display asks), and the restore and the test of the file read at
// offsets, refuse `file`.
::testing::AssertionResult Refused(const Bytes& file) {
  DecompressResult checked;
  DecompressResult walked;
  DecompressResult at_offsets;
  Decompress(file, &checked, true);
  Decompress(file, &walked, false);
  RestoreInPlace(file, &at_offsets);
  const TestResult tested = TestFile(file);
  MemorySource in_place(AsBytes(file));
  const TestResult tested_at_offsets = SharedCodec().Test(in_place);
  std::istringstream sized(file);
  StreamSource sized_source(sized);
  std::ostringstream restored;
  const DecompressResult piped = SharedCodec().Decompress(sized_source, restored, [](std::uint64_t, std::uint64_t) {});
  if (checked.status == CodecStatus::ok || tested.status == CodecStatus::ok || piped.status == CodecStatus::ok ||
      at_offsets.status == CodecStatus::ok || tested_at_offsets.status == CodecStatus::ok) {
    return ::testing::AssertionFailure() << "restored as whole";
  }
  if (walked.status == CodecStatus::ok && walked.checked) return ::testing::AssertionFailure() << "walk took it";
  return ::testing::AssertionSuccess();
}

// The summary of `file` read at offsets, as a regular file's are.
Summary SummaryOf(const Bytes& file) {
  MemorySource source(AsBytes(file));
  return SharedCodec().Summarize(source);
}

// A source of more than four spans, on several threads' blocks.
Bytes LargeSource() {
  std::mt19937_64 rng(5);
  return RandomSource(rng, 4 * k_span_bytes + 12345, 90, 1.5, 32);
}

// A source of 52 spans and a short one, more than a restore span by span
// holds at once (so its ring of spans wraps around), whose rarest values
// have codes longer than a root window.
const Bytes& ManySpans() {
  static const Bytes source = [] {
    std::mt19937_64 rng(6);
    return RandomSource(rng, 52 * k_span_bytes + 777, 200, 3.0, 20);
  }();
  return source;
}

TEST(CheckedFileTest, EveryDecoderRestoresCheckedFilesExactly) {
  std::mt19937_64 rng(3);
  Bytes all_but_one(255 * 3, '\0');
  for (std::size_t k = 0; k < all_but_one.size(); ++k) all_but_one[k] = static_cast<char>(k % 255);
  struct Case {
    const char* name;
    Bytes source;
    bool checked;
  };
  const Case cases[] = {
      {"empty: stays bare", "", false},
      {"one value", "aaaa", true},
      {"two values, bare padding needs the dead end", "aab", true},
      {"text", "the quick brown fox jumps over the lazy dog, twice: the quick brown fox", true},
      {"all but one byte value: the dead end names 255", all_but_one, true},
      {"all 256 values: stays bare", all_but_one + "\xFF", false},
      {"several spans", LargeSource(), true},
      {"more spans than a restore holds at once", ManySpans(), true},
  };
  for (const Case& c : cases) {
    CompressResult written;
    const Bytes file = CompressChecked(c.source, &written);
    ASSERT_EQ(written.checked, c.checked) << c.name;
    EXPECT_EQ(LiteralDecompress(file), c.source) << c.name;
    EXPECT_TRUE(SameAtEveryThreadCount(testing::DecompressChecked, file, c.source)) << c.name;
    EXPECT_TRUE(SameAtEveryThreadCount(RestoreAtOffsets, file, c.source)) << c.name;
    EXPECT_TRUE(SameAtEveryThreadCount(
        [](const Bytes& source, DecompressResult*, Codec& codec) { return CompressChecked(source, nullptr, codec); },
        c.source, file))
        << c.name;
    DecompressResult restored;
    Decompress(file, &restored, true);
    EXPECT_EQ(restored.status, CodecStatus::ok) << c.name;
    EXPECT_EQ(restored.checked, c.checked) << c.name;
    if (c.checked) {
      EXPECT_EQ(TrailerOf(file).length, c.source.size()) << c.name;
    }
    // The checksum of the source as coded is the restore's, bare files too.
    MemorySource source_in(AsBytes(c.source));
    std::ostringstream bare_out;
    const CompressResult bare = SharedCodec().Compress(source_in, bare_out, {}, {.source_checksum = true});
    const Bytes bare_file = bare_out.str();
    MemorySource bare_in(AsBytes(bare_file));
    std::ostringstream bare_restored;
    const DecompressResult bare_restore =
        SharedCodec().Decompress(bare_in, bare_restored, {}, {.restored_checksum = true});
    EXPECT_EQ(bare.source_checksum, written.source_checksum) << c.name;
    EXPECT_TRUE(bare_restore.restored_checksum_known && written.source_checksum_known) << c.name;
    EXPECT_EQ(bare_restore.restored_checksum, written.source_checksum) << c.name;
    if (c.checked) {
      EXPECT_EQ(restored.restored_checksum, written.source_checksum) << c.name;
    }
  }
}

// The payload of `file` (after a dictionary of `dictionary_bytes`) from bit
// `bit` on, as whole bytes.
Bytes PayloadFrom(const Bytes& file, std::size_t dictionary_bytes, std::uint64_t bit) {
  Bytes shifted;
  const std::size_t first = dictionary_bytes + bit / 8;
  const int shift = static_cast<int>(bit % 8);
  for (std::size_t k = first; k < file.size(); ++k) {
    const unsigned high = static_cast<unsigned char>(file[k]);
    const unsigned low = k + 1 < file.size() ? static_cast<unsigned char>(file[k + 1]) : 0;
    shifted.push_back(static_cast<char>(((high << 8 | low) << shift) >> 8));
  }
  return shifted;
}

TEST(CheckedFileTest, EachSyncPointStartsItsSpan) {
  const Bytes source = LargeSource();
  const Bytes file = CompressChecked(source);
  const Trailer trailer = TrailerOf(file);
  ASSERT_EQ(trailer.spans.size(), SpanCount(source.size()));
  const std::size_t dictionary_bytes = 1 + 6 * static_cast<std::size_t>(static_cast<unsigned char>(file[0]));
  for (std::size_t k = 0; k < trailer.spans.size(); ++k) {
    // The walk started at the sync point restores the source from the span on.
    const Bytes walked = LiteralDecompress(file.substr(0, dictionary_bytes) +
                                           PayloadFrom(file, dictionary_bytes, trailer.spans[k].bit_offset));
    EXPECT_EQ(walked.substr(0, 1000), source.substr(k * k_span_bytes, 1000)) << "span " << k;
  }
}

TEST(CheckedFileTest, EveryTruncationFlipAndConcatenationIsRefused) {
  const Bytes text = "It was the best of times, it was the worst of times, it was the age of wisdom.";
  const Bytes file = CompressChecked(text);
  // The empty prefix is the empty source's file, which holds nothing to check.
  std::string missed;
  for (std::size_t length = 1; length < file.size(); ++length) {
    if (!Refused(file.substr(0, length))) missed += " cut at " + std::to_string(length);
  }
  for (std::size_t bit = 0; bit < 8 * file.size(); ++bit) {
    Bytes flipped = file;
    flipped[bit / 8] = static_cast<char>(flipped[bit / 8] ^ (0x80 >> (bit % 8)));
    if (!Refused(flipped)) missed += " bit " + std::to_string(bit);
  }
  EXPECT_EQ(missed, "") << "of a file of " << file.size() << " bytes";
  EXPECT_TRUE(Refused(file + file));
  EXPECT_TRUE(Refused(file + CompressChecked("another file")));

  // A large file: truncations and flips across blocks, the trailer included.
  const Bytes large = CompressChecked(LargeSource());
  std::mt19937_64 rng(8);
  for (int trial = 0; trial < 40; ++trial) {
    const std::size_t at = trial < 8 ? large.size() - 1 - static_cast<std::size_t>(trial) * 37 : rng() % large.size();
    EXPECT_TRUE(Refused(large.substr(0, at))) << "cut at " << at;
    Bytes flipped = large;
    flipped[at] = static_cast<char>(flipped[at] ^ (1 << (rng() % 8)));
    EXPECT_TRUE(Refused(flipped)) << "flip at " << at;
  }
}

TEST(CheckedFileTest, DamageNamesTheFirstDamagedSpan) {
  const Bytes& source = ManySpans();
  Bytes file = CompressChecked(source);
  const Trailer trailer = TrailerOf(file);
  const std::size_t dictionary_bytes = 1 + 6 * static_cast<std::size_t>(static_cast<unsigned char>(file[0]));
  const std::uint64_t bit = (trailer.spans[26].bit_offset + trailer.spans[27].bit_offset) / 2;
  file[dictionary_bytes + bit / 8] = static_cast<char>(file[dictionary_bytes + bit / 8] ^ 0x10);
  struct Way {
    const char* name;
    Bytes (*restore)(const Bytes&, DecompressResult*);
  };
  const Way restores[] = {
      {"in order", [](const Bytes& f, DecompressResult* r) { return Decompress(f, r, true); }},
      {"span by span", [](const Bytes& f, DecompressResult* r) { return RestoreInPlace(f, r); }},
  };
  for (const Way& restore : restores) {
    DecompressResult restored;
    const Bytes out = restore.restore(file, &restored);
    EXPECT_EQ(restored.status, CodecStatus::damaged) << restore.name;
    EXPECT_EQ(restored.damage, Damage::content) << restore.name;
    EXPECT_EQ(restored.damaged_from, 26 * k_span_bytes) << restore.name;
    EXPECT_EQ(restored.damaged_to, 27 * k_span_bytes - 1) << restore.name;
  }
  // Span by span, every span before the damaged one is written, and
  // nothing of it or after it.
  const Bytes written = RestoreInPlace(file);
  EXPECT_EQ(written.size(), 26 * k_span_bytes);
  EXPECT_TRUE(source.compare(0, written.size(), written) == 0) << "what was written is not the source's start";
  // A file cut inside its codes lost its trailer.
  DecompressResult restored;
  Decompress(CompressChecked(source).substr(0, file.size() / 2), &restored, true);
  EXPECT_EQ(restored.damage, Damage::trailer);
}

// The restore in order reads no sync point, but the restore span by span
// starts each span at its own: a table that puts one inside a code (its
// trailer rebuilt, so that the footer's checksum holds) is refused there,
// naming the span whose codes do not end where the next one starts, and
// only the spans before it are written.
TEST(CheckedFileTest, ASyncPointInsideACodeIsRefused) {
  const Bytes& source = ManySpans();
  const Bytes file = CompressChecked(source);
  const Trailer trailer = TrailerOf(file);
  const std::size_t check_data_bytes = EncodeTrailer(trailer).size();
  const std::size_t last = trailer.spans.size() - 1;
  struct Case {
    const char* name;
    std::size_t span;  // whose sync point moves
    std::int64_t bits;
    std::size_t named;  // the span named damaged
  };
  const Case cases[] = {
      {"the first span starts after bit 0", 0, 1, 0},
      {"a span starts a bit late", 27, 1, 26},
      {"a span starts a bit early", 13, -1, 12},
      {"the last span starts past the codes", last, static_cast<std::int64_t>(trailer.payload_bits), last - 1},
  };
  for (const Case& c : cases) {
    Trailer moved = trailer;
    moved.spans[c.span].bit_offset += static_cast<std::uint64_t>(c.bits);
    const std::vector<std::uint8_t> check_data = EncodeTrailer(moved);
    const Bytes rebuilt = file.substr(0, file.size() - check_data_bytes) + Bytes(check_data.begin(), check_data.end());
    DecompressResult restored;
    const Bytes written = RestoreInPlace(rebuilt, &restored);
    EXPECT_EQ(restored.status, CodecStatus::damaged) << c.name;
    EXPECT_EQ(restored.damage, Damage::content) << c.name;
    EXPECT_EQ(restored.damaged_from, c.named * k_span_bytes) << c.name;
    EXPECT_TRUE(source.compare(0, written.size(), written) == 0) << c.name;
    EXPECT_EQ(written.size(), c.named * k_span_bytes) << c.name;
    MemorySource tested(AsBytes(rebuilt));
    EXPECT_EQ(SharedCodec().Test(tested).damaged_from, c.named * k_span_bytes) << c.name;
  }
}

// The decoder of spans on one thread, driven by a feed that admits span k
// only once the thread has waited k times with every lane held back, and
// refuses every span from the last on: each span admitted is decoded once,
// whole, into its place, after the lane that held it waited, and the
// refused span is never taken.
TEST(CheckedFileTest, SpansHeldBackDecodeOnceEachWhenAdmitted) {
  const Bytes source = LargeSource();
  const Bytes file = CompressChecked(source);
  const Trailer trailer = TrailerOf(file);
  DictionaryTable table;
  const std::size_t dictionary_bytes = ReadDictionary(AsBytes(file), table);
  const WalkMachine machine(table);
  const SpanDecoder decoder(machine, false);
  const std::span<const std::uint8_t> payload = AsBytes(file).subspan(dictionary_bytes);

  class ScriptedFeed final : public SpanDecoder::Feed {
   public:
    ScriptedFeed(const Trailer& trailer, std::span<const std::uint8_t> payload, std::size_t length)
        : trailer(trailer), payload(payload), out(length, '\0'), done(trailer.spans.size(), 0) {}
    SpanDecoder::Admission Admit(std::size_t task) override {
      if (task + 1 >= trailer.spans.size()) return SpanDecoder::Admission::never;
      return task < waits ? SpanDecoder::Admission::now : SpanDecoder::Admission::later;
    }
    SpanTask Take(std::size_t k, int) override {
      const std::uint64_t first = trailer.spans[k].bit_offset / 8;
      return {.payload = payload.subspan(first, (trailer.spans[k + 1].bit_offset + 7) / 8 - first),
              .first_bit = trailer.spans[k].bit_offset - first * 8,
              .end_bit = trailer.spans[k + 1].bit_offset - first * 8,
              .ends_at_sync_point = true,
              .out = reinterpret_cast<std::uint8_t*>(out.data()) + k * k_span_bytes,
              .bytes = k_span_bytes};
    }
    void Done(std::size_t k, const SpanOutcome& outcome) override {
      done[k] += outcome.whole && outcome.checksum == trailer.spans[k].checksum ? 1 : 100;
      admitted_after_wait &= k < waits;
    }
    void Between(bool waiting) override { waits += waiting ? 1 : 0; }

    const Trailer& trailer;
    std::span<const std::uint8_t> payload;
    Bytes out;
    std::vector<int> done;
    std::size_t waits = 0;
    bool admitted_after_wait = true;
  };
  ScriptedFeed feed(trailer, payload, source.size());
  std::atomic<std::size_t> next_task{0};
  decoder.Decode(trailer.spans.size(), next_task, feed);
  const std::size_t refused = trailer.spans.size() - 1;
  std::vector<int> once(trailer.spans.size(), 1);
  once[refused] = 0;
  EXPECT_EQ(feed.done, once) << "a span decoded twice, not at all, or not whole";
  EXPECT_GE(feed.waits, refused);
  EXPECT_TRUE(feed.admitted_after_wait);
  EXPECT_TRUE(feed.out.compare(0, refused * k_span_bytes, source, 0, refused * k_span_bytes) == 0);
}

TEST(CheckedFileTest, ABareFileEndingInFooterLikeBytesStaysBare) {
  // A bare file whose padding walks into the dead end, then a checked
  // file's trailer and footer: only the footer's checksum tells them apart.
  const Bytes bare = testing::Compress("aab");
  const Bytes checked = CompressChecked("aab");
  const std::size_t dictionary_bytes = 1 + 6 * static_cast<std::size_t>(static_cast<unsigned char>(checked[0]));
  const Bytes check_data = checked.substr(dictionary_bytes + (TrailerOf(checked).payload_bits + 7) / 8);
  Bytes wrong_sum = check_data;
  wrong_sum[wrong_sum.size() - k_footer_bytes + 8] ^= 1;
  DecompressResult walked;
  EXPECT_EQ(Decompress(bare + wrong_sum, &walked, false), "aab");
  EXPECT_EQ(walked.status, CodecStatus::ok);
  EXPECT_FALSE(walked.checked);
  DecompressResult strict;
  Decompress(bare + wrong_sum, &strict, true);
  EXPECT_EQ(strict.status, CodecStatus::not_compressed);
  EXPECT_EQ(strict.fault, FormatFault::trailing_bits);
  // With the checksum right, the footer is one: a checked file, damaged.
  Decompress(bare + check_data, &walked, false);
  EXPECT_EQ(walked.status, CodecStatus::damaged);
  EXPECT_EQ(walked.damage, Damage::dictionary);
}

TEST(CheckedFileTest, SummaryWithoutDecodingAgreesWithTheTest) {
  const Bytes source = LargeSource();
  const Bytes file = CompressChecked(source);
  const Summary summary = SummaryOf(file);
  const TestResult tested = TestFile(file);
  ASSERT_TRUE(summary.checked);
  EXPECT_EQ(summary.original_bytes, source.size());
  EXPECT_EQ(summary.compressed_bytes, file.size());
  EXPECT_EQ(summary.dictionary_bytes, tested.dictionary_bytes);
  EXPECT_EQ(summary.leaves, tested.leaves);
  ASSERT_EQ(summary.codes.size(), tested.codes.size());
  for (std::size_t k = 0; k < tested.codes.size(); ++k) EXPECT_EQ(summary.codes[k].bits, tested.codes[k].bits);
  const Bytes bare = testing::Compress(source);
  EXPECT_FALSE(SummaryOf(bare).checked);
  Bytes flipped = file;
  flipped[file.size() - k_footer_bytes - 3] ^= 1;
  EXPECT_FALSE(SummaryOf(flipped).checked);
}

}  // namespace
}  // namespace huffman
