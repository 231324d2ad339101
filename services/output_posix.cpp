// Standard output on POSIX: file descriptor 1.
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "services/output.h"

namespace {

// The null device takes everything and can never fail, so gathering its
// blocks like a file's changes nothing but the cost (a write per line
// would double the time of a large search). Other character devices (a
// terminal, or one that can refuse bytes) get each line at its line end.
bool IsNullDevice(const struct stat& st) {
  struct stat null_st;
  return stat("/dev/null", &null_st) == 0 && S_ISCHR(null_st.st_mode) &&
         null_st.st_rdev == st.st_rdev;
}

// A pipe or a file takes the blocks gathered: a pipe write per 128 bytes
// costs a wake-up of the reader each time, which would cost more than the
// whole walk.
bool BindDescriptor(OutputDevice* device) {
  struct stat st;
  if (fstat(STDOUT_FILENO, &st) != 0) return false;
  // A reader that has gone, or a file past its size limit, must turn into
  // a failed write with an error code, reported like any other, not into
  // death by a signal.
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  if (!S_ISCHR(st.st_mode) || IsNullDevice(st))
    *device = OutputDevice::kGathered;
  else
    *device = isatty(STDOUT_FILENO) ? OutputDevice::kTerminal
                                    : OutputDevice::kLines;
  return true;
}

// The Windows error code for the errno of a failed write: the messages are
// keyed by Windows codes, and a report names the cause as the Windows build
// names it.
int32_t WindowsErrorCode(int error) {
  switch (error) {
    case ENOENT: return 2;    // ERROR_FILE_NOT_FOUND
    case ENOTDIR: return 3;   // ERROR_PATH_NOT_FOUND
    case EMFILE:
    case ENFILE: return 4;    // ERROR_TOO_MANY_OPEN_FILES
    case EACCES:
    case EPERM: return 5;     // ERROR_ACCESS_DENIED
    case EBADF: return 6;     // ERROR_INVALID_HANDLE
    case ENOMEM: return 8;    // ERROR_NOT_ENOUGH_MEMORY
    case EROFS: return 19;    // ERROR_WRITE_PROTECT
    case ENXIO:
    case ENODEV: return 55;   // ERROR_DEV_NOT_EXIST
    case EINVAL: return 87;   // ERROR_INVALID_PARAMETER
    case EPIPE:
    case ECONNRESET: return 109;  // ERROR_BROKEN_PIPE
    case ENOSPC:
    case EDQUOT: return 112;  // ERROR_DISK_FULL
    case EFBIG: return 223;   // ERROR_FILE_TOO_LARGE
  }
  return 29;  // ERROR_WRITE_FAULT: EIO, and any cause Windows has no code for
}

// Writes all of `data`, continuing after interruptions and partial writes.
int32_t WriteDescriptor(const char* data, size_t size, size_t* taken) {
  *taken = 0;
  while (*taken < size) {
    ssize_t written = write(STDOUT_FILENO, data + *taken, size - *taken);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return WindowsErrorCode(errno);
    // A write that takes nothing would never finish.
    if (written == 0) return WindowsErrorCode(EIO);
    *taken += static_cast<size_t>(written);
  }
  return 0;
}

// Ends at once: no unwinding, no static destructors, no stdio flush.
void EndProcess(int32_t code) { _exit(code); }

}  // namespace

std::string_view PlatformLineEnd() { return "\n"; }

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
