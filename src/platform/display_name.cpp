#include "platform/display_name.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>

namespace huffman {
namespace {

// The C0 controls that have a letter of their own in an escape.
char LetterEscape(std::uint8_t byte) {
  switch (byte) {
    case '\a':
      return 'a';
    case '\b':
      return 'b';
    case '\t':
      return 't';
    case '\n':
      return 'n';
    case '\v':
      return 'v';
    case '\f':
      return 'f';
    case '\r':
      return 'r';
    default:
      return 0;
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

// U+2028, U+2029 (E2 80 A8, E2 80 A9), U+202A to U+202E (E2 80 AA to
// E2 80 AE) and U+2066 to U+2069 (E2 81 A6 to E2 81 A9): a line or paragraph
// break, or text after it drawn in another direction (a name's real suffix
// shown reversed), wherever the terminal takes them.
bool IsLayoutControl(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[at + i]); };
  if (byte(0) != 0xE2) return false;
  if (byte(1) == 0x80) return byte(2) >= 0xA8 && byte(2) <= 0xAE;
  return byte(1) == 0x81 && byte(2) >= 0xA6 && byte(2) <= 0xA9;
}

// The code point of the valid sequence of `length` bytes at `at`.
char32_t CodePoint(std::string_view text, std::size_t at, std::size_t length) {
  constexpr std::uint8_t k_lead_bits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t code = static_cast<std::uint8_t>(text[at]) & k_lead_bits[length];
  for (std::size_t i = 1; i < length; ++i) code = (code << 6) | (static_cast<std::uint8_t>(text[at + i]) & 0x3F);
  return code;
}

// The blocks a terminal draws two columns wide: Hangul jamo, the CJK blocks,
// Hangul syllables, fullwidth forms and the emoji blocks.
bool IsWide(char32_t code) {
  struct Range {
    char32_t first;
    char32_t last;
  };
  constexpr Range k_wide[] = {
      {0x1100, 0x115F}, {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
      {0xA000, 0xA4CF}, {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},
      {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
  };
  return std::any_of(std::begin(k_wide), std::end(k_wide),
                     [code](const Range& range) { return code >= range.first && code <= range.last; });
}

constexpr std::size_t k_tab_columns = 8;

// The column after the character of `length` bytes at `at` (0 when invalid),
// printed at `column`.
std::size_t ColumnAfter(std::string_view text, std::size_t at, std::size_t length, std::size_t column) {
  if (length == 1 && text[at] == '\t') return (column / k_tab_columns + 1) * k_tab_columns;
  if (length >= 3 && IsWide(CodePoint(text, at, length))) return column + 2;
  return column + 1;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8Length(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string_view LeadingCharacters(std::string_view text, std::size_t count) {
  std::size_t at = 0;
  for (; at < text.size() && count > 0; --count) at += std::max<std::size_t>(Utf8Length(text, at), 1);
  return text.substr(0, at);
}

std::size_t TextColumns(std::string_view text) {
  std::size_t column = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = std::max<std::size_t>(Utf8Length(text, at), 1);
    column = ColumnAfter(text, at, length, column);
    at += length;
  }
  return column;
}

std::string_view LeadingColumns(std::string_view text, std::size_t columns) {
  std::size_t column = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = std::max<std::size_t>(Utf8Length(text, at), 1);
    column = ColumnAfter(text, at, length, column);
    if (column > columns) break;
    at += length;
  }
  return text.substr(0, at);
}

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
    } else if (length == 3 && IsLayoutControl(name, at)) {
      for (std::size_t i = 0; i < length; ++i) AppendEscaped(shown, static_cast<std::uint8_t>(name[at + i]));
      at += length;
    } else {
      shown.append(name, at, length);
      at += length;
    }
  }
  return shown;
}

}  // namespace huffman
