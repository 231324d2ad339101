#include "services/text_encoding.h"

#include <gtest/gtest.h>

namespace {

TEST(TextEncodingTest, ChooseOutputEncoding) {
  const struct {
    bool console;
    unsigned code_page;
    bool utf8_asked;
    OutputEncoding chosen;
  } cases[] = {
      // A console shows every character whatever its code page.
      {true, 932, false, OutputEncoding::kConsole},
      {true, kUtf8CodePage, false, OutputEncoding::kConsole},
      {true, 932, true, OutputEncoding::kConsole},
      // Redirected: what the console's code page lets its reader decode.
      {false, 932, false, OutputEncoding::kPlatform},
      {false, 437, false, OutputEncoding::kPlatform},
      {false, kUtf8CodePage, false, OutputEncoding::kUtf8},
      {false, 932, true, OutputEncoding::kUtf8},
      // No console at all.
      {false, 0, false, OutputEncoding::kPlatform},
      {false, 0, true, OutputEncoding::kUtf8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.console << " " << c.code_page << " "
                                    << c.utf8_asked);
    EXPECT_EQ(ChooseOutputEncoding(c.console, c.code_page, c.utf8_asked),
              c.chosen);
  }
}

}  // namespace
