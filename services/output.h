// The one buffered output channel on standard output, the output check and
// the halt. Every line is: items, WriteLineEnd (or FlushOutput for the
// summary), then CheckOutput at once.
#ifndef KESTRIV_SERVICES_OUTPUT_H_
#define KESTRIV_SERVICES_OUTPUT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class Exception;

// Appends the bytes of `text`; an empty text still binds the channel. On a
// terminal each control character is shown as "?"; texts made from UTF-16
// show an unpaired surrogate as U+FFFD.
void WriteText(std::string_view text);
// Appends `value` in decimal.
void WriteInteger(int32_t value);
// Appends CR LF, then flushes when standard output takes each line.
void WriteLineEnd();
// Ends a selected entry's path as the run's entry form says, then flushes
// when standard output takes each line.
void WriteEntryEnd();
// Flushes when standard output takes each line.
void FlushOutput();
// Raises EInOutError when an output step since the last check failed, or
// when a gathered write failed in a block an earlier statement handed over
// (then located at that statement's check).
void CheckOutput();

// Adds a step that HaltWithCode runs before the final flush.
void AddFinalisationStep(void (*step)());
// Runs the finalisation, writes what is buffered and ends the process with
// `code`, without unwinding; a failed write of gathered whole blocks is
// reported instead, with exit code 1, and a failed last write turns 0 into
// 1. Never returns.
[[noreturn]] void HaltWithCode(int32_t code);

// The two-line report text for an uncaught exception (`e` may be null for
// an object that is not an Exception; then `class_name` names it).
std::string FormatExceptionReport(const Exception* e, const char* class_name,
                                  const void* location);
// Writes the report and halts with exit code 1; a failed write of gathered
// whole blocks, which came first, is reported instead. Never returns.
[[noreturn]] void ReportUnhandledException(const Exception* e,
                                           const char* class_name,
                                           const void* location);

// What the run prints for its selected entries.
enum class EntryForm {
  kListing,    // header lines, each path ending in CR LF, the summary
  kBare,       // the paths only, each ending in the platform's line end
  kNulEnded,   // the paths only, each followed by one NUL byte
};
// Sets the run's entry form; kListing until it is set.
void SetEntryForm(EntryForm form);
// The run's entry form.
EntryForm CurrentEntryForm();

// How standard output takes the channel's blocks.
enum class OutputDevice {
  kTerminal,  // each line at its line end, read by a person (a terminal or
              // console): control characters are shown as "?"
  kLines,     // each line at its line end (another character device)
  kBlocks,    // each 128-byte block as it fills (a file or a pipe)
  kGathered,  // the blocks gathered into 4096-byte writes
};

// Where the channel's bytes go; replaced in unit tests.
struct OutputSink {
  // Binds standard output; false when it cannot be bound. Sets *device.
  bool (*bind)(OutputDevice* device);
  // Writes `size` bytes; 0 or the platform's failure code, with *taken set
  // to how many leading bytes the platform took before it failed.
  int32_t (*write)(const char* data, size_t size, size_t* taken);
  // Ends the process with `code`; never returns.
  void (*exit)(int32_t code);
};

// The line end of this platform's text files: LF on POSIX, CR LF on
// Windows.
std::string_view PlatformLineEnd();

// The platform's standard-output sink.
OutputSink PlatformOutputSink();
// Test seam: replaces the sink and resets the channel to unbound and empty.
void ResetOutputChannelForTesting(const OutputSink& sink);

// The module file name (without directory) and the offset within the
// loaded image of a code address, for the report.
void DescribeCodeAddress(const void* address, std::string* module_name,
                         uint32_t* offset);

#endif  // KESTRIV_SERVICES_OUTPUT_H_
