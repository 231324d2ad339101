#include <langinfo.h>
#include <locale.h>

#include "services/dbcs.h"
#include "services/messages.h"

MessageEncoding LocaleMessageEncoding() {
  // The locale is looked at through a locale object of its own, so the
  // process locale (LC_CTYPE stays "C" for the rest of the tool) is never
  // changed. A locale that cannot be loaded counts as "C": UTF-8, as the
  // double-byte classification treats it as single-byte too.
  locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return MessageEncoding::kUtf8;
  const bool shift_jis = IsShiftJisCodeset(nl_langinfo_l(CODESET, locale));
  freelocale(locale);
  return shift_jis ? MessageEncoding::kCodePage932 : MessageEncoding::kUtf8;
}
