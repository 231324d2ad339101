// Exception classes of the tool. Their class names appear in the report of
// an uncaught exception, so each keeps its name.
#ifndef KESTRIV_SERVICES_EXCEPTIONS_H_
#define KESTRIV_SERVICES_EXCEPTIONS_H_

#include <cstdint>
#include <string>

// Root of the tool's exceptions: a message text and the code address where
// the exception was created (the raise site).
class Exception {
 public:
  // Records the caller's code address as the raise site.
  explicit Exception(std::string message);
  virtual ~Exception();

  const std::string& Message() const { return message_; }
  // The class name exactly as declared, for the report.
  virtual const char* ClassName() const { return "Exception"; }
  // Code address of the raise site.
  const void* Location() const { return location_; }

 protected:
  Exception(std::string message, const void* location);
  void SetLocation(const void* location) { location_ = location; }

 private:
  std::string message_;
  const void* location_;
};

// A failed conversion of text or of a date-time value.
class EConvertError : public Exception {
 public:
  explicit EConvertError(std::string message);
  const char* ClassName() const override { return "EConvertError"; }
};

// A failed output statement; FailureCode is the platform's error code.
class EInOutError : public Exception {
 public:
  // `location` is the code address of the failing output check.
  EInOutError(std::string message, int32_t failure_code,
              const void* location);
  const char* ClassName() const override { return "EInOutError"; }
  int32_t FailureCode() const { return failure_code_; }

 private:
  int32_t failure_code_;
};

// Base of the memory exceptions.
class EHeapException : public Exception {
 public:
  const char* ClassName() const override { return "EHeapException"; }

 protected:
  EHeapException(std::string message, const void* location);
};

// Memory exhausted. One object exists for the whole run (see
// OutOfMemoryError), so that raising it needs no memory.
class EOutOfMemory : public EHeapException {
 public:
  const char* ClassName() const override { return "EOutOfMemory"; }

 private:
  friend EOutOfMemory* OutOfMemoryError(const void* location) noexcept;
  EOutOfMemory();
};

// The preallocated EOutOfMemory, its raise site set to `location`; null
// while there has been no memory to create it.
EOutOfMemory* OutOfMemoryError(const void* location) noexcept;

#endif  // KESTRIV_SERVICES_EXCEPTIONS_H_
