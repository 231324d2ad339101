#include "frontend/run_driver.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "frontend/command_line.h"
#include "frontend/options.h"
#include "frontend/search_settings.h"
#include "kestriv_version.h"
#include "search/walker.h"
#include "services/file_system/file_system.h"
#include "services/messages.h"
#include "services/output.h"

namespace {

constexpr int32_t kMaxNameValue = 256;

// The line --version writes; the version comes from the build.
constexpr char kVersionLine[] = "kestriv " KESTRIV_VERSION;

void WriteLine(const std::string& text) {
  WriteText(text);
  WriteLineEnd();
  CheckOutput();
}

[[noreturn]] void FailWithLine(const std::string& line) {
  WriteLine(line);
  HaltWithCode(2);
}

[[noreturn]] void FailWith(MessageId message) {
  FailWithLine(MessageText(message));
}

void ClearNameMaskText() { SearchSettings.NameMaskText.clear(); }

void SetStartValues() {
  SearchSettings.ShortNames = false;
  SearchSettings.NameMaskText.clear();
  SearchSettings.Recursive = true;
  SearchSettings.PeriodFrom = 0;
  SearchSettings.PeriodTo = 0;
  SearchSettings.FoundCount = 0;
  SearchSettings.DirCount = 0;
}

void DispatchOption(const std::string& item) {
  // Taken as an option, "/root" would be /r and "/nix" the mask "ix": an
  // argument that could be either is refused, and the line tells how to
  // name the directory.
  if (OptionIsAlsoADirectory(item))
    FailWithLine(
        ReplaceAllText(MessageText(kMsgOptionIsDirectory), "%s", item));
  const std::string lower = AsciiLowerCase(item);
  switch (lower.size() >= 2 ? lower[1] : '\0') {
    case 'a': ParseAttrOption(item); break;
    case 'd': ParseAgeOption(item); break;
    case 'f': ParsePeriodOption(item); break;
    case 'n': ParseNameOption(item); break;
    case 'r': SearchSettings.Recursive = false; break;
    case 's': ParseSizeOption(item); break;
    case 'v': ParseViewOption(item); break;
    default: FailWith(kMsgBadOption);
  }
}

// The option of UTF-8 output, and the long options that take the next
// word as their value (which is then no option of its own).
constexpr char kUtf8Option[] = "--utf8";
const char* const kOptionsWithValueWord[] = {"--threads", "--exclude",
                                             "--max-depth"};

// "--utf8", or it with a value ("--utf8=x"), which is refused.
bool IsUtf8Option(const std::string& arg) {
  const size_t size = sizeof kUtf8Option - 1;
  return arg.compare(0, size, kUtf8Option) == 0 &&
         (arg.size() == size || arg[size] == '=');
}

// The most threads --threads takes.
constexpr size_t kMostThreads = 64;

// What the long options choose for the run besides the entry form.
struct RunChoices {
  size_t threads = 0;  // 0: the machine's default
};

// The number of --threads: 1 to kMostThreads, in decimal digits.
size_t ThreadsValue(const std::string& text) {
  size_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || value > kMostThreads) FailWith(kMsgBadThreadsOption);
    value = value * 10 + static_cast<size_t>(c - '0');
  }
  if (value < 1 || value > kMostThreads) FailWith(kMsgBadThreadsOption);
  return value;
}

// The number of --max-depth: 1 to 2^31 - 1, in at most 10 decimal digits.
int32_t MaxDepthValue(const std::string& text) {
  if (text.empty() || text.size() > 10) FailWith(kMsgBadMaxDepthOption);
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') FailWith(kMsgBadMaxDepthOption);
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > INT32_MAX) FailWith(kMsgBadMaxDepthOption);
  return static_cast<int32_t>(value);
}

