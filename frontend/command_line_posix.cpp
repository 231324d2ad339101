#include "frontend/command_line.h"

// The shell has already split the line: its words are the arguments.
TStringList CommandLineArguments(int argc, char** argv) {
  TStringList args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}
