#include "search/filter.h"

#include <gtest/gtest.h>

#include "frontend/search_settings.h"
#include "services/dates.h"
#include "services/exceptions.h"

namespace {

// The packed local date-time, built field by field (seconds in 2 s units).
int32_t Packed(unsigned year, unsigned month, unsigned day, unsigned hour = 0,
               unsigned minute = 0, unsigned second = 0) {
  return static_cast<int32_t>(((year - 1980) << 25) | (month << 21) |
                              (day << 16) | (hour << 11) | (minute << 5) |
                              (second / 2));
}

// "Now" for the age tests: 2024-03-10 12:00:00.000.
CalendarTime FixedNow() { return CalendarTime{2024, 3, 10, 12, 0, 0, 0}; }

constexpr int64_t kGiB = 1024LL * 1024 * 1024;

struct FilterCase {
  const char* name;
  void (*setup)(SearchSettingsData& s);
  int32_t time;
  int64_t size;
  uint32_t attr;
  bool selected;
};

class FilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSearchSettings();
    SetClockForTesting(FixedNow);
  }
  void TearDown() override { SetClockForTesting(nullptr); }

  void RunCases(const FilterCase* begin, const FilterCase* end) {
    for (const FilterCase* c = begin; c != end; ++c) {
      SCOPED_TRACE(c->name);
      ResetSearchSettings();
      c->setup(SearchSettings);
      TSearchRec entry;
      entry.Time = c->time;
      entry.Size = c->size;
      entry.Attr = c->attr;
      EXPECT_EQ(MatchesFilter(entry), c->selected);
    }
  }
};

const int32_t kSomeTime = Packed(2020, 6, 15, 10, 30);

TEST_F(FilterTest, Attributes) {
  const FilterCase cases[] = {
      {"no filter, directory", [](SearchSettingsData&) {}, 0, 0,
       kAttrDirectory | kAttrHidden | kAttrSystem, true},
      {"/ah hidden read-only",
       [](SearchSettingsData& s) {
         s.FilterMask = kFilterHidden;
         s.WantHidden = true;
       },
       kSomeTime, 10, kAttrHidden | kAttrReadOnly, true},
      {"/ah /a-r hidden read-only",
       [](SearchSettingsData& s) {
         s.FilterMask = kFilterHidden | kFilterReadOnly;
         s.WantHidden = true;
         s.WantReadOnly = false;
       },
       kSomeTime, 10, kAttrHidden | kAttrReadOnly, false},
      {"/ad file",
       [](SearchSettingsData& s) {
         s.FilterMask = kFilterDirectory;
         s.WantDirectory = true;
       },
       kSomeTime, 10, kAttrArchive, false},
      {"/a-d directory",
       [](SearchSettingsData& s) { s.FilterMask = kFilterDirectory; },
       kSomeTime, 0, kAttrDirectory, false},
      {"/a-d file",
       [](SearchSettingsData& s) { s.FilterMask = kFilterDirectory; },
       kSomeTime, 10, kAttrArchive, true},
      {"/as system",
       [](SearchSettingsData& s) {
         s.FilterMask = kFilterSystem;
         s.WantSystem = true;
       },
       kSomeTime, 10, kAttrSystem, true},
      {"/aa without archive",
       [](SearchSettingsData& s) {
         s.FilterMask = kFilterArchive;
         s.WantArchive = true;
       },
       kSomeTime, 10, kAttrReadOnly, false},
      {"/a-a with archive",
       [](SearchSettingsData& s) { s.FilterMask = kFilterArchive; },
       kSomeTime, 10, kAttrArchive, false},
  };
  RunCases(std::begin(cases), std::end(cases));
}

TEST_F(FilterTest, SizeBoundsInclusiveAndWide) {
  auto between_1k_2k = [](SearchSettingsData& s) {
    s.FilterMask = kFilterSize;
    s.MinSize = 1024;
    s.MaxSize = 2048;
  };
  auto at_least_1k = [](SearchSettingsData& s) {
    s.FilterMask = kFilterSize;
    s.MinSize = 1024;
  };
  auto at_most_1k = [](SearchSettingsData& s) {
    s.FilterMask = kFilterSize;
    s.MaxSize = 1024;
  };
  const FilterCase cases[] = {
      {"exactly MinSize", between_1k_2k, kSomeTime, 1024, 0, true},
      {"exactly MaxSize", between_1k_2k, kSomeTime, 2048, 0, true},
      {"below MinSize", between_1k_2k, kSomeTime, 1023, 0, false},
      {"above MaxSize", between_1k_2k, kSomeTime, 2049, 0, false},
      {"3,000,000,000 bytes, /s1", at_least_1k, kSomeTime, 3000000000LL, 0,
       true},
      {"5 GiB, /s1", at_least_1k, kSomeTime, 5 * kGiB, 0, true},
      {"3,000,000,000 bytes, /s-1", at_most_1k, kSomeTime, 3000000000LL, 0,
       false},
      {"5 GiB, /s-1", at_most_1k, kSomeTime, 5 * kGiB, 0, false},
      {"empty file, /s-1", at_most_1k, kSomeTime, 0, 0, true},
      {"negative lower bound",
       [](SearchSettingsData& s) {
         s.FilterMask = kFilterSize;
         s.MinSize = -1024;
       },
       kSomeTime, 0, 0, true},
  };
  RunCases(std::begin(cases), std::end(cases));
}

