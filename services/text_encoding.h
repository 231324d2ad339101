// The encoding of the run's output, chosen once at start-up: the platform's
// own text, UTF-8 bytes, or the Windows console's UTF-16. In the two
// Unicode ones the Windows build reads its command line and its names as
// UTF-16 and holds them as UTF-8 (services/utf16.h); otherwise its texts
// are code page 932 bytes. The POSIX build's names are bytes either way.
#ifndef KESTRIV_SERVICES_TEXT_ENCODING_H_
#define KESTRIV_SERVICES_TEXT_ENCODING_H_

enum class OutputEncoding {
  kPlatform,  // code page 932 bytes on Windows, the locale's on POSIX
  kUtf8,      // UTF-8 bytes
  kConsole,   // the Windows console, written as UTF-16
};

// The console code page of UTF-8.
constexpr unsigned kUtf8CodePage = 65001;

// What standard output gets: a console (`console`) its UTF-16 whatever its
// code page; a pipe or a file UTF-8 when it is asked for (`utf8_asked`) or
// when the console's output code page is UTF-8, else the platform's text.
OutputEncoding ChooseOutputEncoding(bool console,
                                    unsigned console_output_code_page,
                                    bool utf8_asked);

// Asks the platform about standard output and fixes the run's encoding;
// called once at start-up, before the arguments are read.
void InitOutputEncoding(bool utf8_asked);

// Fixes the run's encoding (InitOutputEncoding, and unit tests).
void SetOutputEncoding(OutputEncoding encoding);

// The run's encoding; kPlatform until one is fixed.
OutputEncoding CurrentOutputEncoding();

// True when the run's texts are UTF-8 made from the platform's UTF-16:
// the Windows build in the Unicode encodings. Never on POSIX.
bool TextsFromUtf16();

#endif  // KESTRIV_SERVICES_TEXT_ENCODING_H_
