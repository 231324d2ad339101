#include "frontend/command_line.h"

namespace {

// Outside quotes a word holds at most this many bytes; the rest of a longer
// run starts the next word.
constexpr size_t kMaxUnquotedWord = 4096;

bool IsBlank(unsigned char byte) { return byte >= 0x01 && byte <= 0x20; }

// Skips blanks and pairs of double quotes that stand before a word.
size_t SkipToWord(const std::string& line, size_t i) {
  for (;;) {
    if (i < line.size() && IsBlank(static_cast<unsigned char>(line[i]))) {
      ++i;
    } else if (i + 1 < line.size() && line[i] == '"' && line[i + 1] == '"') {
      i += 2;
    } else {
      return i;
    }
  }
}

// Reads one word from `i`; returns the position after it.
size_t ReadWord(const std::string& line, size_t i, std::string* word) {
  while (i < line.size() && line[i] != '\0') {
    unsigned char byte = static_cast<unsigned char>(line[i]);
    if (byte == '"') {
      size_t close = line.find('"', i + 1);
      if (close == std::string::npos) close = line.size();
      word->append(line, i + 1, close - i - 1);
      i = close < line.size() ? close + 1 : close;
    } else if (IsBlank(byte) || word->size() >= kMaxUnquotedWord) {
      break;
    } else {
      word->push_back(static_cast<char>(byte));
      ++i;
    }
  }
  return i;
}

}  // namespace

TStringList SplitCommandLine(const std::string& text) {
  // The line ends at its first NUL byte, as the platform's text does.
  const std::string line = text.substr(0, text.find('\0'));
  TStringList words;
  size_t i = 0;
  bool program_path = true;
  for (;;) {
    std::string word;
    i = ReadWord(line, SkipToWord(line, i), &word);
    if (word.empty()) break;
    if (!program_path) words.push_back(std::move(word));
    program_path = false;
  }
  return words;
}
