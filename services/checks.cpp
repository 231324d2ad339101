#include "services/checks.h"

#ifdef KESTRIV_CHECKS
#include <cstdio>
#include <cstdlib>

// Only checked builds get here: the message is for the developer who broke
// the rule, so it goes where a crash report would.
void CheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
  std::abort();
}
#endif
