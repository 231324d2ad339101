// Standard output on Windows: the process's standard-output handle. A
// console is written as UTF-16, so that it shows every character whatever
// its code page; anything else gets the bytes.
#include <windows.h>

#include <cstring>
#include <vector>

#include "services/output.h"
#include "services/path_text.h"
#include "services/text_encoding.h"
#include "services/utf16.h"
#include "services/wide_text_win32.h"

namespace {

HANDLE g_output = INVALID_HANDLE_VALUE;
// The handle is a console that takes the UTF-8 texts as UTF-16.
bool g_console = false;
// The first bytes of a character the last block ended in the middle of;
// they lead the next block.
char g_unfinished[3];
size_t g_unfinished_size = 0;

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
  g_console = *device == OutputDevice::kTerminal &&
              CurrentOutputEncoding() == OutputEncoding::kConsole;
  return true;
}

// Writes `count` UTF-16 units to the console, which may take them in parts.
int32_t WriteConsoleUnits(const wchar_t* units, size_t count) {
  while (count > 0) {
    DWORD written = 0;
    if (!WriteConsoleW(g_output, units, static_cast<DWORD>(count), &written,
                       nullptr))
      return LastErrorCode();
    if (written == 0) break;
    units += written;
    count -= written;
  }
  return 0;
}

// Converts the block in pieces through fixed buffers (a block is at most
// 128 bytes), so that writing allocates nothing.
int32_t WriteConsoleText(const char* data, size_t size, size_t* taken) {
  constexpr size_t kPiece = 256;
  char bytes[sizeof g_unfinished + kPiece];
  wchar_t units[sizeof bytes];
  *taken = 0;
  while (size > 0) {
    const size_t piece = size < kPiece ? size : kPiece;
    std::memcpy(bytes, g_unfinished, g_unfinished_size);
    std::memcpy(bytes + g_unfinished_size, data, piece);
    std::string_view text(bytes, g_unfinished_size + piece);
    g_unfinished_size = UnfinishedUtf8Tail(text);
    std::memcpy(g_unfinished, text.data() + text.size() - g_unfinished_size,
                g_unfinished_size);
    text.remove_suffix(g_unfinished_size);
    if (const int32_t code =
            WriteConsoleUnits(units, DecodeUtf8(text, units)))
      return code;
    data += piece;
    size -= piece;
    *taken += piece;
  }
  return 0;
}

// Writes the whole block; a console may take it in parts.
int32_t WriteHandle(const char* data, size_t size, size_t* taken) {
  if (g_console) return WriteConsoleText(data, size, taken);
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

// The full path of `module` in the run's texts; the buffer grows until the
// path fits.
std::string ModulePath(HMODULE module) {
  if (TextsFromUtf16()) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
      const DWORD size = static_cast<DWORD>(buffer.size());
      const DWORD length = GetModuleFileNameW(module, buffer.data(), size);
      if (length < size || buffer.size() >= 32768)
        return NarrowText(buffer.data(), length);
      buffer.resize(buffer.size() * 2);
    }
  }
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
