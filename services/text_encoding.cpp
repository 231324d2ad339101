#include "services/text_encoding.h"

namespace {

// Fixed at start-up, before any text is read or written, and read-only
// afterwards.
OutputEncoding g_encoding = OutputEncoding::kPlatform;

}  // namespace

// A console shows every character it is given as UTF-16, so its code page
// matters only to what reads a redirected output: in cmd and PowerShell
// that reader decodes with the console's output code page.
OutputEncoding ChooseOutputEncoding(bool console,
                                    unsigned console_output_code_page,
                                    bool utf8_asked) {
  if (console) return OutputEncoding::kConsole;
  if (utf8_asked || console_output_code_page == kUtf8CodePage)
    return OutputEncoding::kUtf8;
  return OutputEncoding::kPlatform;
}

void SetOutputEncoding(OutputEncoding encoding) { g_encoding = encoding; }

OutputEncoding CurrentOutputEncoding() { return g_encoding; }
