// Text between the program's UTF-8 and the UTF-16 of Windows' wide API, for
// the Windows side of the platform services alone. Invalid input converts
// with replacement characters rather than failing: a name that cannot be
// converted then names no file.
#pragma once

#include <string>
#include <string_view>

#include <windows.h>

namespace huffman {

inline std::wstring WideFromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int wide_size = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), wide_size);
  return wide;
}

inline std::string Utf8FromWide(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int text_size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(text_size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), text_size, nullptr, nullptr);
  return text;
}

}  // namespace huffman
