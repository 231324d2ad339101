// Standard output on POSIX: file descriptor 1.
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "services/output.h"

namespace {

// For a pipe or a file the channel's 128-byte blocks are gathered here and
// leave in one system call per 4096 bytes: a pipe write per 128 bytes costs
// a wake-up of the reader each time, which would cost more than the whole
// walk. The bytes and their order are the same; a failure is reported by
// the block during which the gathered bytes leave. A terminal or the null
// device gets every block at once.
struct Gathered {
  bool active = false;
  size_t used = 0;
  char data[4096];
};

Gathered gathered;

bool BindDescriptor(bool* character_device) {
  struct stat st;
  if (fstat(STDOUT_FILENO, &st) != 0) return false;
  // A reader that has gone must turn into a failed write with an error
  // code, reported like any other, not into death by a signal.
  signal(SIGPIPE, SIG_IGN);
  // A terminal or /dev/null gets each line at its line end.
  *character_device = S_ISCHR(st.st_mode);
  gathered.active = !*character_device;
  return true;
}

// Writes all of `data`, continuing after interruptions and partial writes.
int32_t WriteAll(const char* data, size_t size) {
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

// Hands the gathered bytes to the system; they are gone either way.
int32_t WriteGathered() {
  size_t used = gathered.used;
  gathered.used = 0;
  return WriteAll(gathered.data, used);
}

int32_t WriteDescriptor(const char* data, size_t size) {
  if (!gathered.active) return WriteAll(data, size);
  if (gathered.used + size > sizeof gathered.data) {
    // On failure the block at hand is gone too, as a failed block is.
    if (int32_t code = WriteGathered()) return code;
    if (size > sizeof gathered.data) return WriteAll(data, size);
  }
  std::memcpy(gathered.data + gathered.used, data, size);
  gathered.used += size;
  return 0;
}

// Ends at once: no unwinding, no static destructors, no stdio flush; what
// is gathered leaves first, and a failure there is not reported.
void EndProcess(int32_t code) {
  WriteGathered();
  _exit(code);
}

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
