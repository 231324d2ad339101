#include "services/output.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include "services/dbcs.h"
#include "services/exceptions.h"
#include "services/messages.h"
#include "services/text.h"
#include "services/text_encoding.h"
#include "services/utf16.h"

namespace {

// Failure codes the channel itself stores: writing to an unbound channel and
// flushing an unbound one.
constexpr int32_t kCodeNotOpenForOutput = 105;
constexpr int32_t kCodeNotOpen = 103;
constexpr size_t kBufferSize = 128;
// Blocks per gathered write: 4096 bytes.
constexpr size_t kGatheredBlocks = 32;
constexpr size_t kMaxReportBytes = 1023;

// Whole blocks handed over but not yet written. Each remembers the output
// check of the statement that handed it over: when their write fails, that
// statement is the one whose check an immediate write would have failed.
struct Gathered {
  size_t blocks = 0;
  size_t checked = 0;  // leading blocks whose statement's check has run
  const void* check_site[kGatheredBlocks];
  char data[kGatheredBlocks * kBufferSize];
};

struct Channel {
  OutputSink sink = PlatformOutputSink();
  EntryForm form = EntryForm::kListing;
  bool open = false;
  OutputDevice device = OutputDevice::kBlocks;
  // A terminal reading UTF-8 takes U+0080 to U+009F as controls too.
  bool utf8_terminal = false;
  // The texts may hold a name's unpaired surrogate, which is shown as
  // U+FFFD.
  bool surrogates = false;
  size_t fill = 0;
  char buffer[kBufferSize];
  Gathered gathered;
};

// A failed output step: its code, and the check of the statement it
// belongs to when that statement's check has already run.
struct Failure {
  int32_t code = 0;
  const void* check_site = nullptr;  // null: the statement under way
};

Channel channel;
int32_t PendingIOError = 0;
const void* PendingIOErrorSite = nullptr;
int32_t ProcessExitCode = 0;
bool FinalisationDone = false;
bool Reporting = false;  // the uncaught-exception report is under way

// A fixed table, so that adding a step never allocates while halting.
constexpr int kMaxFinalisationSteps = 8;
void (*finalisation_steps[kMaxFinalisationSteps])() = {};
int finalisation_count = 0;

bool OpenStandardOutput() {
  OutputDevice device = OutputDevice::kBlocks;
  if (!channel.sink.bind(&device)) return false;
  channel.device = device;
  // Code page 932 text (Windows outside the Unicode encodings, a
  // Shift_JIS locale) has no such controls, and C2 there can stand before
  // a lead byte. Names decide, not messages: under a Shift_JIS locale
  // --utf8 changes the messages only.
  channel.utf8_terminal =
      device == OutputDevice::kTerminal && !DoubleByteMode();
  channel.surrogates = TextsFromUtf16();
  channel.fill = 0;
  channel.open = true;
  return true;
}

bool TakesEachLine() {
  return channel.device == OutputDevice::kTerminal ||
         channel.device == OutputDevice::kLines;
}

// A later failure never replaces one of a statement already checked: that
// statement would have ended the run before this one began.
void StoreFailure(const Failure& failure) {
  if (PendingIOError != 0 && PendingIOErrorSite != nullptr) return;
  PendingIOError = failure.code;
  PendingIOErrorSite = failure.check_site;
}

// Writes the gathered blocks and the `tail` bytes placed behind them, in
// one call; they are gone either way. A failure counts from the block of
// the first byte not taken; inside the tail it is no statement's (code 0),
// and only *failed tells of it.
Failure WriteGathered(size_t tail, bool* failed = nullptr) {
  Gathered& g = channel.gathered;
  const size_t blocks = g.blocks;
  const size_t checked = g.checked;
  g.blocks = g.checked = 0;
  const size_t size = blocks * kBufferSize + tail;
  size_t taken = 0;
  const int32_t code = size == 0 ? 0 : channel.sink.write(g.data, size, &taken);
  if (failed != nullptr) *failed = code != 0;
  const size_t block = taken / kBufferSize;
  if (code == 0 || block >= blocks) return Failure();
  return Failure{code, block < checked ? g.check_site[block] : nullptr};
}

// Hands the buffered bytes to the platform, or adds them to the gathered
// blocks; they are gone either way.
Failure WriteBlock() {
  if (channel.fill == 0) return Failure();
  const size_t size = channel.fill;
  channel.fill = 0;
  if (channel.device != OutputDevice::kGathered) {
    size_t taken = 0;
    return Failure{channel.sink.write(channel.buffer, size, &taken)};
  }
  // Only full buffers come here: the flush step leaves gathered output
  // alone, and the halt writes the last partial block itself.
  Gathered& g = channel.gathered;
  std::memcpy(g.data + g.blocks * kBufferSize, channel.buffer, size);
  // Full gathered blocks leave at once, as a full buffer does.
  return ++g.blocks == kGatheredBlocks ? WriteGathered(0) : Failure();
}

// The statement whose check runs at `site` handed over every block not yet
// marked.
void MarkChecked(const void* site) {
  Gathered& g = channel.gathered;
  for (size_t i = g.checked; i < g.blocks; ++i) g.check_site[i] = site;
  g.checked = g.blocks;
}

// Forgets the bytes of the statements after a failed one: the run would
// have ended at that one's check.
void DropLaterStatements() {
  channel.fill = 0;
  channel.gathered.blocks = channel.gathered.checked = 0;
}

// Binds the channel when it is unbound; false (and code 105 stored) when
// it cannot be bound.
bool Bound() {
  if (channel.open || OpenStandardOutput()) return true;
  StoreFailure(Failure{kCodeNotOpenForOutput});
  return false;
}

void Append(const char* data, size_t n) {
  if (!Bound()) return;
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
    const Failure failure = WriteBlock();
    if (failure.code != 0) {
      StoreFailure(failure);
      return;
    }
    data += space;
    n -= space;
  }
}

