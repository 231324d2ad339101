// Test support: routes the output channel into memory and turns a halt into
// a C++ exception, so unit tests see every block written and the exit code.
#ifndef KESTRIV_SERVICES_OUTPUT_CAPTURE_H_
#define KESTRIV_SERVICES_OUTPUT_CAPTURE_H_

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "services/output.h"

// Thrown by the captured halt; derives from nothing the tool catches.
struct HaltForTesting {
  int32_t code;
};

struct CaptureState {
  bool bindable = true;
  bool character_device = false;  // each line at its line end
  bool terminal = false;          // a character device a person reads
  bool gathered = false;          // otherwise: gathered writes, not blocks
  int32_t write_failure = 0;      // code every write returns; 0 succeeds
  // Where the sink refuses once (code 32), having taken the bytes before
  // it; later writes succeed again. The default never comes.
  size_t refuses_once_at = std::numeric_limits<size_t>::max();
  std::vector<std::string> blocks;  // every write, as taken
  size_t taken = 0;                 // bytes taken in all
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
  static bool Bind(OutputDevice* device) {
    const CaptureState& c = Captured();
    *device = c.terminal           ? OutputDevice::kTerminal
              : c.character_device ? OutputDevice::kLines
              : c.gathered         ? OutputDevice::kGathered
                                   : OutputDevice::kBlocks;
    return c.bindable;
  }
  static int32_t Write(const char* data, size_t size, size_t* taken) {
    CaptureState& c = Captured();
    *taken = 0;
    if (c.write_failure != 0) return c.write_failure;
    int32_t code = 0;
    *taken = size;
    if (c.refuses_once_at - c.taken < size) {
      *taken = c.refuses_once_at - c.taken;
      c.refuses_once_at = std::numeric_limits<size_t>::max();
      code = 32;
    }
    if (*taken > 0) c.blocks.emplace_back(data, *taken);
    c.taken += *taken;
    return code;
  }
  static void Exit(int32_t code) { throw HaltForTesting{code}; }
};

#endif  // KESTRIV_SERVICES_OUTPUT_CAPTURE_H_
