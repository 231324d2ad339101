#include "services/exceptions.h"

#include <utility>

#include "services/messages.h"

// Each public constructor is kept out of line and reads its own return
// address, so the location names the code that created the exception, not
// a constructor of a base class.
#define KESTRIV_CALLER() __builtin_return_address(0)

__attribute__((noinline)) Exception::Exception(std::string message)
    : message_(std::move(message)), location_(KESTRIV_CALLER()) {}

Exception::Exception(std::string message, const void* location)
    : message_(std::move(message)), location_(location) {}

Exception::~Exception() = default;

__attribute__((noinline)) EConvertError::EConvertError(std::string message)
    : Exception(std::move(message), KESTRIV_CALLER()) {}

EInOutError::EInOutError(std::string message, int32_t failure_code,
                         const void* location)
    : Exception(std::move(message), location),
      failure_code_(failure_code) {}

EHeapException::EHeapException(std::string message, const void* location)
    : Exception(std::move(message), location) {}

EOutOfMemory::EOutOfMemory()
    : EHeapException(MessageText(kMsgOutOfMemory), nullptr) {}

EOutOfMemory* OutOfMemoryError(const void* location) noexcept {
  // Created on first use, which happens at start-up (main asks for it before
  // anything else), so the later raise allocates nothing. Its message needs
  // memory; when there is none, the next call tries again.
  try {
    static EOutOfMemory instance;
    instance.SetLocation(location);
    return &instance;
  } catch (...) {
    return nullptr;
  }
}