// The bytes of the control character that `rest` begins with, 0 when it
// begins with none: a C0 byte or DEL, and for a UTF-8 terminal a C1 control
// (C2 80 to C2 9F). No byte of these is part of another character, neither
// in UTF-8 nor in code page 932.
size_t ControlLength(std::string_view rest) {
  const auto byte = static_cast<unsigned char>(rest[0]);
  if (byte < 0x20 || byte == 0x7F) return 1;
  if (channel.utf8_terminal && byte == 0xC2 && rest.size() > 1) {
    const auto next = static_cast<unsigned char>(rest[1]);
    if (next >= 0x80 && next <= 0x9F) return 2;
  }
  return 0;
}

// The bytes `rest` begins with that are shown otherwise, 0 when none, and
// what is shown for them in `*shown`: a control character on a terminal,
// an unpaired surrogate (which UTF-8 cannot carry) anywhere.
size_t ReplacedLength(std::string_view rest, std::string_view* shown) {
  if (channel.device == OutputDevice::kTerminal) {
    if (const size_t control = ControlLength(rest)) {
      *shown = "?";
      return control;
    }
  }
  if (channel.surrogates) {
    if (const size_t surrogate = SurrogateBytesAt(rest)) {
      *shown = "\xEF\xBF\xBD";  // U+FFFD
      return surrogate;
    }
  }
  return 0;
}

// Appends `text` with each control character shown as one "?", so that a
// name's bytes cannot drive the terminal (move the cursor, set the window
// title, forge lines), and each unpaired surrogate as U+FFFD.
void AppendShown(std::string_view text) {
  size_t start = 0;
  for (size_t i = 0; i < text.size();) {
    std::string_view shown;
    const size_t replaced = ReplacedLength(text.substr(i), &shown);
    if (replaced == 0) {
      ++i;
      continue;
    }
    Append(text.data() + start, i - start);
    Append(shown.data(), shown.size());
    i += replaced;
    start = i;
  }
  Append(text.data() + start, text.size() - start);
}

std::string_view EntryEnd() {
  switch (channel.form) {
    case EntryForm::kBare: return PlatformLineEnd();
    case EntryForm::kNulEnded: return std::string_view("", 1);
    case EntryForm::kListing: break;
  }
  return "\r\n";
}

