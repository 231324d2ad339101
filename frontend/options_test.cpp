#include "frontend/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/search_settings.h"
#include "services/exceptions.h"
#include "services/messages.h"
#include "services/output_capture.h"

namespace {

using Handler = void (*)(const std::string&);

struct Outcome {
  bool halted = false;
  int32_t code = 0;
  std::string output;
};

// The packed local date-time, built field by field (seconds in 2 s units).
uint32_t Packed(unsigned year, unsigned month, unsigned day, unsigned hour = 0,
                unsigned minute = 0, unsigned second = 0) {
  return ((year - 1980) << 25) | (month << 21) | (day << 16) | (hour << 11) |
         (minute << 5) | (second / 2);
}

std::string ErrorLine(const char* message) {
  return std::string(message) + "\r\n";
}

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetSearchSettings(); }

  // Runs `handler` on each argument in order, as the dispatcher does,
  // stopping at the first halt; starts from fresh settings and output.
  Outcome Run(Handler handler, const std::vector<std::string>& args) {
    ResetSearchSettings();
    Captured().blocks.clear();
    Outcome outcome;
    try {
      for (const std::string& arg : args) handler(arg);
    } catch (const HaltForTesting& halt) {
      outcome.halted = true;
      outcome.code = halt.code;
    }
    outcome.output = CapturedOutput::Bytes();
    return outcome;
  }

  // An accepted run: no halt, nothing written.
  void ExpectAccepted(const Outcome& outcome) {
    EXPECT_FALSE(outcome.halted);
    EXPECT_EQ(outcome.output, "");
  }

  // A rejected run: exactly the one error line, then exit code 2.
  void ExpectRejected(const Outcome& outcome, MessageId message) {
    EXPECT_TRUE(outcome.halted);
    EXPECT_EQ(outcome.code, 2);
    EXPECT_EQ(outcome.output, ErrorLine(MessageText(message)));
  }

  CapturedOutput capture_;
};

struct SizeCase {
  std::vector<std::string> args;
  bool accepted;
  int64_t min_size;
  int64_t max_size;
};

TEST_F(OptionsTest, SizeBoundsInKilobytes) {
  const SizeCase cases[] = {
      {{"/s100"}, true, 102400, 0},
      {{"/s-1"}, true, 0, 1024},
      {{"/s10-20"}, true, 10240, 20480},
      {{"/s10-"}, true, 10240, 0},
      {{"/s10k"}, true, 10240, 0},
      {{"/s$10"}, true, 16384, 0},
      {{"/s0x10"}, true, 16384, 0},
      {{"/S5"}, true, 5120, 0},
      // Bounds of 2 GiB and more are kept whole, not wrapped.
      {{"/s2097152"}, true, 2147483648LL, 0},
      {{"/s4194304"}, true, 4294967296LL, 0},
      {{"/s-4194304"}, true, 0, 4294967296LL},
      {{"/s$FFFFFFFF"}, true, -1024, 0},
      {{"/s0"}, false, 0, 0},
      {{"/s-0"}, false, 0, 0},
      {{"/s"}, false, 0, 0},
      {{"/sabc"}, false, 0, 0},
      {{"/s-"}, false, 0, 0},
      // A zero value leaves an earlier bound in place.
      {{"/s10", "/s0"}, true, 10240, 0},
      {{"/s-5", "/sabc"}, true, 0, 5120},
      {{"/s10", "/s-20"}, true, 10240, 20480},
      {{"/s10-20", "/s30"}, true, 30720, 20480},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    Outcome outcome = Run(ParseSizeOption, c.args);
    if (!c.accepted) {
      ExpectRejected(outcome, kMsgBadSizeOption);
      continue;
    }
    ExpectAccepted(outcome);
    EXPECT_EQ(SearchSettings.MinSize, c.min_size);
    EXPECT_EQ(SearchSettings.MaxSize, c.max_size);
    EXPECT_EQ(SearchSettings.FilterMask, kFilterSize);
  }
}

struct PeriodCase {
  std::vector<std::string> args;
  bool accepted;
  uint32_t from;
  uint32_t to;
};

