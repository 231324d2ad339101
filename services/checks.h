// Checks of a component's own rules (state transitions, which thread may
// call what). Test, sanitizer and ThreadSanitizer builds keep them
// (KESTRIV_CHECKS); release builds drop them, condition and all.
#ifndef KESTRIV_SERVICES_CHECKS_H_
#define KESTRIV_SERVICES_CHECKS_H_

#ifdef KESTRIV_CHECKS
// Ends the process at once: a broken rule leaves nothing safe to do.
[[noreturn]] void CheckFailed(const char* condition, const char* file,
                              int line);
#define KESTRIV_CHECK(condition) \
  ((condition) ? (void)0 : CheckFailed(#condition, __FILE__, __LINE__))
#else
// The condition is compiled, never run: what it names stays in use.
#define KESTRIV_CHECK(condition) ((void)sizeof(!(condition)))
#endif

#endif  // KESTRIV_SERVICES_CHECKS_H_
