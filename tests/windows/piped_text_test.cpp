// How a piped menu line becomes UTF-8 on Windows: valid UTF-8 as it is, any
// other line in the console's code page where it is valid there, and a line
// invalid in both left as it is for the menu to refuse. Run under Wine,
// whose code page tables are Windows' own.
#include <gtest/gtest.h>

#include <string>

#include "platform/piped_text_windows.h"

namespace huffman {
namespace {

TEST(PipedTextTest, ValidUtf8StaysAndOtherLinesAreReadInTheConsoleCodePage) {
  struct Case {
    const char* name;
    std::string piped;
    UINT code_page;
    std::string expected;
  };
  const Case cases[] = {
      // Each of these bytes is a letter in CP1250 too: UTF-8 is asked first.
      {"UTF-8 from a console in CP1250", "\xC5\xBC\xC3\xB3\xC5\x82w", 1250, "\xC5\xBC\xC3\xB3\xC5\x82w"},
      {"CP1250 (PowerShell 5.1)", "za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9", 1250,
       "za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 g\xC4\x99\xC5\x9Bl\xC4\x85"},
      {"CP852 (cmd's echo)", "\xBE\xA2\x88w\r", 852, "\xC5\xBC\xC3\xB3\xC5\x82w\r"},
      // The menu refuses a line with a NUL: the conversion must keep it.
      {"a NUL among CP1250 letters", std::string("\xBF\0\xF3", 3), 1250, std::string("\xC5\xBC\0\xC3\xB3", 5)},
      // Without a console the code page is the ANSI one, UTF-8 under the
      // manifest: the bytes are invalid in both, and stay for the refusal.
      {"invalid in UTF-8 and in the ANSI code page UTF-8", "\xBF\xF3\xB3w", CP_UTF8, "\xBF\xF3\xB3w"},
      {"a Shift-JIS lead byte with nothing after it", "a\x81", 932, "a\x81"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8FromPipedLine(c.piped, c.code_page), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace huffman
