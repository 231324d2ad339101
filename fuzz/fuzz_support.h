// Shared helpers of the fuzz targets: property checks that abort (libFuzzer
// then reports the input as a crash), byte-string printing and input
// slicing. Header-only, so each target stays one source file.
#ifndef KESTRIV_FUZZ_FUZZ_SUPPORT_H_
#define KESTRIV_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// The lead-byte ranges of code page 932, as SetDoubleByteInfo takes them.
inline const std::string& Cp932LeadRanges() {
  static const std::string ranges("\x81\x9f\xe0\xfc", 4);
  return ranges;
}

// `bytes` with printable ASCII kept and every other byte as \xNN, quoted.
inline std::string Escaped(const std::string& bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
      out += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out + "\"";
}

// Prints the failed property and what was seen, then aborts.
[[noreturn]] inline void FailProperty(const char* condition,
                                      const std::string& detail) {
  std::fprintf(stderr, "PROPERTY FAILED: %s\n  %s\n", condition,
               detail.c_str());
  std::abort();
}

// Checks a property; `detail` is only built when the check fails.
#define FUZZ_CHECK(condition, detail)                       \
  do {                                                      \
    if (!(condition)) FailProperty(#condition, (detail));   \
  } while (0)

// The fuzz input as a byte string.
inline std::string InputText(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// `text` cut at every `separator` byte; n separators give n + 1 pieces.
inline std::vector<std::string> SplitAt(const std::string& text,
                                        char separator) {
  std::vector<std::string> pieces(1);
  for (char c : text) {
    if (c == separator) {
      pieces.emplace_back();
    } else {
      pieces.back() += c;
    }
  }
  return pieces;
}

#endif  // KESTRIV_FUZZ_FUZZ_SUPPORT_H_
