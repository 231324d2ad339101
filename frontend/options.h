// Handlers of the options that carry a value. Each takes the whole argument
// as typed ("/s10-20") and either records it in SearchSettings or writes its
// error line and halts with exit code 2.
#ifndef KESTRIV_FRONTEND_OPTIONS_H_
#define KESTRIV_FRONTEND_OPTIONS_H_

#include <string>

// /a{r|h|s|a|d} or /a-{...}: one required attribute state.
void ParseAttrOption(const std::string& arg);
// /sN, /s-M, /sN-M: size bounds in kilobytes.
void ParseSizeOption(const std::string& arg);
// /fYYMMDD, /f-yymmdd, /fYYMMDD-yymmdd: the modification period.
void ParsePeriodOption(const std::string& arg);
// "19" or "20" in front of a date text by its two-digit year; empty stays
// empty.
std::string ExpandCentury(const std::string& text);
// /dN (at least N days old) or /d-N (at most N days old).
void ParseAgeOption(const std::string& arg);
// /vs: print short path names.
void ParseViewOption(const std::string& arg);

#endif  // KESTRIV_FRONTEND_OPTIONS_H_
