#include "services/messages.h"

// Outside the Unicode output encodings the Windows build writes its
// messages as code page 932 bytes, whatever the console's code page, as it
// always has.
MessageEncoding LocaleMessageEncoding() {
  return MessageEncoding::kCodePage932;
}
