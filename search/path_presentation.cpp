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

namespace {

TrueCaseCache::Entry* FindEntry(TrueCaseCache* cache, const std::string& path) {
  if (cache == nullptr) return nullptr;
  for (auto& entry : cache->entries)
    if (entry.path == path) return &entry;
  return nullptr;
}

// Keeps only the entries whose text begins `path` (its ancestors on the
// descent chain, as the walk is depth first), then returns the entry of
// `path`, added when missing.
TrueCaseCache::Entry& EntryFor(TrueCaseCache* cache, const std::string& path) {
  auto& entries = cache->entries;
  while (!entries.empty() && entries.back().path != path &&
         path.compare(0, entries.back().path.size(), entries.back().path) != 0)
    entries.pop_back();
  if (entries.empty() || entries.back().path != path) {
    entries.emplace_back();
    entries.back().path = path;
  }
  return entries.back();
}

}  // namespace

// Every entry name is one component without delimiters, so the parent text
// and the root of dir + name are those of dir + any one-byte name.
bool TrueCasePrefixOfEntries(const std::string& dir, TrueCaseCache* cache,
                             std::string* prefix) {
  const PathSyntax& syntax = NativeSyntax();
  const std::string probe = dir + "x";
  const size_t root_len = RootLength(probe, syntax);
  const std::string parent = ParentPart(probe, syntax);
  if (probe.size() <= root_len || parent.size() >= probe.size() ||
      parent.size() + 1 < dir.size())
    return false;
  const TrueCaseCache::Entry* known = FindEntry(cache, parent);
  *prefix = WithTrailingDelimiter(
      known && known->resolved ? known->true_case
                               : ResolveTrueCase(parent, root_len, syntax, cache),
      syntax);
  return true;
}

void NoteListedDirectory(TrueCaseCache* cache, const std::string& path,
                         const std::string& name) {
  EntryFor(cache, path).listed_name = name;
}

// Ascends from the leaf, one entry scan per component, until the root, a
// component that cannot be scanned, or a directory already resolved; then
// joins the stored names from the top down. Iterative, so a deep path costs
// no stack.
std::string ResolveTrueCase(const std::string& path, size_t root_len,
                            const PathSyntax& syntax, TrueCaseCache* cache) {
  std::vector<std::pair<std::string, std::string>> levels;  // text, name
  std::string base;
  std::string current = path;
  for (;;) {
    if (current.size() == root_len) {
      base = AsciiUpperCase(current);
      break;
    }
    TrueCaseCache::Entry* known = FindEntry(cache, current);
    if (known && known->resolved) {
      base = known->true_case;
      break;
    }
    std::string parent = ParentPart(current, syntax);
    // A parent that does not shrink (as "C:" in "C:sub") would never reach
    // the root: what lies below it is all that can be resolved.
    if (parent.size() >= current.size()) break;
    if (known && !known->listed_name.empty()) {
      levels.emplace_back(std::move(current), known->listed_name);
    } else {
      TSearchRec rec;
      if (OpenEntryScan(current, kAttrMaskAll, rec) != 0) break;
      levels.emplace_back(std::move(current), std::move(rec.Name));
    }
    current = std::move(parent);
  }
  std::string result = base;
  for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
    result = WithTrailingDelimiter(result, syntax) + level->second;
    if (cache) {
      TrueCaseCache::Entry& entry = EntryFor(cache, level->first);
      entry.resolved = true;
      entry.true_case = result;
    }
  }
  return result;
}
