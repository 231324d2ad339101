#include "services/text_encoding.h"

// No console to ask about: --utf8 alone makes the output UTF-8 (the
// messages; names are written as the bytes they are).
void InitOutputEncoding(bool utf8_asked) {
  SetOutputEncoding(ChooseOutputEncoding(false, 0, utf8_asked));
}

bool TextsFromUtf16() { return false; }