// Adds the masks of one --exclude, split as the /n masks are; none, or an
// empty one, is refused.
void AddExcludeMasks(const std::string& text) {
  TStringList masks;
  SplitCommaText(masks, ReplaceAllText(text, ":", ","));
  if (masks.empty()) FailWith(kMsgBadExcludeOption);
  for (const std::string& mask : masks) {
    if (mask.empty()) FailWith(kMsgBadExcludeOption);
    SearchSettings.ExcludeMasks.Add(mask);
  }
}

// When `args[*at]` is the long option `name` with its value, as the next
// word or after "=", puts the value in `*value`, moving `*at` past it; a
// missing value fails with `bad`. False for any other word.
bool TakeValueOf(const std::string& name, MessageId bad,
                 const TStringList& args, size_t* at, std::string* value) {
  const std::string& arg = args[*at];
  if (arg == name) {
    if (*at + 1 >= args.size()) FailWith(bad);
    *value = args[++*at];
    return true;
  }
  if (arg.size() <= name.size() || arg[name.size()] != '=' ||
      arg.compare(0, name.size(), name) != 0)
    return false;
  *value = arg.substr(name.size() + 1);
  return true;
}

// Takes the long option at `args[*at]`, moving `*at` past a value it
// takes: "--help" and "--version" answer at once and end the run with 0;
// "--print0" and "--bare" choose the entry form, the last one given
// counting; "--threads N" the threads, "--exclude MASK" names to leave
// out, "--max-depth N" the deepest level (each also as "--name=value");
// "--utf8" was taken at start-up. False when it is none of them.
bool TakeLongOption(const TStringList& args, size_t* at, RunChoices* choices) {
  const std::string& arg = args[*at];
  std::string value;
  if (arg == "--help") {
    ShowUsage();
    ShowHelpLines();
    HaltWithCode(0);
  }
  if (arg == "--version") {
    WriteLine(kVersionLine);
    HaltWithCode(0);
  }
  if (arg == "--print0") {
    SetEntryForm(EntryForm::kNulEnded);
  } else if (arg == "--bare") {
    SetEntryForm(EntryForm::kBare);
  } else if (TakeValueOf("--threads", kMsgBadThreadsOption, args, at, &value)) {
    choices->threads = ThreadsValue(value);
  } else if (TakeValueOf("--exclude", kMsgBadExcludeOption, args, at, &value)) {
    AddExcludeMasks(value);
  } else if (TakeValueOf("--max-depth", kMsgBadMaxDepthOption, args, at,
                         &value)) {
    SearchSettings.MaxDepth = MaxDepthValue(value);
  } else if (IsUtf8Option(arg)) {
    // Chosen at start-up (AsksForUtf8); it takes no value.
    if (arg != kUtf8Option) FailWith(kMsgBadUtf8Option);
  } else {
    return false;
  }
  return true;
}

// A word that begins with "--" and is no long option is refused before
// anything is searched: taken as a path, a mistyped option would search a
// directory of that name and find nothing.
void RefuseUnknownLongOption(const std::string& arg) {
  if (arg.compare(0, 2, "--") == 0)
    FailWithLine(ReplaceAllText(MessageText(kMsgUnknownLongOption), "%s", arg));
}