TEST_F(OptionsTest, PeriodBoundsAsPackedDates) {
  const PeriodCase cases[] = {
      {{"/f990101"}, true, Packed(1999, 1, 1), 0},
      {{"/f-000131"}, true, 0, Packed(2000, 2, 1)},
      {{"/f800101-791231"}, true, Packed(1980, 1, 1), Packed(2080, 1, 1)},
      {{"/f99101"}, true, Packed(1999, 10, 1), 0},
      {{"/f000229"}, true, Packed(2000, 2, 29), 0},
      {{"/f-991231"}, true, 0, Packed(2000, 1, 1)},
      // The day after 2050-12-31 has bit 31 set; it is kept unsigned.
      {{"/f-501231"}, true, 0, Packed(2051, 1, 1)},
      // A "-" after position 9 lies beyond the start date and is ignored.
      {{"/f990101x-991231"}, true, Packed(1999, 1, 1), 0},
      {{"/f990101", "/f-991231"}, true, Packed(1999, 1, 1), Packed(2000, 1, 1)},
      {{"/f9913"}, false, 0, 0},
      {{"/f991301"}, false, 0, 0},
      {{"/f010229"}, false, 0, 0},
      {{"/fab0101"}, false, 0, 0},
      {{"/f"}, false, 0, 0},
      {{"/f-"}, false, 0, 0},
      {{"/f99-0101"}, false, 0, 0},
      {{"/f9901-01"}, false, 0, 0},
      {{"/f990101-99123x"}, false, 0, 0},
      {{"/f990101-ab1231"}, false, 0, 0},
  };
  for (const PeriodCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    Outcome outcome = Run(ParsePeriodOption, c.args);
    if (!c.accepted) {
      ExpectRejected(outcome, kMsgBadPeriodOption);
      continue;
    }
    ExpectAccepted(outcome);
    EXPECT_EQ(SearchSettings.PeriodFrom, c.from);
    EXPECT_EQ(SearchSettings.PeriodTo, c.to);
    EXPECT_EQ(SearchSettings.FilterMask, kFilterPeriod);
  }
}

struct CenturyCase {
  std::string text;
  std::string expanded;
};

TEST_F(OptionsTest, ExpandCenturyByTwoDigitYear) {
  const CenturyCase cases[] = {
      {"", ""},
      {"80/01/01", "1980/01/01"},
      {"99/12/31", "1999/12/31"},
      {"00/01/01", "2000/01/01"},
      {"79/12/31", "2079/12/31"},
  };
  for (const CenturyCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ExpandCentury(c.text), c.expanded);
  }
  Outcome outcome = Run([](const std::string& text) { ExpandCentury(text); },
                        {"ab/01/01"});
  ExpectRejected(outcome, kMsgBadPeriodOption);
}

struct AgeCase {
  std::vector<std::string> args;
  bool accepted;
  int32_t max_age;
  int32_t min_age;
};

TEST_F(OptionsTest, AgeInDays) {
  const AgeCase cases[] = {
      {{"/d7"}, true, 0, 7},
      {{"/d-7"}, true, 7, 0},
      {{"/D30"}, true, 0, 30},
      {{"/d-5", "/d0"}, true, 5, 0},
      // A "-" elsewhere converts nothing; the earlier limit still stands.
      {{"/d7", "/d5-3"}, true, 0, 7},
      {{"/d0"}, false, 0, 0},
      {{"/d-0"}, false, 0, 0},
      {{"/dx"}, false, 0, 0},
      {{"/d"}, false, 0, 0},
      {{"/d-"}, false, 0, 0},
      {{"/d7x"}, false, 0, 0},
      {{"/d5-3"}, false, 0, 0},
      {{"/d7", "/d-3"}, false, 0, 0},
  };
  for (const AgeCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    Outcome outcome = Run(ParseAgeOption, c.args);
    if (!c.accepted) {
      ExpectRejected(outcome, kMsgBadAgeOption);
      continue;
    }
    ExpectAccepted(outcome);
    EXPECT_EQ(SearchSettings.MaxAgeDays, c.max_age);
    EXPECT_EQ(SearchSettings.MinAgeDays, c.min_age);
    EXPECT_EQ(SearchSettings.FilterMask, kFilterAge);
  }
}

struct AttrCase {
  std::vector<std::string> args;
  bool accepted;
  uint8_t mask;
  bool SearchSettingsData::*field;
  bool wanted;
};

