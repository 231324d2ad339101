// Test support: routes the output channel into memory and turns a halt into
// a C++ exception, so unit tests see every block written and the exit code.
#ifndef KESTRIV_SERVICES_OUTPUT_CAPTURE_H_
#define KESTRIV_SERVICES_OUTPUT_CAPTURE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "services/output.h"

// Thrown by the captured halt; derives from nothing the tool catches.
struct HaltForTesting {
  int32_t code;
};

struct CaptureState {
  bool bindable = true;
  bool character_device = false;
  int32_t write_failure = 0;  // code every write returns; 0 succeeds
  std::vector<std::string> blocks;
};

inline CaptureState& Captured() {
  static CaptureState state;
  return state;
}

// While alive, the channel writes into Captured().blocks.
class CapturedOutput {
 public:
  explicit CapturedOutput(bool character_device = false) {
    Captured() = CaptureState();
    Captured().character_device = character_device;
    ResetOutputChannelForTesting(OutputSink{Bind, Write, Exit});
  }
  ~CapturedOutput() { ResetOutputChannelForTesting(PlatformOutputSink()); }

  // Every byte that reached the sink.
  static std::string Bytes() {
    std::string all;
    for (const std::string& block : Captured().blocks) all += block;
    return all;
  }

 private:
  static bool Bind(bool* character_device) {
    *character_device = Captured().character_device;
    return Captured().bindable;
  }
  static int32_t Write(const char* data, size_t size) {
    if (Captured().write_failure != 0) return Captured().write_failure;
    Captured().blocks.emplace_back(data, size);
    return 0;
  }
  static void Exit(int32_t code) { throw HaltForTesting{code}; }
};

#endif  // KESTRIV_SERVICES_OUTPUT_CAPTURE_H_