TEST_F(FilterTest, PeriodComparesUnsigned) {
  // /f-501231: the bound is 2051-01-01 00:00, which has bit 31 set.
  auto until_2050 = [](SearchSettingsData& s) {
    s.FilterMask = kFilterPeriod;
    s.PeriodTo = static_cast<uint32_t>(Packed(2051, 1, 1));
  };
  auto from_2044 = [](SearchSettingsData& s) {
    s.FilterMask = kFilterPeriod;
    s.PeriodFrom = static_cast<uint32_t>(Packed(2044, 1, 1));
  };
  auto until_2044 = [](SearchSettingsData& s) {
    s.FilterMask = kFilterPeriod;
    s.PeriodTo = static_cast<uint32_t>(Packed(2044, 1, 1));
  };
  auto in_1999 = [](SearchSettingsData& s) {
    s.FilterMask = kFilterPeriod;
    s.PeriodFrom = static_cast<uint32_t>(Packed(1999, 1, 1));
    s.PeriodTo = static_cast<uint32_t>(Packed(2000, 1, 1));
  };
  const FilterCase cases[] = {
      {"1980 until 2050", until_2050, Packed(1980, 1, 1), 0, 0, true},
      {"2050-12-31 23:59:58", until_2050, Packed(2050, 12, 31, 23, 59, 58), 0,
       0, true},
      {"exactly PeriodTo", until_2050, Packed(2051, 1, 1), 0, 0, true},
      {"two seconds after PeriodTo", until_2050, Packed(2051, 1, 1, 0, 0, 2),
       0, 0, false},
      {"2043 before 2044", from_2044, Packed(2043, 12, 31, 23, 59, 58), 0, 0,
       false},
      {"2107 after 2044", from_2044, Packed(2107, 12, 31, 23, 59, 58), 0, 0,
       true},
      {"2030 until 2044", until_2044, Packed(2030, 1, 1), 0, 0, true},
      {"2045 until 2044", until_2044, Packed(2045, 1, 1), 0, 0, false},
      {"exactly PeriodFrom", in_1999, Packed(1999, 1, 1), 0, 0, true},
      {"just before PeriodFrom", in_1999, Packed(1998, 12, 31, 23, 59, 58), 0,
       0, false},
  };
  RunCases(std::begin(cases), std::end(cases));
}

TEST_F(FilterTest, AgeAgainstTheClock) {
  auto at_most_1_day = [](SearchSettingsData& s) {
    s.FilterMask = kFilterAge;
    s.MaxAgeDays = 1;
  };
  auto at_least_1_day = [](SearchSettingsData& s) {
    s.FilterMask = kFilterAge;
    s.MinAgeDays = 1;
  };
  const int32_t hours_23_ago = Packed(2024, 3, 9, 13, 0);
  const int32_t hours_25_ago = Packed(2024, 3, 9, 11, 0);
  const int32_t day_ago = Packed(2024, 3, 9, 12, 0);
  const int32_t tomorrow = Packed(2024, 3, 11, 12, 0);
  const FilterCase cases[] = {
      {"/d-1, 23 hours", at_most_1_day, hours_23_ago, 0, 0, true},
      {"/d-1, 25 hours", at_most_1_day, hours_25_ago, 0, 0, false},
      {"/d-1, exactly a day", at_most_1_day, day_ago, 0, 0, true},
      {"/d-1, future", at_most_1_day, tomorrow, 0, 0, true},
      {"/d1, 25 hours", at_least_1_day, hours_25_ago, 0, 0, true},
      {"/d1, 23 hours", at_least_1_day, hours_23_ago, 0, 0, false},
      {"/d1, exactly a day", at_least_1_day, day_ago, 0, 0, true},
      {"/d1, future", at_least_1_day, tomorrow, 0, 0, false},
  };
  RunCases(std::begin(cases), std::end(cases));
}

// The tests run in order and stop at the first failure, so the age test,
// which raises for an invalid Time, runs only when every earlier one passed.
TEST_F(FilterTest, EarlierTestRejectsBeforeAgeRaises) {
  auto size_then_age = [](SearchSettingsData& s) {
    s.FilterMask = kFilterSize | kFilterAge;
    s.MinSize = 1024;
    s.MaxAgeDays = 7;
  };
  auto attr_then_age = [](SearchSettingsData& s) {
    s.FilterMask = kFilterDirectory | kFilterAge;
    s.WantDirectory = true;
    s.MinAgeDays = 7;
  };
  auto period_then_age = [](SearchSettingsData& s) {
    s.FilterMask = kFilterPeriod | kFilterAge;
    s.PeriodFrom = static_cast<uint32_t>(Packed(1999, 1, 1));
    s.MaxAgeDays = 7;
  };
  const FilterCase cases[] = {
      {"size fails", size_then_age, 0, 10, 0, false},
      {"directory fails", attr_then_age, 0, 10, kAttrArchive, false},
      {"period fails", period_then_age, 0, 10, 0, false},
  };
  RunCases(std::begin(cases), std::end(cases));
}

TEST_F(FilterTest, InvalidTimeRaisesInAgeTest) {
  const int32_t invalid_times[] = {
      0,                                  // month 0, day 0
      Packed(1999, 12, 31, 24, 0),        // hour 24
      Packed(2001, 2, 29),                // no leap day
  };
  SearchSettings.FilterMask = kFilterAge;
  SearchSettings.MaxAgeDays = 7;
  for (int32_t time : invalid_times) {
    SCOPED_TRACE(time);
    TSearchRec entry;
    entry.Time = time;
    EXPECT_THROW(MatchesFilter(entry), EConvertError);
  }
  // Without the age filter the same entry is never converted.
  SearchSettings.FilterMask = kFilterPeriod;
  TSearchRec entry;
  EXPECT_TRUE(MatchesFilter(entry));
}

}  // namespace
