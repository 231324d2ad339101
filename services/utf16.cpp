#include "services/utf16.h"

#include "services/case_fold.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

void AppendUtf8(char32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | code >> 6));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | code >> 12));
    out->push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | code >> 18));
    out->push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// The length of the UTF-8 sequence a byte leads, 0 for a byte that leads
// none.
size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

}  // namespace

template <typename Unit>
std::string Utf8OfUtf16(const Unit* units, size_t count) {
  std::string out;
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const char32_t unit = static_cast<char32_t>(units[i]) & 0xFFFF;
    if (IsHighSurrogate(unit) && i + 1 < count) {
      const char32_t next = static_cast<char32_t>(units[i + 1]) & 0xFFFF;
      if (IsLowSurrogate(next)) {
        AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00), &out);
        ++i;
        continue;
      }
    }
    // An unpaired surrogate too: its three bytes bring it back.
    AppendUtf8(unit, &out);
  }
  return out;
}

// Valid UTF-8 is read by the one reading of names' characters
// (ReadChar), so that what decodes here is what the tool compares.
template <typename Unit>
size_t DecodeUtf8(std::string_view text, Unit* out) {
  size_t written = 0;
  for (size_t pos = 0; pos < text.size();) {
    const TextChar c = ReadChar(text, pos, CharReading::kUtf8);
    char32_t code = c.code;
    size_t length = c.length;
    if (code >= kLoneByteCodeBase) {
      const size_t surrogate = SurrogateBytesAt(text.substr(pos));
      code = surrogate != 0 ? (0xD000 | (text[pos + 1] & 0x3F) << 6 |
                               (text[pos + 2] & 0x3F))
                            : kReplacement;
      length = surrogate != 0 ? surrogate : 1;
    }
    if (code >= 0x10000) {
      out[written++] = static_cast<Unit>(0xD800 + ((code - 0x10000) >> 10));
      out[written++] = static_cast<Unit>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      out[written++] = static_cast<Unit>(code);
    }
    pos += length;
  }
  return written;
}

template <typename Unit>
std::basic_string<Unit> Utf16OfUtf8(std::string_view text) {
  std::basic_string<Unit> units(text.size(), Unit());
  units.resize(DecodeUtf8(text, &units[0]));
  return units;
}

size_t SurrogateBytesAt(std::string_view text) {
  if (text.size() < 3) return 0;
  const auto second = static_cast<unsigned char>(text[1]);
  return static_cast<unsigned char>(text[0]) == 0xED && second >= 0xA0 &&
                 second <= 0xBF &&
                 IsContinuation(static_cast<unsigned char>(text[2]))
             ? 3
             : 0;
}

size_t UnfinishedUtf8Tail(std::string_view text) {
  for (size_t back = 1; back <= 3 && back <= text.size(); ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    if (IsContinuation(byte)) continue;
    return SequenceLength(byte) > back ? back : 0;
  }
  return 0;
}

// Names are UTF-16 units: char16_t in portable code, wchar_t on Windows.
template std::string Utf8OfUtf16(const char16_t*, size_t);
template std::string Utf8OfUtf16(const wchar_t*, size_t);
template size_t DecodeUtf8(std::string_view, char16_t*);
template size_t DecodeUtf8(std::string_view, wchar_t*);
template std::u16string Utf16OfUtf8(std::string_view);
template std::wstring Utf16OfUtf8(std::string_view);
