#include "search/path_presentation.h"

#include <vector>

#include "services/dbcs.h"
#include "services/text.h"
#include "services/wildcard.h"

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

// Where each component of `path` ends, from the leaf up to the root or to a
// component whose parent does not shrink (as "C:" in "C:sub"), which would
// never reach the root: what lies below it is all that can be resolved.
// Sizes, not texts, so that memory stays flat in the depth of the path.
std::vector<size_t> LevelEnds(const std::string& path, size_t root_len,
                              const PathSyntax& syntax, bool* at_root) {
  std::vector<size_t> ends;  // leaf first
  size_t size = path.size();
  *at_root = false;
  for (;;) {
    if (size == root_len) {
      *at_root = true;
      break;
    }
    const size_t parent = ParentPartSize(path, size, syntax);
    if (parent >= size) break;
    ends.push_back(size);
    size = parent;
  }
  return ends;
}

// Where the platform's scans split a path into its directory and last
// component.
std::string ScanDelimiters() {
  return NativeSyntax().has_drives ? "\\/:" : "/";
}

// The ascent of the design, run from the top down: one exact scan per
// component, each in the directory the component above it opened (or,
// after a component that could not be found, in the directory its text
// names). With `leaf`, the directory `path` names is opened too.
std::string ResolveDown(FileSystemSession& session, const std::string& path,
                        size_t root_len, const PathSyntax& syntax,
                        DirectoryPtr* leaf) {
  bool at_root = false;
  const std::vector<size_t> ends = LevelEnds(path, root_len, syntax, &at_root);
  std::string result = at_root ? AsciiUpperCase(path.substr(0, root_len)) : "";
  const std::string delimiters = ScanDelimiters();
  DirectoryPtr dir;   // the directory of the level above, when opened
  size_t dir_end = 0;  // where its text ends in `path`
  for (size_t i = ends.size(); i-- > 0;) {
    const size_t end = ends[i];
    const size_t cut = LastDelimiterPosIn(delimiters, path, end);
    const std::string component = path.substr(cut, end - cut);
    if (syntax.has_drives && HasWildcards(component)) {
      // No Windows name holds a wildcard: this is the current directory's
      // path, with "?" for what the code page lacks, which only the typed
      // text as a whole names.
      dir = OpenTypedDirectory(session, path.substr(0, end));
      if (!dir) {
        result.clear();
        continue;
      }
      const std::string delimiter(1, syntax.delimiter);
      if (!result.empty() && LastDelimiterPos(delimiter, result) != result.size())
        result += delimiter;
      result += component;
      dir_end = end;
      continue;
    }
    if (!dir || cut != dir_end + 1)
      dir = OpenTypedDirectory(session, path.substr(0, cut));
    TSearchRec rec;
    rec.Wanted = 0;
    if (!dir || OpenEntryScan(*dir, component, kAttrMaskAll,
                              rec) != 0) {
      result.clear();  // this component and all above it drop out
      dir.reset();
      continue;
    }
    // In place: a copy per level would cost the square of the depth.
    const std::string delimiter(1, syntax.delimiter);
    if (!result.empty() && LastDelimiterPos(delimiter, result) != result.size())
      result += delimiter;
    result += rec.Name;
    if (i == 0 && leaf == nullptr) break;
    DirectoryPtr next = OpenSubdirectory(*dir, rec);
    if (next && !DetachFromParent(*next)) next.reset();
    dir = std::move(next);
    dir_end = end;
  }
  if (leaf != nullptr)
    *leaf = ends.empty() ? OpenTypedDirectory(session, path) : std::move(dir);
  return result;
}

}  // namespace

std::string TrueCasePath(const std::string& path) {
  if (!IsExistingFile(path) && !IsExistingDirectory(path)) return std::string();
  const PathSyntax& syntax = NativeSyntax();
  return ResolveTrueCase(path, RootLength(path, syntax), syntax);
}

std::string ResolveTrueCase(const std::string& path, size_t root_len,
                            const PathSyntax& syntax) {
  FileSystemSessionPtr session = NewOneCallSession();
  return ResolveDown(*session, path, root_len, syntax, nullptr);
}

// Every entry name is one component without delimiters, so the parent text
// and the root of dir + name are those of dir + any one-byte name.
SearchRoot OpenSearchRoot(FileSystemSession& session, const std::string& dir) {
  const PathSyntax& syntax = NativeSyntax();
  const std::string probe = dir + "x";
  const size_t root_len = RootLength(probe, syntax);
  const std::string parent = ParentPart(probe, syntax);
  SearchRoot root;
  root.prefix_known = probe.size() > root_len && parent.size() < probe.size() &&
                      parent.size() + 1 >= dir.size();
  if (!root.prefix_known) {
    root.dir = OpenTypedDirectory(session, dir);
    return root;
  }
  root.prefix = WithTrailingDelimiter(
      ResolveDown(session, parent, root_len, syntax, &root.dir), syntax);
  if (!root.dir) root.dir = OpenTypedDirectory(session, dir);
  return root;
}

// A 0x5C that ends a double-byte character is no delimiter.
DirectoryPtr OpenTypedBelow(Directory& base, const std::string& path,
                            bool short_names, std::string* shown) {
  const char delimiter = NativeSyntax().delimiter;
  DirectoryPtr dir;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); i = NextCharIndex(path, i)) {
    if (i < path.size() && path[i] != delimiter) continue;
    const std::string component = path.substr(start, i - start);
    start = i + 1;
    if (component.empty()) {
      if (i == path.size()) break;
      continue;
    }
    Directory& at = dir ? *dir : base;
    TSearchRec rec;
    rec.Wanted = 0;
    if (OpenEntryScan(at, component, kAttrMaskAll, rec) != 0) return nullptr;
    *shown += short_names ? ShortNameOf(at, rec) : rec.Name;
    *shown += delimiter;
    DirectoryPtr next = OpenSubdirectory(at, rec);
    if (!next || !DetachFromParent(*next)) return nullptr;
    dir = std::move(next);
    if (i == path.size()) break;
  }
  return dir;
}
