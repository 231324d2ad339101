#include "services/output.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "gtest/gtest.h"
#include "services/dbcs.h"
#include "services/exceptions.h"
#include "services/messages.h"
#include "services/output_capture.h"
#include "services/text.h"
#include "services/text_encoding.h"

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

TEST(OutputTest, GatheredBlocksLeaveIn4096ByteWrites) {
  CapturedOutput capture;
  Captured().gathered = true;
  for (int i = 0; i < 50; ++i) {
    WriteText(std::string(98, 'x'));
    WriteLineEnd();
    CheckOutput();
  }
  EXPECT_EQ(BlockSizes(), (std::vector<size_t>{4096}));
  EXPECT_EQ(HaltCode([] { HaltWithCode(0); }), 0);
  EXPECT_EQ(BlockSizes(), (std::vector<size_t>{4096, 904}));
}

// A statement from one of three check sites, so that a failure reported by
// the wrong statement names another place in the report.
template <int kSite>
__attribute__((noinline)) void Line(size_t length) {
  WriteText(std::string(length, static_cast<char>('a' + kSite)));
  WriteLineEnd();
  CheckOutput();
}

struct ScriptRun {
  int32_t exit_code = -1;
  std::string bytes;
};

// 70 lines (4.7 KB, more than one gathered write), the summary and the
// halt, as the main routine runs them; an EConvertError may escape after
// line `convert_error_at`. The sink refuses once, at byte `refused_at`.
ScriptRun RunScript(bool gathered, size_t refused_at, int convert_error_at) {
  CapturedOutput capture;
  Captured().gathered = gathered;
  Captured().refuses_once_at = refused_at;
  ScriptRun run;
  try {
    try {
      for (int i = 0; i < 70; ++i) {
        const size_t length = 20 + static_cast<size_t>(i) * 37 % 90;
        if (i % 3 == 0) Line<0>(length);
        if (i % 3 == 1) Line<1>(length);
        if (i % 3 == 2) Line<2>(length);
        if (i == convert_error_at) throw EConvertError("date");
      }
      WriteInteger(70);
      WriteText(" lines");
      FlushOutput();
      CheckOutput();
      HaltWithCode(0);
    } catch (const Exception& e) {
      ReportUnhandledException(&e, e.ClassName(), e.Location());
    }
  } catch (const HaltForTesting& halt) {
    run.exit_code = halt.code;
  }
  run.bytes = CapturedOutput::Bytes();
  return run;
}

// The report at the end of a run's bytes, from its class name on.
std::string ReportOf(const std::string& bytes) {
  const size_t at = bytes.rfind("EInOutError");
  return at == std::string::npos ? std::string() : bytes.substr(at);
}