void FlushStep() {
  if (!channel.open) {
    StoreFailure(Failure{kCodeNotOpen});
  } else if (TakesEachLine()) {
    const Failure failure = WriteBlock();
    if (failure.code != 0) StoreFailure(failure);
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

void WriteText(std::string_view text) {
  // Bound first: only then is it known whether a person reads the bytes.
  if (!Bound()) return;
  if (channel.device == OutputDevice::kTerminal || channel.surrogates)
    AppendShown(text);
  else
    Append(text.data(), text.size());
}

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

void WriteEntryEnd() {
  const std::string_view end = EntryEnd();
  Append(end.data(), end.size());
  FlushStep();
}

void FlushOutput() { FlushStep(); }

void SetEntryForm(EntryForm form) { channel.form = form; }

EntryForm CurrentEntryForm() { return channel.form; }

// Kept out of line: the return address is the position of the check in the
// caller, which the report names.
__attribute__((noinline)) void CheckOutput() {
  const void* here = __builtin_return_address(0);
  MarkChecked(here);
  if (PendingIOError == 0) return;
  const int32_t code = PendingIOError;
  const void* site = PendingIOErrorSite != nullptr ? PendingIOErrorSite : here;
  if (PendingIOErrorSite != nullptr) DropLaterStatements();
  PendingIOError = 0;
  PendingIOErrorSite = nullptr;
  throw EInOutError(IoErrorMessage(code), code, site);
}

void AddFinalisationStep(void (*step)()) {
  if (finalisation_count < kMaxFinalisationSteps)
    finalisation_steps[finalisation_count++] = step;
}

namespace {

// Reports the failed write of a statement whose check has already run,
// as that check would have: the report, exit code 1.
[[noreturn]] void ReportFailedStatement(const Failure& failure) {
  std::optional<EInOutError> error;
  try {
    error.emplace(IoErrorMessage(failure.code), failure.code,
                  failure.check_site);
  } catch (...) {
    HaltWithCode(1);  // no memory for the report: the exit code remains
  }
  ReportUnhandledException(&*error, error->ClassName(), error->Location());
}

// Writes the gathered blocks ahead of a report; their failure comes first,
// since their statements ran before whatever is being reported.
void SettleGatheredBlocks() {
  if (!channel.open || channel.device != OutputDevice::kGathered || Reporting)
    return;
  const Failure failure = WriteGathered(0);
  if (failure.code == 0) return;
  DropLaterStatements();
  ReportFailedStatement(failure);
}

// The final flush: the last partial block leaves; false when its write
// failed. Gathered blocks leave with it in the same write; theirs is the
// failure of a statement and is reported (unless the report is the output
// that failed).
bool FinalFlush() {
  if (!channel.open) return true;
  if (channel.device != OutputDevice::kGathered) return WriteBlock().code == 0;
  Gathered& g = channel.gathered;
  const size_t tail = channel.fill;
  std::memcpy(g.data + g.blocks * kBufferSize, channel.buffer, tail);
  channel.fill = 0;
  bool failed = false;
  const Failure failure = WriteGathered(tail, &failed);
  if (failure.code != 0 && !Reporting) ReportFailedStatement(failure);
  return !failed;
}

}  // namespace

void HaltWithCode(int32_t code) {
  ProcessExitCode = code;
  if (!FinalisationDone) {
    FinalisationDone = true;
    for (int i = 0; i < finalisation_count; ++i) finalisation_steps[i]();
  }
  // Output that never arrived is no success. It gets no report, since the
  // report would go where the output has just failed.
  if (!FinalFlush() && ProcessExitCode == 0) ProcessExitCode = 1;
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
  SettleGatheredBlocks();
  Reporting = true;
  try {
    // As composed: its first line ends in a bare line feed, which the
    // terminal rule of WriteText would show as "?".
    const std::string report = FormatExceptionReport(e, class_name, location);
    Append(report.data(), report.size());
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
  PendingIOErrorSite = nullptr;
  ProcessExitCode = 0;
  FinalisationDone = false;
  Reporting = false;
}
