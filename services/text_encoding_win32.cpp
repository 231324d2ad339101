#include <windows.h>

#include "services/text_encoding.h"

// Standard output is a console when it has a console mode (the null device
// is a character device too, but has none). Without a console the output
// code page reads as 0.
void InitOutputEncoding(bool utf8_asked) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  const bool console = output != INVALID_HANDLE_VALUE && output != nullptr &&
                       GetConsoleMode(output, &mode) != 0;
  SetOutputEncoding(
      ChooseOutputEncoding(console, GetConsoleOutputCP(), utf8_asked));
}

bool TextsFromUtf16() {
  return CurrentOutputEncoding() != OutputEncoding::kPlatform;
}
