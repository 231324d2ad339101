#include "frontend/run_driver.h"

#include "frontend/search_settings.h"
#include "gtest/gtest.h"
#include "services/messages.h"
#include "services/output_capture.h"

namespace {

struct Outcome {
  bool halted;
  int32_t code;
  std::string output;
};

template <typename Action>
Outcome RunCaptured(Action action) {
  CapturedOutput capture;
  Outcome outcome{false, -1, ""};
  try {
    action();
  } catch (const HaltForTesting& halt) {
    outcome.halted = true;
    outcome.code = halt.code;
  }
  outcome.output = CapturedOutput::Bytes();
  return outcome;
}

class RunDriverTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetSearchSettings(); }
};

TEST_F(RunDriverTest, NameOptionsJoinInOrderAndKeepCase) {
  const struct {
    TStringList args;
    std::string masks;
  } cases[] = {
      {{"/n*.txt"}, "*.txt"},
      {{"/N*.TXT"}, "*.TXT"},
      {{"/n*.txt", "/n*.doc"}, "*.txt:*.doc"},
      {{"/n:"}, ":"},
      {{"/n" + std::string(300, 'a')}, std::string(256, 'a')},
      {{"/r", "/n*", "/Rx"}, "*"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    ResetSearchSettings();
    Outcome outcome = RunCaptured([&] { ParseOptions(c.args); });
    EXPECT_FALSE(outcome.halted);
    EXPECT_EQ(SearchSettings.NameMaskText, c.masks);
  }
}

TEST_F(RunDriverTest, RejectedOptionsWriteOneLineAndHaltWith2) {
  const struct {
    TStringList args;
    std::string line;
  } cases[] = {
      {{"/x"}, kMsgBadOption},
      {{"/"}, kMsgBadOption},
      {{"/n*", "/?"}, kMsgBadOption},
      {{"/n"}, kMsgBadNameOption},
      {{"/N"}, kMsgBadNameOption},
      {{"/r"}, kMsgNoNameMask},
      {{}, kMsgNoNameMask},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ResetSearchSettings();
    Outcome outcome = RunCaptured([&] { ParseOptions(c.args); });
    EXPECT_TRUE(outcome.halted);
    EXPECT_EQ(outcome.code, 2);
    EXPECT_EQ(outcome.output, c.line + "\r\n");
  }
}

TEST_F(RunDriverTest, RecursionOption) {
  SearchSettings.Recursive = true;
  RunCaptured([] { ParseOptions({"/n*", "/R"}); });
  EXPECT_FALSE(SearchSettings.Recursive);
}

TEST_F(RunDriverTest, NoArgumentsShowsUsage) {
  Outcome outcome = RunCaptured([] { RunMain({}); });
  EXPECT_EQ(outcome.code, 2);
  const std::string crlf = "\r\n";
  EXPECT_EQ(outcome.output, crlf + kMsgUsage1 + crlf + crlf + kMsgUsage2 +
                                crlf + kMsgUsage3 + crlf + kMsgUsage4 + crlf +
                                kMsgUsage5 + crlf + kMsgUsage6 + crlf);
}

TEST_F(RunDriverTest, BlankMaskWalksNothing) {
  Outcome outcome = RunCaptured([] { RunMain({"/n   ", "nowhere"}); });
  EXPECT_EQ(outcome.code, 1);
  EXPECT_EQ(outcome.output, "\r\n0 files in 0 dirs.");
}

TEST_F(RunDriverTest, MissingPathIsCountedPerMask) {
  Outcome outcome = RunCaptured([] { RunMain({"/na,b", "no/such/dir"}); });
  EXPECT_EQ(outcome.code, 1);
  EXPECT_EQ(outcome.output,
            "/ no/such/dir /\r\n/ no/such/dir /\r\n\r\n0 files in 2 dirs.");
}

}  // namespace
