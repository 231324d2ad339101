// UTF-16, as the Windows file system stores names, and the UTF-8 texts the
// tool holds them in, converted without loss both ways. UTF-16 names may
// hold an unpaired surrogate, which UTF-8 cannot spell: it is kept as the
// three bytes its code unit would have on its own (ED A0 80 to ED BF BF),
// so that the text converts back to the very name. Output shows such a
// surrogate as U+FFFD. Pure functions.
#ifndef KESTRIV_SERVICES_UTF16_H_
#define KESTRIV_SERVICES_UTF16_H_

#include <cstddef>
#include <string>
#include <string_view>

// The UTF-8 text of `count` UTF-16 units; an unpaired surrogate as its own
// three bytes. `Unit` is char16_t or wchar_t.
template <typename Unit>
std::string Utf8OfUtf16(const Unit* units, size_t count);

// Decodes `text` into `out`, which has room for text.size() units (no
// character takes more units than bytes); returns the units written. A
// surrogate's three bytes give that surrogate; a byte that is not part of
// valid UTF-8 gives U+FFFD.
template <typename Unit>
size_t DecodeUtf8(std::string_view text, Unit* out);

// DecodeUtf8 of `text` as a string.
template <typename Unit>
std::basic_string<Unit> Utf16OfUtf8(std::string_view text);

// 3 when `text` begins with the three bytes of an unpaired surrogate, else 0.
size_t SurrogateBytesAt(std::string_view text);

// How many bytes at the end of `text` (0 to 3) begin a UTF-8 character
// that `text` stops in the middle of.
size_t UnfinishedUtf8Tail(std::string_view text);

#endif  // KESTRIV_SERVICES_UTF16_H_
