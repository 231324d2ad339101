#include "services/dbcs.h"

#include <clocale>
#include <string>

#include <langinfo.h>

// Lead-byte ranges of code page 932, as lower/upper pairs.
static const char kCodePage932LeadRanges[] = "\x81\x9F\xE0\xFC";

void InitDoubleByteInfo() {
  // Only the user's locale tells whether text here is Shift_JIS. It is
  // consulted once and LC_CTYPE is put back to "C" at once, so that no
  // other part of the tool changes behaviour with the locale.
  std::string codeset;
  if (std::setlocale(LC_CTYPE, "") != nullptr) {
    const char* name = nl_langinfo(CODESET);
    // Copied before the locale changes again, which may reuse the buffer.
    if (name != nullptr) codeset = name;
  }
  std::setlocale(LC_CTYPE, "C");
  const bool shift_jis = IsShiftJisCodeset(codeset);
  SetDoubleByteInfo(shift_jis,
                    shift_jis ? std::string(kCodePage932LeadRanges, 4)
                              : std::string());
}
