// 8.3 aliases in the style Windows gives long names ("Program Files" becomes
// "PROGRA~1"). They are made for a whole directory at once so that they are
// stable: the number of a name is its rank in byte order among the names
// that share its base and extension, passing over every number whose alias
// is already taken by an entry or by an alias handed out before.
#include "services/short_name.h"

#include <algorithm>
#include <cstring>
#include <cstdint>
#include <string>
#include <unordered_set>

#include "services/path_text.h"
#include "services/text.h"

namespace {

constexpr size_t kMaxBaseLength = 8;
constexpr size_t kMaxExtensionLength = 3;
// Alias bases keep this many characters, leaving room for "~1" to "~9".
constexpr size_t kAliasBaseLength = 6;

// The printable ASCII characters that a short name cannot hold (the double
// quote and *+,/:;<=>?[\]|), as one bit per byte value: every
// name of a directory is tested, and a bit answers without a search.
constexpr uint64_t kForbiddenBits[2] = {
    (1ull << '"') | (1ull << '*') | (1ull << '+') | (1ull << ',') |
        (1ull << '/') | (1ull << ':') | (1ull << ';') | (1ull << '<') |
        (1ull << '=') | (1ull << '>') | (1ull << '?'),
    (1ull << ('[' - 64)) | (1ull << ('\\' - 64)) | (1ull << (']' - 64)) |
        (1ull << ('|' - 64))};

// Whether byte `c` may stand in a short name as it is. Control bytes are
// refused too: no 8.3 name holds them, and the alias maps them to "_".
bool IsShortNameByte(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return false;  // controls, space, DEL, non-ASCII
  return ((kForbiddenBits[c >> 6] >> (c & 63)) & 1) == 0;
}

// What byte `c` becomes in an alias; spaces and dots never get here.
char AliasChar(unsigned char c) {
  if (!IsShortNameByte(c)) return '_';
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 0x20);
  return static_cast<char>(c);
}

// The alias characters for bytes [begin, end) of `name`, at most `limit`.
std::string AliasPart(const std::string& name, size_t begin, size_t end,
                      size_t limit) {
  std::string part;
  for (size_t i = begin; i < end && part.size() < limit; ++i) {
    if (name[i] == ' ' || name[i] == '.') continue;
    part += AliasChar(static_cast<unsigned char>(name[i]));
  }
  return part;
}

// The parts of an alias that do not depend on its number.
struct AliasStem {
  std::string base;       // 1 to 6 characters
  std::string extension;  // 0 to 3 characters
};

AliasStem StemOf(const std::string& name) {
  size_t start = name.find_first_not_of('.');
  if (start == std::string::npos) start = name.size();
  const size_t dot = name.rfind('.');
  const bool has_extension = dot != std::string::npos && dot >= start;
  AliasStem stem;
  stem.base = AliasPart(name, start, has_extension ? dot : name.size(),
                        kAliasBaseLength);
  if (has_extension) {
    stem.extension = AliasPart(name, dot + 1, name.size(), kMaxExtensionLength);
  }
  // A name of dots and spaces alone leaves no base; "_" keeps the alias a
  // legal name that does not start with "~" or ".".
  if (stem.base.empty()) stem.base = "_";
  return stem;
}

