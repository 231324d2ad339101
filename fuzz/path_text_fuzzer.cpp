// Fuzz target: byte classification and the path-text operations, in the
// Windows and the POSIX syntax, with double-byte mode on and off.
//
// Input: byte 0 holds flags (bit 0: double-byte mode; bit 1: the lead-byte
// ranges come from the input instead of code page 932). With bit 1, byte 1
// gives the number of ranges (modulo 7) and that many byte pairs follow.
// Then one byte gives the length (modulo 4) of an extra delimiter set whose
// bytes follow; the rest is the path text.
//
// Properties: the lead-byte table is the union of the ranges; ByteKind
// equals a forward character scan; LastDelimiterPos is 0 or the position of
// a delimiter byte that is not a trail byte, and equals the documented
// backward scan; DrivePart and ParentPart give prefixes of the path, never
// longer, and equal the documented rules; repeated ParentPart never grows
// the text and the ascent loop of the true-case resolver (stop when the
// parent does not shrink) ends within as many steps as the path has bytes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "services/dbcs.h"
#include "services/path_text.h"

namespace {

// Paths longer than this are checked position by position only at their
// end, to keep the quadratic checks cheap.
constexpr size_t kFullCheckLength = 1024;
// With made-up lead-byte ranges a delimiter can be a lead byte, and every
// classification scans the whole text; such paths are cut to MAX_PATH.
constexpr size_t kMadeUpRangesLength = 260;

struct Setup {
  bool double_byte;
  std::string ranges;
  std::string extra_delimiters;
  std::string path;
};

// Takes `count` bytes from `input` at *pos (fewer at the end).
std::string Take(const std::string& input, size_t* pos, size_t count) {
  const std::string piece = input.substr(*pos < input.size() ? *pos : input.size(), count);
  *pos += piece.size();
  return piece;
}

Setup ReadSetup(const std::string& input) {
  Setup setup;
  size_t pos = 1;
  const auto flags = static_cast<unsigned char>(input[0]);
  setup.double_byte = (flags & 1) != 0;
  const bool made_up = (flags & 2) != 0;
  setup.ranges = Cp932LeadRanges();
  if (made_up) {
    const std::string count = Take(input, &pos, 1);
    const size_t pairs = count.empty() ? 0 : static_cast<unsigned char>(count[0]) % 7;
    setup.ranges = Take(input, &pos, 2 * pairs);
  }
  const std::string length = Take(input, &pos, 1);
  setup.extra_delimiters =
      Take(input, &pos, length.empty() ? 0 : static_cast<unsigned char>(length[0]) % 4);
  setup.path = input.substr(pos < input.size() ? pos : input.size());
  if (made_up && setup.path.size() > kMadeUpRangesLength)
    setup.path.resize(kMadeUpRangesLength);
  return setup;
}

// The lead bytes the ranges name: pairs up to a pair of zeros, an
// inverted pair naming none; nothing at all in single-byte mode.
std::array<bool, 256> ReferenceLeadSet(const Setup& setup) {
  std::array<bool, 256> lead{};
  if (!setup.double_byte) return lead;
  for (size_t i = 0; i + 1 < setup.ranges.size(); i += 2) {
    const auto lower = static_cast<unsigned char>(setup.ranges[i]);
    const auto upper = static_cast<unsigned char>(setup.ranges[i + 1]);
    if (lower == 0 && upper == 0) break;
    for (unsigned b = lower; b <= upper; ++b) lead[b] = true;
  }
  return lead;
}

// Kinds of the bytes 1..n (index 0 unused), by reading the text from the
// front one character at a time.
std::vector<ByteKindValue> ReferenceKinds(const std::string& text,
                                          const std::array<bool, 256>& lead) {
  std::vector<ByteKindValue> kinds(text.size() + 1, ByteKindValue::SingleByte);
  for (size_t i = 0; i < text.size();) {
    if (lead[static_cast<unsigned char>(text[i])]) {
      kinds[i + 1] = ByteKindValue::LeadByte;
      if (i + 1 < text.size()) kinds[i + 2] = ByteKindValue::TrailByte;
      i += 2;
    } else {
      i += 1;
    }
  }
  return kinds;
}

// From the last byte back: a delimiter that is a trail byte takes its lead
// byte with it and is passed over.
size_t ReferenceLastDelimiter(const std::string& delimiters,
                              const std::string& text,
                              const std::vector<ByteKindValue>& kinds) {
  for (size_t i = text.size(); i >= 1; --i) {
    const char byte = text[i - 1];
    if (byte == '\0' || delimiters.find(byte) == std::string::npos) continue;
    if (kinds[i] != ByteKindValue::TrailByte) return i;
    if (--i == 0) break;
  }
  return 0;
}

std::string ReferenceWindowsDrive(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  if (path.size() < 2 || path[0] != '\\' || path[1] != '\\') return "";
  auto byte = [&](size_t i) { return i <= path.size() ? path[i - 1] : '\0'; };
  size_t i = 3;
  int count = 0;
  while (i < path.size() && count < 2) {
    if (byte(i) == '\\') ++count;
    if (count < 2) ++i;
  }
  if (byte(i) == '\\') --i;
  return path.substr(0, i);
}

std::string ReferenceParent(const std::string& path, const PathSyntax& syntax,
                            const std::vector<ByteKindValue>& kinds) {
  std::string delimiters(1, syntax.delimiter);
  if (syntax.has_drives) delimiters += ':';
  size_t i = ReferenceLastDelimiter(delimiters, path, kinds);
  if (i > 1 && path[i - 1] == syntax.delimiter) {
    const char before = path[i - 2];
    const bool completes_root =
        delimiters.find(before) != std::string::npos &&
        kinds[i - 1] != ByteKindValue::TrailByte;
    if (!completes_root) --i;
  }
  return path.substr(0, i);
}

bool IsPrefix(const std::string& part, const std::string& whole) {
  return part.size() <= whole.size() && whole.compare(0, part.size(), part) == 0;
}

const char* KindName(ByteKindValue kind) {
  switch (kind) {
    case ByteKindValue::LeadByte: return "lead";
    case ByteKindValue::TrailByte: return "trail";
    default: return "single";
  }
}

void CheckKinds(const std::string& path, const std::vector<ByteKindValue>& kinds) {
  const size_t n = path.size();
  const size_t first = n > kFullCheckLength ? n - 64 : 1;
  for (size_t i = first; i <= n; ++i) {
    const ByteKindValue kind = ByteKind(path, i);
    FUZZ_CHECK(kind == kinds[i], "path " + Escaped(path) + " at " +
                                     std::to_string(i) + " got " +
                                     KindName(kind) + " expected " +
                                     KindName(kinds[i]));
  }
  FUZZ_CHECK(ByteKind(path, n + 1) == ByteKindValue::SingleByte, Escaped(path));
  FUZZ_CHECK(ByteKind(path, 0) == ByteKindValue::SingleByte, Escaped(path));
  FUZZ_CHECK(ByteKind(path, n + 7) == ByteKindValue::SingleByte, Escaped(path));
}

void CheckLastDelimiter(const std::string& delimiters, const std::string& path,
                        const std::vector<ByteKindValue>& kinds) {
  const size_t got = LastDelimiterPos(delimiters, path);
  const std::string context = "delimiters " + Escaped(delimiters) + " path " +
                              Escaped(path) + " got " + std::to_string(got);
  FUZZ_CHECK(got <= path.size(), context);
  if (got != 0) {
    FUZZ_CHECK(path[got - 1] != '\0' &&
                   delimiters.find(path[got - 1]) != std::string::npos,
               context);
    FUZZ_CHECK(ByteKind(path, got) != ByteKindValue::TrailByte, context);
  }
  FUZZ_CHECK(got == ReferenceLastDelimiter(delimiters, path, kinds), context);
}

// The resolver's ascent: up while the parent is shorter.
void CheckAscent(const std::string& path, const PathSyntax& syntax) {
  std::string current = path;
  for (size_t steps = 0;; ++steps) {
    FUZZ_CHECK(steps <= path.size(), "ascent does not end: " + Escaped(path));
    const std::string parent = ParentPart(current, syntax);
    FUZZ_CHECK(IsPrefix(parent, current),
               "parent " + Escaped(parent) + " of " + Escaped(current));
    if (parent.size() >= current.size()) break;
    current = parent;
  }
}

void CheckSyntax(const std::string& path, const PathSyntax& syntax,
                 const std::vector<ByteKindValue>& kinds) {
  const std::string context = std::string(syntax.has_drives ? "windows" : "posix") +
                              " path " + Escaped(path);
  const std::string drive = DrivePart(path, syntax);
  FUZZ_CHECK(IsPrefix(drive, path), context + " drive " + Escaped(drive));
  const std::string expected_drive =
      syntax.has_drives ? ReferenceWindowsDrive(path)
                        : (!path.empty() && path[0] == '/' ? "/" : "");
  FUZZ_CHECK(drive == expected_drive, context + " drive " + Escaped(drive));
  const std::string parent = ParentPart(path, syntax);
  FUZZ_CHECK(IsPrefix(parent, path), context + " parent " + Escaped(parent));
  FUZZ_CHECK(parent == ReferenceParent(path, syntax, kinds),
             context + " parent " + Escaped(parent));
  const std::string with = WithTrailingDelimiter(path, syntax);
  FUZZ_CHECK(with == path || with == path + syntax.delimiter,
             context + " with delimiter " + Escaped(with));
  CheckAscent(path, syntax);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const Setup setup = ReadSetup(InputText(data, size));
  SetDoubleByteInfo(setup.double_byte, setup.ranges);
  const std::array<bool, 256> lead = ReferenceLeadSet(setup);
  for (unsigned b = 0; b < 256; ++b) {
    FUZZ_CHECK(IsLeadByte(static_cast<unsigned char>(b)) == lead[b],
               "ranges " + Escaped(setup.ranges) + " byte " + std::to_string(b));
  }
  const std::string& path = setup.path;
  const std::vector<ByteKindValue> kinds = ReferenceKinds(path, lead);
  CheckKinds(path, kinds);
  CheckLastDelimiter("\\:", path, kinds);
  CheckLastDelimiter("/", path, kinds);
  CheckLastDelimiter(setup.extra_delimiters, path, kinds);
  CheckSyntax(path, kWindowsSyntax, kinds);
  CheckSyntax(path, kPosixSyntax, kinds);
  return 0;
}
