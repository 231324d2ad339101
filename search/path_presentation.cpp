#include "search/path_presentation.h"

#include <vector>

#include "services/file_system/file_system.h"
#include "services/text.h"

std::string WithTrailingBackslash(const std::string& text) {
  return WithTrailingDelimiter(text, NativeSyntax());
}

namespace {

size_t RootLength(const std::string& path, const PathSyntax& syntax) {
  size_t root_len = DrivePart(path, syntax).size();
  // A drive root includes the delimiter after the colon.
  if (syntax.has_drives && root_len == 2) root_len = 3;
  return root_len;
}

}  // namespace

std::string TrueCasePath(const std::string& path) {
  if (!IsExistingFile(path) && !IsExistingDirectory(path)) return std::string();
  const PathSyntax& syntax = NativeSyntax();
  return ResolveTrueCase(path, RootLength(path, syntax), syntax);
}

// Every entry name is one component without delimiters, so the parent text
// and the root of dir + name are those of dir + any one-byte name.
bool TrueCasePrefixOfEntries(const std::string& dir, ScanCache* cache,
                             std::string* prefix) {
  const PathSyntax& syntax = NativeSyntax();
  const std::string probe = dir + "x";
  const size_t root_len = RootLength(probe, syntax);
  const std::string parent = ParentPart(probe, syntax);
  if (probe.size() <= root_len || parent.size() >= probe.size() ||
      parent.size() + 1 < dir.size())
    return false;
  *prefix = WithTrailingDelimiter(
      ResolveTrueCase(parent, root_len, syntax, cache), syntax);
  return true;
}

// The components from the leaf up to the root, or to a component whose
// parent does not shrink (as "C:" in "C:sub"), which would never reach the
// root: what lies below it is all that can be resolved.
std::vector<std::string> LevelsOf(const std::string& path, size_t root_len,
                                  const PathSyntax& syntax, std::string* base) {
  std::vector<std::string> levels;  // leaf first
  std::string current = path;
  for (;;) {
    if (current.size() == root_len) {
      *base = AsciiUpperCase(current);
      break;
    }
    std::string parent = ParentPart(current, syntax);
    if (parent.size() >= current.size()) break;
    levels.push_back(std::move(current));
    current = std::move(parent);
  }
  return levels;
}

// One entry scan per component. The result is that of an ascent from the
// leaf that stops at the first component it cannot scan; the scans run from
// the top down, so that each opens its directory next to the last one.
std::string ResolveTrueCase(const std::string& path, size_t root_len,
                            const PathSyntax& syntax, ScanCache* cache) {
  std::string result;
  const std::vector<std::string> levels =
      LevelsOf(path, root_len, syntax, &result);
  for (size_t i = levels.size(); i-- > 0;) {
    TSearchRec rec;
    rec.Cache = cache;
    rec.Wanted = 0;
    if (OpenEntryScan(levels[i], kAttrMaskAll, rec) != 0) {
      result.clear();  // this component and all above it drop out
      continue;
    }
    result = WithTrailingDelimiter(result, syntax);
    result += rec.Name;
  }
  return result;
}
