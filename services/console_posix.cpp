// Standard output on POSIX: file descriptor 1.
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "services/output.h"

namespace {

bool BindDescriptor(bool* character_device) {
  struct stat st;
  if (fstat(STDOUT_FILENO, &st) != 0) return false;
  // A reader that has gone must turn into a failed write with an error
  // code, reported like any other, not into death by a signal.
  signal(SIGPIPE, SIG_IGN);
  // A terminal or /dev/null gets each line at its line end.
  *character_device = S_ISCHR(st.st_mode);
  return true;
}

// Writes the whole block, continuing after interruptions and partial writes.
int32_t WriteDescriptor(const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = write(STDOUT_FILENO, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

// Ends at once: no unwinding, no static destructors, no stdio flush.
void EndProcess(int32_t code) { _exit(code); }

}  // namespace

OutputSink PlatformOutputSink() {
  return OutputSink{BindDescriptor, WriteDescriptor, EndProcess};
}

void DescribeCodeAddress(const void* address, std::string* module_name,
                         uint32_t* offset) {
  Dl_info info;
  std::memset(&info, 0, sizeof info);
  const char* path = program_invocation_name;
  *offset = 0;
  if (address != nullptr && dladdr(address, &info) != 0) {
    if (info.dli_fname != nullptr && info.dli_fname[0] != '\0')
      path = info.dli_fname;
    *offset = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address) -
                                    reinterpret_cast<uintptr_t>(info.dli_fbase));
  }
  const char* slash = std::strrchr(path, '/');
  module_name->assign(slash != nullptr ? slash + 1 : path);
  if (module_name->size() > 260) module_name->resize(260);
}
