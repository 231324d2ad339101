#include <windows.h>

#include <string>

#include "services/dbcs.h"
#include "services/text_encoding.h"

// Texts made from UTF-16 are UTF-8, where no byte leads a double-byte
// character; otherwise they are in the ANSI code page.
void InitDoubleByteInfo() {
  const bool double_byte_mode =
      !TextsFromUtf16() && GetSystemMetrics(SM_DBCSENABLED) != 0;
  std::string ranges;
  CPINFO info;
  // The lead-byte ranges of the ANSI code page: up to six lower/upper
  // pairs, ended by a pair of zero bytes.
  if (double_byte_mode && GetCPInfo(CP_ACP, &info)) {
    ranges.assign(reinterpret_cast<const char*>(info.LeadByte),
                  sizeof info.LeadByte);
  }
  SetDoubleByteInfo(double_byte_mode, ranges);
}
