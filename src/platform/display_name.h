// Names as they may be shown on a screen. A file name can hold any byte but
// '/' and NUL, so printing it raw lets it move the cursor, recolour the rest
// of the screen, retitle the terminal or draw a line of its own. DisplayName
// escapes what a terminal would act on, and invalid UTF-8, the way ls does
// (`\033`, `\n`, `\t`, other bytes as three octal digits); valid UTF-8 text,
// Polish letters included, stays as it is. Only shown names pass through it:
// files are always opened by their real names.
#pragma once

#include <string>
#include <string_view>

namespace huffman {

// Escapes the C0 controls (tab included), DEL, the C1 controls U+0080 to
// U+009F (both bytes of their UTF-8 form) and every byte that is not part of
// a valid UTF-8 sequence. A backslash is not escaped.
std::string DisplayName(std::string_view name);

}  // namespace huffman
