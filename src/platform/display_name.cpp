#include "platform/display_name.h"

#include <cstddef>
#include <cstdint>

namespace huffman {
namespace {

// The C0 controls that have a letter of their own in an escape.
char LetterEscape(std::uint8_t byte) {
  switch (byte) {
    case '\a': return 'a';
    case '\b': return 'b';
    case '\t': return 't';
    case '\n': return 'n';
    case '\v': return 'v';
    case '\f': return 'f';
    case '\r': return 'r';
    default: return 0;
  }
}

void AppendEscaped(std::string& shown, std::uint8_t byte) {
  shown += '\\';
  if (char letter = LetterEscape(byte)) {
    shown += letter;
    return;
  }
  shown += static_cast<char>('0' + (byte >> 6));
  shown += static_cast<char>('0' + ((byte >> 3) & 7));
  shown += static_cast<char>('0' + (byte & 7));
}

bool IsContinuation(std::uint8_t byte) { return (byte & 0xC0) == 0x80; }

// The length of the valid UTF-8 sequence that starts at `at`, or 0 when the
// byte there starts none (a stray continuation byte, a lead byte never used,
// an overlong form, a surrogate, a code point above U+10FFFF, or a sequence
// cut short). The second byte's range is what rules out the overlong forms,
// the surrogates and the code points above U+10FFFF.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[at + i]); };
  const std::uint8_t lead = byte(0);
  std::size_t length = 0;
  std::uint8_t second_low = 0x80;
  std::uint8_t second_high = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) second_low = 0xA0;
    if (lead == 0xED) second_high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) second_low = 0x90;
    if (lead == 0xF4) second_high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  if (byte(1) < second_low || byte(1) > second_high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!IsContinuation(byte(i))) return 0;
  }
  return length;
}

// U+0080 to U+009F: C2 80 to C2 9F in UTF-8.
bool IsC1Control(std::string_view text, std::size_t at) {
  return static_cast<std::uint8_t>(text[at]) == 0xC2 && static_cast<std::uint8_t>(text[at + 1]) <= 0x9F;
}

}  // namespace

std::string DisplayName(std::string_view name) {
  std::string shown;
  shown.reserve(name.size());
  for (std::size_t at = 0; at < name.size();) {
    const auto lead = static_cast<std::uint8_t>(name[at]);
    const std::size_t length = Utf8Length(name, at);
    if (length == 0 || (length == 1 && (lead < 0x20 || lead == 0x7F))) {
      AppendEscaped(shown, lead);
      ++at;
    } else if (length == 2 && IsC1Control(name, at)) {
      AppendEscaped(shown, lead);
      AppendEscaped(shown, static_cast<std::uint8_t>(name[at + 1]));
      at += 2;
    } else {
      shown.append(name, at, length);
      at += length;
    }
  }
  return shown;
}

}  // namespace huffman
