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
    MessageId line;
  } cases[] = {
      {{"/x"}, kMsgBadOption},
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
    EXPECT_EQ(outcome.output, MessageText(c.line) + std::string("\r\n"));
  }
}

TEST_F(RunDriverTest, RecursionOption) {
  SearchSettings.Recursive = true;
  RunCaptured([] { ParseOptions({"/n*", "/R"}); });
  EXPECT_FALSE(SearchSettings.Recursive);
}

std::string UsageScreen() {
  std::string screen = "\r\n";
  for (MessageId line : {kMsgUsage1, kMsgUsage2, kMsgUsage3, kMsgUsage4,
                         kMsgUsage5, kMsgUsage6}) {
    screen += MessageText(line) + std::string("\r\n");
    if (line == kMsgUsage1) screen += "\r\n";
  }
  return screen;
}

// --help: the usage screen, the long options, an empty line, the exit codes.
std::string HelpScreen() {
  std::string screen = UsageScreen();
  for (MessageId line : {kMsgHelpDoubleDash, kMsgHelpPrint0, kMsgHelpBare,
                         kMsgHelpExclude, kMsgHelpMaxDepth, kMsgHelpThreads,
                         kMsgHelpUtf8, kMsgHelpVersion})
    screen += MessageText(line) + std::string("\r\n");
  return screen + "\r\n" + MessageText(kMsgHelpExitCodes) + "\r\n";
}

TEST_F(RunDriverTest, UsageHelpAndVersion) {
  const struct {
    TStringList args;
    std::string output;
    int32_t code;
  } cases[] = {
      {{}, UsageScreen(), 2},
      {{"--help"}, HelpScreen(), 0},
      {{"/x", "nowhere", "--help", "/n"}, HelpScreen(), 0},
      {{"--print0", "--help"}, HelpScreen(), 0},
      {{"--version"}, "kestriv 1.01\r\n", 0},
      {{"--version", "--help"}, "kestriv 1.01\r\n", 0},
      {{"--help", "--bear"}, HelpScreen(), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "" : c.args[0]);
    ResetSearchSettings();
    Outcome outcome = RunCaptured([&] { RunMain(c.args); });
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_EQ(outcome.output, c.output);
  }
}

std::string Line(MessageId id) { return MessageText(id) + std::string("\r\n"); }

std::string UnknownOptionLine(const std::string& arg) {
  return ReplaceAllText(MessageText(kMsgUnknownLongOption), "%s", arg) + "\r\n";
}

