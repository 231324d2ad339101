#include "services/messages.h"

#include <iconv.h>

#include <string>

#include "gtest/gtest.h"

namespace {

// The UTF-8 text converted to code page 932 by the C library.
std::string ToCodePage932(const std::string& utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "<no converter>";
  std::string in = utf8, out(in.size() * 2 + 4, '\0');
  char* src = in.data();
  char* dst = out.data();
  size_t src_left = in.size(), dst_left = out.size();
  size_t result = iconv(cd, &src, &src_left, &dst, &dst_left);
  iconv_close(cd);
  if (result == static_cast<size_t>(-1)) return "<conversion failed>";
  out.resize(out.size() - dst_left);
  return out;
}

TEST(MessagesTest, BytesAreTheCodePage932FormOfTheirText) {
  for (int i = 0; i < kAllMessagesCount; ++i) {
    const MessageText& m = kAllMessages[i];
    SCOPED_TRACE(m.name);
    EXPECT_EQ(std::string(m.bytes), ToCodePage932(m.utf8));
  }
}

TEST(MessagesTest, UsageLinesHaveTheirFixedLengths) {
  const struct {
    const char* bytes;
    size_t length;
  } cases[] = {{kMsgUsage3, 76}, {kMsgUsage4, 69}, {kMsgUsage5, 71},
               {kMsgUsage6, 46}};
  for (const auto& c : cases) EXPECT_EQ(std::string(c.bytes).size(), c.length);
}

}  // namespace
