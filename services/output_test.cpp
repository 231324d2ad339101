#include "services/output.h"

#include <climits>

#include "gtest/gtest.h"
#include "services/exceptions.h"
#include "services/messages.h"
#include "services/output_capture.h"
#include "services/text.h"

namespace {

std::vector<size_t> BlockSizes() {
  std::vector<size_t> sizes;
  for (const std::string& block : Captured().blocks) sizes.push_back(block.size());
  return sizes;
}

int32_t HaltCode(void (*action)()) {
  try {
    action();
  } catch (const HaltForTesting& halt) {
    return halt.code;
  }
  return -1;
}

TEST(OutputTest, PipeOutputLeavesIn128ByteBlocks) {
  CapturedOutput capture(/*character_device=*/false);
  WriteText(std::string(300, 'x'));
  WriteLineEnd();
  CheckOutput();
  EXPECT_EQ(BlockSizes(), (std::vector<size_t>{128, 128}));
  // The remaining 46 bytes, CR LF included, leave at the halt.
  EXPECT_EQ(HaltCode([] { HaltWithCode(0); }), 0);
  EXPECT_EQ(BlockSizes(), (std::vector<size_t>{128, 128, 46}));
  EXPECT_EQ(CapturedOutput::Bytes(), std::string(300, 'x') + "\r\n");
}

TEST(OutputTest, ExactlyFullBufferLeavesAtOnce) {
  CapturedOutput capture;
  WriteText(std::string(100, 'a'));
  WriteText(std::string(28, 'b'));
  EXPECT_EQ(BlockSizes(), (std::vector<size_t>{128}));
}

TEST(OutputTest, CharacterDeviceGetsEachLineAtItsEnd) {
  CapturedOutput capture(/*character_device=*/true);
  WriteText("");
  WriteLineEnd();
  WriteText("ab");
  WriteInteger(7);
  FlushOutput();
  EXPECT_EQ(Captured().blocks, (std::vector<std::string>{"\r\n", "ab7"}));
}

TEST(OutputTest, WriteInteger) {
  const struct {
    int32_t value;
    const char* text;
  } cases[] = {{0, "0"},
               {-5, "-5"},
               {2147483647, "2147483647"},
               {INT32_MIN, "-2147483648"}};
  for (const auto& c : cases) {
    CapturedOutput capture(/*character_device=*/true);
    WriteInteger(c.value);
    FlushOutput();
    EXPECT_EQ(CapturedOutput::Bytes(), c.text);
  }
}

TEST(OutputTest, CheckOutputMessages) {
  const struct {
    int32_t code;
    std::string message;
  } cases[] = {
      {2, MessageText(kMsgFileNotFound)},
      {3, MessageText(kMsgInvalidFileName)},
      {4, MessageText(kMsgTooManyOpenFiles)},
      {5, MessageText(kMsgAccessDenied)},
      {100, MessageText(kMsgReadBeyondEnd)},
      {101, MessageText(kMsgDiskFull)},
      {106, MessageText(kMsgNotNumeric)},
      {32, ReplaceAllText(MessageText(kMsgIoError), "%d", "32")},
      {-7, ReplaceAllText(MessageText(kMsgIoError), "%d", "-7")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    CapturedOutput capture(/*character_device=*/true);
    Captured().write_failure = c.code;
    WriteText("x");
    WriteLineEnd();
    try {
      CheckOutput();
      ADD_FAILURE() << "no exception";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.FailureCode(), c.code);
      EXPECT_EQ(e.Message(), c.message);
      EXPECT_STREQ(e.ClassName(), "EInOutError");
    }
    // Reading the failure clears it.
    EXPECT_NO_THROW(CheckOutput());
  }
}

TEST(OutputTest, UnboundChannelReports103) {
  CapturedOutput capture;
  Captured().bindable = false;
  WriteText("x");
  WriteLineEnd();
  try {
    CheckOutput();
    ADD_FAILURE() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.FailureCode(), 103);
  }
}

TEST(OutputTest, FailedFinalFlushKeepsTheExitCode) {
  CapturedOutput capture;
  WriteText("pending");
  Captured().write_failure = 32;
  EXPECT_EQ(HaltCode([] { HaltWithCode(0); }), 0);
}

TEST(OutputTest, ReportFormatting) {
  // The template's text between the class name and the module name.
  const std::string report_template = MessageText(kMsgExceptionReport);
  const std::string head_tail =
      report_template.substr(2, report_template.find("%s", 2) - 2);
  const struct {
    std::string message;
    std::string second_line;
  } cases[] = {
      {"abc", "abc."},
      {"done.", "done."},
      {"", ""},
  };
  for (const auto& c : cases) {
    EConvertError e(c.message);
    std::string report = FormatExceptionReport(&e, nullptr, nullptr);
    SCOPED_TRACE(report);
    EXPECT_EQ(report.rfind("EConvertError" + head_tail, 0), 0u);
    size_t lf = report.find('\n');
    ASSERT_NE(lf, std::string::npos);
    EXPECT_NE(report[lf - 1], '\r');
    EXPECT_EQ(report.substr(lf + 1), c.second_line);
  }
  EConvertError long_one(std::string(2000, 'm'));
  EXPECT_EQ(FormatExceptionReport(&long_one, nullptr, nullptr).size(), 1023u);
}

TEST(OutputTest, ReportLocationIsEightUpperCaseHexDigits) {
  EConvertError e("x");
  std::string report = FormatExceptionReport(&e, nullptr, e.Location());
  // "... の XXXXXXXX で発生しました。": the location stands before the
  // template's next word.
  const std::string report_template = MessageText(kMsgExceptionReport);
  const size_t after = report_template.find("%p") + 2;
  size_t at = report.find(report_template.substr(
      after, report_template.find(' ', after + 1) - after));
  ASSERT_NE(at, std::string::npos);
  std::string hex = report.substr(at - 8, 8);
  for (char ch : hex) EXPECT_TRUE(isdigit(ch) || (ch >= 'A' && ch <= 'F')) << hex;
}

TEST(OutputTest, UnhandledReportEndsWithCrLfAndExitCode1) {
  CapturedOutput capture;
  EXPECT_EQ(HaltCode([] {
              EInOutError inner("boom", 32, nullptr);
              ReportUnhandledException(&inner, inner.ClassName(), nullptr);
            }),
            1);
  std::string out = CapturedOutput::Bytes();
  EXPECT_EQ(out.substr(out.size() - 8), "\nboom.\r\n");
}

TEST(OutputTest, UnwritableReportStillHaltsWith1) {
  CapturedOutput capture(/*character_device=*/true);
  Captured().write_failure = 32;
  EXPECT_EQ(HaltCode([] {
              EConvertError inner("x");
              ReportUnhandledException(&inner, inner.ClassName(), nullptr);
            }),
            1);
}

}  // namespace
