// Text between the program's UTF-8 and the UTF-16 of Windows' wide API, for
// the Windows side of the platform services alone, and the paths handed to
// the system in the form that takes them past 260 characters. Invalid input converts
// with replacement characters rather than failing: a name that cannot be
// converted then names no file.
#pragma once

#ifndef HUFFMAN_PLATFORM_INTERNAL
#error "platform/utf16_windows.h is private to the platform layer: include its service's header"
#endif

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

// The UTF-16 path the system is handed for the UTF-8 file name `name`. One
// whose full path reaches MAX_PATH is handed over full, with the `\\?\`
// prefix (`\\?\UNC\` for a share): so the system takes up to 32767
// characters even where long paths are not enabled for the manifest's
// longPathAware. The prefix passes the path unparsed, so it is made full
// first (GetFullPathNameW turns `/` into `\` and resolves `.` and `..`);
// shorter paths go as given, and a device name (CON) stays a device.
inline std::wstring SystemPath(std::string_view name) {
  std::wstring wide = WideFromUtf8(name);
  if (wide.empty() || wide.starts_with(L"\\\\?\\")) return wide;
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed < MAX_PATH) return wide;  // also 0: the system refuses it as given
  std::wstring full(needed, L'\0');
  const DWORD size = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (size == 0 || size >= needed) return wide;
  full.resize(size);
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace huffman