TEST(OutputTest, GatheredWriteFailsAsItsFirstRefusedBlockWould) {
  const size_t total = RunScript(false, SIZE_MAX, -1).bytes.size();
  const size_t last_block_end = total / 128 * 128;
  const struct {
    size_t refused_at;
    int convert_error_at;
  } cases[] = {
      {0, -1},    {100, -1},  {128, -1},  {2000, -1},
      {4095, -1}, {4096, -1}, {4200, -1},
      {last_block_end - 1, -1},  // the last whole block
      {last_block_end, -1},      // the last partial block: no report
      {total - 1, -1},
      {1000, 20},  // blocks handed over before an escaping exception
      {0, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "refused at " << c.refused_at
                                      << ", error at " << c.convert_error_at);
    // Every block written as it fills is the reference.
    const ScriptRun blocks = RunScript(false, c.refused_at, c.convert_error_at);
    const ScriptRun gathered = RunScript(true, c.refused_at, c.convert_error_at);
    EXPECT_EQ(gathered.exit_code, blocks.exit_code);
    EXPECT_EQ(ReportOf(gathered.bytes), ReportOf(blocks.bytes));
    const size_t before = std::min(c.refused_at, total);
    EXPECT_EQ(gathered.bytes.substr(0, before), blocks.bytes.substr(0, before));
    // Nothing of the statements after the failed one.
    EXPECT_LE(gathered.bytes.size(), blocks.bytes.size());
    if (c.refused_at >= last_block_end && c.convert_error_at < 0) {
      // Only the final flush failed: no report, but no success either.
      EXPECT_EQ(gathered.exit_code, 1);
      EXPECT_EQ(ReportOf(gathered.bytes), "");
      EXPECT_EQ(gathered.bytes.size(), c.refused_at);
    } else {
      EXPECT_EQ(gathered.exit_code, 1);
      EXPECT_NE(ReportOf(gathered.bytes), "");
    }
  }
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

TEST(OutputTest, TerminalShowsControlCharactersAsQuestionMarks) {
  const struct {
    std::string text;
    std::string shown_utf8;
    std::string shown_code_page_932;
  } cases[] = {
      {"plain.txt", "plain.txt", "plain.txt"},
      {"\x1b]0;title\a.txt", "?]0;title?.txt", "?]0;title?.txt"},
      {"a\r\nfake", "a??fake", "a??fake"},
      {std::string("nul\0x", 5), "nul?x", "nul?x"},
      {"del\x7f", "del?", "del?"},
      // U+009B (CSI) is one character: one "?".
      {"\xc2\x9b" "2J", "?2J", "\xc2\x9b" "2J"},
      {"\xc2\x80\xc2\x9f\xc2\xa0", "??\xc2\xa0",
       "\xc2\x80\xc2\x9f\xc2\xa0"},
      // Half-width katakana before a double-byte kanji in code page 932.
      {"\xc2\x88\xa0", "?\xa0", "\xc2\x88\xa0"},
      {"\xe3\x81\x82\xc2", "\xe3\x81\x82\xc2", "\xe3\x81\x82\xc2"},
  };
  // Names read as UTF-8, or as code page 932 (Windows outside the Unicode
  // encodings, a Shift_JIS locale).
  for (const bool utf8 : {true, false}) {
    SetDoubleByteInfo(!utf8, utf8 ? "" : std::string("\x81\x9F\xE0\xFC", 4));
    for (const auto& c : cases) {
      SCOPED_TRACE(c.text);
      CapturedOutput capture;
      Captured().terminal = true;
      WriteText(c.text);
      WriteLineEnd();
      EXPECT_EQ(CapturedOutput::Bytes(),
                (utf8 ? c.shown_utf8 : c.shown_code_page_932) + "\r\n");
    }
  }
  SetDoubleByteInfo(false, "");
  // Elsewhere every byte passes, and the report keeps its bare line feed.
  for (const bool terminal : {false, true}) {
    CapturedOutput capture(/*character_device=*/true);
    Captured().terminal = terminal;
    WriteText("a\x1b\n");
    WriteLineEnd();
    EXPECT_EQ(CapturedOutput::Bytes(), terminal ? "a??\r\n" : "a\x1b\n\r\n");
    HaltCode([] {
      EConvertError e("x");
      ReportUnhandledException(&e, e.ClassName(), nullptr);
    });
    EXPECT_NE(CapturedOutput::Bytes().find("\nx.\r\n"), std::string::npos);
  }
}

TEST(OutputTest, UnpairedSurrogatesShowAsReplacementCharacters) {
  const std::string surrogate = "a\xED\xA0\x80" "b\xED\xBF\xBF";
  const struct {
    OutputEncoding encoding;
    bool terminal;
    std::string text;
    std::string written;  // where texts are made from UTF-16
  } cases[] = {
      {OutputEncoding::kUtf8, false, surrogate,
       "a\xEF\xBF\xBD" "b\xEF\xBF\xBD"},
      {OutputEncoding::kConsole, true, surrogate + "\x1b",
       "a\xEF\xBF\xBD" "b\xEF\xBF\xBD?"},
      {OutputEncoding::kUtf8, false, "\xED\x9F\xBF\xED\xA0", "\xED\x9F\xBF\xED\xA0"},
      // Code page 932 bytes pass as they are: ED A0 is a character there.
      {OutputEncoding::kPlatform, false, surrogate, surrogate},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    SetOutputEncoding(c.encoding);
    CapturedOutput capture(/*character_device=*/true);
    Captured().terminal = c.terminal;
    WriteText(c.text);
    WriteLineEnd();
    // POSIX names are bytes, and pass as they are.
    const bool from_utf16 = TextsFromUtf16();
    std::string expected = from_utf16 ? c.written : c.text;
    if (c.terminal && !from_utf16) expected.back() = '?';
    EXPECT_EQ(CapturedOutput::Bytes(), expected + "\r\n");
  }
  SetOutputEncoding(OutputEncoding::kPlatform);
}

TEST(OutputTest, EntryEndsFollowTheEntryForm) {
  const struct {
    EntryForm form;
    std::string entry_end;
  } cases[] = {
      {EntryForm::kListing, "\r\n"},
      {EntryForm::kBare, std::string(PlatformLineEnd())},
      {EntryForm::kNulEnded, std::string(1, '\0')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry_end.size());
    CapturedOutput capture(/*character_device=*/true);
    SetEntryForm(c.form);
    WriteText("a/b");
    WriteEntryEnd();
    // On a terminal each entry leaves at its end, whatever ends it.
    EXPECT_EQ(Captured().blocks, std::vector<std::string>{"a/b" + c.entry_end});
    WriteText("line");
    WriteLineEnd();
    EXPECT_EQ(CapturedOutput::Bytes(), "a/b" + c.entry_end + "line\r\n");
  }
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

TEST(OutputTest, FailedFinalFlushTurnsSuccessIntoFailure) {
  const struct {
    bool gathered;
    int32_t code;
    int32_t exit_code;
  } cases[] = {
      {false, 0, 1}, {false, 1, 1}, {false, 2, 2},
      {true, 0, 1},  {true, 1, 1},  {true, 2, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.gathered << " " << c.code);
    CapturedOutput capture;
    Captured().gathered = c.gathered;
    WriteText("pending");
    WriteLineEnd();
    CheckOutput();
    Captured().write_failure = 32;
    static int32_t code;
    code = c.code;
    EXPECT_EQ(HaltCode([] { HaltWithCode(code); }), c.exit_code);
    // The output failed: nothing reports it there.
    EXPECT_EQ(CapturedOutput::Bytes(), "");
  }
  // Nothing left to write cannot fail.
  CapturedOutput capture;
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
