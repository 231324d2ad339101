// Fuzz target: the whole option pass on an arbitrary argument list, then
// the name-mask split, as the run driver does them.
//
// Input: byte 0 holds flags (bit 0: double-byte mode with the code page 932
// lead bytes); the rest is the argument list, the arguments separated by
// NUL bytes (no command-line argument can hold one).
//
// A halt is made observable by the captured output channel: it arrives as
// HaltForTesting. Either the pass halts with exit code 2 after writing
// exactly one of the option error lines, or it returns having written
// nothing, with a name mask given and the settings consistent. No other
// exception may leave it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "frontend/run_driver.h"
#include "frontend/search_settings.h"
#include "fuzz/fuzz_support.h"
#include "services/dates.h"
#include "services/dbcs.h"
#include "services/exceptions.h"
#include "services/messages.h"
#include "services/output_capture.h"
#include "services/text.h"

namespace {

// A fixed clock, so that every run of an input takes the same path.
CalendarTime FixedClock() { return CalendarTime{2026, 3, 15, 10, 20, 30, 400}; }

std::string Described(const TStringList& args) {
  std::string all;
  for (const std::string& arg : args) all += Escaped(arg) + " ";
  return all;
}

// The lines an option error may write, each followed by CR LF.
// One of the fixed error lines, or the line for an argument that also
// names a directory.
bool IsOptionErrorLine(const std::string& bytes, const TStringList& args) {
  static const MessageId kLines[] = {
      kMsgBadOption,      kMsgBadNameOption,   kMsgNoNameMask,
      kMsgBadAttrOption,  kMsgBadSizeOption,   kMsgBadPeriodOption,
      kMsgBadAgeOption,   kMsgBadViewOption};
  for (MessageId line : kLines) {
    if (bytes == std::string(MessageText(line)) + "\r\n") return true;
  }
  for (const std::string& arg : args) {
    if (bytes == ReplaceAllText(MessageText(kMsgOptionIsDirectory), "%s",
                                arg) + "\r\n")
      return true;
  }
  return false;
}

bool IsSeparatorByte(unsigned char c) {
  return (c >= 0x01 && c <= 0x20) || c == ',' || c == ':';
}

// No character of a mask starts with a separator or a colon (a trail byte
// may be any byte, so the mask is walked by characters).
bool MaskHasNoSeparator(const std::string& mask) {
  for (size_t i = 0; i < mask.size(); i = NextCharIndex(mask, i)) {
    if (IsSeparatorByte(static_cast<unsigned char>(mask[i]))) return false;
  }
  return true;
}

bool IsValidPackedDate(uint32_t packed) {
  try {
    DosToSerial(static_cast<DosDateTime>(packed));
    return true;
  } catch (const EConvertError&) {
    return false;
  }
}

// What must hold when the pass returned.
void CheckAccepted(const TStringList& args) {
  const SearchSettingsData& s = SearchSettings;
  const std::string context = "args " + Described(args);
  FUZZ_CHECK(CapturedOutput::Bytes().empty(),
             context + " wrote " + Escaped(CapturedOutput::Bytes()));
  FUZZ_CHECK(!s.NameMaskText.empty(), context);
  TStringList masks = {"stale item"};
  SplitCommaText(masks, ReplaceAllText(s.NameMaskText, ":", ","));
  for (const std::string& mask : masks) {
    // In double-byte mode a value that ends in a lead byte takes the ":"
    // that joins it to the next one as its trail byte, so the two stay one
    // mask; only single-byte masks are bounded by one value's length.
    FUZZ_CHECK(DoubleByteMode() || mask.size() <= 256,
               context + " mask " + Escaped(mask));
    FUZZ_CHECK(MaskHasNoSeparator(mask), context + " mask " + Escaped(mask));
  }
  if (s.FilterMask & kFilterAge) {
    FUZZ_CHECK((s.MinAgeDays != 0) != (s.MaxAgeDays != 0), context);
  }
  if (s.FilterMask & kFilterSize) {
    FUZZ_CHECK(s.MinSize != 0 || s.MaxSize != 0, context);
  }
  FUZZ_CHECK(s.MinSize % 1024 == 0 && s.MaxSize % 1024 == 0, context);
  FUZZ_CHECK(s.PeriodFrom == 0 || IsValidPackedDate(s.PeriodFrom), context);
  FUZZ_CHECK(s.PeriodTo == 0 || IsValidPackedDate(s.PeriodTo), context);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  SetDoubleByteInfo((data[0] & 1) != 0, Cp932LeadRanges());
  SetClockForTesting(FixedClock);
  ResetSearchSettings();
  const TStringList args = SplitAt(InputText(data + 1, size - 1), '\0');
  CapturedOutput capture;
  try {
    ParseOptions(args);
  } catch (const HaltForTesting& halt) {
    FUZZ_CHECK(halt.code == 2, "args " + Described(args) + " code " +
                                   std::to_string(halt.code));
    FUZZ_CHECK(IsOptionErrorLine(CapturedOutput::Bytes(), args),
               "args " + Described(args) + " wrote " +
                   Escaped(CapturedOutput::Bytes()));
    return 0;
  } catch (const Exception& e) {
    FailProperty("no exception leaves the option pass",
                 "args " + Described(args) + " raised " + e.ClassName() +
                     " " + Escaped(e.Message()));
  }
  CheckAccepted(args);
  return 0;
}
