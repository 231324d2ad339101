#include "services/wide_text_win32.h"

#include <windows.h>

#include "services/text_encoding.h"
#include "services/utf16.h"

// One call each way: a byte becomes at most one UTF-16 unit, and a unit at
// most two bytes of code page 932.
std::wstring WideText(const std::string& text) {
  if (TextsFromUtf16()) return Utf16OfUtf8<wchar_t>(text);
  if (text.empty()) return std::wstring();
  std::wstring wide(text.size(), L'\0');
  const int length = MultiByteToWideChar(
      kTextCodePage, 0, text.data(), static_cast<int>(text.size()), &wide[0],
      static_cast<int>(wide.size()));
  wide.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return wide;
}

// Without WC_NO_BEST_FIT_CHARS the platform would write "e" for "é" (and a
// like-looking character for many others), and the printed line would name
// a different entry.
std::string NarrowText(const wchar_t* text, size_t length) {
  if (TextsFromUtf16()) return Utf8OfUtf16(text, length);
  if (length == 0) return std::string();
  std::string narrow(length * 2, '\0');
  const int bytes = WideCharToMultiByte(
      kTextCodePage, WC_NO_BEST_FIT_CHARS, text, static_cast<int>(length),
      &narrow[0], static_cast<int>(narrow.size()), "?", nullptr);
  narrow.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
  return narrow;
}

std::string NarrowText(const std::wstring& text) {
  return NarrowText(text.data(), text.size());
}
