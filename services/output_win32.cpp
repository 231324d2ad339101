// Standard output on Windows: the process's standard-output handle.
#include <windows.h>

#include <vector>

#include "services/output.h"
#include "services/path_text.h"

namespace {

HANDLE g_output = INVALID_HANDLE_VALUE;

// A failed call whose error code was lost still has to read as a failure.
int32_t LastErrorCode() {
  const DWORD code = GetLastError();
  return code != 0 ? static_cast<int32_t>(code)
                   : static_cast<int32_t>(ERROR_WRITE_FAULT);
}

bool BindHandle(OutputDevice* device) {
  HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  // A process started without standard output has a null handle.
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return false;
  const DWORD type = GetFileType(handle);
  if (type == FILE_TYPE_UNKNOWN) {
    CloseHandle(handle);
    return false;
  }
  g_output = handle;
  // The console and the null device get each line at its line end; a file
  // or a pipe each 128-byte block as it fills. Only a console has a mode.
  DWORD mode = 0;
  if (type != FILE_TYPE_CHAR)
    *device = OutputDevice::kBlocks;
  else
    *device = GetConsoleMode(handle, &mode) ? OutputDevice::kTerminal
                                            : OutputDevice::kLines;
  return true;
}

// Writes the whole block; a console may take it in parts.
int32_t WriteHandle(const char* data, size_t size, size_t* taken) {
  *taken = 0;
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u
                                           : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(g_output, data, chunk, &written, nullptr))
      return LastErrorCode();
    // A call that succeeds without taking anything would never finish.
    if (written == 0) break;
    data += written;
    size -= written;
    *taken += written;
  }
  return 0;
}

// ExitProcess runs no handler of the program: the C runtime's exit list
// (static destructors, atexit) runs only from exit(), which is never called.
void EndProcess(int32_t code) { ExitProcess(static_cast<UINT>(code)); }

// The module that holds `address`; the executable when none is found.
HMODULE ModuleOf(const void* address) {
  HMODULE module = nullptr;
  const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                      GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (address == nullptr ||
      !GetModuleHandleExA(flags, static_cast<LPCSTR>(address), &module))
    module = GetModuleHandleA(nullptr);
  return module;
}

// The full path of `module`; the buffer grows until the path fits.
std::string ModulePath(HMODULE module) {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = GetModuleFileNameA(module, buffer.data(), size);
    if (length == 0) return std::string();
    if (length < size) return std::string(buffer.data(), length);
    if (buffer.size() >= 32768) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string_view PlatformLineEnd() { return "\r\n"; }

OutputSink PlatformOutputSink() {
  return OutputSink{BindHandle, WriteHandle, EndProcess};
}

void DescribeCodeAddress(const void* address, std::string* module_name,
                         uint32_t* offset) {
  HMODULE module = ModuleOf(address);
  const std::string path = ModulePath(module);
  // A 0x5C that is the second byte of a double-byte character is no "\".
  module_name->assign(path, LastDelimiterPos("\\", path), std::string::npos);
  if (module_name->size() > 260) module_name->resize(260);
  // A module handle is the base address of its loaded image.
  *offset = address == nullptr
                ? 0
                : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address) -
                                        reinterpret_cast<uintptr_t>(module));
}
