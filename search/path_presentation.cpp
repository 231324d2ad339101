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

// The ascent from dir + name scans the entry (which yields `name`, as it was
// just listed under it) and then resolves the parent text, which is the same
// for every entry of the directory.
std::string TrueCasePathOfEntry(const std::string& dir, const std::string& name,
                                ResolvedDirectory* cache) {
  const PathSyntax& syntax = NativeSyntax();
  const std::string path = dir + name;
  const size_t root_len = RootLength(path, syntax);
  std::string parent = ParentPart(path, syntax);
  if (path.size() <= root_len || parent.size() >= path.size())
    return TrueCasePath(path);
  if (!cache->valid || cache->path != parent) {
    cache->true_case = ResolveTrueCase(parent, root_len, syntax);
    cache->path = std::move(parent);
    cache->valid = true;
  }
  return WithTrailingDelimiter(cache->true_case, syntax) + name;
}

// Ascends from the leaf, one entry scan per component, then joins the
// stored names from the top down. Iterative, so a deep path costs no stack.
std::string ResolveTrueCase(const std::string& path, size_t root_len,
                            const PathSyntax& syntax) {
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
    if (OpenEntryScan(current, kAttrMaskAll, rec) != 0) break;
    names.push_back(rec.Name);
    current = std::move(parent);
  }
  std::string result = base;
  for (auto name = names.rbegin(); name != names.rend(); ++name)
    result = WithTrailingDelimiter(result, syntax) + *name;
  return result;
}
