#include "frontend/options.h"

#include <exception>

#include "frontend/search_settings.h"
#include "services/dates.h"
#include "services/exceptions.h"
#include "services/messages.h"
#include "services/output.h"
#include "services/text.h"

namespace {

// The internal signal of a value that converted but is not usable; it is
// always caught by the handler that raised it and never shown.
const char kAbnormalOption[] = "Abnormal Option";

// Writes the handler's one error line and ends the run with exit code 2.
// A failed write raises EInOutError from the check instead, which leaves the
// handler and ends the run through the report with exit code 1.
[[noreturn]] void RejectOption(MessageId message) {
  WriteText(MessageText(message));
  WriteLineEnd();
  CheckOutput();
  HaltWithCode(2);
}

// Runs `step` and tells whether it finished without raising. Every
// exception the tool can raise derives from Exception or std::exception
// (std::bad_alloc included); the test harness's halt signal derives from
// neither and must pass through, so there is no catch (...).
template <typename Step>
bool RunProtected(Step step) {
  try {
    step();
    return true;
  } catch (const Exception&) {
  } catch (const std::exception&) {
  }
  return false;
}

// The text from 1-based `start` to the end.
std::string TextFrom(const std::string& text, int32_t start) {
  return CopyText(text, start, static_cast<int32_t>(text.size()));
}

// A kilobyte count as a byte bound, in 64 bits so that 4 GiB and more
// neither wrap to 0 nor turn negative.
int64_t KilobytesToBytes(int32_t kilobytes) {
  return static_cast<int64_t>(kilobytes) * 1024;
}

// The size steps; raises "Abnormal Option" when no bound is set.
void ApplySizeOption(const std::string& arg) {
  int32_t pos = FindText("-", arg);
  // Only the value counts; whether the whole text was a number does not.
  int32_t upper = pos > 0 ? TextToIntPrefix(TextFrom(arg, pos + 1)).value : 0;
  int32_t lower = pos != 3 ? TextToIntPrefix(TextFrom(arg, 3)).value : 0;
  // A zero value leaves its bound as an earlier /s set it.
  if (upper != 0) SearchSettings.MaxSize = KilobytesToBytes(upper);
  if (lower != 0) SearchSettings.MinSize = KilobytesToBytes(lower);
  if (SearchSettings.MaxSize == 0 && SearchSettings.MinSize == 0)
    throw Exception(kAbnormalOption);
  SearchSettings.FilterMask |= kFilterSize;
}

// "YY/MM/DD" from the six characters at `start`; short arguments give
// shorter or empty fields, but both "/" are always there.
std::string DateTextAt(const std::string& arg, int32_t start) {
  return ConcatTexts(CopyText(arg, start, 2), "/", CopyText(arg, start + 2, 2),
                     "/", CopyText(arg, start + 4, 2));
}

// The start and end date texts of /fYYMMDD, /f-yymmdd or /fYYMMDD-yymmdd.
// A "-" anywhere else stays inside the start text, which then fails to
// convert, or lies beyond it and is ignored.
void SplitPeriodTexts(const std::string& arg, std::string* from_text,
                      std::string* to_text) {
  int32_t pos = FindText("-", arg);
  if (pos != 3) *from_text = DateTextAt(arg, 3);
  if (pos == 3) *to_text = DateTextAt(arg, 4);
  if (pos == 9) *to_text = DateTextAt(arg, 10);
}

// The period bounds from the expanded date texts; raises EConvertError for
// a text that is not a date.
void ApplyPeriodBounds(const std::string& from_text,
                       const std::string& to_text) {
  if (!from_text.empty())
    SearchSettings.PeriodFrom =
        static_cast<uint32_t>(SerialToDos(TextToDate(from_text)));
  // The end date is inclusive: the bound is 00:00 of the next day.
  if (!to_text.empty())
    SearchSettings.PeriodTo =
        static_cast<uint32_t>(SerialToDos(TextToDate(to_text) + 1.0));
}

// The age steps; raises EConvertError for a count that is not an integer
// and "Abnormal Option" unless exactly one of the two limits is set.
void ApplyAgeOption(const std::string& arg) {
  int32_t pos = FindText("-", arg);
  if (pos == 3)
    SearchSettings.MaxAgeDays = TextToInt(TextFrom(arg, 4));
  else if (pos == 0)
    SearchSettings.MinAgeDays = TextToInt(TextFrom(arg, 3));
  bool max_set = SearchSettings.MaxAgeDays != 0;
  bool min_set = SearchSettings.MinAgeDays != 0;
  if (max_set == min_set) throw Exception(kAbnormalOption);
  SearchSettings.FilterMask |= kFilterAge;
}

}  // namespace