TEST_F(OptionsTest, AttributeStates) {
  const AttrCase cases[] = {
      {{"/ar"}, true, kFilterReadOnly, &SearchSettingsData::WantReadOnly, true},
      {{"/a-r"}, true, kFilterReadOnly, &SearchSettingsData::WantReadOnly,
       false},
      {{"/AR"}, true, kFilterReadOnly, &SearchSettingsData::WantReadOnly, true},
      {{"/ad"}, true, kFilterDirectory, &SearchSettingsData::WantDirectory,
       true},
      {{"/a-d"}, true, kFilterDirectory, &SearchSettingsData::WantDirectory,
       false},
      {{"/ah"}, true, kFilterHidden, &SearchSettingsData::WantHidden, true},
      {{"/A-S"}, true, kFilterSystem, &SearchSettingsData::WantSystem, false},
      {{"/aa"}, true, kFilterArchive, &SearchSettingsData::WantArchive, true},
      // Only the first letter counts.
      {{"/arh"}, true, kFilterReadOnly, &SearchSettingsData::WantReadOnly,
       true},
      // A later argument for the same letter overrides the earlier state.
      {{"/ar", "/a-r"}, true, kFilterReadOnly,
       &SearchSettingsData::WantReadOnly, false},
      {{"/a"}, false, 0, nullptr, false},
      {{"/a-"}, false, 0, nullptr, false},
      {{"/ax"}, false, 0, nullptr, false},
      {{"/a-x"}, false, 0, nullptr, false},
  };
  for (const AttrCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    Outcome outcome = Run(ParseAttrOption, c.args);
    if (!c.accepted) {
      ExpectRejected(outcome, kMsgBadAttrOption);
      continue;
    }
    ExpectAccepted(outcome);
    EXPECT_EQ(SearchSettings.FilterMask, c.mask);
    EXPECT_EQ(SearchSettings.*c.field, c.wanted);
  }
}

TEST_F(OptionsTest, AttributeOptionsCombine) {
  ExpectAccepted(Run(ParseAttrOption, {"/ah", "/a-r", "/ad"}));
  EXPECT_EQ(SearchSettings.FilterMask,
            kFilterHidden | kFilterReadOnly | kFilterDirectory);
  EXPECT_TRUE(SearchSettings.WantHidden);
  EXPECT_FALSE(SearchSettings.WantReadOnly);
  EXPECT_TRUE(SearchSettings.WantDirectory);
}

struct ViewCase {
  std::string arg;
  bool accepted;
};

TEST_F(OptionsTest, ViewShortNames) {
  const ViewCase cases[] = {
      {"/vs", true},  {"/VS", true}, {"/vsx", true},
      {"/v", false},  {"/vx", false}, {"/v-s", false},
  };
  for (const ViewCase& c : cases) {
    SCOPED_TRACE(c.arg);
    Outcome outcome = Run(ParseViewOption, {c.arg});
    if (!c.accepted) {
      ExpectRejected(outcome, kMsgBadViewOption);
      EXPECT_FALSE(SearchSettings.ShortNames);
      continue;
    }
    ExpectAccepted(outcome);
    EXPECT_TRUE(SearchSettings.ShortNames);
  }
}

struct FailedLineCase {
  Handler handler;
  std::string arg;
};

// The error line itself cannot be written: the output error leaves the
// handler (no catch-all swallows it, no exit code 2).
TEST_F(OptionsTest, FailedErrorLineEscapesHandler) {
  Captured().character_device = true;  // each line is handed over at once
  Captured().write_failure = 5;
  const FailedLineCase cases[] = {
      {ParseAttrOption, "/ax"},     {ParseSizeOption, "/s0"},
      {ParsePeriodOption, "/f9913"}, {ParsePeriodOption, "/fab0101"},
      {ParseAgeOption, "/d0"},      {ParseAgeOption, "/dx"},
      {ParseViewOption, "/vx"},
  };
  for (const FailedLineCase& c : cases) {
    SCOPED_TRACE(c.arg);
    ResetSearchSettings();
    try {
      c.handler(c.arg);
      ADD_FAILURE() << "the handler returned";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.FailureCode(), 5);
    } catch (const HaltForTesting& halt) {
      ADD_FAILURE() << "halted with " << halt.code;
    }
  }
}

}  // namespace
