// Text as it may be shown on a screen. A file name can hold any byte but '/'
// and NUL, so printed raw it could move the cursor, recolour the screen, draw
// a line of its own or show its end reversed: DisplayName escapes what a
// terminal would act on, and invalid UTF-8, as ls does; only shown names pass
// through it, files are opened by their real names. Beside it, what cutting
// text for the screen needs: valid UTF-8, whole characters, columns.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace huffman {

// Escapes the C0 controls (tab included), DEL, the C1 controls U+0080 to
// U+009F, the line and paragraph separators U+2028 and U+2029, the
// bidirectional controls U+202A to U+202E and U+2066 to U+2069, and every
// byte that is not part of a valid UTF-8 sequence: each byte of them as
// `\` and three octal digits, or a letter where C has one (`\n`, `\t`).
// A backslash is not escaped.
std::string DisplayName(std::string_view name);

// Whether all of `text` is valid UTF-8 (NUL counts as a character here).
bool IsValidUtf8(std::string_view text);

// The start of `text` that holds its first `count` characters: a valid UTF-8
// sequence is one character, any other byte one too, so the cut never falls
// inside a sequence.
std::string_view LeadingCharacters(std::string_view text, std::size_t count);

// The columns a terminal gives `text` printed from the start of a line: a
// tab moves on to the next multiple of eight, East Asian wide characters and
// emoji take two, every other character (or stray byte) one.
std::size_t TextColumns(std::string_view text);

// The longest start of `text` that takes at most `columns` columns, cut
// between whole characters.
std::string_view LeadingColumns(std::string_view text, std::size_t columns);

}  // namespace huffman