TEST_F(RunDriverTest, WordsBeforeAndAfterDoubleDash) {
  const std::string kNothing = "/ no/such /\r\n\r\n0 files in 1 dirs.";
  const struct {
    TStringList args;
    std::string output;
    int32_t code;
    int32_t max_depth = 0;
  } cases[] = {
      {{"/na", "--", "/no/such"}, "/ /no/such /\r\n\r\n0 files in 1 dirs.", 1},
      {{"/na", "--", "--help", "--", "/r"},
       "/ --help /\r\n/ -- /\r\n/ /r /\r\n\r\n0 files in 3 dirs.", 1},
      {{"--", "/na", "no/such"},
       MessageText(kMsgNoNameMask) + std::string("\r\n"), 2},
      // The paths alone: here none, so nothing at all.
      {{"--print0", "/na", "--", "/no/such"}, "", 1},
      {{"/na", "no/such", "--bare"}, "", 1},
      {{"--bare", "/na", "--print0", "no/such"}, "", 1},
      {{"/na", "--", "--print0"}, "/ --print0 /\r\n\r\n0 files in 1 dirs.", 1},
      // Error lines stay as they are.
      {{"--print0", "/x"}, MessageText(kMsgBadOption) + std::string("\r\n"), 2},
      // --threads takes the next word, or its value after "=".
      {{"--threads", "1", "/na", "no/such"}, "/ no/such /\r\n\r\n0 files in 1 dirs.", 1},
      {{"/na", "--threads=64", "no/such"}, "/ no/such /\r\n\r\n0 files in 1 dirs.", 1},
      {{"/na", "--", "--threads", "1"}, "/ --threads /\r\n/ 1 /\r\n\r\n0 files in 2 dirs.", 1},
      {{"/na", "--threads", "0"}, MessageText(kMsgBadThreadsOption) + std::string("\r\n"), 2},
      {{"/na", "--threads=65"}, MessageText(kMsgBadThreadsOption) + std::string("\r\n"), 2},
      {{"/na", "--threads=1x"}, MessageText(kMsgBadThreadsOption) + std::string("\r\n"), 2},
      {{"/na", "--threads=99999999999999999999"}, MessageText(kMsgBadThreadsOption) + std::string("\r\n"), 2},
      {{"/na", "--threads=-2"}, MessageText(kMsgBadThreadsOption) + std::string("\r\n"), 2},
      {{"/na", "--threads="}, MessageText(kMsgBadThreadsOption) + std::string("\r\n"), 2},
      {{"/na", "--threads"}, MessageText(kMsgBadThreadsOption) + std::string("\r\n"), 2},
      // --utf8 was taken at start-up, and takes no value.
      {{"/na", "--utf8", "no/such"}, "/ no/such /\r\n\r\n0 files in 1 dirs.", 1},
      {{"/na", "--", "--utf8"}, "/ --utf8 /\r\n\r\n0 files in 1 dirs.", 1},
      {{"/na", "--utf8=x"}, MessageText(kMsgBadUtf8Option) + std::string("\r\n"), 2},
      {{"--utf8=", "/na"}, MessageText(kMsgBadUtf8Option) + std::string("\r\n"), 2},
      // --max-depth: 1 to 2^31 - 1 in up to 10 digits, as --threads takes
      // its value.
      {{"/na", "--max-depth", "2", "no/such"}, kNothing, 1, 2},
      {{"/na", "--max-depth=2147483647", "no/such"}, kNothing, 1, 2147483647},
      {{"/na", "--max-depth=0000000001", "no/such"}, kNothing, 1, 1},
      {{"/na", "--max-depth=3", "--max-depth=1", "no/such"}, kNothing, 1, 1},
      {{"/na", "--max-depth"}, Line(kMsgBadMaxDepthOption), 2},
      {{"/na", "--max-depth="}, Line(kMsgBadMaxDepthOption), 2},
      {{"/na", "--max-depth", "0"}, Line(kMsgBadMaxDepthOption), 2},
      {{"/na", "--max-depth=+1"}, Line(kMsgBadMaxDepthOption), 2},
      {{"/na", "--max-depth=-1"}, Line(kMsgBadMaxDepthOption), 2},
      {{"/na", "--max-depth=2147483648"}, Line(kMsgBadMaxDepthOption), 2},
      {{"/na", "--max-depth=00000000001"}, Line(kMsgBadMaxDepthOption), 2},
      {{"/na", "--max-depth=99999999999999999999"}, Line(kMsgBadMaxDepthOption), 2},
      {{"/na", "--max-depth=1x"}, Line(kMsgBadMaxDepthOption), 2},
      // --exclude: one mask or several, never none or an empty one.
      {{"/na", "--exclude", "x", "--exclude=a:b,c d", "no/such"}, kNothing, 1},
      {{"/na", "--exclude"}, Line(kMsgBadExcludeOption), 2},
      {{"/na", "--exclude="}, Line(kMsgBadExcludeOption), 2},
      {{"/na", "--exclude", " "}, Line(kMsgBadExcludeOption), 2},
      {{"/na", "--exclude", "a,,b"}, Line(kMsgBadExcludeOption), 2},
      {{"/na", "--exclude=:a"}, Line(kMsgBadExcludeOption), 2},
      // Any other word that begins with "--" is refused, before any
      // search and before the options' own errors; after "--" it is a path.
      {{"/na", "--bear", "no/such"}, UnknownOptionLine("--bear"), 2},
      {{"/x", "--Help"}, UnknownOptionLine("--Help"), 2},
      {{"--exclude-dir=x", "/na"}, UnknownOptionLine("--exclude-dir=x"), 2},
      {{"/na", "---"}, UnknownOptionLine("---"), 2},
      {{"/na", "--", "--bear"}, "/ --bear /\r\n\r\n0 files in 1 dirs.", 1},
      {{"/na", "-n", "no/such"},
       "/ -n /\r\n/ no/such /\r\n\r\n0 files in 2 dirs.", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    ResetSearchSettings();
    Outcome outcome = RunCaptured([&] { RunMain(c.args); });
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_EQ(outcome.output, c.output);
    EXPECT_TRUE(SearchSettings.Recursive);
    EXPECT_EQ(SearchSettings.MaxDepth, c.max_depth);
  }
}

TEST_F(RunDriverTest, AsksForUtf8) {
  const struct {
    TStringList args;
    bool asks;
  } cases[] = {
      {{"--utf8"}, true},
      {{"/n*", "--utf8", "dir"}, true},
      {{"/n*", "dir", "--bare", "--utf8"}, true},
      {{}, false},
      {{"/n*", "dir"}, false},
      // A search path, a value, or no such option.
      {{"/n*", "--", "--utf8"}, false},
      {{"--threads", "--utf8", "/n*"}, false},
      {{"--exclude", "--utf8", "/n*"}, false},
      {{"/n*", "--max-depth", "--utf8"}, false},
      // An option that takes the next word, last: nothing after it.
      {{"/n*", "--exclude"}, false},
      {{"/n*", "--threads"}, false},
      {{"--threads=2", "--utf8", "/n*"}, true},
      {{"--utf8=x", "/n*"}, false},
      {{"--UTF8", "/n*"}, false},
      {{"/n--utf8"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "" : c.args[0]);
    EXPECT_EQ(AsksForUtf8(c.args), c.asks);
  }
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
