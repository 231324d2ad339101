#include "frontend/command_line.h"

#include "services/file_system/file_system.h"

// The shell has already split the line: its words are the arguments.
TStringList CommandLineArguments(int argc, char** argv) {
  TStringList args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}

// Found as a search path would be: in any case, trailing dots and blanks
// dropped.
bool OptionIsAlsoADirectory(const std::string& arg) {
  return IsExistingDirectory(arg);
}
