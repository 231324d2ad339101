#include "search/path_presentation.h"

#include <vector>

#include "services/file_system.h"
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

// Ascends from the leaf, one entry scan per component, until the root or a
// component that cannot be scanned; then joins the stored names from the
// top down. Iterative, so a deep path costs no stack.
std::string ResolveTrueCase(const std::string& path, size_t root_len,
                            const PathSyntax& syntax, ScanCache* cache) {
  std::vector<std::string> names;  // leaf first
  std::string base;
  std::string current = path;
  for (;;) {
    if (current.size() == root_len) {
      base = AsciiUpperCase(current);
      break;
    }
    std::string parent = ParentPart(current, syntax);
    // A parent that does not shrink (as "C:" in "C:sub") would never reach
    // the root: what lies below it is all that can be resolved.
    if (parent.size() >= current.size()) break;
    TSearchRec rec;
    rec.Cache = cache;
    rec.Wanted = 0;
    if (OpenEntryScan(current, kAttrMaskAll, rec) != 0) break;
    names.push_back(std::move(rec.Name));
    current = std::move(parent);
  }
  std::string result = base;
  for (auto name = names.rbegin(); name != names.rend(); ++name) {
    result = WithTrailingDelimiter(result, syntax);
    result += *name;
  }
  return result;
}
