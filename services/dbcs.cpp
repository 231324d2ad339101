#include "services/dbcs.h"

#include <array>

namespace {

// Fixed at start-up and read-only afterwards; the program is
// single-threaded, so plain globals are enough.
bool g_double_byte_mode = false;
std::array<bool, 256> g_lead_bytes{};

void AddLeadRange(unsigned char lower, unsigned char upper) {
  // An inverted pair adds nothing because the loop never runs.
  for (unsigned value = lower; value <= upper; ++value) {
    g_lead_bytes[value] = true;
  }
}

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  std::string::size_type i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return i == a.size() && b[i] == '\0';
}

}  // namespace

bool DoubleByteMode() { return g_double_byte_mode; }

bool IsLeadByte(unsigned char byte) { return g_lead_bytes[byte]; }

void SetDoubleByteInfo(bool double_byte_mode, const std::string& ranges) {
  g_double_byte_mode = double_byte_mode;
  g_lead_bytes.fill(false);
  if (!double_byte_mode) return;
  // The platform's list ends at a pair of zero bytes; a lone trailing byte
  // is not a pair and is ignored.
  for (std::string::size_type i = 0; i + 1 < ranges.size(); i += 2) {
    const auto lower = static_cast<unsigned char>(ranges[i]);
    const auto upper = static_cast<unsigned char>(ranges[i + 1]);
    if (lower == 0 && upper == 0) break;
    AddLeadRange(lower, upper);
  }
}

bool IsShiftJisCodeset(const std::string& name) {
  static const char* const kNames[] = {"SHIFT_JIS",   "SHIFT-JIS", "SJIS",
                                       "CP932",       "WINDOWS-31J",
                                       "MS932",       "MS_KANJI"};
  for (const char* candidate : kNames) {
    if (EqualsIgnoringCase(name, candidate)) return true;
  }
  return false;
}

ByteKindValue ByteKind(const std::string& text, size_t i) {
  // Position 0 and positions beyond the terminating NUL are not bytes of
  // the text; they are answered like the NUL instead of being read.
  if (!g_double_byte_mode || i == 0 || i > text.size()) {
    return ByteKindValue::SingleByte;
  }
  // A byte outside the lead set always ends a character, so the run of
  // lead-set bytes just before i decides: an odd run leaves its last byte
  // waiting for a second byte, which is the byte at i.
  size_t run = 0;
  for (size_t j = i - 1; j >= 1 && IsLeadByte(text[j - 1]); --j) ++run;
  if (run % 2 == 1) return ByteKindValue::TrailByte;
  return IsLeadByte(text[i - 1]) ? ByteKindValue::LeadByte
                                 : ByteKindValue::SingleByte;
}

size_t NextCharIndex(const std::string& text, size_t index) {
  if (index >= text.size()) return text.size();
  if (IsLeadByte(text[index]) && index + 1 < text.size()) return index + 2;
  return index + 1;
}
