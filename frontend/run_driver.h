// The main routine: usage screen, sorting and dispatching the arguments,
// one walk per search path and name mask, the summary and the exit code.
#ifndef KESTRIV_FRONTEND_RUN_DRIVER_H_
#define KESTRIV_FRONTEND_RUN_DRIVER_H_

#include <string>

#include "services/text.h"

// Runs the whole tool on `args` (the words after the program path) and
// halts with 0 (found), 1 (nothing found) or 2 (usage or option error).
// Before a word "--", "--help" writes the usage screen and the help lines
// and "--version" the version line, each ending the run with 0;
// "--print0" and "--bare" print the selected paths alone; "--exclude" and
// "--max-depth" leave names and levels out of the walks; "--utf8" was taken
// at start-up; another word that begins with "--" is refused; words after
// "--" are all search paths.
[[noreturn]] void RunMain(const TStringList& args);

// True when `args` ask for UTF-8 output: a word "--utf8" before any word
// "--", and not the value of an option that takes the next word. Read at
// start-up, before the run's encoding is fixed.
bool AsksForUtf8(const TStringList& args);

// Writes the usage screen.
void ShowUsage();
// Writes the lines --help adds below the usage screen: the long options
// and the exit codes.
void ShowHelpLines();

// Dispatches every option argument by its letter, in order; returns only
// when all were accepted and at least one name mask was given.
void ParseOptions(const TStringList& option_args);

// Handles one /n argument: appends its value (at most 256 bytes) to
// SearchSettings.NameMaskText, joined with ":".
void ParseNameOption(const std::string& arg);

#endif  // KESTRIV_FRONTEND_RUN_DRIVER_H_
