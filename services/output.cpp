#include "services/output.h"

#include <cstdio>
#include <cstring>

#include "services/exceptions.h"
#include "services/messages.h"
#include "services/text.h"

namespace {

// Failure codes the channel itself stores: writing to an unbound channel and
// flushing an unbound one.
constexpr int32_t kCodeNotOpenForOutput = 105;
constexpr int32_t kCodeNotOpen = 103;
constexpr size_t kBufferSize = 128;
constexpr size_t kMaxReportBytes = 1023;

struct Channel {
  OutputSink sink = PlatformOutputSink();
  bool open = false;
  bool flush_at_line_end = false;
  size_t fill = 0;
  char buffer[kBufferSize];
};

Channel channel;
int32_t PendingIOError = 0;
int32_t ProcessExitCode = 0;

// A fixed table, so that adding a step never allocates while halting.
constexpr int kMaxFinalisationSteps = 8;
void (*finalisation_steps[kMaxFinalisationSteps])() = {};
int finalisation_count = 0;

bool OpenStandardOutput() {
  bool character_device = false;
  if (!channel.sink.bind(&character_device)) return false;
  channel.flush_at_line_end = character_device;
  channel.fill = 0;
  channel.open = true;
  return true;
}

// Hands the buffered bytes to the platform; they are gone either way.
int32_t WriteBlock() {
  if (channel.fill == 0) return 0;
  size_t size = channel.fill;
  channel.fill = 0;
  return channel.sink.write(channel.buffer, size);
}

void Append(const char* data, size_t n) {
  if (!channel.open && !OpenStandardOutput()) {
    PendingIOError = kCodeNotOpenForOutput;
    return;
  }
  for (;;) {
    size_t space = kBufferSize - channel.fill;
    if (n < space) {
      std::memcpy(channel.buffer + channel.fill, data, n);
      channel.fill += n;
      return;
    }
    // A buffer that becomes exactly full leaves at once.
    std::memcpy(channel.buffer + channel.fill, data, space);
    channel.fill = kBufferSize;
    if (int32_t code = WriteBlock()) {
      PendingIOError = code;
      return;
    }
    data += space;
    n -= space;
  }
}

void FlushStep() {
  if (!channel.open) {
    PendingIOError = kCodeNotOpen;
  } else if (channel.flush_at_line_end) {
    if (int32_t code = WriteBlock()) PendingIOError = code;
  }
}

std::string IoErrorMessage(int32_t code) {
  switch (code) {
    case 2: return MessageText(kMsgFileNotFound);
    case 3: return MessageText(kMsgInvalidFileName);
    case 4: return MessageText(kMsgTooManyOpenFiles);
    case 5: return MessageText(kMsgAccessDenied);
    case 100: return MessageText(kMsgReadBeyondEnd);
    case 101: return MessageText(kMsgDiskFull);
    case 106: return MessageText(kMsgNotNumeric);
  }
  return ReplaceAllText(MessageText(kMsgIoError), "%d",
                        std::to_string(code));
}

}  // namespace

void WriteText(const std::string& text) { Append(text.data(), text.size()); }

void WriteInteger(int32_t value) {
  char digits[12];
  char* end = digits + sizeof digits;
  char* p = end;
  // Work on the magnitude as unsigned so the most negative value survives.
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value)
                                 : static_cast<uint32_t>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = '-';
  Append(p, static_cast<size_t>(end - p));
}

void WriteLineEnd() {
  Append("\r\n", 2);
  FlushStep();
}

void FlushOutput() { FlushStep(); }

// Kept out of line: the return address is the position of the check in the
// caller, which the report names.
__attribute__((noinline)) void CheckOutput() {
  if (PendingIOError == 0) return;
  int32_t code = PendingIOError;
  PendingIOError = 0;
  throw EInOutError(IoErrorMessage(code), code, __builtin_return_address(0));
}

void AddFinalisationStep(void (*step)()) {
  if (finalisation_count < kMaxFinalisationSteps)
    finalisation_steps[finalisation_count++] = step;
}

void HaltWithCode(int32_t code) {
  ProcessExitCode = code;
  for (int i = 0; i < finalisation_count; ++i) finalisation_steps[i]();
  // The final flush: a failure here is not reported and the code stays.
  if (channel.open) WriteBlock();
  channel.sink.exit(ProcessExitCode);
  __builtin_unreachable();
}

std::string FormatExceptionReport(const Exception* e, const char* class_name,
                                  const void* location) {
  std::string module_name;
  uint32_t offset = 0;
  DescribeCodeAddress(location, &module_name, &offset);
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(offset));
  const std::string message = e ? e->Message() : std::string();
  const char* values[] = {e ? e->ClassName() : class_name, module_name.c_str(),
                          hex};
  // Fill the template's three placeholders in order; a value that itself
  // holds "%s" or "%p" is never searched again.
  std::string report;
  const char* rest = MessageText(kMsgExceptionReport);
  for (const char* value : values) {
    const char* mark = std::strchr(rest, '%');
    report.append(rest, static_cast<size_t>(mark - rest));
    report += value;
    rest = mark + 2;
  }
  report += rest;
  report += '\n';
  report += message;
  if (!message.empty() && message.back() != '.') report += '.';
  if (report.size() > kMaxReportBytes) report.resize(kMaxReportBytes);
  return report;
}

void ReportUnhandledException(const Exception* e, const char* class_name,
                              const void* location) {
  try {
    WriteText(FormatExceptionReport(e, class_name, location));
    WriteLineEnd();
    CheckOutput();
  } catch (...) {
    // The report could not be written: no second report.
  }
  HaltWithCode(1);
}

void ResetOutputChannelForTesting(const OutputSink& sink) {
  channel = Channel();
  channel.sink = sink;
  PendingIOError = 0;
  ProcessExitCode = 0;
}
