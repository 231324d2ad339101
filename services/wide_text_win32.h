// The tool's texts and the platform's UTF-16 on Windows. The texts are code
// page 932 bytes, or UTF-8 in the Unicode output encodings
// (services/text_encoding.h); the conversions follow the run's encoding.
#ifndef KESTRIV_SERVICES_WIDE_TEXT_WIN32_H_
#define KESTRIV_SERVICES_WIDE_TEXT_WIN32_H_

#include <string>

// The code page of the tool's byte texts outside the Unicode encodings.
constexpr unsigned kTextCodePage = 932;

// A text of the tool as UTF-16.
std::wstring WideText(const std::string& text);

// UTF-16 as a text of the tool: as UTF-8, whole (an unpaired surrogate
// kept, services/utf16.h); as code page 932, each character the code page
// lacks as "?", never a look-alike.
std::string NarrowText(const wchar_t* text, size_t length);
std::string NarrowText(const std::wstring& text);

#endif  // KESTRIV_SERVICES_WIDE_TEXT_WIN32_H_
