// Fuzz target: the split of a Windows command-line text into argument
// words. The whole input is the command line. The words must equal those of
// a small reference reader written straight from the splitting rules, and
// never be empty or hold a double quote or a NUL byte.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "frontend/command_line.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr size_t kMaxUnquotedWord = 4096;

bool IsBlank(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x01 && byte <= 0x20;
}

// Before a word: blanks and pairs of double quotes are passed over.
size_t SkipBeforeWord(const std::string& line, size_t i) {
  while (i < line.size()) {
    if (IsBlank(line[i])) {
      ++i;
    } else if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      i += 2;
    } else {
      break;
    }
  }
  return i;
}

// One word as a two-state reader (inside or outside quotes). The length
// limit is looked at only outside quotes, where it ends the word.
std::string ReadReferenceWord(const std::string& line, size_t* i) {
  std::string word;
  bool quoted = false;
  for (; *i < line.size(); ++*i) {
    const char c = line[*i];
    if (c == '"') {
      quoted = !quoted;
    } else if (quoted) {
      word += c;
    } else if (IsBlank(c) || word.size() >= kMaxUnquotedWord) {
      break;
    } else {
      word += c;
    }
  }
  return word;
}

// The arguments: every word after the program path, up to the first empty
// word. The line ends at its first NUL byte.
std::vector<std::string> ReferenceArguments(const std::string& input) {
  const std::string line = input.substr(0, input.find('\0'));
  std::vector<std::string> words;
  size_t i = 0;
  for (;;) {
    i = SkipBeforeWord(line, i);
    std::string word = ReadReferenceWord(line, &i);
    if (word.empty()) break;
    words.push_back(word);
  }
  if (!words.empty()) words.erase(words.begin());
  return words;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string all;
  for (const std::string& w : words) all += Escaped(w) + " ";
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line = InputText(data, size);
  const TStringList words = SplitCommandLine(line);
  for (const std::string& word : words) {
    FUZZ_CHECK(!word.empty(), "line " + Escaped(line));
    FUZZ_CHECK(word.find('"') == std::string::npos, "word " + Escaped(word));
    FUZZ_CHECK(word.find('\0') == std::string::npos, "word " + Escaped(word));
  }
  const std::vector<std::string> expected = ReferenceArguments(line);
  FUZZ_CHECK(words == expected, "line " + Escaped(line) + "\n  got " +
                                    Joined(words) + "\n  expected " +
                                    Joined(expected));
  return 0;
}