// Sorts the words into option arguments and search paths. Up to a word
// "--", a word that begins with "/" is an option, the long options are
// taken and any other word that begins with "--" is refused. "--" itself
// ends the options: every later word is a search path, so an absolute
// POSIX path, or a directory whose name begins with "--", can be searched.
void SortArguments(const TStringList& args, TStringList* option_args,
                   TStringList* search_paths, RunChoices* choices) {
  bool options_ended = false;
  for (size_t at = 0; at < args.size(); ++at) {
    const std::string& arg = args[at];
    if (options_ended) {
      search_paths->push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (!TakeLongOption(args, &at, choices)) {
      RefuseUnknownLongOption(arg);
      (arg[0] == '/' ? option_args : search_paths)->push_back(arg);
    }
  }
}

void SearchEveryPair(const TStringList& search_paths,
                     const TStringList& name_masks, const RunChoices& choices) {
  // The run's directories share one session, released with the run.
  FileSystemSessionPtr session = NewFileSystemSession(
      search_paths.size() * name_masks.size() > 1,
      choices.threads != 0 ? choices.threads : DefaultThreadCount());
  const bool listing = CurrentEntryForm() == EntryForm::kListing;
  for (const std::string& path : search_paths) {
    const size_t mask_count = name_masks.size();
    for (size_t mask_index = 0; mask_index < mask_count; ++mask_index) {
      if (listing) WriteLine(ConcatTexts("/ ", path, " /"));
      SearchDirectory(path, name_masks[mask_index], session.get());
    }
  }
}

void WriteSummary() {
  WriteInteger(SearchSettings.FoundCount);
  WriteText(" files in ");
  WriteInteger(SearchSettings.DirCount);
  WriteText(" dirs.");
  FlushOutput();
  CheckOutput();
}

}  // namespace

void ShowUsage() {
  WriteLine("");
  WriteLine(MessageText(kMsgUsage1));
  WriteLine("");
  WriteLine(MessageText(kMsgUsage2));
  WriteLine(MessageText(kMsgUsage3));
  WriteLine(MessageText(kMsgUsage4));
  WriteLine(MessageText(kMsgUsage5));
  WriteLine(MessageText(kMsgUsage6));
}

void ShowHelpLines() {
  // The long options continue the screen's list of options.
  for (MessageId line :
       {kMsgHelpDoubleDash, kMsgHelpPrint0, kMsgHelpBare, kMsgHelpExclude,
        kMsgHelpMaxDepth, kMsgHelpThreads, kMsgHelpUtf8, kMsgHelpVersion})
    WriteLine(MessageText(line));
  WriteLine("");
  WriteLine(MessageText(kMsgHelpExitCodes));
}

// Read as SortArguments reads the words, without taking any.
bool AsksForUtf8(const TStringList& args) {
  for (size_t at = 0; at < args.size() && args[at] != "--"; ++at) {
    if (args[at] == kUtf8Option) return true;
    if (std::find(std::begin(kOptionsWithValueWord),
                  std::end(kOptionsWithValueWord),
                  args[at]) != std::end(kOptionsWithValueWord))
      ++at;  // its value, whatever it says
  }
  return false;
}

void ParseNameOption(const std::string& arg) {
  if (arg.size() <= 2) FailWith(kMsgBadNameOption);
  const std::string value = CopyText(arg, 3, kMaxNameValue);
  std::string& text = SearchSettings.NameMaskText;
  text = text.empty() ? value : ConcatTexts(text, ":", value);
}

void ParseOptions(const TStringList& option_args) {
  for (const std::string& item : option_args) DispatchOption(item);
  if (SearchSettings.NameMaskText.empty()) FailWith(kMsgNoNameMask);
}

void RunMain(const TStringList& args) {
  AddFinalisationStep(ClearNameMaskText);
  SetStartValues();
  if (args.empty()) {
    ShowUsage();
    HaltWithCode(2);
  }
  // The lists live in this block, so they are freed also when an exception
  // leaves the walks.
  {
    TStringList option_args, search_paths, name_masks;
    RunChoices choices;
    SortArguments(args, &option_args, &search_paths, &choices);
    if (search_paths.empty()) search_paths.push_back(CurrentDirectory());
    ParseOptions(option_args);
    SplitCommaText(name_masks,
                   ReplaceAllText(SearchSettings.NameMaskText, ":", ","));
    SearchEveryPair(search_paths, name_masks, choices);
  }
  // Scripts get the paths alone; the last write's failure still counts.
  if (CurrentEntryForm() == EntryForm::kListing) {
    WriteLine("");
    WriteSummary();
  }
  HaltWithCode(SearchSettings.FoundCount != 0 ? 0 : 1);
}
