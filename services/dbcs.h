// Double-byte text classification (code page 932): whether double-byte
// characters are in use and which bytes lead one. Fixed at start-up.
#ifndef KESTRIV_SERVICES_DBCS_H_
#define KESTRIV_SERVICES_DBCS_H_

#include <string>

enum class ByteKindValue { SingleByte, LeadByte, TrailByte };

// True when the platform's text uses double-byte characters.
bool DoubleByteMode();
// True when `byte` begins a double-byte character (always false when
// DoubleByteMode is false).
bool IsLeadByte(unsigned char byte);

// Sets the mode and the lead-byte ranges, given as pairs of lower and upper
// bytes; a pair whose upper byte is below its lower byte adds nothing. Used
// at start-up by the platform layer and directly by unit tests.
void SetDoubleByteInfo(bool double_byte_mode, const std::string& ranges);

// True when the locale codeset `name` is a Shift_JIS (code page 932)
// spelling, compared without regard to letter case.
bool IsShiftJisCodeset(const std::string& name);

// Reads the platform's double-byte setting and stores it with
// SetDoubleByteInfo. Called once at start-up.
void InitDoubleByteInfo();

// Kind of the byte at 1-based position `i` of `text`; the position one past
// the last byte (the terminating NUL) is SingleByte.
ByteKindValue ByteKind(const std::string& text, size_t i);

// Position just after the character that starts at 0-based `index`: a lead
// byte takes the byte after it, except at the end of the text.
size_t NextCharIndex(const std::string& text, size_t index);

#endif  // KESTRIV_SERVICES_DBCS_H_
