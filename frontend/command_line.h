// The program's arguments: the command-line words after the program path.
#ifndef KESTRIV_FRONTEND_COMMAND_LINE_H_
#define KESTRIV_FRONTEND_COMMAND_LINE_H_

#include <string>

#include "services/text.h"

// Splits one command-line text into words and drops the first (the program
// path). Quoted stretches join the unquoted ones around them; the list ends
// at the first empty word, so no argument is empty.
TStringList SplitCommandLine(const std::string& line);

// The arguments as this platform delivers them: the argv words on POSIX,
// the split process command line on Windows, in the run's texts (the
// UTF-16 line as UTF-8 in the Unicode output encodings, else the ANSI
// line).
TStringList CommandLineArguments(int argc, char** argv);

// True when the option argument `arg` is also the path of an existing
// directory: possible on POSIX, where absolute paths begin with "/" as
// options do; never on Windows, where "/" begins no path.
bool OptionIsAlsoADirectory(const std::string& arg);

#endif  // KESTRIV_FRONTEND_COMMAND_LINE_H_