// The attribute letters of /a: the field that takes the required state and
// the filter bit that turns its test on.
struct AttributeLetter {
  char letter;
  bool SearchSettingsData::*field;
  uint8_t filter_bit;
};

constexpr AttributeLetter kAttributeLetters[] = {
    {'a', &SearchSettingsData::WantArchive, kFilterArchive},
    {'d', &SearchSettingsData::WantDirectory, kFilterDirectory},
    {'h', &SearchSettingsData::WantHidden, kFilterHidden},
    {'r', &SearchSettingsData::WantReadOnly, kFilterReadOnly},
    {'s', &SearchSettingsData::WantSystem, kFilterSystem},
};

void ParseAttrOption(const std::string& arg) {
  std::string lowered = AsciiLowerCase(arg);
  bool negated = CopyText(lowered, 3, 1) == "-";
  std::string letter = CopyText(lowered, negated ? 4 : 3, 1);
  // Only this one letter is read; anything after it is ignored.
  for (const AttributeLetter& known : kAttributeLetters) {
    if (letter.size() == 1 && letter[0] == known.letter) {
      SearchSettings.*known.field = !negated;
      SearchSettings.FilterMask |= known.filter_bit;
      return;
    }
  }
  RejectOption(kMsgBadAttrOption);
}

void ParseSizeOption(const std::string& arg) {
  // The error line is written outside the protected steps, so that a failed
  // write of it is not caught here again.
  if (!RunProtected([&] { ApplySizeOption(arg); }))
    RejectOption(kMsgBadSizeOption);
}

void ParsePeriodOption(const std::string& arg) {
  std::string from_text;
  std::string to_text;
  if (!RunProtected([&] { SplitPeriodTexts(arg, &from_text, &to_text); }))
    RejectOption(kMsgBadPeriodOption);
  // Outside the protected steps: ExpandCentury writes the same line itself,
  // and a failed write of it must not be caught here.
  from_text = ExpandCentury(from_text);
  to_text = ExpandCentury(to_text);
  if (!RunProtected([&] { ApplyPeriodBounds(from_text, to_text); }))
    RejectOption(kMsgBadPeriodOption);
  SearchSettings.FilterMask |= kFilterPeriod;
}

std::string ExpandCentury(const std::string& text) {
  if (text.empty()) return text;
  int32_t year = 0;
  if (!RunProtected([&] { year = TextToInt(CopyText(text, 1, 2)); }))
    RejectOption(kMsgBadPeriodOption);
  // Two-digit years 80-99 are 1980-1999; 00-79 are 2000-2079.
  return ConcatTexts(year >= 80 ? "19" : "20", text);
}

void ParseAgeOption(const std::string& arg) {
  if (!RunProtected([&] { ApplyAgeOption(arg); }))
    RejectOption(kMsgBadAgeOption);
}

void ParseViewOption(const std::string& arg) {
  std::string lowered = AsciiLowerCase(arg);
  // Characters after the "s" are ignored.
  if (CopyText(lowered, 3, 1) == "s") {
    SearchSettings.ShortNames = true;
    return;
  }
  RejectOption(kMsgBadViewOption);
}
