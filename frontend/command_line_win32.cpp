#include <windows.h>

#include "frontend/command_line.h"
#include "services/text_encoding.h"
#include "services/wide_text_win32.h"

// The arguments are the words of the process's own command line, split by
// the tool's rules; the C runtime's argv follows other quoting rules and is
// not used. Texts made from UTF-16 take the line as the system holds it,
// so that a word in any script stays whole; otherwise it is the ANSI line.
TStringList CommandLineArguments(int, char**) {
  if (TextsFromUtf16()) {
    const wchar_t* wide = GetCommandLineW();
    return SplitCommandLine(wide != nullptr ? NarrowText(std::wstring(wide))
                                            : std::string());
  }
  const char* line = GetCommandLineA();
  return SplitCommandLine(line != nullptr ? line : "");
}

bool OptionIsAlsoADirectory(const std::string&) { return false; }
