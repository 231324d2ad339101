#include <windows.h>

#include "frontend/command_line.h"

// The arguments are the words of the process's own command line, split by
// the tool's rules; the C runtime's argv follows other quoting rules and is
// not used.
TStringList CommandLineArguments(int, char**) {
  const char* line = GetCommandLineA();
  return SplitCommandLine(line != nullptr ? line : "");
}

bool OptionIsAlsoADirectory(const std::string&) { return false; }
