// kestriv: a console file search.
//
// The module map (how data flows between the parts) is in README.md.
#include <exception>
#include <new>

#include "frontend/command_line.h"
#include "frontend/run_driver.h"
#include "services/dates.h"
#include "services/dbcs.h"
#include "services/exceptions.h"
#include "services/output.h"
#include "services/text_encoding.h"

namespace {

// Whatever escapes the main routine ends here: a two-line report on
// standard output and exit code 1.
[[noreturn]] void ReportCurrentException() {
  try {
    throw;
  } catch (const Exception& e) {
    ReportUnhandledException(&e, e.ClassName(), e.Location());
  } catch (const std::bad_alloc&) {
    const EOutOfMemory* e = OutOfMemoryError(nullptr);
    // Without memory even for the report's object, the exit code says it.
    if (e == nullptr) HaltWithCode(1);
    ReportUnhandledException(e, e->ClassName(), e->Location());
  } catch (...) {
    ReportUnhandledException(nullptr, "Exception", nullptr);
  }
}

// Set when the last handler has begun. A report that fails in a way that
// ends here again (no memory left even to raise an exception) leaves only
// the exit code.
bool terminating = false;

void OnTerminate() {
  if (terminating) HaltWithCode(1);
  terminating = true;
  if (std::current_exception()) ReportCurrentException();
  ReportUnhandledException(nullptr, "Exception", nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  // First of all, so that no failure, not even the first allocation's,
  // reaches the runtime's own handler, which writes to standard error.
  std::set_terminate(OnTerminate);
  // The output encoding comes before every text: it decides how the
  // command line is read, how names are held and which encoding the
  // messages take, that of the report of exhausted memory too.
  InitOutputEncoding(AsksForUtf8(CommandLineArguments(argc, argv)));
  // Made now, so that reporting exhausted memory later needs none. Without
  // memory for it at start-up, nothing can be reported.
  if (OutOfMemoryError(nullptr) == nullptr) HaltWithCode(1);
  try {
    InitDoubleByteInfo();
    InitDateTextSettings();
    RunMain(CommandLineArguments(argc, argv));
  } catch (...) {
    ReportCurrentException();
  }
}
