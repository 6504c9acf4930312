#include "codec/check_trailer.h"

#include "codec/checksum.h"

namespace huffman {

namespace {

void Put64(std::vector<std::uint8_t>& out, std::uint64_t value) {
  for (int k = 0; k < 8; ++k) out.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
}

std::uint64_t Get(std::span<const std::uint8_t> bytes, std::size_t at, int count) {
  std::uint64_t value = 0;
  for (int k = count - 1; k >= 0; --k) value = value << 8 | bytes[at + static_cast<std::size_t>(k)];
  return value;
}

// The footer's checksum covers the body and every footer byte but its own:
// the body length before it, the version and magic after it.
std::uint64_t FooterChecksum(std::span<const std::uint8_t> body_and_footer) {
  const std::size_t sum_at = body_and_footer.size() - k_footer_bytes + 8;
  std::vector<std::uint8_t> covered(body_and_footer.begin(), body_and_footer.begin() + static_cast<long>(sum_at));
  covered.insert(covered.end(), body_and_footer.begin() + static_cast<long>(sum_at + 8), body_and_footer.end());
  return Checksum(covered);
}

}  // namespace

std::vector<std::uint8_t> EncodeTrailer(const Trailer& trailer) {
  std::vector<std::uint8_t> out;
  out.reserve(k_trailer_head_bytes + k_span_entry_bytes * trailer.spans.size() + k_footer_bytes);
  Put64(out, trailer.length);
  Put64(out, trailer.whole_checksum);
  Put64(out, trailer.span_bytes);
  Put64(out, trailer.payload_bits);
  Put64(out, trailer.dictionary_checksum);
  for (const SpanEntry& span : trailer.spans) {
    Put64(out, span.bit_offset);
    Put64(out, span.checksum);
  }
  const std::uint64_t body_bytes = out.size();
  Put64(out, body_bytes);
  Put64(out, 0);  // the checksum, once the bytes after it are in place
  Put32(out, k_trailer_version);
  Put64(out, k_footer_magic);
  const std::uint64_t sum = FooterChecksum(out);
  for (int k = 0; k < 8; ++k)
    out[body_bytes + 8 + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(sum >> (8 * k));
  return out;
}

std::optional<Trailer> ReadTrailer(std::span<const std::uint8_t> tail, std::uint64_t& body_bytes) {
  if (tail.size() < k_footer_bytes) return std::nullopt;
  const std::size_t footer = tail.size() - k_footer_bytes;
  if (Get(tail, footer + 20, 8) != k_footer_magic || Get(tail, footer + 16, 4) != k_trailer_version) {
    return std::nullopt;
  }
  body_bytes = Get(tail, footer, 8);
  if (body_bytes > k_max_trailer_body_bytes || body_bytes > footer || body_bytes < k_trailer_head_bytes ||
      (body_bytes - k_trailer_head_bytes) % k_span_entry_bytes != 0) {
    return std::nullopt;
  }
  const auto whole = tail.subspan(footer - static_cast<std::size_t>(body_bytes));
  if (FooterChecksum(whole) != Get(tail, footer + 8, 8)) return std::nullopt;
  Trailer trailer;
  trailer.length = Get(whole, 0, 8);
  trailer.whole_checksum = Get(whole, 8, 8);
  trailer.span_bytes = Get(whole, 16, 8);
  trailer.payload_bits = Get(whole, 24, 8);
  trailer.dictionary_checksum = Get(whole, 32, 8);
  const std::size_t entries = (static_cast<std::size_t>(body_bytes) - k_trailer_head_bytes) / k_span_entry_bytes;
  trailer.spans.resize(entries);
  for (std::size_t k = 0; k < entries; ++k) {
    const std::size_t at = k_trailer_head_bytes + k_span_entry_bytes * k;
    trailer.spans[k] = {Get(whole, at, 8), Get(whole, at + 8, 8)};
  }
  return trailer;
}

bool ConsistentTrailer(const Trailer& trailer) {
  return trailer.span_bytes == k_span_bytes && trailer.length > 0 && trailer.length <= k_max_checked_bytes &&
         trailer.spans.size() == SpanCount(trailer.length);
}

}  // namespace huffman