// The alias with number `n`; the base gives way to long numbers so that the
// alias keeps 8 characters at most (up to n = 9,999,999).
std::string ComposeAlias(const AliasStem& stem, size_t n) {
  char tail[24];
  size_t start = sizeof tail;
  do {
    tail[--start] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  tail[--start] = '~';
  const size_t tail_size = sizeof tail - start;
  const size_t keep =
      tail_size < kMaxBaseLength ? kMaxBaseLength - tail_size : 0;
  std::string alias(stem.base, 0, keep);
  alias.append(tail + start, tail_size);
  if (!stem.extension.empty()) {
    alias += '.';
    alias += stem.extension;
  }
  return alias;
}

// Whether `name` has one dot at most, not at its start, and none of the
// bytes a short name cannot hold.
bool HasShortNameBytes(std::string_view name) {
  if (name.empty() || name[0] == '.') return false;
  bool seen_dot = false;
  for (unsigned char c : name) {
    if (c == '.') {
      if (seen_dot) return false;
      seen_dot = true;
    } else if (!IsShortNameByte(c)) {
      return false;
    }
  }
  return true;
}

// The names in byte order, each once: the order fixes the ranks whatever
// order the directory delivers its entries in.
std::vector<const std::string*> SortedUnique(
    const std::vector<std::string>& names) {
  std::vector<const std::string*> sorted;
  sorted.reserve(names.size());
  for (const std::string& name : names) sorted.push_back(&name);
  std::sort(sorted.begin(), sorted.end(),
            [](const std::string* a, const std::string* b) { return *a < *b; });
  sorted.erase(std::unique(sorted.begin(), sorted.end(),
                           [](const std::string* a, const std::string* b) {
                             return *a == *b;
                           }),
               sorted.end());
  return sorted;
}

// The names an alias could clash with, upper-cased: every alias holds a
// "~", so only the names that hold one can take its place.
std::unordered_set<std::string> NamesAliasesCouldTake(
    const std::vector<const std::string*>& names) {
  std::unordered_set<std::string> set;
  for (const std::string* name : names)
    if (name->find('~') != std::string::npos) set.insert(AsciiUpperCase(*name));
  return set;
}

}  // namespace

bool IsLegalShortName(std::string_view name) {
  // Longer than "12345678.123": no short name, whatever it holds.
  if (name.size() > kMaxBaseLength + 1 + kMaxExtensionLength) return false;
  if (IsDotName(name)) return true;
  if (!HasShortNameBytes(name)) return false;
  const size_t dot = name.find('.');
  if (dot == std::string::npos) return name.size() <= kMaxBaseLength;
  return dot <= kMaxBaseLength && name.size() - dot - 1 <= kMaxExtensionLength;
}

namespace {

// Gives each name of `sorted` that is no legal short name its alias. With
// `taken`, every alias is tried against it and added to it; without, none
// is, and false is returned once a number passes 9. Below 10 an alias keeps
// its whole base ("BASE~n.EXT"), so where no name holds a "~" two names get
// the same alias only if they share base, extension and number, which the
// counting rules out: the checks would change nothing.
bool AssignAliases(const std::vector<const std::string*>& sorted,
                   std::unordered_set<std::string>* taken,
                   std::unordered_map<std::string, std::string>* aliases) {
  // The last number used per base and extension ("BASE.EXT" as key; a base
  // holds no dot, so keys cannot clash).
  std::unordered_map<std::string, size_t> last_number;
  std::string key;
  for (const std::string* entry : sorted) {
    const std::string& name = *entry;
    if (IsLegalShortName(name)) continue;
    const AliasStem stem = StemOf(name);
    key.assign(stem.base);
    key += '.';
    key += stem.extension;
    size_t& n = last_number[key];
    if (taken == nullptr && n == 9) return false;
    std::string alias;
    // Ends: every failed try is an entry of the finite `taken` set.
    do {
      alias = ComposeAlias(stem, ++n);
    } while (taken != nullptr && !taken->insert(alias).second);
    aliases->emplace(name, std::move(alias));
  }
  return true;
}

}  // namespace

std::unordered_map<std::string, std::string> MakeShortNames(
    const std::vector<std::string>& names) {
  const std::vector<const std::string*> sorted = SortedUnique(names);
  std::unordered_set<std::string> taken = NamesAliasesCouldTake(sorted);
  std::unordered_map<std::string, std::string> aliases;
  aliases.reserve(sorted.size());
  if (!taken.empty() || !AssignAliases(sorted, nullptr, &aliases)) {
    aliases.clear();
    AssignAliases(sorted, &taken, &aliases);
  }
  return aliases;
}
