// Fuzz target: the comma-list split and the replacement of texts.
//
// Input: byte 0 holds flags (bit 0: double-byte mode with the code page 932
// lead bytes); the rest is the text. When the text holds two NUL bytes or
// more, the pieces before the first two also serve as text, old and new
// text of a general replacement.
//
// Properties: ":" -> "," changes exactly the ":" characters (every 0x3A
// byte in single-byte mode); split items hold no separator character, and
// joined they give the non-separator characters in order; the item list is
// the one a group-by-group reading of the text gives; the general
// replacement equals a character-by-character reference.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "services/dbcs.h"
#include "services/text.h"

namespace {

// The characters of `text`: a lead byte and the byte after it are one,
// a lead byte at the very end stands alone.
std::vector<std::string> Characters(const std::string& text) {
  std::vector<std::string> chars;
  for (size_t i = 0; i < text.size();) {
    const size_t length =
        IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()
            ? 2
            : 1;
    chars.push_back(text.substr(i, length));
    i += length;
  }
  return chars;
}

bool IsSeparator(const std::string& ch) {
  if (ch.size() != 1) return false;
  const auto byte = static_cast<unsigned char>(ch[0]);
  return (byte >= 0x01 && byte <= 0x20) || byte == ',';
}

std::string Described(const TStringList& list) {
  std::string all = "[";
  for (const std::string& item : list) all += Escaped(item) + " ";
  return all + "]";
}

// The text as alternating separator groups and runs of other characters.
// A leading group gives one empty item per comma; a group after a run gives
// one empty item per comma beyond the first (that one closes the run).
TStringList ReferenceSplit(const std::string& text) {
  TStringList items;
  bool after_run = false;
  size_t commas = 0;
  std::string run;
  auto close_group = [&] {
    const size_t empties = after_run ? (commas > 0 ? commas - 1 : 0) : commas;
    items.insert(items.end(), empties, std::string());
    commas = 0;
  };
  for (const std::string& ch : Characters(text)) {
    if (IsSeparator(ch)) {
      if (!run.empty()) {
        items.push_back(run);
        run.clear();
        after_run = true;
      }
      if (ch == ",") ++commas;
    } else {
      if (run.empty()) close_group();
      run += ch;
    }
  }
  if (!run.empty()) items.push_back(run);
  if (run.empty()) close_group();
  return items;
}

void CheckSplit(const std::string& text) {
  TStringList items = {"stale", "items"};
  SplitCommaText(items, text);
  std::string joined;
  for (const std::string& item : items) {
    for (const std::string& ch : Characters(item)) {
      FUZZ_CHECK(!IsSeparator(ch), "text " + Escaped(text) + " item " +
                                       Escaped(item));
    }
    joined += item;
  }
  std::string kept;
  for (const std::string& ch : Characters(text)) {
    if (!IsSeparator(ch)) kept += ch;
  }
  FUZZ_CHECK(joined == kept, "text " + Escaped(text) + " items " +
                                 Described(items));
  const TStringList expected = ReferenceSplit(text);
  FUZZ_CHECK(items == expected, "text " + Escaped(text) + " items " +
                                    Described(items) + " expected " +
                                    Described(expected));
}

void CheckColonToComma(const std::string& text) {
  const std::string result = ReplaceAllText(text, ":", ",");
  std::string expected;
  for (const std::string& ch : Characters(text)) expected += ch == ":" ? "," : ch;
  FUZZ_CHECK(result == expected,
             "text " + Escaped(text) + " gave " + Escaped(result));
  if (!DoubleByteMode()) {
    FUZZ_CHECK(result.size() == text.size(), "text " + Escaped(text));
    for (size_t i = 0; i < text.size(); ++i) {
      FUZZ_CHECK(result[i] == (text[i] == ':' ? ',' : text[i]),
                 "text " + Escaped(text) + " at " + std::to_string(i));
    }
  }
}

// Leftmost occurrences at character starts, never overlapping; after an
// occurrence the search goes on from its end.
std::string ReferenceReplace(const std::string& text, const std::string& old_text,
                             const std::string& new_text) {
  if (old_text.empty()) return text;
  std::string result;
  size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, old_text.size(), old_text) == 0) {
      result += new_text;
      i += old_text.size();
    } else {
      const std::string ch = Characters(text.substr(i, 2))[0];
      result += ch;
      i += ch.size();
    }
  }
  return result;
}

void CheckReplace(const std::string& text, const std::string& old_text,
                  const std::string& new_text) {
  const std::string got = ReplaceAllText(text, old_text, new_text);
  const std::string want = ReferenceReplace(text, old_text, new_text);
  FUZZ_CHECK(got == want, "text " + Escaped(text) + " old " +
                              Escaped(old_text) + " new " + Escaped(new_text) +
                              " got " + Escaped(got) + " expected " +
                              Escaped(want));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  SetDoubleByteInfo((data[0] & 1) != 0, Cp932LeadRanges());
  const std::string text = InputText(data + 1, size - 1);
  CheckSplit(text);
  CheckColonToComma(text);
  CheckSplit(ReplaceAllText(text, ":", ","));
  const std::vector<std::string> pieces = SplitAt(text, '\0');
  if (pieces.size() >= 3) CheckReplace(pieces[0], pieces[1], pieces[2]);
  return 0;
}
